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

}  // namespace
}  // namespace kvd
