// UTF-16 surrogates: the code units that carry, two by two, the characters
// beyond U+FFFF. Alone they are no character; the tool uses the low ones
// U+DC80..U+DCFF alone for the bytes that are not UTF-8 (WideText.h).
#pragma once

namespace encoding {

constexpr char32_t kFirstSupplementary = 0x10000;  // the first character a pair carries
constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t unit) { return IsHighSurrogate(unit) || IsLowSurrogate(unit); }

// The pair that carries a character from U+10000 to U+10FFFF.
constexpr char32_t HighSurrogateOf(char32_t character) { return 0xD800 + ((character - kFirstSupplementary) >> 10); }
constexpr char32_t LowSurrogateOf(char32_t character) { return 0xDC00 + ((character - kFirstSupplementary) & 0x3FF); }
// The character a high and a low surrogate carry.
constexpr char32_t CharacterOfPair(char32_t high, char32_t low) {
    return kFirstSupplementary + ((high - 0xD800) << 10) + (low - 0xDC00);
}

}  // namespace encoding
