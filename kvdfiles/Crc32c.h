// CRC-32C (Castagnoli), the checksum of the index file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvd {

// By the processor's instruction where it has one, by tables otherwise.
std::uint32_t Crc32c(const std::uint8_t* data, std::size_t size);
// The checksum of what crc was the checksum of, followed by data: content
// can be summed piece by piece as it passes.
std::uint32_t Crc32cExtend(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

namespace detail {

// Both fold data into the running register crc, without the inversions.
std::uint32_t Crc32cByTables(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
bool HasCrc32Instruction();
std::uint32_t Crc32cByInstruction(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace detail
}  // namespace kvd
