// Steps the command handlers share.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace commands {

// True when every key is present, whatever its value. Otherwise prints the
// command's invalid-arguments message and the usage text, and returns false.
bool RequireOptions(std::wstring_view commandName, std::initializer_list<std::wstring_view> keys);

// Prints message and returns false.
bool Fail(std::wstring_view message);

// Leading white space, an optional sign, then decimal digits up to the first
// other character; 0 when there is no number, the nearest bound beyond range.
std::int32_t ParseLeadingInteger(std::wstring_view text);

}  // namespace commands
