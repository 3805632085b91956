#pragma once
// Where the words of lpfp_cli go. The human report is a stream handed to each flow; the log is
// the process-wide logger. When several devices are worked at once, each worker gets a stream
// that begins every line with the device's serial number, and its log lines begin with it too,
// and lines never interleave.

#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

// The device label of the log lines each worker thread writes. The logger's line pattern asks
// it, by the thread id the logger records, for the label of the thread that logged.
class DeviceLabels {
public:
    // For its lifetime, the calling thread's log lines begin with "<serial>: ".
    class Scope {
    public:
        Scope(DeviceLabels& labels, const std::string& serial);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        DeviceLabels& labels_;
        std::size_t thread_;
    };

    // The label of the thread with the logger's id thread; empty when it works for no device.
    std::string labelOf(std::size_t thread) const;

private:
    mutable std::mutex mutex_;
    std::map<std::size_t, std::string> labels_;
};

// Sets up the process-wide logger once, at start-up: the default line pattern with the device
// label in front, on standard output, or on standard error (toStandardError) when standard
// output is kept for data or the JSON document; without colours when NO_COLOR is set to
// anything but an empty value. labels must outlive every log line.
void installLogging(const DeviceLabels& labels, bool toStandardError);

// A stream that hands each line whole, after prefix, to target; workers that share target share
// gate, so that no line of one lands inside a line of another.
class PrefixedLineStream : public std::ostream {
public:
    PrefixedLineStream(const std::string& prefix, std::ostream& target, std::mutex& gate);
    ~PrefixedLineStream() override;

private:
    class Lines;
    std::unique_ptr<Lines> lines_;
};
