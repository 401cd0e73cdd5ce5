// The entries of the open repository, read through the library's tables one
// at a time, and what the library finds at the place of each stored copy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "KVDFiles.h"

namespace inspect {

// One entry as the library shows it; its texts, UTF-8 in which a surrogate
// that is not half of a pair takes the three bytes of its value, are the
// library's, valid until the next entry is read.
struct Entry {
    std::string_view fileId;
    std::string_view version;
    std::string_view description;
    std::string_view destination;  // as given when the file was added
    std::int32_t permissions = 0;
    std::uint64_t contentSize = 0;
    std::int64_t timeAdded = 0;        // microseconds since 1970-01-01, UTC
    std::int64_t timeLastChanged = 0;  // likewise
    IZarnFile* file = nullptr;
};

// Unverified is no problem of the copy: the entry records no checksum to
// check it against.
enum class StoredCopyProblem { Missing, SizeDiffers, NotAFile, Unreadable, ContentDiffers, Unverified };

// What is wrong with an entry's stored copy, with what it needs of its entry.
struct Problem {
    std::string fileId;
    std::string destination;
    StoredCopyProblem kind = StoredCopyProblem::Missing;
    std::uint64_t recordedSize = 0;
    std::uint64_t foundSize = 0;  // for SizeDiffers
};

using ShowEntry = std::function<bool(const Entry& entry)>;

// These print nothing: each returns the message of its failure, or null, so
// that the caller can put it after what it has shown.

// Whether the library's tables hold the operations used here.
bool LibraryListsEntries();

// An entry found by the library's lookup, its texts in the form of a
// listed entry's, kept here.
struct FoundEntry {
    FoundEntry() = default;
    FoundEntry(const FoundEntry&) = delete;
    FoundEntry& operator=(const FoundEntry&) = delete;

    Entry entry;  // its texts view the strings below
    std::string fileId;
    std::string version;
    std::string description;
    std::string destination;
};

// The entry of fileId, found by the library's lookup.
const wchar_t* FindEntry(IZarnRepository* repository, const std::wstring& fileId, FoundEntry& found);

// Shows every entry in identifier order, each as soon as it is read, until
// show returns false.
const wchar_t* ShowEntries(IZarnRepository* repository, const ShowEntry& show);

// Adds the problem of entry's stored copy to problems, if it has one.
const wchar_t* CheckStoredCopy(const Entry& entry, std::vector<Problem>& problems);

}  // namespace inspect
