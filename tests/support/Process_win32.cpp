// Windows side of the child processes: CreateProcessW with pipes, and a
// command line quoted so that the program's start-up splits it back into the
// arguments given.
#include "tests/support/Process.h"

#include "fileio/WindowsHeaders.h"

#include <algorithm>
#include <stdexcept>

#include "encoding/WideText.h"

namespace test_support {
namespace {

// The exit code a killed process gets; no program ends with it by itself.
constexpr UINT kKilledExitCode = 0xDEAD;

HANDLE Native(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t Value(HANDLE handle) { return handle == nullptr ? -1 : reinterpret_cast<std::intptr_t>(handle); }

// One end for the child, inheritable; the other stays with the test.
void OpenPipe(HANDLE& readEnd, HANDLE& writeEnd, bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) throw std::runtime_error("CreatePipe failed");
    ::SetHandleInformation(childReads ? writeEnd : readEnd, HANDLE_FLAG_INHERIT, 0);
}

// In quotes when it holds a blank or a quote. Backslashes count only before
// a double quote, where each is escaped, as is the quote.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(character == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += character;
        backslashes = 0;
    }
    return quoted.append(backslashes * 2, L'\\') + L"\"";
}

std::wstring CommandLine(const ProcessRequest& request) {
    std::wstring line = QuoteArgument(std::filesystem::path(request.program).make_preferred().wstring());
    if (request.commandLine) return line + L" " + encoding::WideFromBytes(*request.commandLine);
    for (const std::string& argument : request.arguments)
        line += L" " + QuoteArgument(encoding::WideFromBytes(argument));
    return line;
}

}  // namespace

const std::string_view kTextLineEnd = "\r\n";

bool CanCapMemory() { return false; }

void ChildProcess::Start(const ProcessRequest& request) {
    if (request.removeWorkingDirectoryAtStart || request.addressSpaceLimit) {
        throw std::logic_error("a POSIX matter: a start directory that is gone, a memory cap");
    }
    HANDLE input = nullptr, feed = nullptr, output = nullptr, outputEnd = nullptr, errors = nullptr,
           errorsEnd = nullptr;
    if (request.standardInput) {
        OpenPipe(input, feed, true);
    } else {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                              nullptr);
    }
    OpenPipe(output, outputEnd, false);
    OpenPipe(errors, errorsEnd, false);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = outputEnd;
    startup.hStdError = errorsEnd;
    std::wstring commandLine = CommandLine(request);
    const std::wstring directory = request.workingDirectory.wstring();
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        ::CloseHandle(process.hThread);
        process_ = Value(process.hProcess);
    }
    // Only the child holds these ends now: reading ends when it does.
    for (const HANDLE childEnd : {input, outputEnd, errorsEnd}) ::CloseHandle(childEnd);
    input_ = Value(feed);
    output_ = Value(output);
    errors_ = Value(errors);
}

void ChildProcess::KillProcess() { ::TerminateProcess(Native(process_), kKilledExitCode); }

int ChildProcess::WaitForExit() {
    DWORD code = 0;
    const bool ended = ::WaitForSingleObject(Native(process_), INFINITE) == WAIT_OBJECT_0 &&
                       ::GetExitCodeProcess(Native(process_), &code);
    ::CloseHandle(Native(process_));
    return ended && !(killed_ && code == kKilledExitCode) ? static_cast<int>(code) : -1;
}

std::size_t ChildProcess::ReadSome(std::intptr_t from, char* buffer, std::size_t size) {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    return ::ReadFile(Native(from), buffer, chunk, &got, nullptr) ? got : 0;
}

void ChildProcess::WriteAll(std::intptr_t to, std::string_view text) {
    while (!text.empty()) {
        DWORD put = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 65536));
        if (!::WriteFile(Native(to), text.data(), chunk, &put, nullptr)) return;
        text.remove_prefix(put);
    }
}

void ChildProcess::Close(std::intptr_t& handle) {
    if (handle != -1) ::CloseHandle(Native(handle));
    handle = -1;
}

}  // namespace test_support
