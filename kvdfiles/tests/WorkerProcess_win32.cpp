#include "kvdfiles/tests/WorkerProcess.h"

#include "fileio/WindowsHeaders.h"

#include "tests/support/WindowsCommandLine.h"

namespace kvdtest {
namespace {

// The exit code a killed worker gets; no worker ends with it by itself.
constexpr UINT kKilledExitCode = 0xDEAD;

HANDLE Native(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t Value(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// The arguments reach the worker's main() through the system code page, so
// they leave through it too.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::wstring CommandLine(const std::vector<std::string>& arguments) {
    std::wstring line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += L' ';
        line += test_support::QuoteArgument(Widen(argument));
    }
    return line;
}

}  // namespace

WorkerProcess::WorkerProcess(const std::vector<std::string>& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (arguments.empty() || !::CreatePipe(&readEnd, &writeEnd, &inheritable, 1 << 16)) return;
    // Only the worker's end is handed down.
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring program = Widen(arguments[0]);
    std::wstring line = CommandLine(arguments);
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process)) {
        ::CloseHandle(process.hThread);
        process_ = Value(process.hProcess);
    }
    ::CloseHandle(writeEnd);
    output_ = Value(readEnd);
}

WorkerProcess::~WorkerProcess() {
    if (Started() && !reaped_) {
        Kill();
        Wait();
    }
    if (Started()) ::CloseHandle(Native(process_));
    if (output_ != -1) ::CloseHandle(Native(output_));
}

bool WorkerProcess::WaitForLines(int count) {
    char byte = 0;
    DWORD got = 0;
    while (count > 0 && ::ReadFile(Native(output_), &byte, 1, &got, nullptr) && got == 1) {
        if (byte == '\n') --count;
    }
    return count == 0;
}

// TerminateProcess ends the worker without running any of its code, as
// SIGKILL does; the system releases its handles and locks.
void WorkerProcess::Kill() {
    if (Started() && !reaped_ && ::TerminateProcess(Native(process_), kKilledExitCode)) killed_ = true;
}

int WorkerProcess::Wait() {
    if (!Started()) return -1;
    if (!reaped_) {
        DWORD code = 0;
        const bool ended = ::WaitForSingleObject(Native(process_), INFINITE) == WAIT_OBJECT_0 &&
                           ::GetExitCodeProcess(Native(process_), &code);
        reaped_ = true;
        const bool byKill = killed_ && code == kKilledExitCode;
        exitCode_ = ended && !byKill ? static_cast<int>(code) : -1;
    }
    return exitCode_;
}

}  // namespace kvdtest
