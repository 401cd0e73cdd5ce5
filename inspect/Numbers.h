// Decimal numbers as the listing writes them, in ASCII.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "inspect/TextRoom.h"

namespace inspect {

// The most digits of a 64-bit number, and a sign.
inline constexpr std::size_t kMostNumberBytes = 21;

// Each writes at out and returns the end of what it wrote: at most
// kMostNumberBytes, or minimumDigits where that is more.
char* PutUnsigned(char* out, std::uint64_t value, std::size_t minimumDigits = 1);
// "00" to "99" one after the other.
inline constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t value = 0; value < 100; ++value) {
        pairs[2 * value] = static_cast<char>('0' + value / 10);
        pairs[2 * value + 1] = static_cast<char>('0' + value % 10);
    }
    return pairs;
}();

// Writes value, below 100, as two digits; inline, as times call it nine
// times over.
inline char* PutTwoDigits(char* out, unsigned value) {
    out[0] = kDigitPairs[2 * value];
    out[1] = kDigitPairs[2 * value + 1];
    return out + 2;
}
char* PutSigned(char* out, std::int64_t value);

inline void AppendUnsigned(std::string& out, std::uint64_t value, std::size_t minimumDigits = 1) {
    AppendWithin(out, std::max(kMostNumberBytes, minimumDigits),
                 [&](char* at) { return PutUnsigned(at, value, minimumDigits); });
}

inline void AppendSigned(std::string& out, std::int64_t value) {
    AppendWithin(out, kMostNumberBytes, [&](char* at) { return PutSigned(at, value); });
}

}  // namespace inspect
