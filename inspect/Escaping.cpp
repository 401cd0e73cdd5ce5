#include "inspect/Escaping.h"

#include "encoding/Surrogates.h"

namespace inspect {
namespace {

using encoding::IsHighSurrogate;
using encoding::IsLowSurrogate;

// A value above the last code point can only arise where wchar_t has 32 bits;
// neither UTF-8 nor a \u escape can carry it, and the library refuses to store
// one, so it stands as the replacement character.
constexpr wchar_t kReplacementCharacter = 0xFFFD;

bool IsControl(char32_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

char32_t UnitAt(std::wstring_view text, std::size_t at) { return static_cast<char32_t>(text[at]); }

// Where wchar_t has 16 bits a character beyond U+FFFF is a pair of surrogates,
// which passes whole.
bool StartsPair(std::wstring_view text, std::size_t at) {
    return sizeof(wchar_t) == 2 && IsHighSurrogate(UnitAt(text, at)) && at + 1 < text.size() &&
           IsLowSurrogate(UnitAt(text, at + 1));
}

void AppendUnicodeEscape(std::wstring& out, char32_t unit) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    out += L"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(unit >> shift) & 0xF];
}

// The escape a character needs in a tab-separated field; empty when none.
std::wstring_view FieldEscape(char32_t unit) {
    switch (unit) {
        case L'\\': return L"\\\\";
        case L'\t': return L"\\t";
        case L'\n': return L"\\n";
        case L'\r': return L"\\r";
        default: return {};
    }
}

std::wstring_view JsonEscape(char32_t unit) {
    switch (unit) {
        case L'\\': return L"\\\\";
        case L'"': return L"\\\"";
        default: return {};
    }
}

// Copies text to out, escaping with namedEscape first and \uXXXX for control
// characters and unpaired surrogates.
template <typename NamedEscape>
void AppendEscaped(std::wstring& out, std::wstring_view text, NamedEscape namedEscape) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char32_t unit = UnitAt(text, at);
        if (const std::wstring_view named = namedEscape(unit); !named.empty()) {
            out += named;
        } else if (StartsPair(text, at)) {
            out += text.substr(at++, 2);
        } else if (IsControl(unit) || encoding::IsSurrogate(unit)) {
            AppendUnicodeEscape(out, unit);
        } else if (unit > encoding::kLastCodePoint) {
            out += kReplacementCharacter;
        } else {
            out += text[at];
        }
    }
}

}  // namespace

void AppendFieldText(std::wstring& out, std::wstring_view text) { AppendEscaped(out, text, FieldEscape); }

void AppendJsonString(std::wstring& out, std::wstring_view text) {
    out += L'"';
    AppendEscaped(out, text, JsonEscape);
    out += L'"';
}

}  // namespace inspect
