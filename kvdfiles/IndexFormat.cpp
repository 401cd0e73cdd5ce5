#include "kvdfiles/IndexFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "kvdfiles/Crc32c.h"

namespace kvd {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'Z', 'R', 'I', 'D', 'X', '\r', '\n', 0x1A};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kCountOffset = 12;
constexpr std::size_t kGenerationOffset = 16;
constexpr std::size_t kFileSizeOffset = 24;
constexpr std::size_t kOffsetSize = 4;
constexpr std::size_t kChecksumSize = 4;
constexpr std::size_t kRecordFixedSize = 28;  // size, added, changed, permissions
constexpr std::size_t kTextCount = 4;
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max();

std::uint32_t ReadU32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
           std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
}

std::uint64_t ReadU64(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint64_t{ReadU32(bytes, at)} | std::uint64_t{ReadU32(bytes, at + 4)} << 32;
}

char16_t ReadUnit(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutU64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    PutU32(bytes, at, static_cast<std::uint32_t>(value));
    PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void AppendU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    PutU32(bytes, bytes.size() - 4, value);
}

void AppendU64(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
    bytes.resize(bytes.size() + 8);
    PutU64(bytes, bytes.size() - 8, value);
}

void AppendText(std::vector<std::uint8_t>& bytes, std::u16string_view text) {
    AppendU32(bytes, static_cast<std::uint32_t>(text.size()));
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

std::vector<std::uint8_t> EncodeRecord(const IndexEntry& entry) {
    std::vector<std::uint8_t> record;
    AppendU64(record, entry.contentSize);
    AppendU64(record, static_cast<std::uint64_t>(entry.addedMicros));
    AppendU64(record, static_cast<std::uint64_t>(entry.changedMicros));
    AppendU32(record, entry.permissions);
    for (const auto* text : {&entry.id, &entry.destination, &entry.version, &entry.description}) {
        AppendText(record, *text);
    }
    return record;
}

// Orders two texts of UTF-16LE units as unsigned numbers. Equal stretches,
// most of a sorted neighbour's identifier, are skipped eight bytes at a time.
int CompareUnits(const std::uint8_t* a, std::size_t aUnits, const std::uint8_t* b, std::size_t bUnits) {
    const std::size_t common = 2 * std::min(aUnits, bUnits);
    std::size_t at = 0;
    for (; at + 8 <= common; at += 8) {
        std::uint64_t aWord = 0;
        std::uint64_t bWord = 0;
        std::memcpy(&aWord, a + at, sizeof aWord);
        std::memcpy(&bWord, b + at, sizeof bWord);
        if (aWord != bWord) break;
    }
    for (; at < common; at += 2) {
        const unsigned aUnit = a[at] | unsigned{a[at + 1]} << 8;
        const unsigned bUnit = b[at] | unsigned{b[at + 1]} << 8;
        if (aUnit != bUnit) return aUnit < bUnit ? -1 : 1;
    }
    if (aUnits == bUnits) return 0;
    return aUnits < bUnits ? -1 : 1;
}

// Walks the records of an index whose checksum matched, checking that each
// one starts where the offset table says and stays inside the file.
class RecordChecker {
public:
    RecordChecker(const std::vector<std::uint8_t>& bytes, std::uint32_t count)
        : bytes_(bytes), end_(bytes.size() - kChecksumSize), at_(kHeaderSize + kOffsetSize * count) {}

    bool CheckAll(std::uint32_t count) {
        for (std::uint32_t position = 0; position < count; ++position) {
            if (ReadU32(bytes_, kHeaderSize + kOffsetSize * position) != at_) return false;
            if (!CheckRecord()) return false;
        }
        return at_ == end_;
    }

private:
    bool CheckRecord() {
        if (end_ - at_ < kRecordFixedSize) return false;
        const std::uint32_t permissions = ReadU32(bytes_, at_ + 24);
        if (!IsValidPermissions(permissions)) return false;
        at_ += kRecordFixedSize;
        std::size_t idBegin = 0;
        std::size_t idLength = 0;
        for (std::size_t text = 0; text < kTextCount; ++text) {
            std::size_t length = 0;
            if (!SkipText(length)) return false;
            const bool mustHaveText = text < 2;  // identifier and destination
            if (mustHaveText && length == 0) return false;
            if (text == 0) idBegin = at_ - 2 * length;
            if (text == 0) idLength = length;
        }
        return IdFollowsPrevious(idBegin, idLength);
    }

    bool SkipText(std::size_t& length) {
        if (end_ - at_ < 4) return false;
        length = ReadU32(bytes_, at_);
        at_ += 4;
        if ((end_ - at_) / 2 < length) return false;
        at_ += 2 * length;
        return true;
    }

    // Identifiers must rise strictly, which also rules out duplicates.
    bool IdFollowsPrevious(std::size_t begin, std::size_t length) {
        const bool first = previousLength_ == 0;
        const bool greater =
            first || CompareUnits(bytes_.data() + begin, length, bytes_.data() + previousBegin_, previousLength_) > 0;
        previousBegin_ = begin;
        previousLength_ = length;
        return greater;
    }

    const std::vector<std::uint8_t>& bytes_;
    const std::size_t end_;
    std::size_t at_;
    std::size_t previousBegin_ = 0;
    std::size_t previousLength_ = 0;
};

// The first commit writes 1; the largest value would leave no next one.
bool IsValidGeneration(std::uint64_t generation) {
    return generation != 0 && generation != std::numeric_limits<std::uint64_t>::max();
}

bool HeaderFits(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kHeaderSize + kChecksumSize || bytes.size() > kMaxFileSize) return false;
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) return false;
    if (ReadU32(bytes, 8) != kFormatVersion) return false;
    if (ReadU64(bytes, kFileSizeOffset) != bytes.size()) return false;
    if (!IsValidGeneration(ReadU64(bytes, kGenerationOffset))) return false;
    const std::size_t checked = bytes.size() - kChecksumSize;
    if (Crc32c(bytes.data(), checked) != ReadU32(bytes, checked)) return false;
    const std::uint64_t count = ReadU32(bytes, kCountOffset);
    return kHeaderSize + kOffsetSize * count + kChecksumSize <= bytes.size();
}

}  // namespace

