#pragma once
// The core's text (UTF-8: messages, paths, keys) as the desktop's text.

#include <QString>

#include <string_view>

inline QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}
