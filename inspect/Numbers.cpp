#include "inspect/Numbers.h"

#include <algorithm>

namespace inspect {

namespace {

std::size_t DigitCount(std::uint64_t value) {
    std::size_t count = 1;
    // 10^19, the last power below the type's limit, ends the rise.
    for (std::uint64_t power = 10; count < 20 && value >= power; power *= 10) ++count;
    return count;
}

}  // namespace

char* PutUnsigned(char* out, std::uint64_t value, std::size_t minimumDigits) {
    // Written in place from the end, two digits at a time, after the zeros
    // that make up minimumDigits.
    char* const end = out + std::max(DigitCount(value), minimumDigits);
    char* first = end;
    for (; value >= 100; value /= 100) {
        first -= 2;
        PutTwoDigits(first, static_cast<unsigned>(value % 100));
    }
    if (value >= 10) {
        first -= 2;
        PutTwoDigits(first, static_cast<unsigned>(value));
    } else {
        *--first = static_cast<char>('0' + value);
    }
    std::fill(out, first, '0');
    return end;
}

char* PutSigned(char* out, std::int64_t value) {
    if (value >= 0) return PutUnsigned(out, static_cast<std::uint64_t>(value));
    *out++ = '-';
    // The magnitude of the lowest value does not fit its own type.
    return PutUnsigned(out, ~static_cast<std::uint64_t>(value) + 1);
}

}  // namespace inspect
