#include "files/LocalFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "files/tests/LocalFilesFixture.h"
#include "options/ArgumentMap.h"

namespace {

namespace fs = std::filesystem;
using files_test::LocalFiles;
using files_test::WideOf;

TEST_F(LocalFiles, ReadsAWholeSourceFollowedByTwoZeroBytes) {
    std::string large(std::size_t{5} << 20, 'y');
    large.back() = 'z';
    for (const std::string& content : {std::string(), std::string("a\0b", 3), std::string(100000, 'x'), large}) {
        WriteFile(PathOf("source"), content);
        SetOption(L"/sourceFilePath", PathOf("source"));
        std::uint32_t byteCount = 7;
        files::ContentBuffer buffer;
        bool read = false;
        EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }), "");
        ASSERT_TRUE(read);
        ASSERT_EQ(byteCount, content.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), byteCount), content);
        EXPECT_EQ(buffer[byteCount], 0);
        EXPECT_EQ(buffer[byteCount + 1], 0);
        options::ProcessArguments().Clear();
    }
}

TEST_F(LocalFiles, ASourceThatCannotBeOpenedLeavesTheOutValuesAlone) {
    fs::create_directory(PathOf("folder"));
    for (const char* name : {"missing", "folder"}) {
        options::ProcessArguments().Clear();
        SetOption(L"/sourceFilePath", PathOf(name));
        SCOPED_TRACE(name);
        ExpectSourceNotOpened();
    }
}

TEST_F(LocalFiles, ASourceTooLargeForA32BitCountIsRefusedBeforeAnyAllocation) {
    // Sparse files: their size costs no disk.
    for (const std::uintmax_t size : {0xFFFFFFFFull - 1, 0x100000005ull}) {
        options::ProcessArguments().Clear();
        WriteFile(PathOf("huge"), "");
        fs::resize_file(PathOf("huge"), size);
        SetOption(L"/sourceFilePath", PathOf("huge"));
        std::uint32_t byteCount = 0;
        EXPECT_EQ(ExpectSourceReadToFail("Error reading source file.\n\n", byteCount), nullptr);
    }
}

TEST_F(LocalFiles, WritesCreateOrReplaceTheWholeTarget) {
    SetOption(L"/targetFilePath", PathOf("target"));
    WriteFile(PathOf("target"), "a much longer old content");
    const std::string content = "new";
    bool written = false;
    EXPECT_EQ(Printed(written, [&] {
                  return files::WriteTargetFile(reinterpret_cast<const std::uint8_t*>(content.data()), 3);
              }),
              "");
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(PathOf("target")), "new");

    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(nullptr, 0); }), "");
    EXPECT_TRUE(written);
    EXPECT_TRUE(fs::exists(PathOf("target")));
    EXPECT_EQ(fs::file_size(PathOf("target")), 0u);
}

TEST_F(LocalFiles, ATargetThatIsAFolderDoesNotOpen) {
    fs::create_directory(PathOf("folder"));
    SetOption(L"/targetFilePath", PathOf("folder"));
    bool written = true;
    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(nullptr, 0); }), "Error opening target file.\n\n");
    EXPECT_FALSE(written);
    EXPECT_TRUE(fs::is_directory(PathOf("folder")));
}

TEST_F(LocalFiles, BackupsOfRelativeNamesComeFromTheRepositoryDirectory) {
    fs::create_directories(PathOf("repo/sub"));
    WriteFile(PathOf("repo/sub/a.txt"), "one");
    SetOption(L"/reposDirPath", PathOf("repo"));
    bool copied = false;
    EXPECT_EQ(Printed(copied, [] { return files::MakeBackupCopy(L"sub/a.txt"); }), "");
    EXPECT_TRUE(copied);
    EXPECT_EQ(ReadFile(PathOf("repo/sub/a.txt.bak")), "one");

    // A second backup replaces the first; no numbered copies appear.
    WriteFile(PathOf("repo/sub/a.txt"), "two");
    EXPECT_TRUE(files::MakeBackupCopy(L"sub/a.txt"));
    EXPECT_EQ(ReadFile(PathOf("repo/sub/a.txt.bak")), "two");
    EXPECT_EQ(std::distance(fs::directory_iterator(PathOf("repo/sub")), fs::directory_iterator()), 2);
}

// Whether path holds neither version. Windows may refuse the open while the
// file is being replaced; that is not a torn file.
bool IsTorn(const fs::path& path, const std::string (&versions)[2]) {
    std::ifstream file(path, std::ios::binary);
    const std::string seen(std::istreambuf_iterator<char>(file), {});
    return file.is_open() && seen != versions[0] && seen != versions[1];
}

// A reader of the backup sees the old copy or the new one while it is being
// replaced, never a torn one; a copy cut short leaves a temporary that the
// next backup of the same file takes over.
TEST_F(LocalFiles, ReadersNeverSeeATornBackupAndLeftoversAreReplaced) {
    SetOption(L"/reposDirPath", directory_);
    const std::string versions[] = {std::string(256 * 1024, 'a'), std::string(256 * 1024 + 1, 'b')};
    WriteFile(PathOf("file"), versions[0]);
    WriteFile(PathOf("file.bak.tmp"), "left by a copy that was killed");
    ASSERT_TRUE(files::MakeBackupCopy(L"file"));
    EXPECT_FALSE(fs::exists(PathOf("file.bak.tmp")));
    std::atomic<bool> done{false};
    int torn = 0;
    std::thread reader([&] {
        while (!done) {
            torn += IsTorn(PathOf("file.bak"), versions) ? 1 : 0;
            // On Windows a reader holding the backup open holds off its
            // replacement; it lets go now and then, as a real reader would.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int round = 1; round <= 40; ++round) {
        WriteFile(PathOf("file"), versions[round % 2]);
        EXPECT_TRUE(files::MakeBackupCopy(L"file"));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(ReadFile(PathOf("file.bak")), versions[0]);
    EXPECT_FALSE(fs::exists(PathOf("file.bak.tmp")));
}

TEST_F(LocalFiles, WithARelativeRepositoryDirectoryTheNameIsTakenInsideIt) {
    fs::create_directories(PathOf("repo"));
    WriteFile(PathOf("repo/ZarnRepository.bin"), "index");
    fs::current_path(PathOf("repo"));
    options::ProcessArguments().Insert(L"/reposDirPath", L"repo");
    bool copied = false;
    EXPECT_EQ(Printed(copied, [] { return files::MakeBackupCopy(L"ZarnRepository.bin"); }), "");
    EXPECT_TRUE(copied);
    EXPECT_EQ(ReadFile(PathOf("repo/ZarnRepository.bin.bak")), "index");
}

TEST_F(LocalFiles, AbsoluteNamesAreCopiedFromWhereTheyPoint) {
    WriteFile(PathOf("elsewhere"), "abs");
    SetOption(L"/reposDirPath", PathOf("no-such-repo"));
    EXPECT_TRUE(files::MakeBackupCopy(WideOf(PathOf("elsewhere").native())));
    EXPECT_EQ(ReadFile(PathOf("elsewhere.bak")), "abs");
}

TEST_F(LocalFiles, AMissingFileGivesNoBackup) {
    SetOption(L"/reposDirPath", directory_);
    bool copied = true;
    EXPECT_EQ(Printed(copied, [] { return files::MakeBackupCopy(L"missing"); }), "Error creating file backup.\n\n");
    EXPECT_FALSE(copied);
    EXPECT_FALSE(fs::exists(PathOf("missing.bak")));
    EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 0);
}

}  // namespace
