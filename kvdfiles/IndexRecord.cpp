#include "kvdfiles/IndexRecord.h"

#include <algorithm>
#include <cstring>

#include "encoding/Surrogates.h"
#include "encoding/WideText.h"
#include "kvdfiles/Crc32c.h"
#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace record {
namespace {

constexpr std::size_t kMaxVarintSize = 10;

void AppendVarint(std::vector<std::uint8_t>& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

bool ReadVarint(const std::uint8_t* bytes, std::size_t& at, std::size_t end, std::uint64_t& value) {
    value = 0;
    for (std::size_t i = 0; i < kMaxVarintSize && at < end; ++i) {
        const std::uint8_t byte = bytes[at++];
        value |= std::uint64_t{byte & 0x7Fu} << (7 * i);
        if ((byte & 0x80) == 0) return i + 1 < kMaxVarintSize || byte <= 1;  // the tenth byte holds one bit
    }
    return false;
}

std::uint64_t Zigzag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ (value < 0 ? ~std::uint64_t{0} : 0);
}

std::int64_t Unzigzag(std::uint64_t value) { return static_cast<std::int64_t>((value >> 1) ^ (~(value & 1) + 1)); }

// Wrapping arithmetic, so that any two times have a difference that gives
// the second back.
std::int64_t Difference(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

std::int64_t Sum(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the unit that starts at at, checked for its shortest form;
// 0 when the bytes there are not one.
std::size_t UnitLength(const std::uint8_t* bytes, std::size_t at, std::size_t end) {
    const std::uint8_t lead = bytes[at];
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        const bool fits = end - at >= 2 && IsContinuation(bytes[at + 1]);
        return fits && lead >= 0xC2 ? 2 : 0;
    }
    if ((lead & 0xF0) == 0xE0) {
        const bool fits = end - at >= 3 && IsContinuation(bytes[at + 1]) && IsContinuation(bytes[at + 2]);
        return fits && (lead > 0xE0 || bytes[at + 1] >= 0xA0) ? 3 : 0;
    }
    return 0;
}

// The first byte at or after at that is not ASCII, or end; eight bytes at a
// time while they last.
std::size_t AsciiEnd(const std::uint8_t* bytes, std::size_t at, std::size_t end) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    for (std::uint64_t word = 0; end - at >= sizeof word; at += sizeof word) {
        std::memcpy(&word, bytes + at, sizeof word);
        if ((word & kHighBits) != 0) break;
    }
    while (at < end && bytes[at] < 0x80) ++at;
    return at;
}

// The unit at at of a checked text, and at moved past it.
char32_t NextUnit(const std::uint8_t* bytes, std::size_t& at) {
    const std::uint8_t lead = bytes[at];
    if (lead < 0x80) {
        at += 1;
        return lead;
    }
    if (lead < 0xE0) {
        at += 2;
        return static_cast<char32_t>((lead & 0x1F) << 6 | (bytes[at - 1] & 0x3F));
    }
    at += 3;
    return static_cast<char32_t>((lead & 0x0F) << 12 | (bytes[at - 2] & 0x3F) << 6 | (bytes[at - 1] & 0x3F));
}

// The character at at of a checked text that ends at end, a pair of
// surrogates joined into one, and at moved past it.
char32_t NextCharacter(const std::uint8_t* bytes, std::size_t& at, std::size_t end) {
    const char32_t unit = NextUnit(bytes, at);
    if (!encoding::IsHighSurrogate(unit) || at == end) return unit;
    std::size_t next = at;
    const char32_t low = NextUnit(bytes, next);
    if (!encoding::IsLowSurrogate(low)) return unit;
    at = next;
    return encoding::CharacterOfPair(unit, low);
}

// Widens the units of an ASCII text, one byte each, into text.
template <typename Text>
void AssignAscii(const std::uint8_t* bytes, Span span, Text& text) {
    const std::size_t size = span.end - span.begin;
    text.resize(size);
    auto* out = text.data();
    for (std::size_t i = 0; i < size; ++i) out[i] = bytes[span.begin + i];
}

bool ParseVersion1Text(const std::uint8_t* bytes, std::size_t& at, std::size_t end, std::u16string& text) {
    if (end - at < 4) return false;
    const std::size_t length = ReadU32(bytes + at);
    at += 4;
    if ((end - at) / 2 < length) return false;
    text.resize(length);
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(ReadU16(bytes + at + 2 * i));
    at += 2 * length;
    return true;
}

// The count of a text and where its units lie, within end; at moves past
// them.
bool ReadTextSpan(const std::uint8_t* bytes, std::size_t& at, std::size_t end, Span& span) {
    std::uint64_t size = 0;
    if (!ReadVarint(bytes, at, end, size) || size > end - at) return false;
    span = {at, at + static_cast<std::size_t>(size)};
    at = span.end;
    return true;
}

// Checks that the bytes of span are units in their shortest form, and
// marks whether every one is ASCII.
bool CheckUnits(const std::uint8_t* bytes, Span& span) {
    std::size_t unit = AsciiEnd(bytes, span.begin, span.end);
    span.ascii = unit == span.end;
    while (unit < span.end) {
        const std::size_t length = UnitLength(bytes, unit, span.end);
        if (length == 0) return false;
        unit += length;
    }
    return true;
}

// Checks the units of a record's texts, which follow one another: where
// all their bytes, the counts between them too, are ASCII, at one go.
bool CheckTexts(const std::uint8_t* bytes, View& view) {
    if (AsciiEnd(bytes, view.id.begin, view.description.end) == view.description.end) {
        view.id.ascii = view.destination.ascii = view.version.ascii = view.description.ascii = true;
        return true;
    }
    return CheckUnits(bytes, view.id) && CheckUnits(bytes, view.destination) && CheckUnits(bytes, view.version) &&
           CheckUnits(bytes, view.description);
}

constexpr std::uint8_t kChecksumMark = 1;
constexpr std::uint8_t kWindowsMark = 2;
constexpr std::uint32_t kMarkedVersion = 3;  // the first with marks

// The fields of a record in their order: the one list that writing,
// checking and decoding follow.
template <typename Codec, typename Fields>
bool VisitFields(Codec& codec, Fields& fields, std::uint32_t version) {
    return codec.Number(fields.contentSize) && codec.Time(fields.addedMicros) &&
           codec.LaterTime(fields.changedMicros, fields.addedMicros) && codec.Permissions(fields.permissions) &&
           (version < kMarkedVersion || codec.Marks(fields.contentChecksum, fields.givenOnWindows)) &&
           codec.Text(fields.id) && codec.Text(fields.destination) && codec.Text(fields.version) &&
           codec.Text(fields.description);
}

class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