bool IsValidPermissions(std::uint32_t permissions) { return permissions >= 1 && permissions <= 3; }

std::optional<IndexImage> IndexImage::Parse(std::vector<std::uint8_t> bytes) {
    if (!HeaderFits(bytes)) return std::nullopt;
    const std::uint32_t count = ReadU32(bytes, kCountOffset);
    if (!RecordChecker(bytes, count).CheckAll(count)) return std::nullopt;
    IndexImage image;
    image.count_ = count;
    image.generation_ = ReadU64(bytes, kGenerationOffset);
    image.bytes_ = std::move(bytes);
    return image;
}

IndexImage::RecordSpan IndexImage::RecordAt(std::uint32_t position) const {
    const std::size_t begin = ReadU32(bytes_, kHeaderSize + kOffsetSize * position);
    const std::size_t end = position + 1 < count_
                                ? ReadU32(bytes_, kHeaderSize + kOffsetSize * (position + 1))
                                : bytes_.size() - kChecksumSize;
    return {begin, end};
}

std::u16string IndexImage::TextAt(std::size_t& at) const {
    const std::size_t length = ReadU32(bytes_, at);
    at += 4;
    std::u16string text(length, u'\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = ReadUnit(bytes_, at + 2 * i);
    at += 2 * length;
    return text;
}

int IndexImage::CompareId(std::uint32_t position, std::u16string_view id) const {
    const std::size_t at = RecordAt(position).begin + kRecordFixedSize;
    const std::size_t length = ReadU32(bytes_, at);
    const std::size_t common = std::min(length, id.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t unit = ReadUnit(bytes_, at + 4 + 2 * i);
        if (unit != id[i]) return unit < id[i] ? -1 : 1;
    }
    if (length == id.size()) return 0;
    return length < id.size() ? -1 : 1;
}

std::optional<std::uint32_t> IndexImage::Find(std::u16string_view id) const {
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        const int order = CompareId(middle, id);
        if (order == 0) return middle;
        if (order < 0) low = middle + 1;
        else high = middle;
    }
    return std::nullopt;
}

IndexEntry IndexImage::EntryAt(std::uint32_t position) const {
    std::size_t at = RecordAt(position).begin;
    IndexEntry entry;
    entry.contentSize = ReadU64(bytes_, at);
    entry.addedMicros = static_cast<std::int64_t>(ReadU64(bytes_, at + 8));
    entry.changedMicros = static_cast<std::int64_t>(ReadU64(bytes_, at + 16));
    entry.permissions = ReadU32(bytes_, at + 24);
    at += kRecordFixedSize;
    entry.id = TextAt(at);
    entry.destination = TextAt(at);
    entry.version = TextAt(at);
    entry.description = TextAt(at);
    return entry;
}

