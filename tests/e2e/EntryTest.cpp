// How a run starts and ends: argument errors, the command name, the change to
// the repository directory, and the close that follows every opened repository.
#include <gtest/gtest.h>

#include "tests/e2e/CaseTables.h"
#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

const std::string kCloseMarkers = "marker ReleaseLibrary\nmarker Unloaded\n";

std::string ClosedAfter(const std::string& message) {
    return message + Marker("ReleaseLibrary()") + Marker("Unloaded");
}

std::vector<std::string> OpenedAt(const std::string& repository) {
    return {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath(" + repository + ")", "ReleaseLibrary()",
            "Unloaded"};
}

const std::vector<ToolCase> kEntryCases = {
    // Argument errors end the run before the library is loaded.
    {.name = "NoArguments",
     .arguments = {},
     .expectedOutput = "\n\nInvalid arguments.\n\n" + UsageText()},
    {.name = "ArgumentWithoutColon",
     .arguments = {"foo"},
     .expectedOutput = "\n\nInvalid argument 'foo'.\n\n" + UsageText()},
    {.name = "EmptyArgument",
     .arguments = {""},
     .expectedOutput = "\n\nInvalid argument ''.\n\n" + UsageText()},
    {.name = "HelpIsNoOption",
     .arguments = {"/?"},
     .expectedOutput = "\n\nInvalid argument '/?'.\n\n" + UsageText()},
    {.name = "ArgumentIsPrintedAsTextNotAsFormat",
     .arguments = {"%s%n%d%ws%%"},
     .expectedOutput = "\n\nInvalid argument '%s%n%d%ws%%'.\n\n" + UsageText()},
    {.name = "LongArgumentIsPrintedWhole",
     .arguments = {std::string(5000, 'x')},
     .expectedOutput = "\n\nInvalid argument '" + std::string(5000, 'x') + "'.\n\n" + UsageText()},
    {.name = "FirstArgumentWithoutColonEndsTheRun",
     .arguments = {"/command:deleteFile", "foo", "bar", "/reposDirPath:{repo}", "/fileId:1"},
     .expectedOutput = "\n\nInvalid argument 'foo'.\n\n" + UsageText()},
    {.name = "NoCommand",
     .arguments = {"/reposDirPath:{repo}", "/fileId:1"},
     .expectedOutput = "\n\nInvalid arguments.\n\n" + UsageText()},
    {.name = "CommandKeyIsCaseSensitive",
     .arguments = {"/Command:deleteFile", "/reposDirPath:{repo}", "/fileId:1"},
     .expectedOutput = "\n\nInvalid arguments.\n\n" + UsageText()},
    {.name = "CommandKeyNeedsItsSlash",
     .arguments = {"command:deleteFile", "/reposDirPath:{repo}", "/fileId:1"},
     .expectedOutput = "\n\nInvalid arguments.\n\n" + UsageText()},

    // The repository directory cannot become the current directory.
    {.name = "RepositoryDirectoryMissing",
     .arguments = {"/command:deleteFile", "/reposDirPath:{root}/missing", "/fileId:1"},
     .script = kCloseMarkers,
     .expectedOutput = ClosedAfter("\n\nError setting current directory to repository path.\n\n"),
     .expectedCalls = OpenedAt("{root}/missing")},
    {.name = "RepositoryDirectoryIsAFile",
     .arguments = {"/command:deleteFile", "/reposDirPath:{root}/plain.txt", "/fileId:1"},
     .script = kCloseMarkers,
     .filesBefore = {{"plain.txt", "x"}},
     .expectedOutput = ClosedAfter("\n\nError setting current directory to repository path.\n\n"),
     .expectedCalls = OpenedAt("{root}/plain.txt")},

    // Command names match exactly, after the repository is open.
    {.name = "CommandNameIsCaseSensitive",
     .arguments = Command("GetFile", {"/fileId:1", "/targetFilePath:out.txt"}),
     .script = kCloseMarkers,
     .expectedOutput = ClosedAfter("\n\nInvalid command 'GetFile'\n\n"),
     .expectedCalls = InOpenRepository({})},
    {.name = "CommandNameIsNotTrimmed",
     .arguments = Command("deleteFile ", {"/fileId:1"}),
     .expectedOutput = "\n\nInvalid command 'deleteFile '\n\n",
     .expectedCalls = InOpenRepository({})},
    {.name = "EmptyCommandName",
     .arguments = Command("", {"/fileId:1"}),
     .expectedOutput = "\n\nInvalid command ''\n\n",
     .expectedCalls = InOpenRepository({})},
    {.name = "CommandNameIsPrintedAsTextNotAsFormat",
     .arguments = Command("%s%n%ws", {}),
     .expectedOutput = "\n\nInvalid command '%s%n%ws'\n\n",
     .expectedCalls = InOpenRepository({})},
    {.name = "UnknownCommand",
     .arguments = Command("listFiles", {}),
     .expectedOutput = "\n\nInvalid command 'listFiles'\n\n",
     .expectedCalls = InOpenRepository({})},

    // A handler's failure and its success both close the repository.
    {.name = "FailingCommandClosesTheRepository",
     .arguments = Command("deleteFile", {"/fileId:1"}),
     .script = kCloseMarkers + "fail RemoveFile 3\n",
     .expectedOutput = ClosedAfter("Error deleting file from IZarnRepository.\n\n"),
     .expectedCalls = InOpenRepository({"RemoveFile(id=1)"})},
    {.name = "SucceedingCommandClosesTheRepository",
     .arguments = Command("deleteFile", {"/fileId:1"}),
     .script = kCloseMarkers,
     .expectedOutput = ClosedAfter(""),
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=1)"})},
    {.name = "RelativeRepositoryDirectoryStartsAtTheStartDirectory",
     .arguments = {"/command:deleteFile", "/reposDirPath:../repo", "/fileId:1"},
     .expectedExitCode = 0,
     .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath(../repo)", "RemoveFile(id=1)",
                       "ReleaseLibrary()", "Unloaded"}},
};

class Entry : public testing::TestWithParam<ToolCase> {};
TEST_P(Entry, PrintsExitsAndCallsAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, Entry, testing::ValuesIn(kEntryCases), CaseName());

}  // namespace

std::vector<ToolCase> EntryCases() { return kEntryCases; }

}  // namespace e2e
