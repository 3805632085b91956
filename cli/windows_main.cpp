#include "cli/windows_main.h"

#include "core/windows/wide_text.h"

#include <spdlog/sinks/ansicolor_sink.h>
// The compiled spdlog library builds this sink only for POSIX systems; its definitions here.
#include <spdlog/sinks/ansicolor_sink-inl.h>
#include <spdlog/spdlog.h>

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

void prepareWindowsStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    // spdlog's Windows console sink writes to the handle itself, past the C library's buffer
    // that the reports go through: into a file or a pipe the two would change order.
    DWORD mode = 0;
    const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
    if (!console) {
        auto& sinks = spdlog::default_logger_raw()->sinks();
        sinks.clear();
        sinks.push_back(std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>());
    }
}

std::vector<std::string> windowsArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

std::string windowsProgramName(const std::string& argv0) {
    std::string name =
        argv0.substr(argv0.find_last_of("\\/:") == std::string::npos ? 0 : argv0.find_last_of("\\/:") + 1);
    if (name.size() > 4) {
        std::string extension = name.substr(name.size() - 4);
        for (char& c : extension) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        if (extension == ".exe") {
            name.resize(name.size() - 4);
        }
    }
    return name.empty() ? "lpfp_cli" : name;
}
