// The processor's own CRC-32C instruction (SSE4.2 crc32), chosen at run time:
// the one place that knows about processor features.
#include <array>
#include <cstring>

#include "kvdfiles/Crc32c.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <nmmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define KVD_CRC32_TARGET
#else
#define KVD_CRC32_TARGET __attribute__((target("sse4.2")))
#endif

namespace kvd::detail {

bool HasCrc32Instruction() {
#if defined(_MSC_VER) && !defined(__clang__)
    int registers[4] = {};
    __cpuid(registers, 1);
    return (registers[2] & (1 << 20)) != 0;
#else
    return __builtin_cpu_supports("sse4.2");
#endif
}

namespace {

// Large inputs go through three registers over three neighbouring lanes at
// once: the instruction takes three cycles to give its result but starts a
// new one every cycle, so one register alone leaves it idle two cycles in
// three. The lanes' registers are then joined by shifting the earlier over
// the later lanes' length.
constexpr std::size_t kLane = 4096;
constexpr std::uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli

// Multiplies a register by x^(8 * kLane), byte by byte: what the register
// becomes over kLane zero bytes.
using LaneShift = std::array<std::array<std::uint32_t, 256>, 4>;

KVD_CRC32_TARGET std::uint64_t Word(std::uint64_t crc, const std::uint8_t* at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return _mm_crc32_u64(crc, word);
}

// The register over one zero bit: times x, modulo the polynomial, with the
// terms in the reflected order the instruction keeps them (bit 31 is x^0).
constexpr std::uint32_t TimesX(std::uint32_t value) { return (value >> 1) ^ ((value & 1u) != 0 ? kPolynomial : 0u); }

// value times factor, modulo the polynomial: factor times each term of value.
constexpr std::uint32_t Multiply(std::uint32_t value, std::uint32_t factor) {
    std::uint32_t product = 0;
    for (std::uint32_t term = 1u << 31; term != 0; term >>= 1, factor = TimesX(factor)) {
        if ((value & term) != 0) product ^= factor;
    }
    return product;
}

// x^(8 * kLane): the register x^0 after kLane zero bytes.
constexpr std::uint32_t kLaneFactor = [] {
    std::uint32_t power = 1u << 31;
    for (std::size_t bit = 0; bit < 8 * kLane; ++bit) power = TimesX(power);
    return power;
}();

// Computed when the library is compiled: built at run time, on the first sum
// of 12 KiB or more, it took 1.6 million instructions, more than the rest of
// a command on a large repository.
constexpr LaneShift kLaneShift = [] {
    LaneShift tables{};
    for (std::size_t byte = 0; byte < 4; ++byte) {
        for (std::uint32_t value = 0; value < 256; ++value) {
            tables[byte][value] = Multiply(value << (8 * byte), kLaneFactor);
        }
    }
    return tables;
}();

std::uint64_t Shifted(const LaneShift& shift, std::uint64_t crc) {
    return shift[0][crc & 0xFFu] ^ shift[1][(crc >> 8) & 0xFFu] ^ shift[2][(crc >> 16) & 0xFFu] ^
           shift[3][(crc >> 24) & 0xFFu];
}

KVD_CRC32_TARGET std::uint64_t ThreeLanes(std::uint64_t crc, const std::uint8_t* data, const LaneShift& shift) {
    std::uint64_t second = 0;
    std::uint64_t third = 0;
    for (std::size_t at = 0; at < kLane; at += 8) {
        crc = Word(crc, data + at);
        second = Word(second, data + kLane + at);
        third = Word(third, data + 2 * kLane + at);
    }
    return Shifted(shift, Shifted(shift, crc) ^ second) ^ third;
}

}  // namespace

KVD_CRC32_TARGET std::uint32_t Crc32cByInstruction(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    std::uint64_t wide = crc;
    for (; size >= 3 * kLane; data += 3 * kLane, size -= 3 * kLane) wide = ThreeLanes(wide, data, kLaneShift);
    for (; size >= 8; data += 8, size -= 8) wide = Word(wide, data);
    auto narrow = static_cast<std::uint32_t>(wide);
    for (; size > 0; ++data, --size) narrow = _mm_crc32_u8(narrow, *data);
    return narrow;
}

}  // namespace kvd::detail

#else

namespace kvd::detail {

bool HasCrc32Instruction() { return false; }

std::uint32_t Crc32cByInstruction(std::uint32_t crc, const std::uint8_t*, std::size_t) { return crc; }

}  // namespace kvd::detail

#endif
