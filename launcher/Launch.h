// The launcher of an installed program. The programs load KVDFiles.dll from
// the folder they start in, so a user cannot start them from anywhere: the
// launcher on the PATH starts its program in the folder the program is
// installed in, with the same arguments, and becomes it, so that output and
// exit code are the program's own.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "options/ArgumentMap.h"

namespace launcher {

struct LaunchedProgram {
    std::wstring_view fileName;  // in the programs' folder
    // Whether a run whose arguments were all stored goes on to open the
    // repository, and so reads /reposDirPath: the program's own check.
    bool (*opensRepository)(const options::ArgumentMap& arguments);
};

// The launcher of this executable; each launcher executable defines it.
extern const LaunchedProgram kLaunchedProgram;

// Starts the program with arguments (arguments[0] is the launcher's own path).
// A relative /reposDirPath that the program would open is made absolute
// against the caller's folder first, since the program starts in another
// one. Returns only on failure, with the exit code 1, after printing one
// message.
int Launch(std::span<const std::wstring> arguments, const LaunchedProgram& program);

}  // namespace launcher
