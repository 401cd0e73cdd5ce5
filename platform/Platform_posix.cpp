// The platform layer on POSIX systems. Paths are wide text inside the tool and
// become bytes again, through the reversible mapping, at every system call.
#include "platform/Platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "encoding/WideText.h"

namespace platform {
namespace {

// Linux moves at most this much in one read or write call.
constexpr std::size_t kMaxTransfer = 0x7ffff000;

std::string NativePath(const std::wstring& path) { return encoding::BytesFromWide(path); }

int NativeDescriptor(FileHandle file) { return static_cast<int>(file.value); }

FileHandle HandleOf(int descriptor) { return FileHandle{descriptor < 0 ? -1 : descriptor}; }

// Opens for reading; unlike open(2), a directory does not open.
int OpenRegularFileForReading(const std::wstring& path) {
    const int descriptor = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

bool CopyInKernel(int source, int destination, bool& unsupported) {
    while (true) {
        const ssize_t copied = ::copy_file_range(source, nullptr, destination, nullptr, kMaxTransfer, 0);
        if (copied == 0) return true;
        if (copied > 0) continue;
        if (errno == EINTR) continue;
        unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP;
        return false;
    }
}

bool CopyThroughBuffer(int source, int destination) {
    std::vector<char> buffer(1 << 20);
    while (true) {
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        std::size_t written = 0;
        std::int32_t error = 0;
        if (!WriteToFile(HandleOf(destination), buffer.data(), static_cast<std::size_t>(got), written, error)) {
            return false;
        }
    }
}

bool CopyContent(int source, int destination) {
    bool unsupported = false;
    if (CopyInKernel(source, destination, unsupported)) return true;
    if (!unsupported) return false;
    return ::lseek(source, 0, SEEK_SET) == 0 && ::lseek(destination, 0, SEEK_SET) == 0 &&
           ::ftruncate(destination, 0) == 0 && CopyThroughBuffer(source, destination);
}

// A temporary file beside destination, so that the rename over it stays on one
// file system and is atomic.
int CreateTemporaryBeside(const std::string& destination, std::string& temporaryName) {
    std::vector<char> name(destination.begin(), destination.end());
    const std::string suffix = ".tmp-XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor >= 0) temporaryName.assign(name.data());
    return descriptor;
}

}  // namespace

const wchar_t kPathSeparator = L'/';

// Output is bytes through C stdio; nothing to prepare.
void PrepareConsoleOutput() {}

void PrintText(std::wstring_view text) {
    const std::string bytes = encoding::BytesFromWide(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

bool ReadCurrentDirectory(std::wstring& directory) {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return false;
        buffer.resize(buffer.size() * 2);
    }
    directory = encoding::WideFromBytes(buffer.data());
    return true;
}

bool ChangeCurrentDirectory(const std::wstring& directory) {
    return ::chdir(NativePath(directory).c_str()) == 0;
}

bool IsRelativePath(std::wstring_view path) { return path.empty() || path.front() != L'/'; }

LibraryModule LoadLibraryFile(const std::wstring& path) {
    return ::dlopen(NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryExport(LibraryModule module, const char* name) { return ::dlsym(module, name); }

void FreeLibraryFile(LibraryModule module) { ::dlclose(module); }

FileHandle OpenFileForReading(const std::wstring& path) { return HandleOf(OpenRegularFileForReading(path)); }

FileHandle CreateFileForWriting(const std::wstring& path) {
    // A directory fails here with EISDIR.
    return HandleOf(::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

bool QueryFileSize(FileHandle file, std::uint64_t& size) {
    struct stat status {};
    if (::fstat(NativeDescriptor(file), &status) != 0 || status.st_size < 0) return false;
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool ReadFromFile(FileHandle file, void* buffer, std::size_t count, std::size_t& bytesRead) {
    auto* bytes = static_cast<char*>(buffer);
    bytesRead = 0;
    while (bytesRead < count) {
        const std::size_t chunk = std::min(count - bytesRead, kMaxTransfer);
        const ssize_t got = ::read(NativeDescriptor(file), bytes + bytesRead, chunk);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytesRead += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteToFile(FileHandle file, const void* buffer, std::size_t count, std::size_t& bytesWritten,
                 std::int32_t& errorCode) {
    const auto* bytes = static_cast<const char*>(buffer);
    bytesWritten = 0;
    while (bytesWritten < count) {
        const std::size_t chunk = std::min(count - bytesWritten, kMaxTransfer);
        const ssize_t put = ::write(NativeDescriptor(file), bytes + bytesWritten, chunk);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            errorCode = errno;
            return false;
        }
        if (put == 0) return true;
        bytesWritten += static_cast<std::size_t>(put);
    }
    return true;
}

void CloseFile(FileHandle file) {
    if (file.IsOpen()) ::close(NativeDescriptor(file));
}

bool CopyFileReplacing(const std::wstring& source, const std::wstring& destination) {
    const int input = OpenRegularFileForReading(source);
    if (input < 0) return false;
    const std::string target = NativePath(destination);
    std::string temporaryName;
    const int output = CreateTemporaryBeside(target, temporaryName);
    struct stat status {};
    bool copied = output >= 0 && ::fstat(input, &status) == 0 && ::fchmod(output, status.st_mode & 07777) == 0 &&
                  CopyContent(input, output);
    ::close(input);
    if (output < 0) return false;
    copied = ::close(output) == 0 && copied;
    // One rename: a reader of the backup sees the old copy or the new one.
    if (copied && ::rename(temporaryName.c_str(), target.c_str()) == 0) return true;
    ::unlink(temporaryName.c_str());
    return false;
}

}  // namespace platform
