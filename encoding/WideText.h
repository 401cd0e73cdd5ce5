// Reversible conversion between byte strings and wide text.
//
// Bytes are read as UTF-8. A byte that is not part of a valid UTF-8 sequence
// becomes the lone code unit U+DC80..U+DCFF (0xDC00 plus the byte), which no
// valid UTF-8 text can produce, so converting back gives the original bytes:
// a file name that is not valid UTF-8 still names the same file, and a message
// that carries it prints its original bytes. The tool and the repository
// library both link this one component so that they map names alike.
#pragma once

#include <string>
#include <string_view>

namespace encoding {

std::wstring WideFromBytes(std::string_view bytes);
std::string BytesFromWide(std::wstring_view text);

// Wide text as UTF-8 that keeps every code unit in sight, for showing it
// rather than naming a file: a pair (where wchar_t has 16 bits) is one
// four-byte character, a surrogate that is not half of a pair (the escapes
// of bytes among them) is written as the three bytes of its value, and a
// value beyond U+10FFFF as U+FFFD.
std::string Utf8ShowingSurrogates(std::wstring_view text);

// One code point as UTF-8, one to four bytes; a surrogate's value takes
// three, as any other below U+10000.
void AppendUtf8(std::string& bytes, char32_t codePoint);

}  // namespace encoding