    bool Number(std::uint64_t value) {
        AppendVarint(out_, value);
        return true;
    }
    bool Time(std::int64_t micros) { return Number(Zigzag(micros)); }
    // A later time as its difference from an earlier one, which is small.
    bool LaterTime(std::int64_t later, std::int64_t earlier) { return Time(Difference(later, earlier)); }
    bool Permissions(std::uint32_t permissions) {
        out_.push_back(static_cast<std::uint8_t>(permissions));
        return true;
    }
    bool Marks(std::optional<std::uint32_t> checksum, bool givenOnWindows) {
        out_.push_back(static_cast<std::uint8_t>((checksum ? kChecksumMark : 0) | (givenOnWindows ? kWindowsMark : 0)));
        if (checksum) AppendU32(out_, *checksum);
        return true;
    }
    bool Text(std::u16string_view text) {
        AppendText(out_, text);
        return true;
    }

private:
    std::vector<std::uint8_t>& out_;
};

// Reads the fields from at up to end, each checked, and moves at past them.
// A text is read as where it lies, or decoded.
class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t& at, std::size_t end) : bytes_(bytes), at_(at), end_(end) {}

    bool Number(std::uint64_t& value) { return ReadVarint(bytes_, at_, end_, value); }
    bool Time(std::int64_t& micros) {
        std::uint64_t value = 0;
        if (!Number(value)) return false;
        micros = Unzigzag(value);
        return true;
    }
    bool LaterTime(std::int64_t& later, std::int64_t earlier) {
        if (!Time(later)) return false;
        later = Sum(earlier, later);
        return true;
    }
    bool Permissions(std::uint32_t& permissions) {
        if (at_ >= end_) return false;
        permissions = bytes_[at_++];
        return true;
    }
    bool Marks(std::optional<std::uint32_t>& checksum, bool& givenOnWindows) {
        if (at_ >= end_) return false;
        const std::uint8_t marks = bytes_[at_++];
        if ((marks & ~(kChecksumMark | kWindowsMark)) != 0) return false;
        givenOnWindows = (marks & kWindowsMark) != 0;
        checksum.reset();
        if ((marks & kChecksumMark) == 0) return true;
        if (end_ - at_ < 4) return false;
        checksum = ReadU32(bytes_ + at_);
        at_ += 4;
        return true;
    }
    // Where the text lies; its units are checked apart (CheckTexts).
    bool Text(Span& span) { return ReadTextSpan(bytes_, at_, end_, span); }
    bool Text(std::u16string& text) {
        Span span;
        if (!ParseText(bytes_, at_, end_, span)) return false;
        DecodeTextInto(bytes_, span, text);
        return true;
    }

