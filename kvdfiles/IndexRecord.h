// One entry of the index as bytes: the record that the index file and its
// change records hold for it.
//
// Version 3 record, the one written (integers are LEB128 varints, signed
// ones zigzag-coded):
//   content size, time added (microseconds since 1970-01-01 UTC), time last
//   changed less time added (wrapping at 64 bits), u8 permissions, u8 marks
//   (bit 0: a content checksum follows; bit 1: the destination was given on
//   Windows, where '\' separates folders; the other bits 0), the content
//   checksum when marked (u32 little-endian, the CRC-32C of every byte of the
//   content), then the identifier, destination, version and description,
//   each a varint byte count followed by its UTF-16 code units, each unit
//   written as UTF-8 writes a code point of that value (1 to 3 bytes,
//   surrogates included, shortest form only).
// The unit form keeps the order of the units: identifiers compare as bytes.
// IndexRecord.cpp lists these fields once (VisitFields), and writing,
// checking and decoding a record all follow that list.
//
// Version 2 record, still read: the same without the marks and the checksum.
// Version 1 record, still read: u64 content size, i64 times, u32
// permissions, then the four texts as a u32 count of units followed by the
// UTF-16LE units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvd {

struct IndexEntry {
    std::u16string id;
    std::u16string destination;  // as given when the file was added
    std::u16string version;
    std::u16string description;
    std::uint32_t permissions = 0;
    std::uint64_t contentSize = 0;
    std::int64_t addedMicros = 0;
    std::int64_t changedMicros = 0;
    // The CRC-32C of the content, when the last write recorded one (records
    // of older versions have none).
    std::optional<std::uint32_t> contentChecksum;
    // The destination was given on Windows, where '\' separates folders.
    bool givenOnWindows = false;
};

bool IsValidPermissions(std::uint32_t permissions);

namespace record {

// Where a text lies in the bytes that hold its record.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool ascii = false;  // every unit one byte below 0x80, as ParseText found
};

// The version of the index format whose records Encode writes.
inline constexpr std::uint32_t kVersion = 3;

// A record whose every field was checked, found in place.
struct View {
    std::uint64_t contentSize = 0;
    std::int64_t addedMicros = 0;
    std::int64_t changedMicros = 0;
    std::uint32_t permissions = 0;
    std::optional<std::uint32_t> contentChecksum;
    bool givenOnWindows = false;
    Span id;
    Span destination;
    Span version;
    Span description;
};

std::vector<std::uint8_t> Encode(const IndexEntry& entry);
// The units of a text in the record's form, without the count.
std::vector<std::uint8_t> EncodeText(std::u16string_view text);
// A text with its count, as the record holds it.
void AppendText(std::vector<std::uint8_t>& out, std::u16string_view text);
bool ParseText(const std::uint8_t* bytes, std::size_t& at, std::size_t end, Span& span);

// Checks the record of version (2 or 3) that starts at at and ends at or
// before end, and moves at past it: every field within bounds and
// well-formed, an identifier and a destination present, valid permissions.
bool Parse(const std::uint8_t* bytes, std::size_t& at, std::size_t end, View& view, std::uint32_t version = kVersion);
// Checks the record that fills the bytes from begin to end.
bool ParseWhole(const std::uint8_t* bytes, std::size_t begin, std::size_t end, View& view,
                std::uint32_t version = kVersion);
// The fields of the record of size bytes at bytes, which was checked.
View ViewOf(const std::uint8_t* bytes, std::size_t size, std::uint32_t version = kVersion);
IndexEntry Decode(const std::uint8_t* bytes, std::size_t size, std::uint32_t version = kVersion);
// The same into entry, whose texts' storage is reused; or from a view of
// the record found in bytes.
void DecodeInto(const std::uint8_t* bytes, std::size_t size, IndexEntry& entry);
void DecodeInto(const std::uint8_t* bytes, const View& view, IndexEntry& entry);
// Only the fields that are not texts.
void DecodeNumbersInto(const View& view, IndexEntry& entry);
// Orders two texts in the record form, which keeps the order of their
// units: negative, 0 or positive.
int CompareTexts(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t bSize);
// A checked record of an older version, written as Encode writes it.
std::vector<std::uint8_t> Transcoded(const std::uint8_t* bytes, std::size_t size, std::uint32_t version);
std::u16string DecodeText(const std::uint8_t* bytes, Span span);
void DecodeTextInto(const std::uint8_t* bytes, Span span, std::u16string& text);
// The same as wide text (UTF-16 pairs joined where wchar_t has 32 bits).
void DecodeWideInto(const std::uint8_t* bytes, Span span, std::wstring& text);
// The same as UTF-8: a pair joined into one four-byte character, a surrogate
// alone in the three bytes the record holds for it.
void DecodeUtf8Into(const std::uint8_t* bytes, Span span, std::string& text);

// The key under which the index files a destination: a checksum of its last
// component, the bytes after its last '/', '\\' or ':'. Two destinations that
// name one file end in the same component, on any system.
std::uint32_t NameKey(const std::uint8_t* bytes, Span destination);

// A version 1 record, checked the same way.
bool ParseVersion1(const std::uint8_t* bytes, std::size_t& at, std::size_t end, IndexEntry& entry);

}  // namespace record
}  // namespace kvd
