// The binding of the process to the repository library: its entry points, its
// module, a reference count, and the repository the run works on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string_view>

#include "KVDFiles.h"
#include "platform/Platform.h"

namespace repository {

// Invariants: while referenceCount > 0, module and all four entry points are
// set. While it is 0 the entry points are null; module is null too, unless the
// last load found the file but not all of its exports ("left over"), in which
// case the next unload frees it.
struct LibraryBinding {
    kvdFiles_InitLibraryFunction initLibrary = nullptr;
    kvdFiles_ReleaseLibraryFunction releaseLibrary = nullptr;
    kvdFiles_GetRepositoryFunction getRepository = nullptr;
    kvdFiles_GetRepositoryFromPathFunction getRepositoryFromPath = nullptr;
    platform::LibraryModule module = nullptr;
    std::atomic<std::int32_t> referenceCount{0};
    IZarnRepository* currentRepository = nullptr;
    // Held by a load from just before it counts itself to its return, and by
    // an unload throughout.
    std::mutex lock;
};

// The binding of this process. It exists before the entry point runs.
LibraryBinding& ProcessLibraryBinding();

// Loads "KVDFiles.dll" from directory (which ends in a separator; none is
// added) and binds its four exports. Only the first of nested loads touches
// the file. Prints nothing.
bool LoadRepositoryLibrary(const wchar_t* directory);

// Drops one reference; the last one frees the library. Prints nothing.
void UnloadRepositoryLibrary();

// Formats into destination, at most capacity - 1 characters plus a terminator.
// The format knows "%s" (the next of texts) and "%%". Returns kResultSuccess,
// kResultInvalidArgument for a capacity of 0 or above 0x7FFFFFFF (destination
// untouched), or kResultInsufficientBuffer when the text was cut.
std::uint32_t BoundedFormat(wchar_t* destination, std::size_t capacity, std::wstring_view format,
                            std::initializer_list<std::wstring_view> texts);

}  // namespace repository
