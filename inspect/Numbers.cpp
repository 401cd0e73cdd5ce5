#include "inspect/Numbers.h"

#include <iterator>

namespace inspect {

char* PutUnsigned(char* out, std::uint64_t value, std::size_t minimumDigits) {
    // Filled from the end, two digits at a time, then copied at once.
    char digits[20];
    char* first = std::end(digits);
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
    const auto count = static_cast<std::size_t>(std::end(digits) - first);
    if (count < minimumDigits) out = std::fill_n(out, minimumDigits - count, '0');
    return std::copy(first, std::end(digits), out);
}

char* PutSigned(char* out, std::int64_t value) {
    if (value >= 0) return PutUnsigned(out, static_cast<std::uint64_t>(value));
    *out++ = '-';
    // The magnitude of the lowest value does not fit its own type.
    return PutUnsigned(out, ~static_cast<std::uint64_t>(value) + 1);
}

}  // namespace inspect
