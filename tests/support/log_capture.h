#pragma once
// Captures what the process-wide logger prints while a test runs, so tests can check the
// exact log lines and their levels.

#include <spdlog/spdlog.h>

#include <memory>
#include <string>
#include <vector>

struct CapturedLine {
    spdlog::level::level_enum level;
    std::string text;
};

class LogCapture {
public:
    // Installs a capturing default logger at the given level; the previous one comes back
    // when the capture is destroyed.
    explicit LogCapture(spdlog::level::level_enum level = spdlog::level::trace);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedLine> lines() const;
    std::vector<std::string> texts() const;
    // The texts logged at exactly this level.
    std::vector<std::string> texts(spdlog::level::level_enum level) const;
    bool contains(const std::string& text) const;
    void clear();

private:
    struct Sink;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<spdlog::logger> previous_;
};
