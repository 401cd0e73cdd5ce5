#include "encoding/WideText.h"

#include <cstdint>
#include <type_traits>

#include "encoding/Surrogates.h"

namespace encoding {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

struct SequenceShape {
    int length;
    char32_t leadBits;
    char32_t minimum;
};

// Length, payload and smallest legal value of the sequence a lead byte starts.
SequenceShape ShapeOf(unsigned char lead) {
    if (lead < 0x80) return {1, lead, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, lead & 0x1Fu, 0x80};
    if (lead >= 0xE0 && lead <= 0xEF) return {3, lead & 0x0Fu, 0x800};
    if (lead >= 0xF0 && lead <= 0xF4) return {4, lead & 0x07u, 0x10000};
    return {0, 0, 0};
}

// Decodes one valid sequence at the start of bytes; returns its length, or 0.
int DecodeSequence(std::string_view bytes, char32_t& codePoint) {
    const SequenceShape shape = ShapeOf(static_cast<unsigned char>(bytes[0]));
    if (shape.length == 0 || bytes.size() < static_cast<size_t>(shape.length)) return 0;
    char32_t value = shape.leadBits;
    for (int i = 1; i < shape.length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
        if (!IsContinuation(byte)) return 0;
        value = (value << 6) | (byte & 0x3Fu);
    }
    if (value < shape.minimum || value > kLastCodePoint || IsSurrogate(value)) return 0;
    codePoint = value;
    return shape.length;
}

void AppendCodePoint(std::wstring& text, char32_t codePoint) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (codePoint >= kFirstSupplementary) {
            text.push_back(static_cast<wchar_t>(HighSurrogateOf(codePoint)));
            text.push_back(static_cast<wchar_t>(LowSurrogateOf(codePoint)));
            return;
        }
    }
    text.push_back(static_cast<wchar_t>(codePoint));
}

bool IsEscapedByte(char32_t unit) { return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF; }

// wchar_t may be signed: the code unit's bits as an unsigned value.
char32_t UnitAt(std::wstring_view text, size_t at) {
    return static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[at]));
}

// The character at text[i], a pair joined where wchar_t has 16 bits; i moves
// onto its last unit.
char32_t CharacterAt(std::wstring_view text, size_t& i) {
    const char32_t unit = UnitAt(text, i);
    if (sizeof(wchar_t) == 2 && IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(UnitAt(text, i + 1))) {
        return CharacterOfPair(unit, UnitAt(text, ++i));
    }
    return unit;
}

char32_t Printable(char32_t character) { return character > kLastCodePoint ? char32_t{0xFFFD} : character; }

}  // namespace

std::wstring WideFromBytes(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        int length = DecodeSequence(bytes, codePoint);
        if (length == 0) {
            codePoint = kEscapeBase + static_cast<unsigned char>(bytes[0]);
            length = 1;
        }
        AppendCodePoint(text, codePoint);
        bytes.remove_prefix(static_cast<size_t>(length));
    }
    return text;
}

std::string BytesFromWide(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        // Runs of ASCII, the most of most texts, go through at once.
        size_t ascii = i;
        while (ascii < text.size() && static_cast<std::make_unsigned_t<wchar_t>>(text[ascii]) < 0x80) ++ascii;
        if (ascii != i) {
            const size_t start = bytes.size();
            bytes.resize(start + (ascii - i));
            for (size_t at = i; at < ascii; ++at) bytes[start + (at - i)] = static_cast<char>(text[at]);
            i = ascii - 1;
            continue;
        }
        const char32_t unit = UnitAt(text, i);
        if (IsEscapedByte(unit)) {
            bytes.push_back(static_cast<char>(unit - kEscapeBase));
            continue;
        }
        AppendUtf8(bytes, Printable(CharacterAt(text, i)));
    }
    return bytes;
}

std::string Utf8ShowingSurrogates(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) AppendUtf8(bytes, Printable(CharacterAt(text, i)));
    return bytes;
}

void AppendUtf8(std::string& bytes, char32_t codePoint) {
    if (codePoint < 0x80) {
        bytes.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}  // namespace encoding
