// Runs a program to its end and keeps what it printed, byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct ProcessRequest {
    std::filesystem::path program;
    // After the program's own name; passed as bytes on POSIX and as UTF-8 text
    // on Windows, quoted so that the program's start-up splits them back.
    std::vector<std::string> arguments;
    // Windows only: the arguments as one command line, as a user types it
    // after the program's name; when set, arguments is ignored.
    std::optional<std::string> commandLine;
    std::filesystem::path workingDirectory;
    std::map<std::string, std::string> setVariables;  // added to the test's environment
    std::vector<std::string> unsetVariables;          // removed from it
    // The child removes its working directory after entering it, so that the
    // program starts in a directory that no longer exists.
    bool removeWorkingDirectoryAtStart = false;
    // Caps the child's address space (bytes), so that large allocations fail;
    // on Windows its committed memory.
    std::optional<std::uint64_t> addressSpaceLimit;
    // What the child reads from a pipe as its standard input; unset, it reads
    // nothing (the null device).
    std::optional<std::string> standardInput;
};

// Whether addressSpaceLimit holds here. Wine takes a job's memory limit but
// does not enforce it.
bool CanCapMemory();

// The line end a program's text-mode output carries on this platform.
extern const char* const kTextLineEnd;

struct ProcessOutcome {
    std::string standardOutput;
    std::string standardError;
    int exitCode = -1;          // -1 when the process did not exit normally
    int terminatingSignal = 0;  // the signal that ended it, if any
};

ProcessOutcome RunProcess(const ProcessRequest& request);

}  // namespace test_support
