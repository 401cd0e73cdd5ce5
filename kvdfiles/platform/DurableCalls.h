// The single system calls of the durable-file operations that the shared
// file layer does not make, one implementation per platform
// (DurableFiles_posix.cpp, DurableFiles_win32.cpp). Errors are the system's
// own numbers; DurableFiles.cpp, their only caller, wraps each.
#pragma once

#include "kvdfiles/platform/DurableFiles.h"

namespace kvd::durable::single {

// Starts writing a range to the disk without waiting for it. Only a hint:
// the flush reports whatever goes wrong.
void StartWriteback(FileHandle file, std::uint64_t offset, std::size_t size);
std::error_code Truncate(FileHandle file, std::uint64_t size);
std::error_code SyncFile(FileHandle file);
std::error_code SyncData(FileHandle file);
std::error_code CopyPermissions(const Path& source, FileHandle target);
std::error_code SyncDirectory(const Path& directory);
std::error_code LinkFile(const Path& existing, const Path& newName);
std::error_code MakeDirectory(const Path& path);
std::error_code RemoveDirectory(const Path& path);
// One try at the writers' lock; busy when another holder has it.
std::error_code TryLock(FileHandle file, bool& busy);
// Gives up the writers' lock before its file is closed, where the system
// would otherwise free it later than the close.
void Unlock(FileHandle file);
bool ReplacesFilesHeldOpen();

}  // namespace kvd::durable::single
