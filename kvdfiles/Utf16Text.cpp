#include "kvdfiles/Utf16Text.h"

#include "encoding/Surrogates.h"

namespace kvd {

using encoding::IsHighSurrogate;
using encoding::IsLowSurrogate;
using encoding::kFirstSupplementary;

bool IsStorableText(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == 2) {
        return true;
    } else {
        for (const wchar_t character : text) {
            const auto value = static_cast<char32_t>(character);
            if (value > encoding::kLastCodePoint || IsHighSurrogate(value)) return false;
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
            units.push_back(static_cast<char16_t>(encoding::HighSurrogateOf(value)));
            units.push_back(static_cast<char16_t>(encoding::LowSurrogateOf(value)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
    }
    return units;
}

std::wstring WideFromUtf16(std::u16string_view units) {
    std::wstring text;
    AssignWideFromUtf16(units, text);
    return text;
}

void AssignWideFromUtf16(std::u16string_view units, std::wstring& text) {
    text.resize(units.size());
    // Units below the surrogates are characters of their own: a plain copy.
    std::size_t at = 0;
    for (; at < units.size() && units[at] < 0xD800; ++at) text[at] = static_cast<wchar_t>(units[at]);
    if (at == units.size()) return;
    text.resize(at);
    for (; at < units.size(); ++at) {
        const char32_t unit = units[at];
        const bool pair =
            sizeof(wchar_t) == 4 && IsHighSurrogate(unit) && at + 1 < units.size() && IsLowSurrogate(units[at + 1]);
        if (pair) {
            text.push_back(static_cast<wchar_t>(encoding::CharacterOfPair(unit, units[++at])));
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
}

}  // namespace kvd
