// Whole local files: the source file read into memory, the target file written
// out, and backup copies of changed files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace files {

using ContentBuffer = std::unique_ptr<std::uint8_t[]>;

// Reads the whole file named by /sourceFilePath into a new buffer of
// byteCount + 2 bytes, the last two zero. False after printing one message; the
// buffer, once allocated, belongs to the caller also then.
bool ReadSourceFile(std::uint32_t& byteCount, ContentBuffer& buffer);

// Creates (or empties) the file named by /targetFilePath and writes byteCount
// bytes of buffer to it. False after printing one message.
bool WriteTargetFile(const std::uint8_t* buffer, std::uint32_t byteCount);

// Copies path to path + ".bak", replacing an older backup. A relative path is
// taken inside the repository directory. False after printing one message.
bool MakeBackupCopy(const std::wstring& path);

}  // namespace files
