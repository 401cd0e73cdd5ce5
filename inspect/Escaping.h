// Texts of the repository written so that any character they hold reads back
// unambiguously: in the tab-separated listing and in JSON strings.
#pragma once

#include <string>
#include <string_view>

namespace inspect {

// Appends text as one field of a tab-separated line: a backslash becomes \\,
// a tab \t, a line feed \n, a carriage return \r; every other control
// character (U+0000..U+001F, U+007F..U+009F) and every surrogate code unit
// that is not half of a pair (such as U+DC80..U+DCFF, an undecodable byte of
// a file name) becomes \uXXXX with four lowercase hexadecimal digits.
void AppendFieldText(std::wstring& out, std::wstring_view text);

// Appends text as a JSON string, quotes included: a double quote becomes \",
// a backslash \\; control characters and unpaired surrogates become \uXXXX as
// above. Everything else stays as it is and is printed as UTF-8.
void AppendJsonString(std::wstring& out, std::wstring_view text);

}  // namespace inspect
