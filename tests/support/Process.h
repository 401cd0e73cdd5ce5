// Programs that tests run to their end, keeping their output byte for byte,
// or start, read line by line, wait for or kill. One file per platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace test_support {

struct ProcessRequest {
    std::filesystem::path program = {};
    std::vector<std::string> arguments = {};  // bytes on POSIX, UTF-8 on Windows
    // Windows: the command line after the program's name as typed, instead of arguments.
    std::optional<std::string> commandLine = {};
    std::filesystem::path workingDirectory = {};    // empty: the test's own
    std::optional<std::string> standardInput = {};  // through a pipe; unset: the null device
    // POSIX only: a start directory that is gone; a cap on the address space in bytes.
    bool removeWorkingDirectoryAtStart = false;
    std::optional<std::uint64_t> addressSpaceLimit = {};
};

struct ProcessOutcome {
    std::string standardOutput;
    std::string standardError;
    int exitCode = -1;  // -1 when it was killed or ended by a signal
};

class ChildProcess {
public:
    explicit ChildProcess(const ProcessRequest& request);
    // commandLine[0] is the program.
    explicit ChildProcess(const std::vector<std::string>& commandLine);
    // Kills it if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_ != -1; }
    // Reads standard output until count more lines came; false when it ended first.
    bool WaitForLines(int count);
    bool WaitUntilReady() { return WaitForLines(1); }
    // Ends it at once, as a crash would: none of its own code runs.
    void Kill();
    // Its exit code, or -1 when it was killed or ended by a signal.
    int Wait();
    // Reads standard output to its end, then waits.
    ProcessOutcome Finish();

private:
    void Start(const ProcessRequest& request);
    void KillProcess();
    int WaitForExit();
    static std::size_t ReadSome(std::intptr_t from, char* buffer, std::size_t size);  // 0 at the end
    static void WriteAll(std::intptr_t to, std::string_view text);
    static void Close(std::intptr_t& handle);
    static void ReadToEnd(std::intptr_t from, std::string& sink);

    std::intptr_t process_ = -1;
    std::intptr_t input_ = -1;
    std::intptr_t output_ = -1;
    std::intptr_t errors_ = -1;
    std::thread feeder_;
    std::thread errorReader_;
    std::string standardOutput_;
    std::string standardError_;
    bool killed_ = false;
    bool reaped_ = false;
    int exitCode_ = -1;
};

ProcessOutcome RunProcess(const ProcessRequest& request);

bool CanCapMemory();                         // whether addressSpaceLimit holds here
extern const std::string_view kTextLineEnd;  // of a program's text-mode output here

// Expected output as a program prints it: each "\n" becomes kTextLineEnd.
std::string AsPrinted(std::string_view text);

}  // namespace test_support
