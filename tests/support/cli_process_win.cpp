// Starting lpfp_cli as a child process on Windows (CreateProcessW), with the same environment
// rules as on Linux.

#include "tests/support/cli_process.h"

#include "core/config/file_io.h"
#include "core/windows/wide_text.h"

#include <windows.h>

#include <stdexcept>

namespace {

// The test's own device choice never leaks into the child, and a variable the test sets
// replaces the inherited one rather than standing behind it. Windows' names ignore case.
bool isReplacedVariable(const std::wstring& entry, const std::map<std::string, std::string>& env) {
    const std::size_t equals = entry.find(L'=', 1);
    if (equals == std::wstring::npos) {
        return false;
    }
    const std::wstring name = entry.substr(0, equals);
    const auto same = [&](const std::string& other) {
        return CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), wideFromUtf8(other).c_str(),
                                    static_cast<int>(wideFromUtf8(other).size()), TRUE) == CSTR_EQUAL;
    };
    for (const char* fixed : {"VARKO5_SIMULATOR", "VARKO5_PORTS"}) {
        if (same(fixed)) {
            return true;
        }
    }
    for (const auto& [key, value] : env) {
        if (same(key)) {
            return true;
        }
    }
    return false;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            text.append(backslashes * 2 + 1, L'\\');
        } else {
            text.append(backslashes, L'\\');
        }
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

HANDLE inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open " + utf8FromWide(path) + " for a child process");
    }
    return handle;
}

} // namespace

CliChild startCli(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                  const std::string& program) {
    CliChild child;
    child.captures = std::make_unique<TempDir>();
    const std::wstring outPath = pathFromUtf8(child.captures->file("stdout")).wstring();
    const std::wstring errPath = pathFromUtf8(child.captures->file("stderr")).wstring();

    // Backups taken before a write land in the child's own folder unless the test says where;
    // on Windows they go under LOCALAPPDATA, which follows XDG_DATA_HOME here.
    std::map<std::string, std::string> childEnv = env;
    childEnv.try_emplace("XDG_DATA_HOME", child.captures->file("data"));
    childEnv.try_emplace("LOCALAPPDATA", childEnv.at("XDG_DATA_HOME"));
    std::wstring block;
    if (wchar_t* strings = GetEnvironmentStringsW(); strings != nullptr) {
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
            if (!isReplacedVariable(entry, childEnv)) {
                block += entry;
                block += L'\0';
            }
        }
        FreeEnvironmentStringsW(strings);
    }
    for (const auto& [name, value] : childEnv) {
        // Windows cannot hold a variable that is set but empty; such a variable is left out.
        if (!value.empty()) {
            block += wideFromUtf8(name + "=" + value);
            block += L'\0';
        }
    }
    block += L'\0';

    std::wstring commandLine = L"lpfp_cli";
    for (const std::string& argument : arguments) {
        commandLine += L" " + quoted(wideFromUtf8(argument));
    }

    const std::wstring application = pathFromUtf8(program).wstring();
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    DWORD failure = 0;
    // wine now and then fails to start a process with ERROR_INTERNAL_ERROR when several start
    // at once; nothing of the child has run then, so it is simply started again.
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        HANDLE input = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
        HANDLE output = inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
        HANDLE error = inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = error;
        std::wstring line = commandLine; // CreateProcessW may write into it
        started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr,
                                 &startup, &process);
        failure = GetLastError();
        CloseHandle(input);
        CloseHandle(output);
        CloseHandle(error);
        if (!started && failure != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    if (!started) {
        throw std::runtime_error("cannot start " + program + ": " + windowsErrorText(failure));
    }
    CloseHandle(process.hThread);
    child.pid = static_cast<int>(process.dwProcessId);
    child.process = process.hProcess;
    return child;
}

CliResult finishCli(CliChild& child) {
    CliResult result;
    HANDLE process = static_cast<HANDLE>(child.process);
    DWORD code = 0;
    if (process != nullptr && WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process, &code)) {
        // A crash ends with its exception code (0xC0000005 and the like): not a normal exit.
        result.status = code >= 0xC0000000u ? -1 : static_cast<int>(code);
    }
    if (process != nullptr) {
        CloseHandle(process);
    }
    child.process = nullptr;
    child.pid = -1;
    result.out = readFileBytes(child.captures->file("stdout"));
    result.err = readFileBytes(child.captures->file("stderr"));
    result.lines = normalisedLines(result.out);
    result.errLines = normalisedLines(result.err);
    return result;
}