private:
    const std::uint8_t* bytes_;
    std::size_t& at_;
    const std::size_t end_;
};

}  // namespace

bool ParseText(const std::uint8_t* bytes, std::size_t& at, std::size_t end, Span& span) {
    return ReadTextSpan(bytes, at, end, span) && CheckUnits(bytes, span);
}

void AppendText(std::vector<std::uint8_t>& out, std::u16string_view text) {
    const std::vector<std::uint8_t> units = EncodeText(text);
    AppendVarint(out, units.size());
    out.insert(out.end(), units.begin(), units.end());
}

std::vector<std::uint8_t> EncodeText(std::u16string_view text) {
    std::vector<std::uint8_t> units;
    units.reserve(text.size());
    for (const char16_t unit : text) {
        if (unit < 0x80) {
            units.push_back(static_cast<std::uint8_t>(unit));
        } else if (unit < 0x800) {
            units.push_back(static_cast<std::uint8_t>(0xC0 | unit >> 6));
            units.push_back(static_cast<std::uint8_t>(0x80 | (unit & 0x3F)));
        } else {
            units.push_back(static_cast<std::uint8_t>(0xE0 | unit >> 12));
            units.push_back(static_cast<std::uint8_t>(0x80 | ((unit >> 6) & 0x3F)));
            units.push_back(static_cast<std::uint8_t>(0x80 | (unit & 0x3F)));
        }
    }
    return units;
}

std::vector<std::uint8_t> Encode(const IndexEntry& entry) {
    std::vector<std::uint8_t> out;
    Writer writer(out);
    VisitFields(writer, entry, kVersion);
    return out;
}

bool Parse(const std::uint8_t* bytes, std::size_t& at, std::size_t end, View& view, std::uint32_t version) {
    Reader reader(bytes, at, end);
    return VisitFields(reader, view, version) && CheckTexts(bytes, view) && IsValidPermissions(view.permissions) &&
           view.id.end > view.id.begin && view.destination.end > view.destination.begin;
}

bool ParseWhole(const std::uint8_t* bytes, std::size_t begin, std::size_t end, View& view, std::uint32_t version) {
    return Parse(bytes, begin, end, view, version) && begin == end;
}

View ViewOf(const std::uint8_t* bytes, std::size_t size, std::uint32_t version) {
    View view;
    std::size_t at = 0;
    Parse(bytes, at, size, view, version);
    return view;
}

IndexEntry Decode(const std::uint8_t* bytes, std::size_t size, std::uint32_t version) {
    IndexEntry entry;
    std::size_t at = 0;
    Reader reader(bytes, at, size);
    VisitFields(reader, entry, version);
    return entry;
}

void DecodeInto(const std::uint8_t* bytes, std::size_t size, IndexEntry& entry) {
    std::size_t at = 0;
    Reader reader(bytes, at, size);
    VisitFields(reader, entry, kVersion);
}

