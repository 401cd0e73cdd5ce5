// A pipe says no size on Windows either: it is read to its end.
#include "fileio/WindowsHeaders.h"
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "files/LocalFiles.h"
#include "options/ArgumentMap.h"

namespace {

TEST(PipeSource, IsReadToItsEnd) {
    const std::wstring name = L"\\\\.\\pipe\\zarn-files-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE server =
        ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
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
    const bool read = files::ReadSourceFile(byteCount, buffer);
    writer.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(buffer.get(), buffer.get() + byteCount), content);
}

}  // namespace
