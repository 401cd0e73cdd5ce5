#include "inspect/Escaping.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace inspect {
namespace {

// How an ASCII character is written in a field or a JSON string: as it is,
// as a named escape, or as \u00XX.
enum class Kind : std::uint8_t { Plain, Named, Unicode };

constexpr std::uint64_t kEachByte = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

struct Escapes {
    std::array<Kind, 128> kinds{};
    std::array<char, 128> named{};  // the letter after the backslash
    // The printable characters that have names, each in every byte of a
    // word (one twice where there is one).
    std::array<std::uint64_t, 2> printableNamed{};
};

constexpr Escapes MakeEscapes(std::initializer_list<std::pair<char, char>> named) {
    Escapes escapes;
    for (std::size_t unit = 0; unit < 128; ++unit) {
        escapes.kinds[unit] = unit < 0x20 || unit == 0x7F ? Kind::Unicode : Kind::Plain;
    }
    std::size_t printable = 0;
    for (const auto& [unit, letter] : named) {
        escapes.kinds[static_cast<std::size_t>(unit)] = Kind::Named;
        escapes.named[static_cast<std::size_t>(unit)] = letter;
        if (unit >= 0x20) escapes.printableNamed[printable++] = kEachByte * static_cast<std::uint8_t>(unit);
    }
    if (printable == 1) escapes.printableNamed[1] = escapes.printableNamed[0];
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

// The length of the UTF-8 sequence a lead byte starts; a stray byte is one
// of its own.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The character beyond ASCII whose sequence starts text at at, of length
// bytes: escaped when it is a control character (U+0080..U+009F) or a
// surrogate, which only stands alone here, else copied as it is.
char* PutBeyondAscii(char* out, std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[at + i])); };
    if (length == 2 && byte(0) == 0xC2 && byte(1) <= 0x9F) return PutUnicodeEscape(out, byte(1));
    if (length == 3 && byte(0) == 0xED && byte(1) >= 0xA0) {
        return PutUnicodeEscape(out, 0xD000 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F));
    }
    return std::copy_n(text.data() + at, length, out);
}

// Nonzero when some byte of word is 0 (the usual test: a byte's high bit is
// set only where a borrow ran through it, which a zero byte starts).
constexpr std::uint64_t AnyZeroByte(std::uint64_t word) { return (word - kEachByte) & ~word & kHighBits; }

// Whether none of the eight bytes of word needs more than a copy: each
// printable ASCII, none a character with a name.
bool IsPlainWord(std::uint64_t word, const Escapes& escapes) {
    // A byte below 0x20 borrows, which sets its high bit; one from 0x80 up
    // has it already.
    const std::uint64_t controlOrBeyond = ((word - kEachByte * 0x20) | word) & kHighBits;
    return (controlOrBeyond | AnyZeroByte(word ^ (kEachByte * 0x7F)) | AnyZeroByte(word ^ escapes.printableNamed[0]) |
            AnyZeroByte(word ^ escapes.printableNamed[1])) == 0;
}

bool IsPlain(char character, const Escapes& escapes) {
    const auto byte = static_cast<unsigned char>(character);
    return byte < 0x80 && escapes.kinds[byte] == Kind::Plain;
}

// Writes text, escaping as escapes says for ASCII and with \uXXXX for the
// other control characters and the surrogates.
char* PutEscaped(char* out, std::string_view text, const Escapes& escapes) {
    for (std::size_t at = 0; at < text.size();) {
        // Plain characters, most of any text: eight at a time, then one by
        // one.
        for (std::uint64_t word = 0; text.size() - at >= sizeof word; at += sizeof word, out += sizeof word) {
            std::memcpy(&word, text.data() + at, sizeof word);
            if (!IsPlainWord(word, escapes)) break;
            std::memcpy(out, &word, sizeof word);
        }
        while (at < text.size() && IsPlain(text[at], escapes)) *out++ = text[at++];
        if (at == text.size()) break;
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x80) {
            const std::size_t length = std::min(SequenceLength(byte), text.size() - at);
            out = PutBeyondAscii(out, text, at, length);
            at += length;
            continue;
        }
        if (escapes.kinds[byte] == Kind::Named) {
            *out++ = '\\';
            *out++ = escapes.named[byte];
        } else {
            out = PutUnicodeEscape(out, byte);
        }
        ++at;
    }
    return out;
}

}  // namespace

char* PutFieldText(char* out, std::string_view text) { return PutEscaped(out, text, kFieldEscapes); }

char* PutJsonString(char* out, std::string_view text) {
    *out++ = '"';
    out = PutEscaped(out, text, kJsonEscapes);
    *out++ = '"';
    return out;
}

}  // namespace inspect
