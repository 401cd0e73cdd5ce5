// The processor's own CRC-32C instruction (SSE4.2 crc32), chosen at run time:
// the one place that knows about processor features.
#include "kvdfiles/Crc32c.h"

#include <cstring>

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

KVD_CRC32_TARGET std::uint32_t Crc32cByInstruction(std::uint32_t crc, const std::uint8_t* data,
                                                   std::size_t size) {
    std::uint64_t wide = crc;
    for (; size >= 8; data += 8, size -= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data, sizeof word);
        wide = _mm_crc32_u64(wide, word);
    }
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
