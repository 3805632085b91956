#pragma once
// UTF-8 text (what the programs hold) to and from the UTF-16 of the Windows wide APIs.

#include <string>

// Empty for empty text; std::nullopt-like failure is reported through ok (invalid UTF-8).
std::wstring wideFromUtf8(const std::string& text, bool* ok = nullptr);
// Unpaired surrogates become U+FFFD.
std::string utf8FromWide(const std::wstring& text);
// The text of a Windows error code (GetLastError), without a line end.
std::string windowsErrorText(unsigned long code);
// A Windows error code as the error number the same failure has on Linux (EIO for the rest).
int errnoOf(unsigned long error);
// The Linux C library's text for those error numbers, so that messages read as on Linux.
std::string errnoText(int error);
