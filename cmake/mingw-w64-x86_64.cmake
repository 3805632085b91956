# Cross-compiling for 64-bit Windows from Debian with mingw-w64 (the posix-thread compilers,
# whose libstdc++ has std::thread and std::mutex). The libraries come from a prefix that
# scripts/windows-deps.sh builds (VARKO5_WIN_DEPS), and Qt from one that scripts/windows-qt.sh
# builds (VARKO5_WIN_QT); both default to folders under ~/.cache/varko5.
#
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT VARKO5_WIN_DEPS)
    if(DEFINED ENV{VARKO5_WIN_DEPS})
        set(VARKO5_WIN_DEPS "$ENV{VARKO5_WIN_DEPS}")
    else()
        set(VARKO5_WIN_DEPS "$ENV{HOME}/.cache/varko5/win-deps")
    endif()
endif()
if(NOT VARKO5_WIN_QT)
    if(DEFINED ENV{VARKO5_WIN_QT})
        set(VARKO5_WIN_QT "$ENV{VARKO5_WIN_QT}")
    else()
        set(VARKO5_WIN_QT "$ENV{HOME}/.cache/varko5/qt5-mingw")
    endif()
endif()
# try_compile projects read this file again; hand them the same folders.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VARKO5_WIN_DEPS VARKO5_WIN_QT)

# Only the mingw sysroot and the two prefixes: the Linux headers and libraries must never be
# found. Programs (moc, uic, rcc of the Qt prefix) are the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${VARKO5_WIN_DEPS}" "${VARKO5_WIN_QT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${VARKO5_WIN_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Test programs run under wine on this machine (test discovery included).
find_program(VARKO5_WINE NAMES wine wine64)
if(VARKO5_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${VARKO5_WINE}")
endif()
