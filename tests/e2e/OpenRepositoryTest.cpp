// Opening the repository: finding and binding the library in the start
// directory, initialising it, and asking it for the repository.
#include <gtest/gtest.h>

#include "tests/e2e/CaseTables.h"
#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

const std::vector<std::string> kDeleteOne = Command("deleteFile", {"/fileId:1"});
const std::string kLoadError = "\n\nError loading KVDFiles library.\n\n";

// A library that lacks an export stays loaded until the process ends: its
// unload marker comes after the message, never before it.
ToolCase LackingExport(const std::string& name, Library library) {
    return {.name = name,
            .arguments = kDeleteOne,
            .script = "marker Unloaded\n",
            .expectedOutput = kLoadError + Marker("Unloaded"),
            .expectedCalls = {"Loaded", "Unloaded"},
            .library = library};
}

const std::vector<ToolCase> kOpenCases = {
    {.name = "NoLibraryInStartDirectory",
     .arguments = kDeleteOne,
     .expectedOutput = kLoadError,
     .library = Library::Missing},
    // Without /reposDirPath a failed open still ends the run with its own
    // message alone: no usage text.
    {.name = "NoLibraryAndNoRepositoryDirectory",
     .arguments = {"/command:deleteFile", "/fileId:1"},
     .expectedOutput = kLoadError,
     .library = Library::Missing},
    {.name = "InitialisationFailsAndNoRepositoryDirectory",
     .arguments = {"/command:deleteFile", "/fileId:1"},
     .script = "init-result 0\n",
     .expectedOutput = "\n\nError initializing KVDFiles library.\n\n",
     .expectedCalls = {"Loaded", "InitLibrary(1)", "Unloaded"}},
    {.name = "LibraryInRepositoryDirectoryOnly",
     .arguments = kDeleteOne,
     .expectedOutput = kLoadError,
     .library = Library::CompleteInRepositoryOnly},
    {.name = "LibraryFileIsNoLibrary",
     .arguments = kDeleteOne,
     .expectedOutput = kLoadError,
     .library = Library::NotALibrary},
    LackingExport("LibraryLacksInitLibrary", Library::WithoutInitLibrary),
    LackingExport("LibraryLacksReleaseLibrary", Library::WithoutReleaseLibrary),
    LackingExport("LibraryLacksGetRepository", Library::WithoutGetRepository),
    LackingExport("LibraryLacksGetRepositoryFromPath", Library::WithoutGetRepositoryFromPath),
    {.name = "InitialisationReturnsZero",
     .arguments = kDeleteOne,
     .script = "init-result 0\n",
     .expectedOutput = "\n\nError initializing KVDFiles library.\n\n",
     .expectedCalls = {"Loaded", "InitLibrary(1)", "Unloaded"}},
    {.name = "AnyNonzeroInitialisationIsSuccess",
     .arguments = kDeleteOne,
     .script = "init-result -1\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=1)"})},
    {.name = "EmptyRepositoryPath",
     .arguments = {"/command:deleteFile", "/reposDirPath:", "/fileId:1"},
     .expectedOutput = "\n\nError getting repository path.\n\n",
     .expectedCalls = {"Loaded", "InitLibrary(1)", "Unloaded"}},
    {.name = "LibraryGivesNoRepository",
     .arguments = kDeleteOne,
     .script = "no-repository\n",
     .expectedOutput = "\n\nError getting IZarnRepository.\n\n",
     .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({repo})", "Unloaded"}},
};

class OpenRepository : public testing::TestWithParam<ToolCase> {};
TEST_P(OpenRepository, PrintsExitsAndCallsAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, OpenRepository, testing::ValuesIn(kOpenCases), CaseName());

}  // namespace

std::vector<ToolCase> OpenRepositoryCases() { return kOpenCases; }

}  // namespace e2e
