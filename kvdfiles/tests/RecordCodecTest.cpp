// The record codec at the edges of its numbers: whatever an entry holds comes
// back from its bytes unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "kvdfiles/IndexRecord.h"

namespace kvd {
namespace {

TEST(RecordCodecTest, NumbersAtTheirEdgesComeBackUnchanged) {
    constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    const std::int64_t times[][2] = {{kLeast, kMost}, {kMost, kLeast}, {kLeast, kLeast}, {-1, 0}};
    for (const auto& [added, changed] : times) {
        IndexEntry entry{u"id", u"d/a",  u"1",
                         u"",   3,       std::numeric_limits<std::uint64_t>::max(),
                         added, changed, std::numeric_limits<std::uint32_t>::max()};
        const std::vector<std::uint8_t> bytes = record::Encode(entry);
        const IndexEntry back = record::Decode(bytes.data(), bytes.size());
        EXPECT_EQ(back.addedMicros, added);
        EXPECT_EQ(back.changedMicros, changed);
        EXPECT_EQ(back.contentSize, entry.contentSize);
        EXPECT_EQ(back.contentChecksum, entry.contentChecksum);
        record::View view;
        std::size_t at = 0;
        EXPECT_TRUE(record::Parse(bytes.data(), at, bytes.size(), view)) << added << " " << changed;
        EXPECT_EQ(at, bytes.size());
    }
}

// A record cut short anywhere is refused, read only up to where it was cut.
TEST(RecordCodecTest, EveryCutOfARecordIsRefused) {
    const IndexEntry entry{u"id", u"d/a\u00e9", u"1.0", u"text", 3, 5, 1714566896789012, 1714566897789012, 7u};
    const std::vector<std::uint8_t> bytes = record::Encode(entry);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::vector<std::uint8_t> shorter(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        record::View view;
        std::size_t at = 0;
        EXPECT_FALSE(record::Parse(shorter.data(), at, shorter.size(), view)) << "cut at " << cut;
        EXPECT_LE(at, cut);
    }
}

// A unit cut short, in a longer form than its shortest or without its lead
// is refused in whichever text it stands.
TEST(RecordCodecTest, MalformedUnitsAreRefused) {
    const IndexEntry entry{u"i\u00e9", u"d\u00e9", u"\u00e9", u"t\u00e9", 3, 5, 1, 2, 7u};
    const std::vector<std::uint8_t> bytes = record::Encode(entry);
    record::View view;
    std::size_t at = 0;
    ASSERT_TRUE(record::Parse(bytes.data(), at, bytes.size(), view));
    const std::uint8_t malformed[][2] = {{0xC3, 'A'}, {0xC0, 0xA9}, {0x80, 0xA9}};
    for (const record::Span& text : {view.id, view.destination, view.version, view.description}) {
        for (const auto& unit : malformed) {
            std::vector<std::uint8_t> damaged = bytes;
            damaged[text.end - 2] = unit[0];
            damaged[text.end - 1] = unit[1];
            at = 0;
            EXPECT_FALSE(record::Parse(damaged.data(), at, damaged.size(), view)) << text.begin << " " << +unit[0];
        }
    }
}

}  // namespace
}  // namespace kvd
