// Result codes of the bounded text helpers, as the platform's own helpers
// report them.
#pragma once

#include <cstdint>

namespace repository {

inline constexpr std::uint32_t kResultSuccess = 0;
inline constexpr std::uint32_t kResultInvalidArgument = 0x80070057;
inline constexpr std::uint32_t kResultInsufficientBuffer = 0x8007007A;

}  // namespace repository
