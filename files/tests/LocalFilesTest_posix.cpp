// Cases that need files only POSIX systems have.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "files/LocalFiles.h"
#include "files/tests/LocalFilesFixture.h"
#include "options/ArgumentMap.h"

namespace {

namespace fs = std::filesystem;
using files_test::LocalFiles;

TEST_F(LocalFiles, ASourceThatYieldsLessThanItsSizeIsAReadError) {
    // Kernel attribute files report a page as their size and deliver a line.
    const fs::path shortFile = "/sys/kernel/mm/transparent_hugepage/enabled";
    std::error_code error;
    if (!fs::exists(shortFile, error) || fs::file_size(shortFile, error) <= ReadFile(shortFile).size()) {
        GTEST_SKIP() << "no file here that delivers less than its size";
    }
    SetOption(L"/sourceFilePath", shortFile);
    std::uint32_t byteCount = 0;
    ExpectSourceReadToFail("Error reading source file.\n\n", byteCount);
}

TEST_F(LocalFiles, AFailedWriteReportsTheSystemErrorNumber) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    SetOption(L"/targetFilePath", "/dev/full");
    const std::uint8_t byte = 1;
    bool written = true;
    EXPECT_EQ(Printed(written, [&] { return files::WriteTargetFile(&byte, 1); }),
              "Error writing to target file. GetLastError(): 28\n\n");
    EXPECT_FALSE(written);
}

}  // namespace
