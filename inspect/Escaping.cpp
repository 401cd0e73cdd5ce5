#include "inspect/Escaping.h"

#include <array>

#include "encoding/Surrogates.h"

namespace inspect {
namespace {

using encoding::IsHighSurrogate;
using encoding::IsLowSurrogate;

// How an ASCII character is written in a field or a JSON string: as it is,
// as a named escape, or as \u00XX.
enum class Kind : std::uint8_t { Plain, Named, Unicode };

struct Escapes {
    std::array<Kind, 128> kinds{};
    std::array<char, 128> named{};  // the letter after the backslash
};

constexpr Escapes MakeEscapes(std::initializer_list<std::pair<char, char>> named) {
    Escapes escapes;
    for (std::size_t unit = 0; unit < 128; ++unit) {
        escapes.kinds[unit] = unit < 0x20 || unit == 0x7F ? Kind::Unicode : Kind::Plain;
    }
    for (const auto& [unit, letter] : named) {
        escapes.kinds[static_cast<std::size_t>(unit)] = Kind::Named;
        escapes.named[static_cast<std::size_t>(unit)] = letter;
    }
    return escapes;
}

// Fields: a backslash, a tab, a line feed and a carriage return have names.
constexpr Escapes kFieldEscapes = MakeEscapes({{'\\', '\\'}, {'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}});
// JSON strings: a double quote and a backslash.
constexpr Escapes kJsonEscapes = MakeEscapes({{'"', '"'}, {'\\', '\\'}});

char* PutUnicodeEscape(char* out, char32_t unit) {
    static constexpr char kDigits[] = "0123456789abcdef";
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4) *out++ = kDigits[(unit >> shift) & 0xF];
    return out;
}

char* PutUtf8(char* out, char32_t character) {
    if (character < 0x800) {
        *out++ = static_cast<char>(0xC0 | (character >> 6));
    } else if (character < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (character >> 12));
        *out++ = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (character >> 18));
        *out++ = static_cast<char>(0x80 | ((character >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (character & 0x3F));
    return out;
}

// A character beyond ASCII at text[at]; at moves past a surrogate pair. Where
// wchar_t has 16 bits a character beyond U+FFFF is a pair of surrogates,
// which passes whole; a surrogate alone is escaped. A value above the last
// code point can only arise where wchar_t has 32 bits; neither UTF-8 nor a
// \u escape can carry it, and the library refuses to store one, so it stands
// as the replacement character.
char* PutWide(char* out, std::wstring_view text, std::size_t& at) {
    const auto unit = static_cast<char32_t>(text[at]);
    if (unit <= 0x9F) return PutUnicodeEscape(out, unit);
    if (sizeof(wchar_t) == 2 && IsHighSurrogate(unit) && at + 1 < text.size() &&
        IsLowSurrogate(static_cast<char32_t>(text[at + 1]))) {
        return PutUtf8(out, encoding::CharacterOfPair(unit, static_cast<char32_t>(text[++at])));
    }
    if (encoding::IsSurrogate(unit)) return PutUnicodeEscape(out, unit);
    return PutUtf8(out, unit > encoding::kLastCodePoint ? char32_t{0xFFFD} : unit);
}

bool IsPlain(wchar_t character, const Escapes& escapes) {
    const auto unit = static_cast<char32_t>(character);
    return unit < 0x80 && escapes.kinds[unit] == Kind::Plain;
}

// Writes text as UTF-8, escaping as escapes says for ASCII and with \uXXXX
// for the other control characters and unpaired surrogates.
char* PutEscaped(char* out, std::wstring_view text, const Escapes& escapes) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        // Plain characters, most of any text, one after the other.
        while (at < text.size() && IsPlain(text[at], escapes)) *out++ = static_cast<char>(text[at++]);
        if (at == text.size()) break;
        const auto unit = static_cast<char32_t>(text[at]);
        if (unit >= 0x80) {
            out = PutWide(out, text, at);
        } else if (escapes.kinds[unit] == Kind::Plain) {
            *out++ = static_cast<char>(unit);
        } else if (escapes.kinds[unit] == Kind::Named) {
            *out++ = '\\';
            *out++ = escapes.named[unit];
        } else {
            out = PutUnicodeEscape(out, unit);
        }
    }
    return out;
}

}  // namespace

char* PutFieldText(char* out, std::wstring_view text) { return PutEscaped(out, text, kFieldEscapes); }

char* PutJsonString(char* out, std::wstring_view text) {
    *out++ = '"';
    out = PutEscaped(out, text, kJsonEscapes);
    *out++ = '"';
    return out;
}

}  // namespace inspect
