// The file-system operations the repository needs to commit changes durably.
//
// Built on the shared file layer (fileio/FileIo.h): DurableFiles.cpp wraps
// every call, and it alone passes each through the test seam and turns its
// error into an errno value (std::generic_category()), so callers treat all
// platforms alike. What the file layer does not have (flushes, links,
// folders, the writers' lock) are single calls in DurableFiles_posix.cpp and
// DurableFiles_win32.cpp, chosen in CMake. Reads and writes loop until done.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fileio/FileIo.h"

namespace kvd::durable {

// The kinds of I/O call, one per system operation; the test seam counts and
// fails calls by kind.
enum class IoKind : int {
    Open,
    Read,
    Write,
    Sync,
    Close,
    Rename,
    SyncDirectory,
    Remove,
    Link,
    MakeDirectory,
    Lock,
    Truncate,
    Status,
    Count
};

using Path = fileio::Path;
using FileHandle = fileio::File;
using FileKind = fileio::FileKind;
using FileStatus = fileio::FileStatus;

// Names: the wide text the caller gave, mapped to the platform's path form
// the same way the tool maps its own names.
using fileio::PathFromWide;
using fileio::WideFromPath;
std::error_code CurrentDirectory(Path& directory);

// A fresh hidden name in the same directory as target, for a temporary or
// backup file; unique per process and call.
Path SiblingName(const Path& target, std::string_view suffix);
// True when a file name is one SiblingName makes.
bool IsSiblingName(const Path& name);
using fileio::ParentOf;

std::error_code OpenForReading(const Path& path, FileHandle& file);
// Creates a new file that must not exist yet, for writing.
std::error_code CreateNew(const Path& path, FileHandle& file);
// Opens or creates a file for reading and writing, keeping its content.
std::error_code OpenOrCreate(const Path& path, FileHandle& file);
// Opens an existing file for reading and writing.
std::error_code OpenExisting(const Path& path, FileHandle& file);

std::error_code Status(const Path& path, FileStatus& status);
std::error_code Status(FileHandle file, FileStatus& status);

// Reads up to size bytes at offset; count is less than size only at the end.
std::error_code ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& count);
// When checksum is given, it is extended (as Crc32cExtend does) over the
// bytes as they go out, piece by piece while each is still in the cache.
std::error_code WriteAt(FileHandle file, std::uint64_t offset, const void* buffer, std::size_t size,
                        std::uint32_t* checksum = nullptr);
std::error_code Truncate(FileHandle file, std::uint64_t size);
std::error_code SyncFile(FileHandle file);
// Flushes the content, and the metadata only where reading it back needs it
// (a new size; not a new modification time).
std::error_code SyncData(FileHandle file);
// Gives target the permission bits of the existing file at source.
std::error_code CopyPermissions(const Path& source, FileHandle target);
// Closes a file that was written; its error counts.
std::error_code CloseWritten(FileHandle& file);
// Closes a file that was only read; nothing is left that could be lost.
void CloseRead(FileHandle& file);

std::error_code RenameOver(const Path& from, const Path& to);
std::error_code SyncDirectory(const Path& directory);
std::error_code RemoveFile(const Path& path);
// Like RemoveFile, but a missing file is success.
std::error_code RemoveIfPresent(const Path& path);
std::error_code LinkFile(const Path& existing, const Path& newName);
// Creates one directory, whose parent must exist.
std::error_code MakeDirectory(const Path& path);
// The directories of path that do not exist yet, outermost first; an error
// when something else than a directory stands in the way.
std::error_code MissingDirectories(const Path& path, std::vector<Path>& missing);
std::error_code RemoveDirectory(const Path& path);

// Whether a file that another handle holds open for reading can still be
// replaced by a rename; where it cannot, nothing may stay open between calls.
bool ReplacesFilesHeldOpen();

// The writers' lock: exclusive, held until the file is closed or the process
// ends (the system releases it when its holder dies). Waits at most limit.
std::error_code LockExclusive(FileHandle file, std::chrono::milliseconds limit);

}  // namespace kvd::durable
