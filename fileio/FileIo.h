// Files as the tool and the repository library read and write them: one
// handle type, the loops that move whole buffers through single system calls,
// one way to wait for a file that another process holds open, and the names
// of the temporaries kept beside their targets.
//
// FileIo_posix.cpp and FileIo_win32.cpp make the single calls, one file per
// platform, chosen in CMake; FileIo.cpp builds the rest on them. Errors are
// the system's own numbers (errno, or GetLastError() on Windows) in
// std::system_category(); Portable() gives the errno value a caller can
// compare across platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace fileio {

using Path = std::filesystem::path;

// Wide text to the platform's form of a path and back, as the tool maps its
// arguments: bytes through the reversible mapping on POSIX, UTF-16 unchanged
// on Windows.
Path PathFromWide(std::wstring_view text);
std::wstring WideFromPath(const Path& path);

// An open file; the value is the platform's descriptor or handle.
struct File {
    std::intptr_t native = -1;
    bool IsOpen() const { return native != -1; }
};

enum class Access { Read, Write, ReadWrite };

enum class Disposition {
    OpenExisting,
    CreateNew,         // fails when the file exists
    OpenOrCreate,      // keeps what an existing file holds
    CreateOrTruncate,  // empties an existing file
};

// What others may do with the file while it is open, where the system
// enforces such rules (Windows); POSIX has none.
enum class Sharing {
    Read,  // others may only read it
    All,   // others may read, write, rename and delete it
};

std::error_code Open(const Path& path, Access access, Disposition disposition, Sharing sharing, File& file);
// Closes a file that was written; its error may mean lost data.
std::error_code CloseWritten(File& file);
// Closes a file that was only read; nothing is left that could be lost.
void Close(File& file);

enum class FileKind { Missing, Regular, Directory, Other };

struct FileStatus {
    FileKind kind = FileKind::Missing;
    std::uint64_t size = 0;
    // Together they name the file, whatever path leads to it.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// What stands at path; nothing there is kind Missing, not an error.
std::error_code Status(const Path& path, FileStatus& status);
std::error_code Status(File file, FileStatus& status);

// Reads and writes start at an offset, or at the file's own position for
// files that have no offsets (pipes, consoles, devices).
inline constexpr std::uint64_t kCurrentPosition = UINT64_MAX;

// Reads until size bytes arrived or the file ended; count tells which.
std::error_code Read(File file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& count);
// Writes until size bytes are out. It stops early with no error only when
// the system takes nothing more; on an error, written is what got through.
std::error_code Write(File file, std::uint64_t offset, const void* buffer, std::size_t size, std::size_t& written);

// Puts from in the place of to in one step, replacing it.
std::error_code Rename(const Path& from, const Path& to);
std::error_code Remove(const Path& path);

// Copies the regular file source over destination with its permission bits:
// first to CopyTemporaryName(destination), then renamed over it, so that a
// reader of destination sees the old copy or the new one, never a torn one.
std::error_code CopyReplacing(const Path& source, const Path& destination);
// The same name for every copy to destination, so that a copy cut short (the
// process killed) leaves nothing that the next copy there does not replace.
Path CopyTemporaryName(const Path& destination);

// Runs attempt again, with growing waits for about five seconds, while it
// fails because another process holds target open (Windows refuses to
// replace or open such a file for a while: a scanner, a concurrent run).
std::error_code RetryWhileHeldOpen(const Path& target, const std::function<std::error_code()>& attempt);

// Runs attempt, which sets busy while what it waits for is taken (a lock),
// again and again until it is not busy, fails, or limit has passed (then
// timed_out). The pauses between tries stay short, so that a waiter takes
// over within about two milliseconds of the release.
std::error_code TryWhileBusy(std::chrono::milliseconds limit,
                             const std::function<std::error_code(bool& busy)>& attempt);

// A fresh name beside target, unique per process and call: prefix, the
// process, a number, then suffix. ASCII only, so that it means the same in
// every path encoding, and short enough for any file name limit.
Path UniqueNameBeside(const Path& target, std::string_view prefix, std::string_view suffix);
// The directory a path lies in; "." for a bare name.
Path ParentOf(const Path& path);

// The errno value (std::generic_category()) for an error of these calls.
std::error_code Portable(std::error_code error);

}  // namespace fileio
