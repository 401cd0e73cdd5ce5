// The tool with the repository library itself: a file goes in, comes out byte
// for byte, changes, and goes away, with the backups beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/Sandbox.h"
#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kFirstContent = "first\x00\xff\x80\r\n content"s;
const std::string kSecondContent = "second, longer \xc3\xa9\x00 content\n"s;

class RealLibrary : public testing::Test {
protected:
    void SetUp() override {
        if (!HasRealLibrary()) GTEST_SKIP() << "the build has no repository library";
    }

    // Runs the tool; expects it to print expectedOutput and exit with expectedExitCode.
    void Run(const std::vector<std::string>& arguments, const std::string& expectedOutput, int expectedExitCode) {
        const auto outcome = sandbox_.Run(sandbox_.Expand(arguments));
        EXPECT_EQ(outcome.standardOutput, AsPrinted(expectedOutput));
        EXPECT_EQ(outcome.exitCode, expectedExitCode);
        EXPECT_EQ(outcome.standardError, "");
    }

    void WriteFile(const std::string& name, const std::string& content) const {
        test_support::WriteFileBytes(sandbox_.Root() / name, content);
    }
    std::string ReadFile(const std::string& name) const { return test_support::ReadFileBytes(sandbox_.Root() / name); }

    // The stored copy and the index each have a backup equal to them.
    void ExpectBackups(const std::string& repository, const std::string& stored) const {
        EXPECT_EQ(ReadFile(repository + "/" + stored + ".bak"), ReadFile(repository + "/" + stored));
        EXPECT_EQ(ReadFile(repository + "/ZarnRepository.bin.bak"), ReadFile(repository + "/ZarnRepository.bin"));
    }

    Sandbox sandbox_{Library::Real};
};

std::vector<std::string> AddFile(const std::string& repository, const std::string& source) {
    return {"/command:addFile", "/reposDirPath:" + repository, "/fileId:42", "/fileDesc:\"My file\"",
            "/fileVersion:1.0", "/filePermissions:3", "/sourceFilePath:{root}/" + source, "/targetFilePath:a.txt"};
}

std::vector<std::string> GetFile(const std::string& target) {
    return Command("getFile", {"/fileId:42", "/targetFilePath:{root}/" + target});
}

TEST_F(RealLibrary, FileGoesInComesOutChangesAndGoesAway) {
    WriteFile("first.bin", kFirstContent);
    WriteFile("second.bin", kSecondContent);

    Run(AddFile("{repo}", "first.bin"), "", 0);
    EXPECT_EQ(ReadFile("repo/a.txt"), kFirstContent);
    ExpectBackups("repo", "a.txt");

    Run(GetFile("out1.bin"), "", 0);
    EXPECT_EQ(ReadFile("out1.bin"), kFirstContent);

    Run(AddFile("{repo}", "second.bin"), "Error adding new file to IZarnRepository.\n\n", 1);

    Run(Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}/second.bin"}), "", 0);
    EXPECT_EQ(ReadFile("repo/a.txt"), kSecondContent);
    ExpectBackups("repo", "a.txt");

    Run(GetFile("out2.bin"), "", 0);
    EXPECT_EQ(ReadFile("out2.bin"), kSecondContent);

    Run(Command("deleteFile", {"/fileId:42"}), "", 0);
    Run(GetFile("out3.bin"), "Error getting IZarnFile from IZarnRepository.\n\n", 1);
    EXPECT_FALSE(fs::exists(sandbox_.Root() / "out3.bin"));
    Run(Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}/second.bin"}),
        "Error adding new file to IZarnRepository.\n\n", 1);
    Run(Command("deleteFile", {"/fileId:42"}), "Error deleting file from IZarnRepository.\n\n", 1);
}

TEST_F(RealLibrary, EmptyFileRoundTrips) {
    WriteFile("empty.bin", "");
    WriteFile("out.bin", "older content");

    Run(AddFile("{repo}", "empty.bin"), "", 0);
    Run(GetFile("out.bin"), "", 0);

    EXPECT_EQ(ReadFile("out.bin"), "");
    ExpectBackups("repo", "a.txt");
}

// A relative repository directory is taken from the start directory, and the
// backups are made inside it.
TEST_F(RealLibrary, RelativeRepositoryDirectory) {
    WriteFile("first.bin", kFirstContent);
    fs::create_directory(sandbox_.Start() / "repo");

    Run(AddFile("repo", "first.bin"), "", 0);

    EXPECT_EQ(ReadFile("start/repo/a.txt"), kFirstContent);
    ExpectBackups("start/repo", "a.txt");
    EXPECT_FALSE(fs::exists(sandbox_.Start() / "repo/repo"));
}

}  // namespace
}  // namespace e2e
