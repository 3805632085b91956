#include "cli/report_stream.h"

#include "cli/flow_report.h"

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <iostream>
#include <mutex>
#include <streambuf>

namespace report {
namespace {

std::ostream* humanStream = &std::cout;
std::mutex lineMutex; // one whole line at a time reaches the human stream

struct ThreadState {
    std::string prefix;
    FlowReport* flowReport = nullptr;
    std::ostream* stream = nullptr;
};
thread_local ThreadState threadState;

// Collects a line and hands it on whole, with the device's prefix.
class PrefixedLines : public std::streambuf {
public:
    explicit PrefixedLines(std::string prefix) : prefix_(std::move(prefix)) {}
    ~PrefixedLines() override {
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
    int sync() override { return humanStream->good() ? 0 : -1; }

private:
    void emit() {
        if (line_.back() != '\n')
            line_ += '\n';
        // One write for the whole line, so that a log line of another worker cannot land
        // between the prefix and the text.
        const std::string whole = prefix_ + line_;
        const std::lock_guard<std::mutex> lock(lineMutex);
        humanStream->write(whole.data(), static_cast<std::streamsize>(whole.size()));
        humanStream->flush();
        line_.clear();
    }

    std::string prefix_;
    std::string line_;
};

// "%*" in the log pattern: the device prefix of the thread that logs.
class PrefixFlag : public spdlog::custom_flag_formatter {
public:
    void format(const spdlog::details::log_msg&, const std::tm&, spdlog::memory_buf_t& dest) override {
        const std::string& prefix = threadState.prefix;
        dest.append(prefix.data(), prefix.data() + prefix.size());
    }
    std::unique_ptr<custom_flag_formatter> clone() const override { return std::make_unique<PrefixFlag>(); }
};

// Keeps the first error-level message of the thread's flow.
class ErrorCapture : public spdlog::sinks::base_sink<spdlog::details::null_mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        FlowReport* flowReport = threadState.flowReport;
        if (flowReport != nullptr && message.level >= spdlog::level::err && flowReport->error.empty())
            flowReport->error.assign(message.payload.data(), message.payload.size());
    }
    void flush_() override {}
};

void applyPattern(spdlog::logger& logger) {
    auto formatter = std::make_unique<spdlog::pattern_formatter>();
    formatter->add_flag<PrefixFlag>('*').set_pattern("%*[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] %v");
    logger.set_formatter(std::move(formatter));
}

} // namespace

void useStandardError() {
    humanStream = &std::cerr;
    auto logger = spdlog::stderr_color_mt("lpfp_cli_stderr");
    logger->set_level(spdlog::default_logger_raw()->level());
    logger->sinks().push_back(std::make_shared<ErrorCapture>());
    applyPattern(*logger);
    spdlog::set_default_logger(logger);
}

std::ostream& out() {
    return threadState.stream != nullptr ? *threadState.stream : *humanStream;
}

class DeviceScope::Impl {
public:
    Impl(const std::string& serial) : lines(serial + ": "), stream(&lines) {}
    PrefixedLines lines;
    std::ostream stream;
};

DeviceScope::DeviceScope(const std::string& serial, FlowReport* flowReport)
    : impl_(std::make_unique<Impl>(serial)) {
    threadState.prefix = serial + ": ";
    threadState.flowReport = flowReport;
    threadState.stream = &impl_->stream;
}

DeviceScope::~DeviceScope() {
    impl_->stream.flush();
    threadState = ThreadState{};
}

FlowReport* activeReport() {
    return threadState.flowReport;
}

void setActiveReport(FlowReport* flowReport) {
    threadState.flowReport = flowReport;
}

void installLogging() {
    spdlog::logger& logger = *spdlog::default_logger_raw();
    logger.sinks().push_back(std::make_shared<ErrorCapture>());
    applyPattern(logger);
}

} // namespace report
