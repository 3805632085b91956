#pragma once
// Whole-file text reading and writing shared by the XML and LPFP code.

#include <string>
#include <string_view>

// Replace the file at path with content: write a temporary file beside it and rename it over
// the target only when every byte is on disk, so a failed write never destroys what was there.
// Throws std::runtime_error naming the path on any failure.
void writeFileAtomically(const std::string& path, std::string_view content);

// The whole file as text; an empty text when it cannot be read.
std::string readFileText(const std::string& path);
