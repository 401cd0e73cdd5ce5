// The single system calls that FileIo.cpp builds its operations on, made by
// FileIo_posix.cpp or FileIo_win32.cpp. A call interrupted by a signal is
// made again inside; everything else is the caller's to handle.
#pragma once

#include "fileio/FileIo.h"

namespace fileio::single {

// The most any one read or write is asked to move: below every system's
// limit for one call.
inline constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

std::error_code Open(const Path& path, Access access, Disposition disposition, Sharing sharing, File& file);
std::error_code Close(File file);
// got is 0 at the end of the file.
std::error_code Read(File file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& got);
std::error_code Write(File file, std::uint64_t offset, const void* buffer, std::size_t size, std::size_t& put);
std::error_code Rename(const Path& from, const Path& to);
std::error_code Remove(const Path& path);
// Whether error is the refusal of a file that another process holds open
// (or that waits for its last handle to close after a delete), which clears
// up by itself, as opposed to one that lasts.
bool HeldOpenElsewhere(std::error_code error, const Path& path);
std::uint64_t ProcessId();

}  // namespace fileio::single
