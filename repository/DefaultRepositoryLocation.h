// The repository directory used when the command line names none: the
// machine-wide data folder, then a company folder and a product folder named by
// the machine's setup values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

namespace repository {

// Characters in a platform path buffer, terminator included.
inline constexpr std::size_t kPathBufferCharacters = 260;

// Builds "<data folder>/<company>/<product>" into path (kPathBufferCharacters,
// zero-filled by the caller). False when any part is missing or the whole would
// not fit; the buffer may then hold a partial path, to be ignored.
bool GetDefaultRepositoryPath(wchar_t* path, platform::MachineSettings& settings);

// Appends text to the terminated text in destination. Returns kResultSuccess,
// kResultInvalidArgument when destination holds no terminator within capacity
// (nothing changed), or kResultInsufficientBuffer when text was cut to fit.
// Reads at most the room left of text, so text need not be terminated within
// a longer buffer.
std::uint32_t BoundedAppend(wchar_t* destination, std::size_t capacity, const wchar_t* text);

}  // namespace repository
