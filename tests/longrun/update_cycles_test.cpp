// Thousands of update cycles of both records against the simulated controller: read the
// defaults, write a random record, read it back and compare, with a fault injected into a
// random command of many cycles. After every update the verdict (written and read back equal,
// or failed) must be exactly what the injected fault allows, and the record read back must be
// the one the controller holds. LeakSanitizer checks at exit that nothing was lost.

#include "tests/device/device_test_util.h"

#include "core/config/config_codec.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// Enough to meet every fault on every command many times, and to stay within about a
// minute in the sanitizer build on a slow machine.
constexpr int CYCLES = 4000;
constexpr std::uint32_t SEED = 20261207;

enum class Command : int {
    SetMc = 13,
    GetMc = 14,
    GetDefaultMc = 15,
    SetApp = 16,
    GetApp = 17,
    GetDefaultApp = 18
};

struct FaultCase {
    SimFault fault;
    const char* name;
    int weight;
};

// Faults that end in a time-out are rare, and cheap through the shortened reply time-out.
constexpr FaultCase FAULTS[] = {
    {SimFault::AckFailed, "ack_failed", 10},
    {SimFault::AckBadChecksum, "ack_bad_checksum", 10},
    {SimFault::AckGarbled, "ack_garbled", 6},
    {SimFault::BadCrc, "bad_crc", 10},
    {SimFault::WrongSignature, "wrong_signature", 10},
    {SimFault::SetRefused, "set_refused", 10},
    {SimFault::ChangeOnWrite, "change_on_write", 10},
    {SimFault::StrayBytes, "stray_bytes", 10},
    {SimFault::HugeLength, "huge_length", 6},
    {SimFault::ShortReply, "short_reply", 10},
    {SimFault::OddStart, "odd_start", 10},
    {SimFault::ShortVersion, "short_version", 2},
    {SimFault::SilentBridge, "silent_bridge", 1},
    {SimFault::SilentController, "silent_controller", 1},
    {SimFault::TruncatedReply, "truncated_reply", 1},
};

bool isSet(int command) {
    return command == static_cast<int>(Command::SetMc) || command == static_cast<int>(Command::SetApp);
}

// Whether a fault on a command must make an update through that command fail. Some faults
// cannot touch some commands: a set judges its reply by the first byte only (so a bad CRC,
// a short reply or the other record's signature pass), a get is not refused or altered.
bool spoils(SimFault fault, int command) {
    switch (fault) {
    case SimFault::BadCrc:
    case SimFault::ShortReply:
    case SimFault::WrongSignature:
        return !isSet(command);
    case SimFault::SetRefused:
    case SimFault::ChangeOnWrite:
        return isSet(command);
    case SimFault::ShortVersion:
        return false;
    case SimFault::StrayBytes:
        // Each update starts with a flush, after which the first two exchanges (the defaults
        // and the set) read their answers through whatever else comes, as after opening.
        return command == static_cast<int>(Command::GetMc) || command == static_cast<int>(Command::GetApp);
    default:
        return true;
    }
}

// A random value for every field carried on the wire, each exactly representable there.
template <class Field, class Record>
Record randomRecord(const std::vector<Field>& fields, std::mt19937& rng) {
    Record record{};
    const auto between = [&rng](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(rng);
    };
    for (const Field& field : fields) {
        const FieldRef ref = field.in(record);
        if (field.type == FieldType::Bool) {
            setInteger(ref, between(0, 1));
            continue;
        }
        switch (field.wire) {
        case WireEncoding::None:
            break;
        case WireEncoding::Float16: // scale 100 or 1000, so whole numbers within +-32 fit
            setFloat(ref, static_cast<float>(between(-32, 32)));
            break;
        case WireEncoding::Float32Packed: // quarter steps are exact
            setFloat(ref, static_cast<float>(between(-400000, 400000)) / 4.0f);
            break;
        case WireEncoding::Uint8:
            setInteger(ref, between(0, 255));
            break;
        case WireEncoding::Uint16:
            setInteger(ref, between(0, field.type == FieldType::Uint8 ? 255 : 65535));
            break;
        case WireEncoding::Int16:
            setInteger(ref, between(-32768, 32767));
            break;
        case WireEncoding::Int32:
            setInteger(ref, between(INT32_MIN, INT32_MAX));
            break;
        case WireEncoding::Uint32:
            setInteger(ref, between(0, UINT32_MAX));
            break;
        }
    }
    return record;
}

// The record as the controller would decode it from its encoding.
template <class Record> Record throughWire(const Record& record) {
    std::array<std::uint8_t, ARM_BUFFER_SIZE> bytes{};
    Record decoded{};
    if constexpr (std::is_same_v<Record, MCConfiguration>) {
        mcConfigToBytes(bytes.data(), record);
        mcConfigFromBytes(bytes.data(), decoded);
    } else {
        appConfigToBytes(bytes.data(), record);
        appConfigFromBytes(bytes.data(), decoded);
    }
    return decoded;
}

struct Tally {
    int cycles = 0;
    int updates = 0;
    int succeeded = 0;
    int setFalse = 0;
    int exceptions = 0;
    int timeouts = 0;
    std::map<std::string, int> faults;
};

class UpdateCycles : public ::testing::Test {
protected:
    void SetUp() override {
        simulatorForgetRecords();
        session.link.setReplyTimeout(20);
        session.link.setQuietWindow(std::chrono::milliseconds(1));
        spdlog::set_level(spdlog::level::off); // faults log errors by the thousand
    }
    void TearDown() override {
        spdlog::set_level(spdlog::level::info);
        simulatorForgetRecords();
    }

