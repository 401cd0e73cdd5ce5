#include "inspect/Numbers.h"

namespace inspect {

void AppendUnsigned(std::wstring& out, std::uint64_t value, std::size_t minimumDigits) {
    wchar_t digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t zeros = count; zeros < minimumDigits; ++zeros) out += L'0';
    while (count > 0) out += digits[--count];
}

void AppendSigned(std::wstring& out, std::int64_t value) {
    if (value >= 0) return AppendUnsigned(out, static_cast<std::uint64_t>(value));
    out += L'-';
    // The magnitude of the lowest value does not fit its own type.
    AppendUnsigned(out, ~static_cast<std::uint64_t>(value) + 1);
}

}  // namespace inspect
