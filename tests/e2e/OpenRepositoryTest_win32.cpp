// Start directories only Windows has: the root of a drive, whose current
// directory ends in a backslash already, so that the library's path has two
// before its file name.
#include <gtest/gtest.h>

#include "fileio/WindowsHeaders.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The root of a drive the test may fill: the one the test runner names in
// ZARN_TEST_DRIVE (under Wine, a folder of the prefix), or else a free letter
// mapped to a folder of the sandbox while the test runs. What the test puts
// there goes when it ends.
class TestDrive {
public:
    explicit TestDrive(const fs::path& spareFolder) {
        const char* given = std::getenv("ZARN_TEST_DRIVE");
        name_ = given != nullptr ? std::wstring(given, given + std::strlen(given)) : MapFreeLetter(spareFolder);
        mapped_ = given == nullptr;
    }
    ~TestDrive() {
        std::error_code ignored;
        fs::remove(Library(), ignored);
        if (mapped_) ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr);
    }
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;

    fs::path Root() const { return name_ + L"\\"; }
    fs::path Library() const { return Root() / "KVDFiles.dll"; }

private:
    static std::wstring MapFreeLetter(const fs::path& folder) {
        const DWORD used = ::GetLogicalDrives();
        for (wchar_t letter = L'Y'; letter >= L'D'; --letter) {
            const std::wstring name = std::wstring(1, letter) + L":";
            if ((used & (1u << (letter - L'A'))) == 0 && ::DefineDosDeviceW(0, name.c_str(), folder.c_str())) {
                return name;
            }
        }
        throw std::runtime_error("no free drive letter to map");
    }

    std::wstring name_;
    bool mapped_ = false;
};

struct DriveRootRow {
    std::string name;
    bool libraryInRoot;
    std::string expectedOutput;
    int expectedExitCode;
    std::vector<std::string> expectedCalls;
};

TEST(OpenRepositoryStartDirectory, DriveRootFindsTheLibraryInIt) {
    const std::vector<DriveRootRow> rows = {
        {"LibraryInTheDriveRoot", true, "", 0, InOpenRepository({"RemoveFile(id=1)"})},
        {"NoLibraryInTheDriveRoot", false, "\n\nError loading KVDFiles library.\n\n", 1, {}},
    };
    for (const DriveRootRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Sandbox sandbox(Library::Missing);
        const TestDrive drive(sandbox.Start());
        fs::remove(drive.Library());
        if (row.libraryInRoot) fs::copy_file(fs::path(ZARN_FAKES_DIRECTORY) / "complete/KVDFiles.dll", drive.Library());
        RunOptions options;
        options.startDirectory = drive.Root();

        const auto outcome = sandbox.Run(sandbox.Expand(Command("deleteFile", {"/fileId:1"})), options);

        EXPECT_EQ(outcome.standardOutput, AsPrinted(row.expectedOutput));
        EXPECT_EQ(outcome.exitCode, row.expectedExitCode);
        EXPECT_EQ(outcome.standardError, "");
        EXPECT_EQ(sandbox.Calls(), sandbox.Expand(row.expectedCalls));
    }
}

}  // namespace
}  // namespace e2e
