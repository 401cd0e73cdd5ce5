// The seam through which tests fail I/O calls, stop the process inside a
// commit and set when change records are folded into a new index. Only the
// test build of the library (KVDFILES_FAULT_INJECTION) has it; in the shipped
// library the hooks are inline functions that do nothing or return the
// standard value, so no user setting can reach them.
#pragma once

#include <cstdint>

#include "kvdfiles/platform/DurableFiles.h"

namespace kvd::faults {

#ifdef KVDFILES_FAULT_INJECTION
// Counts one call of kind; returns the error it must fail with, or 0.
int InjectedError(durable::IoKind kind);
// Ends the process here when a test asked for this point.
void CrashPoint(const char* name);
// The size the index's change records may reach: standard, or the one a
// test set.
std::uint64_t ChangesLimit(std::uint64_t standard);
#else
inline int InjectedError(durable::IoKind) { return 0; }
inline void CrashPoint(const char*) {}
inline std::uint64_t ChangesLimit(std::uint64_t standard) { return standard; }
#endif

}  // namespace kvd::faults
