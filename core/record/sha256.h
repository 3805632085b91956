#pragma once
// SHA-256 of a byte string, as lower-case hexadecimal: how the record names the exact contents
// of the files a configuration came from.

#include <string>
#include <string_view>

std::string sha256Hex(std::string_view bytes);
