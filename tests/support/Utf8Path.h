// File names as the tests write them: UTF-8 text (on POSIX, any bytes),
// turned into the platform's paths and back without a locale's say.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace test_support {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace test_support
