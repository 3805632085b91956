#include "tests/support/log_capture.h"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <mutex>

struct LogCapture::Sink : spdlog::sinks::base_sink<std::mutex> {
    std::vector<CapturedLine> captured;
    std::mutex& lock() { return mutex_; }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        captured.push_back({msg.level, std::string(msg.payload.data(), msg.payload.size())});
    }
    void flush_() override {}
};

LogCapture::LogCapture(spdlog::level::level_enum level)
    : sink_(std::make_shared<Sink>()), previous_(spdlog::default_logger()) {
    auto logger = std::make_shared<spdlog::logger>("capture", sink_);
    logger->set_level(level);
    spdlog::set_default_logger(logger);
}

LogCapture::~LogCapture() {
    spdlog::set_default_logger(previous_);
}

std::vector<CapturedLine> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(sink_->lock());
    return sink_->captured;
}

std::vector<std::string> LogCapture::texts() const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        out.push_back(line.text);
    }
    return out;
}

std::vector<std::string> LogCapture::texts(spdlog::level::level_enum level) const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        if (line.level == level) {
            out.push_back(line.text);
        }
    }
    return out;
}

bool LogCapture::contains(const std::string& text) const {
    auto all = texts();
    return std::find(all.begin(), all.end(), text) != all.end();
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(sink_->lock());
    sink_->captured.clear();
}
