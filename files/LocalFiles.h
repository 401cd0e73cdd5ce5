// Whole local files: the source file read into memory, the target file written
// out, and backup copies of changed files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace files {

// A content buffer, from malloc so that one can grow in place while a source
// of unknown size is read.
struct ContentRelease {
    void operator()(std::uint8_t* bytes) const;
};
using ContentBuffer = std::unique_ptr<std::uint8_t[], ContentRelease>;

// A buffer of size bytes, not filled; empty when there is no memory for it.
ContentBuffer AllocateContent(std::size_t size);

// Reads the whole file named by /sourceFilePath into a new buffer of
// byteCount + 2 bytes, the last two zero. A file whose size is not known in
// advance (a pipe, a device, a file of /proc) is read to its end. False after
// printing one message; the buffer, once allocated, belongs to the caller
// also then.
bool ReadSourceFile(std::uint32_t& byteCount, ContentBuffer& buffer);

// Creates (or empties) the file named by /targetFilePath and writes byteCount
// bytes of buffer to it. A target that is one of the files the repository
// keeps for itself is refused untouched. False after printing one message.
bool WriteTargetFile(const std::uint8_t* buffer, std::uint32_t byteCount);

// Copies path to path + ".bak", replacing an older backup. A relative path is
// taken inside the repository directory. False after printing one message.
bool MakeBackupCopy(const std::wstring& path);

}  // namespace files
