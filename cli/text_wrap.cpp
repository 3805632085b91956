#include "cli/text_wrap.h"

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t DEFAULT_WIDTH = 80;
constexpr std::size_t NARROWEST = 40; // below this, wrapping would only make things worse

void wrapLine(const std::string& line, std::size_t width, std::string& out) {
    if (line.size() <= width) {
        out += line;
        return;
    }
    const std::size_t indent =
        line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ');
    const bool groups = line.find(" [") != std::string::npos;
    // A synopsis continues under its first group, unless the program name is so long that little
    // room would be left.
    std::size_t continuation = indent;
    if (groups) {
        const std::size_t firstGroup = line.find(" [") + 1;
        continuation = firstGroup <= width / 2 ? firstGroup : indent + 4;
    }
    // Break candidates: a blank before a "[" in a synopsis, any blank otherwise.
    const auto breakable = [&](std::size_t position) {
        return line[position] == ' ' && position > indent &&
               (!groups || (position + 1 < line.size() && line[position + 1] == '['));
    };
    std::size_t start = 0;
    std::size_t lineIndent = 0; // blanks already written in front of the current piece
    while (line.size() - start + lineIndent > width && lineIndent + 1 < width) {
        const std::size_t limit = start + (width - lineIndent);
        std::size_t cut = std::string::npos;
        for (std::size_t position = std::min(limit, line.size() - 1); position > start; --position) {
            if (breakable(position)) {
                cut = position;
                break;
            }
        }
        if (cut == std::string::npos) {
            // No blank in reach: the piece runs long, up to the next place it may break.
            for (std::size_t position = limit; position < line.size(); ++position) {
                if (breakable(position)) {
                    cut = position;
                    break;
                }
            }
            if (cut == std::string::npos)
                break;
        }
        out.append(line, start, cut - start);
        out += '\n';
        out.append(continuation, ' ');
        lineIndent = continuation;
        start = cut + 1;
        while (start < line.size() && line[start] == ' ' && !groups)
            ++start;
    }
    out.append(line, start, std::string::npos);
}

} // namespace

std::string wrapText(const std::string& text, std::size_t width) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        wrapLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start), width, out);
        if (end == std::string::npos)
            break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

std::size_t outputWidth() {
#ifdef _WIN32
    // A console's window width; a pipe or a file has no console buffer.
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0)
            return std::max<std::size_t>(static_cast<std::size_t>(columns), NARROWEST);
    }
#else
    winsize size{};
    if (::isatty(STDOUT_FILENO) != 0 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return std::max<std::size_t>(size.ws_col, NARROWEST);
#endif
    return DEFAULT_WIDTH;
}
