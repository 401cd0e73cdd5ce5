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

}  // namespace encoding
