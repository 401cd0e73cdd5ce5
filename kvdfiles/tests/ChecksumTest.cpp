// The processor's CRC-32C instruction and the tables agree on every length
// and alignment the index can hand them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kvdfiles/Crc32c.h"

namespace {

std::uint32_t ByTables(const std::uint8_t* data, std::size_t size) {
    return kvd::detail::Crc32cByTables(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

std::uint32_t ByInstruction(const std::uint8_t* data, std::size_t size) {
    return kvd::detail::Crc32cByInstruction(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> Noise(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

TEST(Checksum, KnownValueAndPieceByPiece) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(kvd::Crc32c(digits, sizeof digits), 0xE3069283u);
    EXPECT_EQ(ByTables(digits, sizeof digits), 0xE3069283u);
    EXPECT_EQ(kvd::Crc32cExtend(kvd::Crc32c(digits, 4), digits + 4, 5), 0xE3069283u);
}

// Every length and alignment of short input, and lengths around the three
// lanes the instruction runs large input in.
TEST(Checksum, InstructionAgreesWithTables) {
    if (!kvd::detail::HasCrc32Instruction()) GTEST_SKIP() << "no CRC-32C instruction on this processor";
    const std::vector<std::uint8_t> bytes = Noise(3 * 3 * 4096 + 100);
    for (std::size_t begin = 0; begin < 9; ++begin) {
        for (std::size_t size = 0; size <= 300; ++size) {
            ASSERT_EQ(ByInstruction(bytes.data() + begin, size), ByTables(bytes.data() + begin, size))
                << begin << " " << size;
        }
        for (const std::size_t size : {12287u, 12288u, 12301u, 24584u, 36955u}) {
            ASSERT_EQ(ByInstruction(bytes.data() + begin, size), ByTables(bytes.data() + begin, size))
                << begin << " " << size;
        }
    }
}

}  // namespace
