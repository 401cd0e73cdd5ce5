// Times of the index as ISO 8601 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "inspect/TextRoom.h"

namespace inspect {

// The most a time takes: a sign, the six digits of the farthest year 64-bit
// microseconds reach, and "-MM-DDThh:mm:ss.uuuuuuZ".
inline constexpr std::size_t kMostIsoTimeBytes = 30;

// Writes a time given in microseconds since 1970-01-01T00:00:00Z as
// "YYYY-MM-DDThh:mm:ss.uuuuuuZ" (UTC) at out and returns the end of it. Years
// outside 0000..9999 carry a sign and as many digits as they need.
char* PutIsoTime(char* out, std::int64_t microsecondsSinceEpoch);

inline void AppendIsoTime(std::string& out, std::int64_t microsecondsSinceEpoch) {
    AppendWithin(out, kMostIsoTimeBytes, [&](char* at) { return PutIsoTime(at, microsecondsSinceEpoch); });
}

}  // namespace inspect
