#pragma once
// A shared library loaded while the program runs, so that the program starts without it and
// can say what is missing: dlopen on POSIX systems, LoadLibrary on Windows. The library is
// unloaded when the object goes away.

#include <memory>
#include <string>
#include <utility>

class DynamicLibrary {
public:
    // Loads file (a bare name is searched on the loader path). nullptr when it cannot be
    // loaded, with the system's reason in why.
    static std::unique_ptr<DynamicLibrary> load(const std::string& file, std::string& why);

    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The address of an exported symbol; nullptr when the library has none of that name.
    void* symbol(const char* name) const;
    // The file as it was asked for.
    const std::string& file() const { return file_; }

private:
    DynamicLibrary(void* handle, std::string file) : handle_(handle), file_(std::move(file)) {}

    void* handle_;
    std::string file_;
};
