#include "cli/console.h"

#include <spdlog/details/os.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <streambuf>

DeviceLabels::Scope::Scope(DeviceLabels& labels, const std::string& serial)
    : labels_(labels), thread_(spdlog::details::os::thread_id()) {
    const std::lock_guard<std::mutex> lock(labels_.mutex_);
    labels_.labels_[thread_] = serial + ": ";
}

DeviceLabels::Scope::~Scope() {
    const std::lock_guard<std::mutex> lock(labels_.mutex_);
    labels_.labels_.erase(thread_);
}

std::string DeviceLabels::labelOf(std::size_t thread) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = labels_.find(thread);
    return found == labels_.end() ? std::string() : found->second;
}

namespace {

// "%*" in the log pattern: the device label of the thread that logged.
class LabelFlag : public spdlog::custom_flag_formatter {
public:
    explicit LabelFlag(const DeviceLabels& labels) : labels_(labels) {}
    void format(const spdlog::details::log_msg& message, const std::tm&,
                spdlog::memory_buf_t& dest) override {
        const std::string label = labels_.labelOf(message.thread_id);
        dest.append(label.data(), label.data() + label.size());
    }
    std::unique_ptr<custom_flag_formatter> clone() const override {
        return std::make_unique<LabelFlag>(labels_);
    }

private:
    const DeviceLabels& labels_;
};

} // namespace

// NO_COLOR (https://no-color.org): set and not empty, no colour even on a terminal.
static spdlog::color_mode colourMode() {
    const char* noColour = std::getenv("NO_COLOR");
    return noColour != nullptr && *noColour != '\0' ? spdlog::color_mode::never
                                                    : spdlog::color_mode::automatic;
}

void installLogging(const DeviceLabels& labels, bool toStandardError) {
    // A logger of our own on the chosen stream, in the colour mode NO_COLOR asks for: the same
    // kind of sink as spdlog's default one (ANSI colours, or the console's on Windows).
    auto logger = toStandardError ? spdlog::stderr_color_mt("lpfp_cli_stderr", colourMode())
                                  : spdlog::stdout_color_mt("lpfp_cli_stdout", colourMode());
    logger->set_level(spdlog::default_logger_raw()->level());
    spdlog::set_default_logger(logger);
    auto formatter = std::make_unique<spdlog::pattern_formatter>();
    formatter->add_flag<LabelFlag>('*', labels).set_pattern("%*[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] %v");
    spdlog::default_logger_raw()->set_formatter(std::move(formatter));
}

// Collects a line and hands it on whole, with the prefix.
class PrefixedLineStream::Lines : public std::streambuf {
public:
    Lines(std::string prefix, std::ostream& target, std::mutex& gate)
        : prefix_(std::move(prefix)), target_(target), gate_(gate) {}
    ~Lines() override {
        if (!line_.empty())
            emit();
    }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        line_ += traits_type::to_char_type(c);
        if (c == '\n')
            emit();
        return c;
    }
    int sync() override { return target_.good() ? 0 : -1; }

private:
    void emit() {
        if (line_.back() != '\n')
            line_ += '\n';
        // One write for the whole line, so that a log line of another worker cannot land
        // between the prefix and the text.
        const std::string whole = prefix_ + line_;
        const std::lock_guard<std::mutex> lock(gate_);
        target_.write(whole.data(), static_cast<std::streamsize>(whole.size()));
        target_.flush();
        line_.clear();
    }

    std::string prefix_;
    std::ostream& target_;
    std::mutex& gate_;
    std::string line_;
};

PrefixedLineStream::PrefixedLineStream(const std::string& prefix, std::ostream& target, std::mutex& gate)
    : std::ostream(nullptr), lines_(std::make_unique<Lines>(prefix, target, gate)) {
    rdbuf(lines_.get());
}

PrefixedLineStream::~PrefixedLineStream() {
    flush();
}
