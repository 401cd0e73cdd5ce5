// Decimal numbers appended to wide text without the C library's formatter,
// which costs more than the whole rest of a listing line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace inspect {

// At least minimumDigits digits, zeros in front.
void AppendUnsigned(std::wstring& out, std::uint64_t value, std::size_t minimumDigits = 1);
void AppendSigned(std::wstring& out, std::int64_t value);

}  // namespace inspect
