// Fixed-size integers in the byte order of every file the library writes:
// least significant byte first, on any processor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvd {

inline std::uint16_t ReadU16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

inline std::uint32_t ReadU32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

inline std::uint64_t ReadU64(const std::uint8_t* at) {
    return std::uint64_t{ReadU32(at)} | std::uint64_t{ReadU32(at + 4)} << 32;
}

// Bytes is any vector of bytes; it must hold at + 4 (or 8) bytes already.
template <typename Bytes>
void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <typename Bytes>
void PutU64(Bytes& bytes, std::size_t at, std::uint64_t value) {
    PutU32(bytes, at, static_cast<std::uint32_t>(value));
    PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

template <typename Bytes>
void AppendU16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

template <typename Bytes>
void AppendU32(Bytes& bytes, std::uint32_t value) {
    bytes.resize(bytes.size() + 4);
    PutU32(bytes, bytes.size() - 4, value);
}

template <typename Bytes>
void AppendU64(Bytes& bytes, std::uint64_t value) {
    bytes.resize(bytes.size() + 8);
    PutU64(bytes, bytes.size() - 8, value);
}

}  // namespace kvd
