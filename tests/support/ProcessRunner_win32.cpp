// Windows side of the process harness: CreateProcessW with a pipe for each of
// standard output and standard error, a command line quoted so that the
// program's start-up splits it back into the arguments given, and a job object
// for the memory cap.
#include "tests/support/ProcessRunner.h"

#include "fileio/WindowsHeaders.h"

#include <algorithm>
#include <array>
#include <cwchar>
#include <cwctype>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "encoding/WideText.h"
#include "tests/support/Utf8Path.h"
#include "tests/support/WindowsCommandLine.h"

namespace test_support {

// Backslashes count only before a double quote, where each is escaped, as is
// the quote.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        const std::size_t escaped = character == L'"' ? backslashes * 2 + 1 : backslashes;
        quoted.append(escaped, L'\\');
        quoted += character;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

namespace {

// Closes the handle it holds when it goes.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE Get() const { return handle_; }
    void Close() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

struct Pipe {
    Handle readEnd;
    Handle writeEnd;  // inherited by the child
};

Pipe OpenPipe() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) throw std::runtime_error("CreatePipe failed");
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    return {Handle(readEnd), Handle(writeEnd)};
}

// A pipe whose read end the child inherits as its standard input.
Pipe OpenInputPipe() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) throw std::runtime_error("CreatePipe failed");
    ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    return {Handle(readEnd), Handle(writeEnd)};
}

// Writes text into a pipe until all is written or the reader is gone.
void WriteUntilDone(HANDLE writeEnd, std::string_view text) {
    while (!text.empty()) {
        DWORD put = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 65536));
        if (!::WriteFile(writeEnd, text.data(), chunk, &put, nullptr)) return;
        text.remove_prefix(put);
    }
}

Handle OpenNullInput() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return Handle(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                OPEN_EXISTING, 0, nullptr));
}

std::wstring Wide(const std::string& text) { return encoding::WideFromBytes(text); }

std::wstring CommandLine(const ProcessRequest& request) {
    std::filesystem::path program = request.program;
    std::wstring line = QuoteArgument(program.make_preferred().wstring());
    if (request.commandLine) return line + L" " + Wide(*request.commandLine);
    for (const std::string& argument : request.arguments) line += L" " + QuoteArgument(Wide(argument));
    return line;
}

// Variable names are case-insensitive on Windows.
std::wstring UpperCase(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

bool IsReplaced(const std::wstring& entry, const ProcessRequest& request) {
    // Entries such as "=C:=C:\dir" start with their "=": the name ends after it.
    const std::wstring name = UpperCase(entry.substr(0, entry.find(L'=', 1)));
    for (const auto& [set, value] : request.setVariables) {
        if (UpperCase(Wide(set)) == name) return true;
    }
    return std::any_of(request.unsetVariables.begin(), request.unsetVariables.end(),
                       [&](const std::string& unset) { return UpperCase(Wide(unset)) == name; });
}

std::vector<std::wstring> InheritedVariables(const ProcessRequest& request) {
    std::vector<std::wstring> entries;
    wchar_t* const block = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        if (!IsReplaced(entry, request)) entries.emplace_back(entry);
    }
    ::FreeEnvironmentStringsW(block);
    return entries;
}

// A sorted environment block: "NAME=value" entries, each terminated, and a
// terminator after the last.
std::wstring EnvironmentBlock(const ProcessRequest& request) {
    std::vector<std::wstring> entries = InheritedVariables(request);
    for (const auto& [name, value] : request.setVariables) entries.push_back(Wide(name) + L"=" + Wide(value));
    std::sort(entries.begin(), entries.end(),
              [](const std::wstring& a, const std::wstring& b) { return UpperCase(a) < UpperCase(b); });
    std::wstring block;
    for (const std::wstring& entry : entries) block += entry + L'\0';
    return block + L'\0';
}

// A job that ends its processes when it closes and caps their committed memory.
Handle MemoryCappedJob(std::uint64_t limit) {
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    limits.ProcessMemoryLimit = static_cast<SIZE_T>(limit);
    if (job.Get() == nullptr ||
        !::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        throw std::runtime_error("cannot make a job object with a memory limit");
    }
    return job;
}

void ReadUntilClosed(HANDLE readEnd, std::string& sink) {
    std::array<char, 65536> chunk{};
    DWORD got = 0;
    while (::ReadFile(readEnd, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got != 0) {
        sink.append(chunk.data(), got);
    }
}

PROCESS_INFORMATION StartChild(const ProcessRequest& request, const Pipe& output, const Pipe& error,
                               HANDLE input) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output.writeEnd.Get();
    startup.hStdError = error.writeEnd.Get();
    std::wstring commandLine = CommandLine(request);
    std::wstring environment = EnvironmentBlock(request);
    const std::wstring directory = request.workingDirectory.wstring();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | CREATE_NO_WINDOW, environment.data(),
                          directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        throw std::runtime_error("CreateProcessW failed with error " + std::to_string(::GetLastError()) +
                                 " in " + Utf8FromPath(request.workingDirectory));
    }
    return process;
}

}  // namespace

const char* const kTextLineEnd = "\r\n";

bool CanCapMemory() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

ProcessOutcome RunProcess(const ProcessRequest& request) {
    if (request.removeWorkingDirectoryAtStart) {
        throw std::logic_error("Windows keeps a process's current directory from being removed");
    }
    Pipe output = OpenPipe();
    Pipe error = OpenPipe();
    Pipe feed;
    if (request.standardInput) feed = OpenInputPipe();
    const Handle input = request.standardInput ? Handle() : OpenNullInput();
    Handle job;
    if (request.addressSpaceLimit) job = MemoryCappedJob(*request.addressSpaceLimit);

    const PROCESS_INFORMATION started =
        StartChild(request, output, error, request.standardInput ? feed.readEnd.Get() : input.Get());
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    if (job.Get() != nullptr && !::AssignProcessToJobObject(job.Get(), process.Get())) {
        ::TerminateProcess(process.Get(), 126);
        throw std::runtime_error("AssignProcessToJobObject failed");
    }
    ::ResumeThread(thread.Get());
    // Only the child holds the write ends now: reading ends when it does.
    output.writeEnd.Close();
    error.writeEnd.Close();
    feed.readEnd.Close();

    ProcessOutcome outcome;
    std::thread feeder([&] {
        WriteUntilDone(feed.writeEnd.Get(), request.standardInput.value_or(""));
        feed.writeEnd.Close();
    });
    std::thread errorReader([&] { ReadUntilClosed(error.readEnd.Get(), outcome.standardError); });
    ReadUntilClosed(output.readEnd.Get(), outcome.standardOutput);
    errorReader.join();
    feeder.join();
    ::WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.Get(), &exitCode)) outcome.exitCode = static_cast<int>(exitCode);
    return outcome;
}

}  // namespace test_support