    // One update of one record; returns whether it reported success.
    template <class Record> bool update(const Record& wanted) {
        ArmLink& link = session.link;
        const auto held = [this]() -> Record {
            if constexpr (std::is_same_v<Record, MCConfiguration>)
                return session.sim().records().mc;
            else
                return session.sim().records().app;
        };
        const Record before = held();
        link.flush();
        try {
            Record defaults{};
            if constexpr (std::is_same_v<Record, MCConfiguration>)
                defaults = link.ARM_getDefaultMCConfig();
            else
                defaults = link.ARM_getDefaultAppConfig();
            EXPECT_EQ(firstDifference(defaults, defaultsOf<Record>()), "");
            bool written = false;
            if constexpr (std::is_same_v<Record, MCConfiguration>)
                written = link.ARM_setMCConfig(wanted);
            else
                written = link.ARM_setAppConfig(wanted);
            const Record after = held();
            // The controller stored the record or kept the old one; nothing else.
            const bool stored = firstDifference(after, wanted).empty();
            EXPECT_TRUE(stored || firstDifference(after, before).empty() || changedOnWrite);
            if (!written) {
                ++tally.setFalse;
                return false;
            }
            Record readBack{};
            if constexpr (std::is_same_v<Record, MCConfiguration>)
                readBack = link.ARM_getMCConfig();
            else
                readBack = link.ARM_getAppConfig();
            // Whatever a get hands back is what the controller holds.
            EXPECT_EQ(firstDifference(readBack, after), "");
            return firstDifference(readBack, wanted).empty();
        } catch (const timeout_exception&) {
            ++tally.timeouts;
        } catch (const std::runtime_error&) {
            ++tally.exceptions;
        }
        return false;
    }

    template <class Record> static Record defaultsOf() {
        if constexpr (std::is_same_v<Record, MCConfiguration>)
            return simulatorDefaultMcConfig();
        else
            return simulatorDefaultAppConfig();
    }

    SimSession session{""};
    Tally tally;
    bool changedOnWrite = false;
};

TEST_F(UpdateCycles, ReportedResultMatchesTheController) {
    std::mt19937 rng(SEED);
    std::vector<int> weights;
    for (const FaultCase& c : FAULTS)
        weights.push_back(c.weight);
    std::discrete_distribution<std::size_t> pickFault(weights.begin(), weights.end());
    constexpr std::array<int, 6> COMMANDS = {13, 14, 15, 16, 17, 18};

    for (int cycle = 0; cycle < CYCLES; ++cycle) {
        // Four cycles in ten run clean; the others carry one fault on one command, or on all.
        std::vector<int> faultCommands;
        const FaultCase* fault = nullptr;
        if (std::uniform_int_distribution<int>(0, 9)(rng) >= 4) {
            fault = &FAULTS[pickFault(rng)];
            if (std::uniform_int_distribution<int>(0, 9)(rng) != 0)
                faultCommands = {COMMANDS[std::uniform_int_distribution<std::size_t>(0, 5)(rng)]};
            session.sim().setFaults({fault->fault}, faultCommands);
            ++tally.faults[fault->name];
        } else {
            session.sim().setFaults({});
        }
        const auto spoiled = [&](std::initializer_list<int> commands) {
            if (fault == nullptr)
                return false;
            for (const int command : commands)
                if ((faultCommands.empty() || faultCommands.front() == command) &&
                    spoils(fault->fault, command))
                    return true;
            return false;
        };
        const auto onSet = [&](int command) {
            return fault != nullptr && fault->fault == SimFault::ChangeOnWrite &&
                   (faultCommands.empty() || faultCommands.front() == command);
        };

        const auto app = randomRecord<AppField, APPConfiguration>(appFields(), rng);
        ASSERT_EQ(firstDifference(throughWire(app), app), "") << "cycle " << cycle;
        changedOnWrite = onSet(16);
        const bool appDone = update(app);
        EXPECT_EQ(appDone, !spoiled({16, 17, 18}))
            << "cycle " << cycle << " app, fault " << (fault ? fault->name : "none");
        if (appDone) {
            EXPECT_EQ(firstDifference(session.sim().records().app, app), "") << "cycle " << cycle;
        }

        const auto mc = randomRecord<McField, MCConfiguration>(mcFields(), rng);
        ASSERT_EQ(firstDifference(throughWire(mc), mc), "") << "cycle " << cycle;
        changedOnWrite = onSet(13);
        const bool mcDone = update(mc);
        EXPECT_EQ(mcDone, !spoiled({13, 14, 15}))
            << "cycle " << cycle << " mc, fault " << (fault ? fault->name : "none");
        if (mcDone) {
            EXPECT_EQ(firstDifference(session.sim().records().mc, mc), "") << "cycle " << cycle;
        }

        ++tally.cycles;
        tally.updates += 2;
        tally.succeeded += (appDone ? 1 : 0) + (mcDone ? 1 : 0);
        if (::testing::Test::HasFailure())
            break;
    }

    // The figures of the run, for the record of what was tried.
    std::cout << "cycles " << tally.cycles << ", updates " << tally.updates << ", succeeded "
              << tally.succeeded << ", set false " << tally.setFalse << ", exceptions " << tally.exceptions
              << ", time-outs " << tally.timeouts << "\nfaults injected:";
    for (const auto& [name, count] : tally.faults)
        std::cout << " " << name << "=" << count;
    std::cout << "\n";
}

} // namespace
