// The tool with the repository library itself: a file goes in, comes out byte
// for byte, changes and goes away; what the tool's backups and getFile could
// destroy, they do not.
#include <filesystem>

#include "tests/e2e/Sandbox.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

const std::string kFirst = "first\x00\xff\x80\r\n content"s;
const std::string kSecond = "second, longer \xc3\xa9\x00 content\n"s;
const std::string kRefused = "Error adding new file to IZarnRepository.\n\n";

class RealLibrary : public testing::Test {
protected:
    void SetUp() override {
        test_support::WriteFileBytes(sandbox_.Root() / "first", kFirst);
        test_support::WriteFileBytes(sandbox_.Root() / "second", kSecond);
    }
    // A run that succeeds when it prints nothing.
    void Run(const std::string& command, const std::string& options, const std::string& output = "") const {
        Expect(sandbox_, Cmd(command, options), output, output.empty() ? 0 : 1);
    }
    void Add(const std::string& id, const std::string& source, const std::string& target,
             const std::string& output = "") const {
        Run("addFile",
            "/fileId:" + id + " /fileDesc:d /fileVersion:1 /filePermissions:3 /sourceFilePath:{root}/" + source +
                " /targetFilePath:" + target,
            output);
    }
    std::string Read(const std::string& name) const { return test_support::ReadFileBytes(sandbox_.Root() / name); }

    Sandbox sandbox_{"real"};
};

TEST_F(RealLibrary, AFileGoesInComesOutChangesAndGoesAway) {
    Add("42", "first", "a.txt");
    Run("getFile", "/fileId:42 /targetFilePath:{root}/out");
    EXPECT_EQ(Read("out"), kFirst);
    EXPECT_EQ(Read("repo/a.txt.bak"), kFirst);
    EXPECT_EQ(Read("repo/ZarnRepository.bin.bak"), Read("repo/ZarnRepository.bin"));
    Add("42", "second", "b.txt", kRefused);
    Run("modifyFile", "/fileId:42 /sourceFilePath:{root}/second");
    EXPECT_EQ(Read("repo/a.txt.bak"), kSecond);
    EXPECT_EQ(Read("repo/ZarnRepository.bin.bak"), Read("repo/ZarnRepository.bin"));
    Run("getFile", "/fileId:42 /targetFilePath:{root}/out");
    EXPECT_EQ(Read("out"), kSecond);
    Run("deleteFile", "/fileId:42");
    Run("getFile", "/fileId:42 /targetFilePath:{root}/gone", "Error getting IZarnFile from IZarnRepository.\n\n");
    EXPECT_FALSE(fs::exists(sandbox_.Root() / "gone"));
    Run("modifyFile", "/fileId:42 /sourceFilePath:{root}/second", kRefused);
    Run("deleteFile", "/fileId:42", "Error deleting file from IZarnRepository.\n\n");
}

// The tool copies a changed stored copy X to X.bak: no entry may have its
// stored copy there, nor one whose own backup would be another's stored copy.
TEST_F(RealLibrary, NoStoredCopyIsAnotherEntrysBackup) {
    fs::create_directories(sandbox_.Repository() / "sub");
    Add("A", "first", "a.txt");
    Add("B", "second", "a.txt.bak", kRefused);
    Add("B", "second", "sub/b.txt.bak");
    Add("C", "first", "sub/./b.txt", kRefused);
    Add("C", "first", "sub/../sub/b.txt.bak.bak", kRefused);
    Run("modifyFile", "/fileId:A /sourceFilePath:{root}/second");
    Run("modifyFile", "/fileId:B /sourceFilePath:{root}/first");
    EXPECT_EQ(Read("repo/a.txt"), kSecond);
    EXPECT_EQ(Read("repo/sub/b.txt.bak"), kFirst);
    EXPECT_FALSE(fs::exists(sandbox_.Repository() / "sub/b.txt"));
}

// A stored copy changed behind the library's back, even to the same size, is
// refused by getFile (no target written); a modify writes it whole again.
TEST_F(RealLibrary, ADamagedStoredCopyIsRefusedAndAModifyRepairsIt) {
    Add("42", "first", "a.txt");
    std::string damaged = kFirst;
    damaged[3] = static_cast<char>(damaged[3] ^ 0x20);
    test_support::WriteFileBytes(sandbox_.Repository() / "a.txt", damaged);
    Run("getFile", "/fileId:42 /targetFilePath:{root}/out", "Error reading from IZarnFileStream.\n\n");
    EXPECT_FALSE(fs::exists(sandbox_.Root() / "out"));
    Run("modifyFile", "/fileId:42 /sourceFilePath:{root}/second");
    Run("getFile", "/fileId:42 /targetFilePath:{root}/out");
    EXPECT_EQ(Read("out"), kSecond);
}

// getFile never writes over the files the repository keeps for itself,
// however the target names them, also through a hard link.
TEST_F(RealLibrary, GetFileNeverWritesOverTheRepositorysOwnFiles) {
    Add("42", "first", "a.txt");
    test_support::WriteFileBytes(sandbox_.Repository() / ".kvd-left.tmp", "a temporary");
    fs::create_hard_link(sandbox_.Repository() / "ZarnRepository.bin", sandbox_.Root() / "index-link");
    const test_support::FileTree before = sandbox_.Files();
    for (const std::string name :
         {"ZarnRepository.bin", "ZarnRepository.lock", "ZarnRepository.bin.bak", ".kvd-left.tmp"}) {
        for (const std::string& target :
             {name, "./" + name, "{repo}/" + name, "{repo}/../repo/./" + name, "../repo/" + name}) {
            Run("getFile", "/fileId:42 /targetFilePath:" + target, "Error opening target file.\n\n");
        }
    }
    Run("getFile", "/fileId:42 /targetFilePath:{root}/index-link", "Error opening target file.\n\n");
    EXPECT_EQ(sandbox_.Files(), before);
}

}  // namespace
}  // namespace e2e
