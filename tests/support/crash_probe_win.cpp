// A program that crashes: an access violation that nothing handles. Linked, like every Windows
// program of the build, with the filter of core/windows/crash_exit.cpp, it must end with a
// status other than 0; ctest expects it to fail (wine has been seen to report a crashed
// program's status as 0 without the filter).

#include <windows.h>

int main() {
    RaiseException(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}
