// Byte operations, acknowledge and packet receive of ArmLink, against a simulated bridge that
// stays silent so that each test queues exactly the bytes it needs.

#include "device_test_util.h"
#include "tests/support/log_capture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using spdlog::level::debug;
using spdlog::level::err;
using spdlog::level::info;
using spdlog::level::trace;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kSilent = "fault=silent_bridge";

TEST(LinkWrite, TraceLinesWithUpperCaseHexOnlyAtTrace) {
    SimSession s(kSilent);
    const Bytes data = {0xC3, 0xAB, 0x0F};
    {
        LogCapture log(trace);
        EXPECT_EQ(s.link.write(data.data(), 3), 3);
        const auto lines = log.texts(trace);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "BEGIN write(...,3)");
        EXPECT_THAT(lines[1], HasSubstr("Transmitting Message "));
        EXPECT_THAT(lines[1], HasSubstr("C3 AB 0F"));
        EXPECT_EQ(lines[2], "END write()");
    }
    {
        LogCapture log(debug);
        EXPECT_EQ(s.link.write(data.data(), 3), 3);
        EXPECT_THAT(log.texts(), IsEmpty());
    }
    const Bytes expected = {0xC3, 0xAB, 0x0F, 0xC3, 0xAB, 0x0F};
    EXPECT_EQ(s.sim().received(), expected);
}

TEST(LinkRead, ReturnsWhatArrivedAndDumpsIt) {
    SimSession s(kSilent);
    s.inject({0x01, 0xfe, 0x33});
    LogCapture log(trace);
    Bytes buffer(8, 0);
    EXPECT_EQ(s.link.read(buffer.data(), 8), 3);
    EXPECT_EQ(buffer[1], 0xFE);
    const auto lines = log.texts(trace);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "BEGIN read( , 8 )");
    EXPECT_THAT(lines[1], HasSubstr("   response: "));
    EXPECT_THAT(lines[1], HasSubstr("01 FE 33"));
    EXPECT_EQ(lines[2], "END read( )");
}

TEST(LinkRead, FailedDriverReadGivesMinusOneAndNoDump) {
    DeviceHandle none;
    ArmLink link(none);
    LogCapture log(trace);
    Bytes buffer(4, 0);
    EXPECT_EQ(link.read(buffer.data(), 4), -1);
    EXPECT_THAT(log.texts(trace), ElementsAre("BEGIN read( , 4 )", "END read( )"));
    EXPECT_EQ(link.write(buffer.data(), 4), -1);
}

TEST(LinkWait, TrueAtOnceWhenQueuedAndTimeoutAfterDeadline) {
    SimSession s(kSilent);
    s.inject({1, 2});
    EXPECT_THROW(s.link.waitForBytes(3, 1500), timeout_exception);
    s.inject({3});
    EXPECT_TRUE(s.link.waitForBytes(3, 1500));
}

TEST(LinkFlush, EmptyQueueLogsZeroAndReadsNothing) {
    SimSession s(kSilent);
    LogCapture log(trace);
    s.link.flush();
    EXPECT_THAT(log.texts(), ElementsAre("Flushing buffer. 0 Bytes left in queue"));
    EXPECT_EQ(log.lines()[0].level, debug);
}

TEST(LinkFlush, DrainsInChunksOf10240) {
    SimSession s("pending=25000;" + kSilent);
    LogCapture log(trace);
    s.link.flush();
    std::vector<std::string> reads;
    for (const auto& line : log.texts(trace))
        if (line.rfind("BEGIN read", 0) == 0)
            reads.push_back(line);
    EXPECT_THAT(reads, ElementsAre("BEGIN read( , 10240 )", "BEGIN read( , 10240 )", "BEGIN read( , 4520 )"));
    EXPECT_THAT(log.texts(debug), ElementsAre("Flushing buffer. 25000 Bytes left in queue"));
    EXPECT_EQ(s.queued(), 0u);
}

