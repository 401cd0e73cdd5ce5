#include "files/LocalFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "encoding/WideText.h"
#include "options/ArgumentMap.h"

namespace {

namespace fs = std::filesystem;

class LocalFiles : public testing::Test {
protected:
    void SetUp() override {
        options::ProcessArguments().Clear();
        std::string pattern = (fs::temp_directory_path() / "zarn-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(directory_);
        options::ProcessArguments().Clear();
    }

    fs::path PathOf(const std::string& name) const { return directory_ / name; }

    void SetOption(const std::wstring& key, const fs::path& value) {
        options::ProcessArguments().Insert(key, encoding::WideFromBytes(value.string()));
    }

    static void WriteFile(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::string ReadFile(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // Runs an operation and returns what it printed.
    template <typename Operation>
    static std::string Printed(bool& result, Operation operation) {
        testing::internal::CaptureStdout();
        result = operation();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    fs::path directory_;
    fs::path previous_;
};

TEST_F(LocalFiles, ReadsAWholeSourceFollowedByTwoZeroBytes) {
    for (const std::string& content : {std::string(), std::string("a\0b", 3), std::string(100000, 'x')}) {
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
        std::uint32_t byteCount = 7;
        files::ContentBuffer buffer;
        bool read = true;
        EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }),
                  "Error opening source file.\n\n");
        EXPECT_FALSE(read);
        EXPECT_EQ(byteCount, 7u);
        EXPECT_EQ(buffer, nullptr);
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
        files::ContentBuffer buffer;
        bool read = true;
        EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }),
                  "Error reading source file.\n\n");
        EXPECT_FALSE(read);
        EXPECT_EQ(buffer, nullptr);
    }
}

TEST_F(LocalFiles, ASourceThatYieldsLessThanItsSizeIsAReadError) {
    // Kernel attribute files report a page as their size and deliver a line.
    const fs::path shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
    std::error_code error;
    if (!fs::exists(shortFile, error) || fs::file_size(shortFile, error) <= ReadFile(shortFile).size()) {
        GTEST_SKIP() << "no file here that delivers less than its size";
    }
    SetOption(L"/sourceFilePath", shortFile);
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    bool read = true;
    EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }),
              "Error reading source file.\n\n");
    EXPECT_FALSE(read);
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

TEST_F(LocalFiles, WriteFailuresReportTheirCause) {
    fs::create_directory(PathOf("folder"));
    SetOption(L"/targetFilePath", PathOf("folder"));
    bool written = true;
    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(nullptr, 0); }), "Error opening target file.\n\n");
    EXPECT_FALSE(written);

    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    options::ProcessArguments().Clear();
    SetOption(L"/targetFilePath", "/dev/full");
    const std::uint8_t byte = 1;
    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(&byte, 1); }),
              "Error writing to target file. GetLastError(): 28\n\n");
    EXPECT_FALSE(written);
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
    EXPECT_TRUE(files::MakeBackupCopy(encoding::WideFromBytes(PathOf("elsewhere").string())));
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
