// Cases that only Windows shows: absolute names with a drive letter or a
// leading backslash, files that another holder keeps open, and pipes.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "fileio/WindowsHeaders.h"
#include "files/LocalFiles.h"
#include "files/tests/LocalFilesFixture.h"
#include "options/ArgumentMap.h"

namespace {

namespace fs = std::filesystem;
using files_test::LocalFiles;

// Holds a file open and lets nobody else read or write it until destroyed.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const fs::path& path) {
        if (_wsopen_s(&descriptor_, path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW, _S_IREAD) != 0) descriptor_ = -1;
    }
    ~ExclusiveHold() { Release(); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

    bool Holds() const { return descriptor_ != -1; }
    void Release() {
        if (descriptor_ != -1) _close(descriptor_);
        descriptor_ = -1;
    }

private:
    int descriptor_ = -1;
};

TEST_F(LocalFiles, AbsoluteNamesWithADriveLetterOrALeadingBackslashAreNotPrefixed) {
    WriteFile(PathOf("lettered"), "with drive");
    WriteFile(PathOf("rooted"), "on the current drive");
    const fs::path lettered = PathOf("lettered");
    ASSERT_FALSE(lettered.root_name().empty());
    const fs::path rooted = PathOf("rooted").root_directory() / PathOf("rooted").relative_path();
    ASSERT_EQ(rooted.native().front(), L'\\');
    // A name that starts with a backslash is on the current drive.
    fs::current_path(directory_);
    SetOption(L"/reposDirPath", PathOf("no-such-repo"));

    bool copied = false;
    EXPECT_EQ(Printed(copied, [&] { return files::MakeBackupCopy(lettered.native()); }), "");
    EXPECT_TRUE(copied);
    EXPECT_EQ(ReadFile(PathOf("lettered.bak")), "with drive");
    EXPECT_EQ(Printed(copied, [&] { return files::MakeBackupCopy(rooted.native()); }), "");
    EXPECT_TRUE(copied);
    EXPECT_EQ(ReadFile(PathOf("rooted.bak")), "on the current drive");
    EXPECT_FALSE(fs::exists(PathOf("no-such-repo")));
}

TEST_F(LocalFiles, ASourceHeldOpenForWritingElsewhereDoesNotOpen) {
    WriteFile(PathOf("busy"), "content");
    SetOption(L"/sourceFilePath", PathOf("busy"));
    std::ofstream writer(PathOf("busy"), std::ios::binary | std::ios::app);
    ASSERT_TRUE(writer.is_open());

    ExpectSourceNotOpened();

    // Others reading at the same time are welcome.
    writer.close();
    std::ifstream reader(PathOf("busy"), std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    bool read = false;
    EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }), "");
    EXPECT_TRUE(read);
    EXPECT_EQ(byteCount, 7u);
}

// A pipe says no size: it is read to its end.
TEST_F(LocalFiles, APipeSourceIsReadToItsEnd) {
    const std::wstring name = L"\\\\.\\pipe\\zarn-files-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE server = ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                             65536, 65536, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const std::string content(300000, 'p');
    std::thread writer([&] {
        ::ConnectNamedPipe(server, nullptr);
        DWORD put = 0;
        ::WriteFile(server, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
        ::CloseHandle(server);
    });
    options::ProcessArguments().Insert(L"/sourceFilePath", name);
    std::uint32_t byteCount = 0;
    files::ContentBuffer buffer;
    bool read = false;
    EXPECT_EQ(Printed(read, [&] { return files::ReadSourceFile(byteCount, buffer); }), "");
    writer.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.get()), byteCount), content);
}

TEST_F(LocalFiles, ATargetHeldOpenWithoutSharingDoesNotOpen) {
    WriteFile(PathOf("target"), "kept");
    SetOption(L"/targetFilePath", PathOf("target"));
    ExclusiveHold hold(PathOf("target"));
    ASSERT_TRUE(hold.Holds());
    const std::uint8_t byte = 1;
    bool written = true;
    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(&byte, 1); }), "Error opening target file.\n\n");
    EXPECT_FALSE(written);
    hold.Release();
    EXPECT_EQ(ReadFile(PathOf("target")), "kept");
}

TEST_F(LocalFiles, ABackupHeldOpenByAnotherFailsAfterItsRetriesAndStaysWhole) {
    WriteFile(PathOf("file"), "new");
    WriteFile(PathOf("file.bak"), "old");
    SetOption(L"/reposDirPath", directory_);
    ExclusiveHold hold(PathOf("file.bak"));
    ASSERT_TRUE(hold.Holds());
    bool copied = true;
    EXPECT_EQ(Printed(copied, [] { return files::MakeBackupCopy(L"file"); }), "Error creating file backup.\n\n");
    EXPECT_FALSE(copied);

    hold.Release();
    EXPECT_EQ(ReadFile(PathOf("file.bak")), "old");
    EXPECT_TRUE(files::MakeBackupCopy(L"file"));
    EXPECT_EQ(ReadFile(PathOf("file.bak")), "new");
}

}  // namespace
