// The launchers, installed as a package lays them out, run from a folder that
// holds no library: the tool's own tables of cases must print and exit as the
// tool does, and so must what only a launcher meets, relative repository
// paths and a caller's folder that is gone.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/CaseTables.h"
#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// {root}/installed as an install lays it out: the launcher in bin/, the
// programs and the library the case put in {start} in lib/zarnrepo/.
fs::path InstallLauncher(const Sandbox& sandbox, const std::string& program) {
    const fs::path installed = sandbox.Root() / "installed";
    const fs::path programs = installed / "lib" / "zarnrepo";
    fs::create_directories(installed / "bin");
    fs::create_directories(programs);
    fs::copy_file(fs::path(ZARN_LAUNCHERS_DIRECTORY) / program, installed / "bin" / program);
    fs::create_symlink(ToolPath(), programs / "zarnrepo");
    fs::create_symlink(ZARN_INSPECT_PATH, programs / "zarnrepo-inspect");
    if (fs::exists(sandbox.Start() / "KVDFiles.dll")) {
        fs::copy_file(sandbox.Start() / "KVDFiles.dll", programs / "KVDFiles.dll");
    }
    return installed / "bin" / program;
}

// Runs the installed launcher of program from {root}/caller.
test_support::ProcessOutcome RunLauncher(const Sandbox& sandbox, const std::string& program,
                                         const std::vector<std::string>& arguments, bool callerFolderGone = false) {
    RunOptions options;
    options.tool = InstallLauncher(sandbox, program);
    options.startDirectory = sandbox.Root() / "caller";
    options.removeStartDirectory = callerFolderGone;
    fs::create_directory(options.startDirectory);
    return sandbox.Run(sandbox.Expand(arguments), options);
}

// Rows only a launcher needs: the value of the first /reposDirPath, the one
// the tool keeps, must reach it whole, whatever quotes it ends with.
const std::vector<ToolCase> kLauncherCases = {
    {.name = "RelativeRepositoryPathEndingInAQuote",
     .arguments = {"/command:deleteFile", "/reposDirPath:\"re\"po\"\"", "/fileId:1"},
     .filesBefore = {{"caller/re\"po\"/", ""}},
     .expectedExitCode = 0},
    {.name = "FirstOfTwoRelativeRepositoryPaths",
     .arguments = {"/command:deleteFile", "/reposDirPath:../repo", "/reposDirPath:../missing", "/fileId:1"},
     .expectedExitCode = 0},
};

std::vector<ToolCase> LaunchedCases() {
    std::vector<ToolCase> cases = kLauncherCases;
    for (const auto& table : {EntryCases(), ArgumentMapCases(), OpenRepositoryCases()}) {
        cases.insert(cases.end(), table.begin(), table.end());
    }
    return cases;
}

class LaunchedTool : public testing::TestWithParam<ToolCase> {};

TEST_P(LaunchedTool, PrintsAndExitsAsTheTool) {
    const ToolCase& toolCase = GetParam();
    const Sandbox sandbox(toolCase.library);
    sandbox.WriteScript(toolCase.script);
    sandbox.AddFiles(toolCase.filesBefore);

    const auto outcome = RunLauncher(sandbox, "zarnrepo", toolCase.arguments);

    EXPECT_EQ(outcome.standardOutput, sandbox.Expand(toolCase.expectedOutput));
    EXPECT_EQ(outcome.exitCode, toolCase.expectedExitCode);
    EXPECT_EQ(outcome.standardError, "");
}

INSTANTIATE_TEST_SUITE_P(Runs, LaunchedTool, testing::ValuesIn(LaunchedCases()), CaseName());

// The caller's folder is read only when a relative /reposDirPath needs it,
// and only when the program would get as far as reading that option.
TEST(Launcher, CallerFolderGone) {
    struct Row {
        const char* name;
        std::string program;
        std::vector<std::string> arguments;
        std::string expectedOutput;
        int expectedExitCode;
    };
    const std::string noFolder = "\n\nError getting current directory.\n\n";
    const std::string noPath = "\n\nError getting repository path.\n\n";
    const std::string noCommand = "\n\nInvalid arguments.\n\n" + UsageText();
    const std::string noColon = "\n\nInvalid argument 'foo'.\n\n" + UsageText();
    const std::string version = "zarnrepo-inspect " ZARN_VERSION "\n";
    const std::vector<std::string> deleteRelative = {"/command:deleteFile", "/reposDirPath:../repo", "/fileId:1"};
    const Row rows[] = {
        {"relative path", "zarnrepo", deleteRelative, noFolder, 1},
        {"absolute path", "zarnrepo", Command("deleteFile", {"/fileId:1"}), "", 0},
        {"empty path", "zarnrepo", {"/command:deleteFile", "/reposDirPath:", "/fileId:1"}, noPath, 1},
        {"no command", "zarnrepo", Without(deleteRelative, "/command"), noCommand, 1},
        {"word first", "zarnrepo", {"/command:deleteFile", "foo", "/reposDirPath:../repo"}, noColon, 1},
        {"inspect, relative path", "zarnrepo-inspect", {"/reposDirPath:../repo"}, noFolder, 1},
        {"inspect, version", "zarnrepo-inspect", {"/version:1", "/reposDirPath:../repo"}, version, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Sandbox sandbox;
        const auto outcome = RunLauncher(sandbox, row.program, row.arguments, true);
        EXPECT_EQ(outcome.standardOutput, row.expectedOutput);
        EXPECT_EQ(outcome.exitCode, row.expectedExitCode);
    }
}

TEST(Launcher, ProgramMissingFromItsFolder) {
    const Sandbox sandbox;
    const fs::path launcher = InstallLauncher(sandbox, "zarnrepo");
    fs::remove(sandbox.Root() / "installed/lib/zarnrepo/zarnrepo");
    RunOptions options;
    options.tool = launcher;

    const auto outcome = sandbox.Run(sandbox.Expand(Command("deleteFile", {"/fileId:1"})), options);

    EXPECT_EQ(outcome.standardOutput,
              sandbox.Expand("\n\nError starting {root}/installed/bin/../lib/zarnrepo/zarnrepo.\n\n"));
    EXPECT_EQ(outcome.exitCode, 1);
}

}  // namespace
}  // namespace e2e