void DecodeNumbersInto(const View& view, IndexEntry& entry) {
    entry.contentSize = view.contentSize;
    entry.addedMicros = view.addedMicros;
    entry.changedMicros = view.changedMicros;
    entry.permissions = view.permissions;
    entry.contentChecksum = view.contentChecksum;
    entry.givenOnWindows = view.givenOnWindows;
}

void DecodeInto(const std::uint8_t* bytes, const View& view, IndexEntry& entry) {
    DecodeNumbersInto(view, entry);
    DecodeTextInto(bytes, view.id, entry.id);
    DecodeTextInto(bytes, view.destination, entry.destination);
    DecodeTextInto(bytes, view.version, entry.version);
    DecodeTextInto(bytes, view.description, entry.description);
}

int CompareTexts(const std::uint8_t* a, std::size_t aSize, const std::uint8_t* b, std::size_t bSize) {
    const std::size_t commonSize = std::min(aSize, bSize);
    const int common = commonSize == 0 ? 0 : std::memcmp(a, b, commonSize);
    if (common != 0) return common < 0 ? -1 : 1;
    if (aSize == bSize) return 0;
    return aSize < bSize ? -1 : 1;
}

std::vector<std::uint8_t> Transcoded(const std::uint8_t* bytes, std::size_t size, std::uint32_t version) {
    return Encode(Decode(bytes, size, version));
}

std::u16string DecodeText(const std::uint8_t* bytes, Span span) {
    std::u16string text;
    DecodeTextInto(bytes, span, text);
    return text;
}

void DecodeTextInto(const std::uint8_t* bytes, Span span, std::u16string& text) {
    if (span.ascii) return AssignAscii(bytes, span, text);
    text.clear();
    for (std::size_t at = span.begin; at < span.end;) text.push_back(static_cast<char16_t>(NextUnit(bytes, at)));
}

void DecodeWideInto(const std::uint8_t* bytes, Span span, std::wstring& text) {
    if (span.ascii) return AssignAscii(bytes, span, text);
    text.clear();
    for (std::size_t at = span.begin; at < span.end;) {
        // Where wchar_t has 32 bits a pair is one character.
        const char32_t unit = sizeof(wchar_t) == 4 ? NextCharacter(bytes, at, span.end) : NextUnit(bytes, at);
        text.push_back(static_cast<wchar_t>(unit));
    }
}

void DecodeUtf8Into(const std::uint8_t* bytes, Span span, std::string& text) {
    text.clear();
    for (std::size_t at = span.begin; at < span.end;) encoding::AppendUtf8(text, NextCharacter(bytes, at, span.end));
}

std::uint32_t NameKey(const std::uint8_t* bytes, Span destination) {
    std::size_t begin = destination.end;
    while (begin > destination.begin) {
        const std::uint8_t byte = bytes[begin - 1];
        if (byte == '/' || byte == '\\' || byte == ':') break;
        --begin;
    }
    return Crc32c(bytes + begin, destination.end - begin);
}

bool ParseVersion1(const std::uint8_t* bytes, std::size_t& at, std::size_t end, IndexEntry& entry) {
    constexpr std::size_t kFixedSize = 28;  // size, added, changed, permissions
    if (end - at < kFixedSize) return false;
    entry.contentSize = ReadU64(bytes + at);
    entry.addedMicros = static_cast<std::int64_t>(ReadU64(bytes + at + 8));
    entry.changedMicros = static_cast<std::int64_t>(ReadU64(bytes + at + 16));
    entry.permissions = ReadU32(bytes + at + 24);
    at += kFixedSize;
    if (!IsValidPermissions(entry.permissions)) return false;
    for (std::u16string* text : {&entry.id, &entry.destination, &entry.version, &entry.description}) {
        if (!ParseVersion1Text(bytes, at, end, *text)) return false;
    }
    return !entry.id.empty() && !entry.destination.empty();
}

}  // namespace record

bool IsValidPermissions(std::uint32_t permissions) { return permissions >= 1 && permissions <= 3; }

}  // namespace kvd
