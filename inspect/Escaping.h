// Texts of the repository, UTF-8 in which a surrogate that is not half of a
// pair takes the three bytes of its value, written so that any character
// they hold reads back unambiguously: in the tab-separated listing and in
// JSON strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "inspect/TextRoom.h"

namespace inspect {

// The most bytes a text of size bytes takes, escaped: six for each (a
// \uXXXX escape stands for one to three of them), and a JSON string's two
// quotes.
constexpr std::size_t MostEscapedBytes(std::size_t size) { return 6 * size + 2; }

// Writes text at out as one field of a tab-separated line and returns the end
// of it: a backslash becomes \\, a tab \t, a line feed \n, a carriage return
// \r; every other control character (U+0000..U+001F, U+007F..U+009F) and
// every surrogate code unit that is not half of a pair (such as
// U+DC80..U+DCFF, an undecodable byte of a file name) becomes \uXXXX with four
// lowercase hexadecimal digits. Everything else is copied as it is.
char* PutFieldText(char* out, std::string_view text);

// Writes text as a JSON string, quotes included: a double quote becomes \",
// a backslash \\; control characters and unpaired surrogates become \uXXXX as
// above. Everything else is copied as it is.
char* PutJsonString(char* out, std::string_view text);

inline void AppendFieldText(std::string& out, std::string_view text) {
    AppendWithin(out, MostEscapedBytes(text.size()), [&](char* at) { return PutFieldText(at, text); });
}

inline void AppendJsonString(std::string& out, std::string_view text) {
    AppendWithin(out, MostEscapedBytes(text.size()), [&](char* at) { return PutJsonString(at, text); });
}

}  // namespace inspect