// After a flush the first exchanges search for their own acknowledge through whatever comes
// before it. Junk that only looks like a packet or an acknowledge is searched again from its
// second byte, so it never hides the answer behind it, however the bytes are split in time.
TEST(LinkResync, LookalikesBeforeTheAnswerDoNotHideIt) {
    const std::vector<Bytes> junk = {
        {0x02, 0x3C},                   // a short packet longer than what follows
        {0x03, 0x00, 0x12},             // a long packet that would take the acknowledge and more
        {0x02, 0x05, 0x3C, 0x3F, 0x3E}, // a packet holding a lookalike, its CRC wrong
        {0x3C, 0x3F, 0x3E},             // an acknowledge of nothing
        {0x3C, 0x3C, 0x07},             // one that runs into the real acknowledge
        {0x3C},
        {0x02},
    };
    for (const Bytes& bytes : junk) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        SimSession s("");
        s.link.flush();
        s.inject(bytes);
        EXPECT_TRUE(s.link.ARM_getVersion().valid);
        s.inject(bytes);
        EXPECT_EQ(firstDifference(s.link.ARM_getMCConfig(), simulatorDefaultMcConfig()), "");
        EXPECT_EQ(s.queued(), 0u);
    }
    // A whole packet with a valid CRC goes in one piece, even one that holds an acknowledge.
    SimSession s("");
    s.link.flush();
    s.inject(packet({0x3C, 0x07, 0xF8}));
    LogCapture log(debug);
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    EXPECT_THAT(log.texts(debug), Contains("Dropped 8 bytes that came before the acknowledge"));
}

TEST(LinkResync, AnAcknowledgeThatNeverComesEndsAtTheReplyTimeout) {
    // Only a lookalike came: it is what the bridge said, unreadable.
    SimSession s(kSilent);
    s.link.setReplyTimeout(100);
    s.link.flush();
    s.inject({0x55, 0x3C, 0x07, 0x07, 0x02, 0x40});
    LogCapture log(err);
    try {
        s.link.ARM_getMCConfig();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("got no readable acknowledge from the bridge (0x3C 0x07 0x07)"));
    }
    EXPECT_THAT(log.texts(err), Contains("Acknowledge: not recognised  0x3C 0x07 0x07"));
    // Nothing like one: a time-out.
    SimSession q(kSilent);
    q.link.setReplyTimeout(100);
    q.link.flush();
    q.inject({0x55, 0x02, 0x01});
    EXPECT_THROW(q.link.ARM_getMCConfig(), timeout_exception);
}

TEST(LinkResync, JunkWithoutEndEndsTheSearchAtTheReplyTimeout) {
    // A million junk bytes already queued, far more than can be searched within a reply
    // time-out of 50 ms: the answer behind them is not waited for.
    SimSession s("");
    s.link.setReplyTimeout(50);
    s.link.flush();
    Bytes junk(1000000);
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<std::uint8_t>(0xA5u ^ (i & 0xFFu));
    s.inject(junk);
    try {
        EXPECT_FALSE(s.link.ARM_getVersion().valid);
    } catch (const timeout_exception&) {
    }
    EXPECT_GT(s.queued(), 0u);
}

TEST(LinkFlush, ALineThatNeverGoesQuietEndsTheFlushAtItsLimit) {
    // 100 s of junk at 100 kbaud: the flush gives up, says so, and the command after it
    // finds no answer within its reply time-out.
    SimSession s("pending=1000000;baud=100000");
    LogCapture log(spdlog::level::warn);
    s.link.flush();
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_THAT(log.texts()[0], ::testing::StartsWith("The line did not go quiet within 2000 ms; "));
    s.link.setReplyTimeout(50);
    try {
        EXPECT_FALSE(s.link.ARM_getVersion().valid);
    } catch (const timeout_exception&) {
    }
}

TEST(LinkResync, JunkStillStreamingInAfterTheFlushIsReadThrough) {
    // 20000 bytes at 1 Mbaud take 200 ms to arrive; with no quiet window the flush ends at once
    // and the first exchanges find their answers behind the rest, lookalikes and all.
    SimSession s("pending=20000;baud=1000000");
    s.link.setQuietWindow(std::chrono::microseconds(0));
    s.link.flush();
    EXPECT_TRUE(s.link.ARM_getVersion().valid);
    EXPECT_EQ(firstDifference(s.link.ARM_getAppConfig(), simulatorDefaultAppConfig()), "");
    EXPECT_EQ(s.queued(), 0u);
}

