#pragma once
// Included first into every test source of the Windows build: the POSIX environment calls the
// tests use, on the C runtime's. Windows cannot hold a variable that is set but empty; setting
// one to "" removes it.
#ifdef _WIN32
#include <cstdlib>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (overwrite == 0 && std::getenv(name) != nullptr) {
        return 0;
    }
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "") == 0 ? 0 : -1;
}
#endif
