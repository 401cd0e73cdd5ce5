#include "kvdfiles/Crc32c.h"

#include <array>

#include "kvdfiles/LittleEndian.h"

namespace kvd {
namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli
constexpr std::size_t kSlices = 8;

using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Slice-by-8 tables: table[k][b] is the CRC of byte b followed by k zeros, so
// eight bytes fold into the register per step instead of one.
constexpr Tables MakeTables() {
    Tables tables{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) != 0 ? kPolynomial : 0u);
        tables[0][byte] = crc;
    }
    for (std::size_t slice = 1; slice < kSlices; ++slice) {
        for (std::size_t byte = 0; byte < 256; ++byte) {
            const std::uint32_t previous = tables[slice - 1][byte];
            tables[slice][byte] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

std::uint32_t Fold(std::uint32_t crc, std::uint8_t byte) { return (crc >> 8) ^ kTables[0][(crc ^ byte) & 0xFFu]; }

}  // namespace

std::uint32_t Crc32c(const std::uint8_t* data, std::size_t size) { return Crc32cExtend(0, data, size); }

std::uint32_t Crc32cExtend(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    static const bool byInstruction = detail::HasCrc32Instruction();
    const std::uint32_t running = crc ^ 0xFFFFFFFFu;
    const std::uint32_t folded =
        byInstruction ? detail::Crc32cByInstruction(running, data, size) : detail::Crc32cByTables(running, data, size);
    return folded ^ 0xFFFFFFFFu;
}

std::uint32_t detail::Crc32cByTables(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    for (; at + kSlices <= size; at += kSlices) {
        const std::uint32_t low = crc ^ ReadU32(data + at);
        crc = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^ kTables[5][(low >> 16) & 0xFFu] ^
              kTables[4][low >> 24] ^ kTables[3][data[at + 4]] ^ kTables[2][data[at + 5]] ^ kTables[1][data[at + 6]] ^
              kTables[0][data[at + 7]];
    }
    for (; at < size; ++at) crc = Fold(crc, data[at]);
    return crc;
}

}  // namespace kvd
