#pragma once
// A fresh folder under the system's temporary directory, removed with everything in it when
// the object goes away.

#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name, as a string.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Whole file as bytes; empty when it cannot be read.
std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
