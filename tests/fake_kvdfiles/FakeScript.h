// The script that tells the stand-in library how to behave in one test.
//
// One directive per line; an empty script, or none at all, means every call
// succeeds and every stream is empty:
//
//   init-result N        kvdFiles_InitLibrary returns N (default 1)
//   no-repository        kvdFiles_GetRepositoryFromPath returns null
//   fail OPERATION N     OPERATION returns status N; one of AddFile,
//                        RemoveFile, GetFile, OpenStream, Read, Write
//   content TEXT         the stored content Read delivers (rest of the line)
//   content-hex HEX      the same, as pairs of hex digits
//   size N               what GetSize reports (default: the content's size)
//   read-count N         what Read reports as the count stored (default: the
//                        bytes it copied, the smaller of buffer and content);
//                        never more than the tool's buffer
//   path TEXT            what GetPath returns (default: the file id)
//   store-content        Write stores the buffer at the stream's path (the
//                        AddFile target, or the GetPath path), relative to the
//                        current directory
//   touch-index          Write appends a line to ZarnRepository.bin in the
//                        current directory
//   marker NAME          also print the call NAME (the log line's first word,
//                        or Loaded, or Unloaded) to standard output
//
// A line the stand-in does not understand is reported on standard error, so a
// test that checks standard error stays empty notices the typo.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace fake_kvdfiles {

struct Script {
    std::int32_t initResult = 1;
    bool returnsRepository = true;
    std::map<std::string, std::int32_t> failingOperations;
    std::string content;
    std::optional<std::uint32_t> reportedSize;
    std::optional<std::uint32_t> reportedReadCount;
    std::optional<std::string> storedPath;
    bool storesContent = false;
    bool touchesIndex = false;
    std::set<std::string> markedCalls;
};

// Reads the script file; a missing path or file gives the default script.
Script LoadScript(const char* path);

}  // namespace fake_kvdfiles
