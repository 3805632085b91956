#include "cli/several_devices.h"

#include "cli/exit_status.h"
#include "core/config/c_number.h"
#include "core/ops/backup.h"
#include "core/ops/config_source.h"
#include "core/ops/device_choice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

const char* resultWord(const FlowResult& flowResult, bool comparison) {
    if (flowResult.interrupted)
        return "INTERRUPTED";
    if (!comparison)
        return flowResult.status == EXIT_OK ? "OK" : "FAILED";
    switch (flowResult.status) {
    case EXIT_OK:
        return "SAME";
    case EXIT_FAILED:
        return "DIFFERENT";
    default:
        return "TROUBLE";
    }
}

// Where the workers' lines go, one whole line at a time.
struct SharedOutput {
    std::ostream& out;
    DeviceLabels& labels;
    std::mutex gate;
};

void runOne(FlowResult& flowResult, const DeviceTarget& target, const DeviceFlow& flow, SharedOutput& shared,
            int failureStatus) {
    const DeviceLabels::Scope label(shared.labels, flowResult.serial);
    PrefixedLineStream out(flowResult.serial + ": ", shared.out, shared.gate);
    const auto start = std::chrono::steady_clock::now();
    try {
        FlowResult ran = flow(target, out);
        ran.serial = flowResult.serial;
        ran.description = flowResult.description;
        flowResult = std::move(ran);
    } catch (const std::exception& error) {
        // The last-resort handler of a single run, for this worker alone.
        spdlog::critical("ERROR: {}", error.what());
        flowResult.noteError(error.what());
        flowResult.status = failureStatus;
    }
    out.flush();
    flowResult.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

bool namesSeveralDevices(const std::string& serialOption) {
    return serialOption == "all" || serialOption.find(',') != std::string::npos;
}

std::vector<std::string> serialList(const std::string& serialOption) {
    std::vector<std::string> serials;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = serialOption.find(',', start);
        const std::string entry(trimmed(std::string_view(serialOption).substr(start, comma - start)));
        if (entry.empty())
            throw std::invalid_argument("--serial: empty serial number in the list \"" + serialOption + "\"");
        if (std::find(serials.begin(), serials.end(), entry) == serials.end())
            serials.push_back(entry);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return serials;
}

std::vector<FlowResult> runOnSeveralDevices(const std::shared_ptr<DeviceBackend>& backend,
                                            const std::string& serialOption, const DeviceFlow& flow,
                                            std::ostream& out, DeviceLabels& labels, int failureStatus) {
    SharedOutput shared{out, labels, {}};
    const std::vector<DeviceInfoNode> devices = listDevices(*backend);

    std::vector<FlowResult> reports;
    std::vector<DeviceTarget> targets;
    const auto add = [&](const DeviceInfoNode& node, int index) {
        DeviceTarget target;
        target.backend = backend;
        target.serial = serialNumberOf(node);
        target.listed = true;
        target.node = node;
        target.index = index;
        FlowResult flowResult;
        flowResult.serial = target.serial;
        flowResult.description = descriptionOf(node);
        targets.push_back(target);
        reports.push_back(flowResult);
    };
    if (serialOption == "all") {
        for (std::size_t i = 0; i < devices.size(); ++i)
            add(devices[i], static_cast<int>(i));
    } else {
        for (const std::string& serial : serialList(serialOption)) {
            const DeviceChoice choice = chooseDevice(devices, serial);
            if (choice.index >= 0) {
                add(devices[static_cast<std::size_t>(choice.index)], choice.index);
                continue;
            }
            FlowResult missing;
            missing.serial = serial;
            missing.status = failureStatus;
            missing.error = choice.error;
            {
                const DeviceLabels::Scope label(labels, serial);
                spdlog::error("{}", choice.error);
            }
            targets.push_back(DeviceTarget{});
            reports.push_back(missing);
        }
    }

    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (!targets[i].listed)
            continue;
        workers.emplace_back(runOne, std::ref(reports[i]), targets[i], std::cref(flow), std::ref(shared),
                             failureStatus);
    }
    for (std::thread& worker : workers)
        worker.join();
    return reports;
}

int combinedStatus(const std::vector<FlowResult>& reports, bool comparison) {
    if (reports.empty())
        return comparison ? EXIT_DIFF_TROUBLE : EXIT_FAILED;
    int status = EXIT_OK;
    for (const FlowResult& flowResult : reports) {
        if (comparison && flowResult.status != EXIT_OK && flowResult.status != EXIT_FAILED)
            return EXIT_DIFF_TROUBLE;
        if (flowResult.status != EXIT_OK)
            status = EXIT_FAILED;
    }
    return status;
}

void printSummary(std::ostream& out, const std::vector<FlowResult>& reports, bool comparison) {
    std::size_t serialWidth = 6;
    for (const FlowResult& flowResult : reports)
        serialWidth = std::max(serialWidth, flowResult.serial.size());
    const auto pad = [](const std::string& text, std::size_t width) {
        return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
    };
    out << "Summary:\n"
        << pad("Serial", serialWidth) << "  " << pad("Result", 9) << "  " << pad("Seconds", 7)
        << "  Backup\n";
    for (const FlowResult& flowResult : reports) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f", flowResult.seconds);
        out << pad(flowResult.serial, serialWidth) << "  " << pad(resultWord(flowResult, comparison), 9)
            << "  " << pad(seconds, 7) << "  " << flowResult.backup.value_or("-") << '\n';
    }
    out.flush();
}

std::string basenameForDevice(const std::string& base, const std::string& serial) {
    return base + "-" + safeFileNamePart(serial);
}

std::string lpfpNameForDevice(const std::string& file, const std::string& serial) {
    return withoutLpfpExtension(file) + "-" + safeFileNamePart(serial) + ".lpfp";
}
