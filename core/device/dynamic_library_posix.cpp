#include "core/device/dynamic_library.h"

#include <dlfcn.h>

std::unique_ptr<DynamicLibrary> DynamicLibrary::load(const std::string& file, std::string& why) {
    // Every symbol is resolved now, so a library that lacks one of its own dependencies fails
    // here rather than in the middle of an exchange; its symbols stay out of the program's.
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        why = error != nullptr ? error : "unknown error";
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle, file));
}

DynamicLibrary::~DynamicLibrary() {
    ::dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const {
    return ::dlsym(handle_, name);
}
