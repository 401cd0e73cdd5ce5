#include "kvdfiles/Utf16Text.h"

namespace kvd {
namespace {

constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

bool IsStorableText(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return true;
    } else {
        for (const wchar_t character : text) {
            const auto value = static_cast<char32_t>(character);
            if (value > kLastCodePoint || IsHighSurrogate(value)) return false;
        }
        return true;
    }
}

std::u16string Utf16FromWide(std::wstring_view text) {
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t character : text) {
        const auto value = static_cast<char32_t>(character);
        if (value >= kFirstSupplementary) {
            const char32_t offset = value - kFirstSupplementary;
            units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
    }
    return units;
}

std::wstring WideFromUtf16(std::u16string_view units) {
    std::wstring text;
    text.reserve(units.size());
    for (std::size_t at = 0; at < units.size(); ++at) {
        const char32_t unit = units[at];
        const bool pair = sizeof(wchar_t) == 4 && IsHighSurrogate(unit) && at + 1 < units.size() &&
                          IsLowSurrogate(units[at + 1]);
        if (pair) {
            const char32_t low = units[++at];
            text.push_back(static_cast<wchar_t>(kFirstSupplementary + ((unit - 0xD800) << 10) +
                                                (low - 0xDC00)));
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

}  // namespace kvd
