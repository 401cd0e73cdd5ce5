// What every console program of the project does around its entry point.
#pragma once

#include <cstdio>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace app {

using EntryPoint = int (*)(std::span<const std::wstring>);

// Hands the command line, as wide text, to entry and returns its exit code;
// 1 when memory runs out or the output cannot be flushed.
template <typename Argument, typename ToWide>
int RunConsoleProgram(int argc, Argument* const* argv, ToWide toWide, EntryPoint entry) {
    try {
        platform::PrepareConsoleOutput();
        std::vector<std::wstring> arguments;
        arguments.reserve(static_cast<std::size_t>(argc));
        for (int i = 0; i < argc; ++i) arguments.push_back(toWide(argv[i]));
        const int exitCode = entry(arguments);
        return std::fflush(stdout) == 0 ? exitCode : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

}  // namespace app
