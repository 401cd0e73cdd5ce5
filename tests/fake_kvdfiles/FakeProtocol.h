// What the tests and the stand-in repository library agree on.
//
// The stand-in reads its script from the file named by kScriptVariable and
// appends one line per call to the file named by kCallLogVariable. Both are
// absolute paths: the tool changes its current directory after loading the
// library. A call the script marks is also printed to standard output as
// kMarkerPrefix, the call's log line and a line break.
#pragma once

namespace fake_kvdfiles {

inline constexpr const char* kScriptVariable = "ZARN_FAKE_KVDFILES_SCRIPT";
inline constexpr const char* kCallLogVariable = "ZARN_FAKE_KVDFILES_LOG";
inline constexpr const char* kMarkerPrefix = "[KVDFiles.dll] ";

// The log lines written when the library file is loaded and unloaded.
inline constexpr const char* kLoadedLine = "Loaded";
inline constexpr const char* kUnloadedLine = "Unloaded";

}  // namespace fake_kvdfiles
