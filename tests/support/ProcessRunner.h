// Runs a program to its end and keeps what it printed, byte for byte.
#pragma once

#include <filesystem>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct ProcessRequest {
    std::filesystem::path program;
    std::vector<std::string> arguments;  // after the program's own name; passed as bytes
    std::filesystem::path workingDirectory;
    std::map<std::string, std::string> setVariables;  // added to the test's environment
    std::vector<std::string> unsetVariables;          // removed from it
    // The child removes its working directory after entering it, so that the
    // program starts in a directory that no longer exists.
    bool removeWorkingDirectoryAtStart = false;
    // Caps the child's address space (bytes), so that large allocations fail.
    std::optional<std::uint64_t> addressSpaceLimit;
};

struct ProcessOutcome {
    std::string standardOutput;
    std::string standardError;
    int exitCode = -1;          // -1 when the process did not exit normally
    int terminatingSignal = 0;  // the signal that ended it, if any
};

ProcessOutcome RunProcess(const ProcessRequest& request);

}  // namespace test_support
