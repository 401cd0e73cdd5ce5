// The entries of the open repository, read through the library's tables, and
// what the library finds at the place of each stored copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KVDFiles.h"

namespace inspect {

struct Entry {
    std::wstring fileId;
    std::wstring version;
    std::wstring description;
    std::wstring destination;  // as given when the file was added
    std::int32_t permissions = 0;
    std::uint64_t contentSize = 0;
    std::int64_t timeAdded = 0;        // microseconds since 1970-01-01, UTC
    std::int64_t timeLastChanged = 0;  // likewise
    IZarnFile* file = nullptr;         // the library's; valid until it is released
};

enum class StoredCopyProblem { Missing, SizeDiffers, NotAFile, Unreadable, ContentDiffers };

struct Problem {
    const Entry* entry = nullptr;
    StoredCopyProblem kind = StoredCopyProblem::Missing;
    std::uint64_t foundSize = 0;  // for SizeDiffers
};

// Whether the library's tables hold the operations used here. Prints nothing.
bool LibraryListsEntries();

// Every entry, in identifier order. False after printing one message.
bool ReadEntries(IZarnRepository* repository, std::vector<Entry>& entries);

// Appends the entry of fileId, found by the library's lookup; false after
// printing one message when there is none.
bool ReadEntry(IZarnRepository* repository, const std::wstring& fileId, std::vector<Entry>& entries);

// The problems of the entries' stored copies, in the entries' order. False
// after printing one message when a check could not be made at all.
bool FindStoredCopyProblems(const std::vector<Entry>& entries, std::vector<Problem>& problems);

}  // namespace inspect