std::u16string IndexImage::DestinationAt(std::uint32_t position) const {
    std::size_t at = RecordAt(position).begin + kRecordFixedSize;
    at += 4 + 2 * std::size_t{ReadU32(bytes_, at)};  // the identifier
    return TextAt(at);
}

std::vector<std::uint32_t> IndexImage::DestinationsEndingWith(std::u16string_view tail) const {
    std::vector<std::uint8_t> tailBytes;  // as the file stores the units
    AppendText(tailBytes, tail);
    tailBytes.erase(tailBytes.begin(), tailBytes.begin() + 4);
    std::vector<std::uint32_t> found;
    for (std::uint32_t position = 0; position < count_; ++position) {
        std::size_t at = ReadU32(bytes_, kHeaderSize + kOffsetSize * position) + kRecordFixedSize;
        at += 4 + 2 * std::size_t{ReadU32(bytes_, at)};  // the identifier
        const std::size_t length = ReadU32(bytes_, at);
        if (length < tail.size()) continue;
        const std::size_t tailBegin = at + 4 + 2 * (length - tail.size());
        if (std::memcmp(bytes_.data() + tailBegin, tailBytes.data(), tailBytes.size()) == 0) found.push_back(position);
    }
    return found;
}

std::optional<IndexImage> IndexImage::WithEntry(const IndexEntry& entry) const {
    const std::vector<std::uint8_t> record = EncodeRecord(entry);
    if (const auto found = Find(entry.id)) return Rebuild(*found, *found, &record);
    std::uint32_t low = 0;
    std::uint32_t high = count_;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (CompareId(middle, entry.id) < 0) low = middle + 1;
        else high = middle;
    }
    return Rebuild(std::nullopt, low, &record);
}

std::optional<IndexImage> IndexImage::WithoutEntry(std::uint32_t position) const {
    return Rebuild(position, count_, nullptr);
}

// Copies the untouched records as they are, leaving out the dropped one and
// putting the inserted one at insertAt, then writes header, offsets and
// checksum for the result.
std::optional<IndexImage> IndexImage::Rebuild(std::optional<std::uint32_t> dropped, std::uint32_t insertAt,
                                              const std::vector<std::uint8_t>* inserted) const {
    const std::uint64_t newCount = std::uint64_t{count_} + (inserted ? 1 : 0) - (dropped ? 1 : 0);
    const std::size_t recordsBegin = kHeaderSize + kOffsetSize * newCount;
    std::uint64_t total = recordsBegin + kChecksumSize + (inserted ? inserted->size() : 0);
    if (count_ > 0) total += (bytes_.size() - kChecksumSize) - RecordAt(0).begin;
    if (dropped) total -= RecordAt(*dropped).end - RecordAt(*dropped).begin;
    if (total > kMaxFileSize || !IsValidGeneration(generation_ + 1)) return std::nullopt;

    std::vector<std::uint8_t> out(recordsBegin);
    out.reserve(static_cast<std::size_t>(total));
    std::size_t slot = 0;
    auto append = [&](const std::uint8_t* begin, const std::uint8_t* end) {
        PutU32(out, kHeaderSize + kOffsetSize * slot++, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), begin, end);
    };
    for (std::uint32_t position = 0; position <= count_; ++position) {
        if (inserted && position == insertAt) append(inserted->data(), inserted->data() + inserted->size());
        if (position == count_ || position == dropped) continue;
        const RecordSpan span = RecordAt(position);
        append(bytes_.data() + span.begin, bytes_.data() + span.end);
    }
    std::copy(kMagic.begin(), kMagic.end(), out.begin());
    PutU32(out, 8, kFormatVersion);
    PutU32(out, kCountOffset, static_cast<std::uint32_t>(newCount));
    PutU64(out, kGenerationOffset, generation_ + 1);
    PutU64(out, kFileSizeOffset, total);
    AppendU32(out, Crc32c(out.data(), out.size()));
    IndexImage next;
    next.count_ = static_cast<std::uint32_t>(newCount);
    next.generation_ = generation_ + 1;
    next.bytes_ = std::move(out);
    return next;
}

}  // namespace kvd
