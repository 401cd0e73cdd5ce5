// The processor's CRC-32C instruction and the tables agree on every length
// and alignment the index can hand them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kvdfiles/Crc32c.h"

namespace {

TEST(Checksum, KnownValue) {
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(kvd::Crc32c(digits, sizeof digits), 0xE3069283u);
    EXPECT_EQ(kvd::detail::Crc32cByTables(digits, sizeof digits), 0xE3069283u);
}

TEST(Checksum, InstructionAgreesWithTables) {
    if (!kvd::detail::HasCrc32Instruction()) GTEST_SKIP() << "no CRC-32C instruction on this processor";
    std::vector<std::uint8_t> bytes(300);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    for (std::size_t begin = 0; begin < 9; ++begin) {
        for (std::size_t size = 0; begin + size <= bytes.size(); ++size) {
            const std::uint32_t byInstruction =
                kvd::detail::Crc32cByInstruction(0xFFFFFFFFu, bytes.data() + begin, size) ^ 0xFFFFFFFFu;
            ASSERT_EQ(byInstruction, kvd::detail::Crc32cByTables(bytes.data() + begin, size)) << begin << " " << size;
        }
    }
}

}  // namespace
