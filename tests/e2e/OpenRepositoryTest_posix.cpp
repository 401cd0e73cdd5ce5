// Start directories only POSIX can give the tool: one removed while it is
// current, and ones far longer than Windows' 260-character current directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

const std::vector<std::string> kDeleteOne = Command("deleteFile", {"/fileId:1"});
const std::string kLoadError = "\n\nError loading KVDFiles library.\n\n";

TEST(OpenRepositoryStartDirectory, GoneStartDirectoryIsAnErrorNotAnEmptyPath) {
    const Sandbox sandbox(Library::Missing);
    RunOptions options;
    options.removeStartDirectory = true;

    const auto outcome = sandbox.Run(sandbox.Expand(kDeleteOne), options);

    EXPECT_EQ(outcome.standardOutput, "\n\nError getting current directory.\n\n");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.standardError, "");
    EXPECT_EQ(sandbox.Calls(), std::vector<std::string>{});
}

// Makes a directory below root whose absolute path has exactly length characters.
std::filesystem::path MakeDirectoryOfLength(const std::filesystem::path& root, std::size_t length) {
    std::string path = root.string();
    while (path.size() < length) {
        std::size_t component = std::min<std::size_t>(200, length - path.size() - 1);
        if (length - path.size() - 1 - component == 1) --component;  // leave room for "/x", not "/"
        path += "/" + std::string(component, 'd');
    }
    std::filesystem::create_directories(path);
    return path;
}

// The library's path is the start directory, "/" and "KVDFiles.dll". A path of
// 2046 characters loads; a longer one is refused instead of cut to another file.
TEST(OpenRepositoryStartDirectory, LibraryPathOfMoreThan2046CharactersIsNotLoaded) {
    struct Row {
        std::size_t libraryPathLength;
        std::string expectedOutput;
        int expectedExitCode;
        std::vector<std::string> expectedCalls;
    };
    const std::vector<Row> rows = {
        {2046, "", 0, InOpenRepository({"RemoveFile(id=1)"})},
        {2047, kLoadError, 1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("library path of " + std::to_string(row.libraryPathLength) + " characters");
        const Sandbox sandbox(Library::Missing);
        const auto start = MakeDirectoryOfLength(sandbox.Root() / "long", row.libraryPathLength - 13);
        std::filesystem::copy_file(std::filesystem::path(ZARN_FAKES_DIRECTORY) / "complete/KVDFiles.dll",
                                   start / "KVDFiles.dll");
        RunOptions options;
        options.startDirectory = start;

        const auto outcome = sandbox.Run(sandbox.Expand(kDeleteOne), options);

        EXPECT_EQ(outcome.standardOutput, row.expectedOutput);
        EXPECT_EQ(outcome.exitCode, row.expectedExitCode);
        EXPECT_EQ(sandbox.Calls(), sandbox.Expand(row.expectedCalls));
    }
}

}  // namespace
}  // namespace e2e
