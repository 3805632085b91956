// Linked into every Windows program: a crash (an access violation, a stack overflow, an
// exception nobody caught) ends the process at once with the exception code as its status,
// which is never 0. Without this Windows may show a dialog or start a debugger, and wine may
// even report the dead process as having exited with 0, which would let a crashed test pass.

#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI endProcess(EXCEPTION_POINTERS* info) {
    const DWORD code =
        info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : DWORD{3};
    std::fprintf(stderr, "Fatal: the program crashed (exception 0x%08lX)\n",
                 static_cast<unsigned long>(code));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code != 0 ? static_cast<UINT>(code) : 3u);
    return EXCEPTION_EXECUTE_HANDLER;
}

struct CrashExit {
    CrashExit() {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        SetUnhandledExceptionFilter(endProcess);
    }
};

const CrashExit crashExit;

} // namespace
