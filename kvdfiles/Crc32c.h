// CRC-32C (Castagnoli), the checksum of the index file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvd {

std::uint32_t Crc32c(const std::uint8_t* data, std::size_t size);

}  // namespace kvd
