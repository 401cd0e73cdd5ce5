// What a run that takes the default repository location prints and which
// library calls it makes, on every platform: with the location found
// (openedAt), the repository is opened there and closed again between the
// argument error and the usage text; without it, only the open's own
// message, and no close: the library stays loaded until the process ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {

inline std::string DefaultLocationOutput(const std::optional<std::string>& openedAt) {
    if (!openedAt) return "\n\nError getting repository path.\n\n" + Marker("Unloaded");
    return "\n\nInvalid arguments.\n\n" + Marker("ReleaseLibrary()") + Marker("Unloaded") + UsageText();
}

inline std::vector<std::string> DefaultLocationCalls(const std::optional<std::string>& openedAt) {
    if (!openedAt) return {"Loaded", "InitLibrary(1)", "Unloaded"};
    return {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath(" + *openedAt + ")", "ReleaseLibrary()", "Unloaded"};
}

}  // namespace e2e
