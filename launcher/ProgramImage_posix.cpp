// The launcher's system calls on Linux: its own file from /proc, and exec.
#include "launcher/ProgramImage.h"

#include <unistd.h>

#include <climits>
#include <string_view>
#include <vector>

#include "encoding/WideText.h"

namespace launcher {

bool ReadOwnFolder(std::wstring& folder) {
    std::vector<char> buffer(PATH_MAX);
    while (true) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return false;
        // A result that fills the buffer may have been cut.
        if (static_cast<std::size_t>(length) < buffer.size()) {
            const std::string_view path(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t lastSeparator = path.rfind('/');
            if (lastSeparator == std::string_view::npos) return false;
            folder = encoding::WideFromBytes(path.substr(0, lastSeparator));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void ReplaceProcess(const std::wstring& program, std::span<const std::wstring> arguments) {
    std::vector<std::string> bytes;
    bytes.reserve(arguments.size());
    for (const std::wstring& argument : arguments) bytes.push_back(encoding::BytesFromWide(argument));
    std::vector<char*> argv;
    argv.reserve(bytes.size() + 1);
    for (std::string& argument : bytes) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(encoding::BytesFromWide(program).c_str(), argv.data());
}

}  // namespace launcher
