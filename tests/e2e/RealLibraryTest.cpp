// The tool with the repository library itself: a file goes in, comes out byte
// for byte, changes, and goes away, with the backups beside it.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/RealLibrary.h"

namespace e2e {
namespace {

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

// The tool copies a changed stored copy X to X.bak: no entry may have its
// stored copy there, nor one whose own backup would be another's stored copy.
TEST_F(RealLibrary, NoStoredCopyIsAnotherEntrysBackup) {
    WriteFile("first.bin", kFirstContent);
    WriteFile("second.bin", kSecondContent);
    fs::create_directories(sandbox_.Root() / "repo/sub");
    const std::string refused = "Error adding new file to IZarnRepository.\n\n";
    Run(AddFile("{repo}", "first.bin", "A", "a.txt"), "", 0);
    Run(AddFile("{repo}", "second.bin", "B", "a.txt.bak"), refused, 1);
    Run(AddFile("{repo}", "second.bin", "B", "sub/b.txt.bak"), "", 0);
    Run(AddFile("{repo}", "first.bin", "C", "sub/./b.txt"), refused, 1);
    Run(AddFile("{repo}", "first.bin", "C", "sub/../sub/b.txt.bak.bak"), refused, 1);

    Run(Command("modifyFile", {"/fileId:A", "/sourceFilePath:{root}/second.bin"}), "", 0);
    EXPECT_EQ(ReadFile("repo/a.txt"), kSecondContent);
    EXPECT_EQ(ReadFile("repo/sub/b.txt.bak"), kSecondContent);
    Run(Command("modifyFile", {"/fileId:B", "/sourceFilePath:{root}/first.bin"}), "", 0);
    EXPECT_EQ(ReadFile("repo/a.txt"), kSecondContent);
    EXPECT_EQ(ReadFile("repo/sub/b.txt.bak"), kFirstContent);
    EXPECT_FALSE(fs::exists(sandbox_.Root() / "repo/sub/b.txt"));
}

// getFile never writes over the files the repository keeps for itself,
// however the target names them; the file stays as it was.
TEST_F(RealLibrary, GetFileNeverWritesOverTheRepositorysOwnFiles) {
    WriteFile("first.bin", kFirstContent);
    Run(AddFile("{repo}", "first.bin"), "", 0);
    WriteFile("repo/.kvd-left.tmp", "a temporary");
    fs::create_hard_link(sandbox_.Root() / "repo/ZarnRepository.bin", sandbox_.Root() / "index-link");
    const std::string refused = "Error opening target file.\n\n";
    for (const std::string name :
         {"ZarnRepository.bin", "ZarnRepository.lock", "ZarnRepository.bin.bak", ".kvd-left.tmp"}) {
        const std::string before = ReadFile("repo/" + name);
        for (const std::string& target :
             {name, "./" + name, "{repo}/" + name, "{repo}/../repo/./" + name, "../repo/" + name}) {
            SCOPED_TRACE(target);
            Run(Command("getFile", {"/fileId:42", "/targetFilePath:" + target}), refused, 1);
            EXPECT_EQ(ReadFile("repo/" + name), before);
        }
    }
    const std::string index = ReadFile("repo/ZarnRepository.bin");
    Run(GetFile("index-link"), refused, 1);
    EXPECT_EQ(ReadFile("repo/ZarnRepository.bin"), index);
    Run(GetFile("out.bin"), "", 0);
    EXPECT_EQ(ReadFile("out.bin"), kFirstContent);
}

}  // namespace
}  // namespace e2e
