// What only a test in the process shows: the buffer a source is read into,
// and backup copies that a reader never sees torn. The messages and where
// backups go are checked end to end (tests/e2e).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "encoding/WideText.h"
#include "fileio/FileIo.h"
#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"
#include "tests/support/Files.h"

namespace {

namespace fs = std::filesystem;

class LocalFiles : public testing::Test {
protected:
    void SetUp() override { options::ProcessArguments().Clear(); }
    void TearDown() override { options::ProcessArguments().Clear(); }

    // Reads path as /sourceFilePath and returns what it printed.
    static std::string ReadSource(const fs::path& path, std::uint32_t& byteCount, files::ContentBuffer& buffer) {
        options::ProcessArguments().Clear();
        options::ProcessArguments().Insert(L"/sourceFilePath", fileio::WideFromPath(path));
        testing::internal::CaptureStdout();
        const bool read = files::ReadSourceFile(byteCount, buffer);
        std::fflush(stdout);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(read, printed.empty());
        return printed;
    }

    test_support::TemporaryDirectory directory_;
};

// A source is read whole, followed by two zero bytes. A size no 32-bit count
// holds with those is refused before any buffer is had (4 GiB + 5 would pass
// as 5 bytes if the size were cut); so is a file that yields less than its
// size, such as a kernel attribute file, which reports a page and delivers a line.
TEST_F(LocalFiles, ReadsSourcesWholeAndRefusesThoseTooLargeOrShorterThanTheySay) {
    std::string large(std::size_t{5} << 20, 'y');
    large.back() = 'z';
    const fs::path source = directory_.Path() / "source";
    for (const std::string& content : {std::string(), std::string("a\0b", 3), large}) {
        test_support::WriteFileBytes(source, content);
        std::uint32_t byteCount = 7;
        files::ContentBuffer buffer;
        EXPECT_EQ(ReadSource(source, byteCount, buffer), "");
        ASSERT_TRUE(buffer);
        ASSERT_EQ(byteCount, content.size());
        EXPECT_EQ(std::string(buffer.get(), buffer.get() + byteCount + 2), content + std::string(2, '\0'));
    }
    for (const std::uintmax_t size : {0xFFFFFFFFull - 1, 0x100000005ull}) {
        test_support::MakeSparseFile(source, size);
        std::uint32_t byteCount = 0;
        files::ContentBuffer buffer;
        EXPECT_EQ(ReadSource(source, byteCount, buffer), "Error reading source file.\n\n");
        EXPECT_EQ(buffer, nullptr);
    }
    const fs::path shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
    std::error_code error;
    if (!fs::exists(shortFile, error)) GTEST_SKIP() << "no file here that delivers less than its size";
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    EXPECT_EQ(ReadSource(shortFile, byteCount, buffer), "Error reading source file.\n\n");
}

// While a backup is replaced a reader sees the old copy or the new one; a
// copy cut short leaves a temporary that the next backup takes over.
TEST_F(LocalFiles, ReadersNeverSeeATornBackupAndLeftoversAreReplaced) {
    options::ProcessArguments().Insert(L"/reposDirPath", fileio::WideFromPath(directory_.Path()));
    const fs::path file = directory_.Path() / "file";
    const std::string versions[] = {std::string(256 * 1024, 'a'), std::string(256 * 1024 + 1, 'b')};
    test_support::WriteFileBytes(file, versions[0]);
    test_support::WriteFileBytes(directory_.Path() / "file.bak.tmp", "left by a copy that was killed");
    ASSERT_TRUE(files::MakeBackupCopy(L"file"));
    EXPECT_FALSE(fs::exists(directory_.Path() / "file.bak.tmp"));
    std::atomic<bool> done{false};
    int torn = 0;
    std::thread reader([&] {
        while (!done) {
            // Windows may refuse the open while the file is replaced: that is no torn file.
            std::string seen;
            try {
                seen = test_support::ReadFileBytes(directory_.Path() / "file.bak");
            } catch (const std::runtime_error&) {
                seen = versions[0];
            }
            torn += seen != versions[0] && seen != versions[1] ? 1 : 0;
            // On Windows a reader holding the backup open holds off its
            // replacement; it lets go now and then, as a real reader would,
            // long enough for the copy's retries to find it closed even when
            // the machine is busy.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    for (int round = 1; round <= 40; ++round) {
        test_support::WriteFileBytes(file, versions[round % 2]);
        EXPECT_TRUE(files::MakeBackupCopy(L"file"));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(test_support::ReadFileBytes(directory_.Path() / "file.bak"), versions[0]);
    EXPECT_FALSE(fs::exists(directory_.Path() / "file.bak.tmp"));
}

// Where the kernel cannot copy between the two file systems (tmpfs to the
// test's own), the copy goes through a buffer: several of its fills, over a
// longer file that was there.
TEST(CopyReplacing, CopiesThroughABufferBetweenFileSystems) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no memory-backed file system here";
    const test_support::TemporaryDirectory memory("/dev/shm");
    const test_support::TemporaryDirectory disk;
    std::string content(std::size_t{3} << 20, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 / 5);
    test_support::WriteFileBytes(memory.Path() / "source", content);
    test_support::WriteFileBytes(disk.Path() / "copy", content + "and a longer old tail");
    ASSERT_FALSE(fileio::CopyReplacing(memory.Path() / "source", disk.Path() / "copy"));
    EXPECT_EQ(test_support::ReadFileBytes(disk.Path() / "copy"), content);
}

}  // namespace
