// The index stores every text as UTF-16 code units, so that the same bytes
// mean the same text where wchar_t has 16 bits and where it has 32.
#pragma once

#include <string>
#include <string_view>

namespace kvd {

// True when every character of text survives the trip through UTF-16 and
// back unchanged. With 32-bit wchar_t that excludes values above U+10FFFF
// and high surrogates (a high surrogate followed by a low one would come
// back as one character); the lone U+DC80..U+DCFF escapes pass.
bool IsStorableText(std::wstring_view text);

std::u16string Utf16FromWide(std::wstring_view text);
std::wstring WideFromUtf16(std::u16string_view units);
// The same into text, whose storage is reused.
void AssignWideFromUtf16(std::u16string_view units, std::wstring& text);

}  // namespace kvd
