// Times of the index as ISO 8601 text.
#pragma once

#include <cstdint>
#include <string>

namespace inspect {

// Appends a time given in microseconds since 1970-01-01T00:00:00Z as
// "YYYY-MM-DDThh:mm:ss.uuuuuuZ" (UTC). Years outside 0000..9999 carry a sign
// and as many digits as they need.
void AppendIsoTime(std::wstring& out, std::int64_t microsecondsSinceEpoch);

}  // namespace inspect
