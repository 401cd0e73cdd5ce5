// The launchers, installed as a package lays them out and run from the start
// directory: every row must print, exit and leave files as the tool does,
// and what only a launcher meets must hold too: relative repository paths,
// a caller's folder that is gone, a program missing from its folder.
#include <algorithm>

#include "tests/e2e/Sandbox.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessRequest;

// An installation of the launcher of program whose programs' folder,
// lib/zarnrepo, is the sandbox's start directory, where the library lies.
class Installation {
public:
    Installation(const Sandbox& sandbox, const std::string& program) {
        fs::create_directories(folder_.Path() / "bin");
        fs::create_directories(folder_.Path() / "lib");
        fs::create_directory_symlink(sandbox.Start(), folder_.Path() / "lib/zarnrepo");
        fs::copy_file(fs::path(ZARN_LAUNCHERS_DIRECTORY) / program, folder_.Path() / "bin" / program);
        fs::create_symlink(ToolPath(), sandbox.Start() / "zarnrepo");
        fs::create_symlink(ZARN_INSPECT_PATH, sandbox.Start() / "zarnrepo-inspect");
        request_.program = folder_.Path() / "bin" / program;
    }
    // Run from {start}, or from a folder that is gone.
    ProcessRequest Request(bool callerFolderGone = false) const {
        ProcessRequest request = request_;
        request.removeWorkingDirectoryAtStart = callerFolderGone;
        return request;
    }

private:
    test_support::TemporaryDirectory folder_;
    ProcessRequest request_;
};

// A relative /reposDirPath names another folder from the programs' folder:
// the launcher makes it absolute, so the library is told another path.
bool NamesARelativeRepository(const Row& row) {
    return std::any_of(row.arguments.begin(), row.arguments.end(), [](const std::string& argument) {
        return argument.starts_with("/reposDirPath:") && argument.size() > 14 &&
               argument.find('{') == std::string::npos;
    });
}

std::vector<Row> LaunchedRows() {
    std::vector<Row> rows = CommandRows();
    std::erase_if(rows, NamesARelativeRepository);
    // The first /reposDirPath is the tool's, whatever quotes it ends with.
    rows.push_back({"RelativeRepositoryPathEndingInAQuote",
                    Split("/command:deleteFile /reposDirPath:\"r\"e\"\" /fileId:1"),
                    Opened("@RemoveFile(id=1)\n", "{start}/r\"e\""), 0, "", Tree("start/r\"e\"/", "")});
    rows.push_back({"FirstOfTwoRelativeRepositoryPaths",
                    Split("/command:deleteFile /reposDirPath:../repo /reposDirPath:gone /fileId:1"),
                    Opened("@RemoveFile(id=1)\n", "{start}/../repo"), 0});
    return rows;
}

class Launched : public testing::TestWithParam<Row> {};
TEST_P(Launched, AsTheTool) {
    const Sandbox sandbox(GetParam().library);
    sandbox.Check(GetParam(), Installation(sandbox, "zarnrepo").Request());
}
INSTANTIATE_TEST_SUITE_P(Runs, Launched, testing::ValuesIn(LaunchedRows()), RowName);

// The caller's folder is read only when a relative /reposDirPath needs it,
// and only when the program would get as far as reading that option.
TEST(Launcher, CallerFolderGone) {
    const std::string noFolder = "\n\nError getting current directory.\n\n";
    const struct {
        const char* program;
        std::string arguments;
        std::string output;
        int exitCode;
    } rows[] = {
        {"zarnrepo", "/command:deleteFile /reposDirPath:../repo /fileId:1", noFolder, 1},
        {"zarnrepo", "/command:deleteFile /reposDirPath:{repo} /fileId:1", Opened("@RemoveFile(id=1)\n"), 0},
        {"zarnrepo", "/reposDirPath:../repo /fileId:1", "\n\nInvalid arguments.\n\n{usage}", 1},
        {"zarnrepo", "/command:deleteFile foo /reposDirPath:../repo", "\n\nInvalid argument 'foo'.\n\n{usage}", 1},
        {"zarnrepo-inspect", "/reposDirPath:../repo", noFolder, 1},
        {"zarnrepo-inspect", "/version:1 /reposDirPath:../repo", "zarnrepo-inspect " ZARN_VERSION "\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        const Sandbox sandbox;
        fs::create_directory(sandbox.Root() / "caller");
        const Installation installation(sandbox, row.program);
        ProcessRequest request = installation.Request(true);
        request.workingDirectory = sandbox.Root() / "caller";
        Expect(sandbox, Split(row.arguments), row.output, row.exitCode, request);
    }
}

TEST(Launcher, ProgramMissingFromItsFolder) {
    const Sandbox sandbox;
    const Installation installation(sandbox, "zarnrepo");
    fs::remove(sandbox.Start() / "zarnrepo");
    const ProcessRequest request = installation.Request();
    Expect(sandbox, Cmd("deleteFile", "/fileId:1"),
           "\n\nError starting " + request.program.parent_path().string() + "/../lib/zarnrepo/zarnrepo.\n\n", 1,
           request);
}

}  // namespace
}  // namespace e2e
