// Start-up on POSIX systems: the arguments arrive as bytes and become wide
// text through the reversible mapping.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "inspect/InspectEntryPoint.h"
#include "encoding/WideText.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::wstring> arguments;
        arguments.reserve(static_cast<std::size_t>(argc));
        for (int i = 0; i < argc; ++i) arguments.push_back(encoding::WideFromBytes(argv[i]));
        const int exitCode = inspect::RunInspect(arguments);
        return std::fflush(stdout) == 0 ? exitCode : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}