TEST(DeviceHandlePutBack, BytesPutBackAreReadFirstAndCounted) {
    SimSession s(kSilent);
    s.inject({4, 5});
    const Bytes back = {1, 2, 3};
    s.handle.putBack(back.data(), 2);
    s.handle.putBack(back.data(), 1);
    std::uint32_t queued = 0;
    EXPECT_EQ(s.handle.waitQueued(3, std::chrono::steady_clock::now(), queued), STATUS_OK);
    EXPECT_EQ(queued, 5u);
    Bytes got(4);
    std::uint32_t received = 0;
    EXPECT_EQ(s.handle.read(got.data(), 4, received), STATUS_OK);
    EXPECT_EQ(received, 4u);
    EXPECT_THAT(got, ElementsAre(1, 1, 2, 4));
    EXPECT_EQ(s.queued(), 1u);
    // Gone with the device.
    s.handle.putBack(back.data(), 3);
    s.handle.reset();
    EXPECT_EQ(s.handle.queued(queued), STATUS_INVALID_HANDLE);
    EXPECT_EQ(queued, 0u);
}

struct AckCase {
    Bytes bytes;
    ResponseType result;
    spdlog::level::level_enum level;
    std::string line;
};

TEST(LinkAcknowledge, EveryOutcome) {
    const std::vector<AckCase> cases = {
        {{0x3C, 0x07, 0xF8}, ResponseType::SUCCESS, trace, "Acknowledge: ResponseType::SUCCESS"},
        {{0x3C, 0xEE, 0x11},
         ResponseType::FAILED,
         trace,
         "Acknowledge: ResponseType::FAILED  0x3C 0xEE 0x11"},
        {{0x3C, 0xBB, 0x44},
         ResponseType::BAD_CHECKSUM,
         err,
         "Acknowledge: ResponseType::BAD_CHECKSUM  0x3C 0xBB 0x44"},
        // Bytes that are no acknowledge keep the value TIMED_OUT but are not called a time-out.
        {{0x3C, 0x07, 0x07}, ResponseType::TIMED_OUT, err, "Acknowledge: not recognised  0x3C 0x07 0x07"},
        {{0x3D, 0x07, 0xF8}, ResponseType::TIMED_OUT, err, "Acknowledge: not recognised  0x3D 0x07 0xF8"},
    };
    for (const AckCase& c : cases) {
        SimSession s(kSilent);
        s.inject(c.bytes);
        LogCapture log(trace);
        EXPECT_EQ(s.link.acknowledge(7), c.result);
        const auto lines = log.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().text, "Acknowledging Message");
        EXPECT_EQ(lines.back().text, c.line);
        EXPECT_EQ(lines.back().level, c.level);
    }
    // The complement is of the type asked about: 3C 05 FA acknowledges a REQUEST frame.
    SimSession s(kSilent);
    s.inject({0x3C, 0x05, 0xFA});
    EXPECT_EQ(s.link.acknowledge(5), ResponseType::SUCCESS);
}

TEST(LinkAcknowledge, MissingBytesTimeOut) {
    SimSession s(kSilent);
    s.link.setReplyTimeout(100);
    s.inject({0x3C, 0x07});
    EXPECT_THROW(s.link.acknowledge(7), timeout_exception);
}

TEST(LinkReceive, GoodShortPacket) {
    SimSession s(kSilent);
    s.inject(packet({0x11, 0xAA, 0xBB}));
    LogCapture log(trace);
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    EXPECT_EQ(s.link.getARM_Message(buffer.data()), 3u);
    const std::uint16_t crc = crc16(buffer.data(), 3);
    EXPECT_EQ(
        Bytes(buffer.begin(), buffer.begin() + 6),
        (Bytes{0x11, 0xAA, 0xBB, static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc), 3}));
    const auto lines = log.texts(trace);
    EXPECT_THAT(lines, Contains("getARM_Message()"));
    EXPECT_THAT(lines, Contains("  First Byte: 2"));
    EXPECT_THAT(lines, Contains("  Small Payload (<256 bytes): 3"));
    EXPECT_THAT(lines, Contains("     payload recieved"));
    EXPECT_THAT(lines, Contains("     payload size: 6"));
    EXPECT_THAT(lines, Contains(fmt::format("     CRC: {:X}", crc)));
    EXPECT_THAT(lines, Contains(fmt::format("     Computed CRC: {:X}", crc)));
    EXPECT_EQ(lines.back(), "CRC Validated");
    EXPECT_THAT(log.texts(err), IsEmpty());
}

TEST(LinkReceive, LongFormAndLargestThatFits) {
    SimSession s(kSilent);
    Bytes payload(1021);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 13);
    s.inject(packet(payload));
    LogCapture log(trace);
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    EXPECT_EQ(s.link.getARM_Message(buffer.data(), buffer.size()), 1021u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer.begin()));
    EXPECT_THAT(log.texts(trace), Contains("  Small Payload (<65535 bytes)"));
    EXPECT_THAT(log.texts(trace), Contains("  Small Payload (<65535 bytes): 1021"));
}

