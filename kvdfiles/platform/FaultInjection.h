// The seam through which tests fail I/O calls, stop the process inside a
// commit, record every change the library makes to the disk, and set when
// change records are folded into a new index. Only the test build of the
// library (KVDFILES_FAULT_INJECTION) has it; in the shipped library the
// hooks are inline functions that do nothing or return the standard value,
// so no user setting can reach them.
#pragma once

#include <cstdint>

#include "kvdfiles/platform/DurableFiles.h"

namespace kvd::faults {

// A change to the disk, as a test that simulates a power loss needs it: what
// was done, to which names, and to which open file.
enum class ChangeKind : int {
    Open,  // a file opened for writing, created if it was missing
    Write,
    Truncate,
    Sync,  // the file's content made durable
    Close,
    Rename,
    SyncDirectory,  // the directory's names made durable
    Remove,
    Link,
    MakeDirectory,
    RemoveDirectory,
};

struct Change {
    ChangeKind kind = ChangeKind::Open;
    const durable::Path* path = nullptr;
    const durable::Path* otherPath = nullptr;  // Rename: the new name; Link: the new name
    durable::FileHandle file;
    std::uint64_t offset = 0;  // Write: where; Truncate: the new size
    const void* data = nullptr;
    std::uint64_t size = 0;
};

#ifdef KVDFILES_FAULT_INJECTION
// Counts one call of kind; returns the error it must fail with, or 0.
int InjectedError(durable::IoKind kind);
// Ends the process here when a test asked for this point.
void CrashPoint(const char* name);
// Tells a test's recorder of a change that was made.
void Record(const Change& change);
// The size the index's change records may reach: standard, or the one a
// test set.
std::uint64_t ChangesLimit(std::uint64_t standard);
#else
inline int InjectedError(durable::IoKind) { return 0; }
inline void CrashPoint(const char*) {}
inline void Record(const Change&) {}
inline std::uint64_t ChangesLimit(std::uint64_t standard) { return standard; }
#endif

}  // namespace kvd::faults
