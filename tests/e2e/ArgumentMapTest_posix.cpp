// Argument rows only POSIX can run: a colon is an ordinary character of a
// file name there.
#include "tests/e2e/PlatformCases.h"

namespace e2e {

std::vector<ToolCase> PlatformArgumentMapCases() {
    return {
        {.name = "RepositoryPathWithColon",
         .arguments = {"/command:deleteFile", "/reposDirPath:{root}/re:po", "/fileId:7"},
         .filesBefore = {{"re:po/", ""}},
         .expectedExitCode = 0,
         .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({root}/re:po)", "RemoveFile(id=7)",
                           "ReleaseLibrary()", "Unloaded"}},
    };
}

}  // namespace e2e