TEST(LinkReceive, BadCrcReturnsZeroAndLogsBothValues) {
    SimSession s(kSilent);
    Bytes reply = packet({0x11, 0xAA, 0xBB});
    const std::uint16_t good = crc16(reply.data() + 2, 3);
    reply[6] ^= 0x01;
    s.inject(reply);
    LogCapture log(trace);
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    EXPECT_EQ(s.link.getARM_Message(buffer.data()), 0u);
    EXPECT_THAT(log.texts(err), ElementsAre(fmt::format("Invalid CRC: {} != {} ", good, good ^ 0x01)));
    EXPECT_EQ(buffer[0], 0x11); // the received bytes stay in the buffer
}

TEST(LinkReceive, OddStartByteConsumesFourBytes) {
    SimSession s(kSilent);
    s.inject({0x05, 0x00, 0x00, 0x03, 0x77});
    LogCapture log(trace);
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    EXPECT_EQ(s.link.getARM_Message(buffer.data()), 0u);
    EXPECT_EQ(s.queued(), 1u);
    // Zero "CRC" bytes validate, and still nothing is received.
    EXPECT_THAT(log.texts(trace), Contains("CRC Validated"));

    s.inject({0x09, 0x12, 0x34, 0x03});
    EXPECT_EQ(s.link.getARM_Message(buffer.data()), 0u);
    EXPECT_EQ(s.queued(), 1u); // 0x77 was taken as a start byte; the final 0x03 is left
}

TEST(LinkReceive, OverlongReplyIsRefusedWithoutOverrun) {
    SimSession s(kSilent);
    // 14 payload bytes need 17 bytes of room: one more than this buffer has.
    Bytes reply = packet(Bytes(14, 0x42));
    s.inject(reply);
    s.inject({0x3C}); // a later byte that is not part of the reply
    LogCapture log(trace);
    std::vector<std::uint8_t> small(16, 0);
    EXPECT_EQ(s.link.getARM_Message(small.data(), small.size()), 0u);
    EXPECT_THAT(log.texts(err),
                ElementsAre("Reply of 14 payload bytes does not fit the 16 byte receive buffer; discarded"));
    EXPECT_EQ(s.queued(), 1u);

    // A declared 65535 bytes with only part of them sent: what came is drained.
    s.link.flush();
    s.inject({0x03, 0xFF, 0xFF});
    s.inject(Bytes(3000, 0x00));
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    EXPECT_EQ(s.link.getARM_Message(buffer.data()), 0u);
    EXPECT_EQ(s.queued(), 0u);
}

TEST(LinkReceive, MissingBytesTimeOut) {
    Bytes buffer(ARM_BUFFER_SIZE, 0);
    const std::vector<Bytes> partial = {
        {},                             // nothing at all
        {0x02},                         // no length byte
        {0x03, 0x01},                   // half a long length
        {0x02, 0x0A, 0x01, 0x02, 0x03}, // payload cut short
    };
    for (const Bytes& bytes : partial) {
        SimSession s(kSilent);
        s.link.setReplyTimeout(100);
        s.inject(bytes);
        EXPECT_THROW(s.link.getARM_Message(buffer.data()), timeout_exception);
    }
}

TEST(LinkSendMessage, StatusQueryFrameAndAnswer) {
    SimSession s("serial=VK5TEST");
    LogCapture log(trace);
    const std::uint8_t query = 0xC2;
    EXPECT_EQ(s.link.sendMessage(messageType::REQUEST, &query, 1), 6);
    EXPECT_EQ(s.sim().received(), (Bytes{0xC3, 0x05, 0x00, 0x01, 0xC2, 0x05}));
    EXPECT_THAT(log.texts(debug), ElementsAre("Sending messageType::REQUEST, payload size: 1"));
    Bytes buffer(10240, 0);
    const std::int32_t n = s.link.read(buffer.data(), 10240);
    ASSERT_GT(n, 0);
    const std::string text(buffer.begin(), buffer.begin() + n);
    EXPECT_EQ(text, simulatorStatusText(s.sim().settings()));
    EXPECT_THAT(text, HasSubstr("VK5TEST"));
}

} // namespace
