// POSIX side of the child processes: fork, exec and pipes. The child calls
// async-signal-safe functions alone between the two.
#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace test_support {
namespace {

struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
};

Pipe OpenPipe() {
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    return {ends[0], ends[1]};
}

// Pointers into texts for execve; the texts must outlive them.
std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void RunChild(const ProcessRequest& request, int input, int output, int errors, char* const* argv) {
    const char* directory = request.workingDirectory.c_str();
    if (request.addressSpaceLimit) {
        const rlimit limit{*request.addressSpaceLimit, *request.addressSpaceLimit};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    const bool entered = request.workingDirectory.empty() ||
                         (chdir(directory) == 0 && (!request.removeWorkingDirectoryAtStart || rmdir(directory) == 0));
    if (entered && dup2(input, STDIN_FILENO) >= 0 && dup2(output, STDOUT_FILENO) >= 0 &&
        dup2(errors, STDERR_FILENO) >= 0) {
        execve(request.program.c_str(), argv, environ);
    }
    constexpr char kMessage[] = "test harness: cannot start the program\n";
    static_cast<void>(write(errors, kMessage, sizeof kMessage - 1));
    _exit(127);
}

}  // namespace

const std::string_view kTextLineEnd = "\n";

bool CanCapMemory() { return true; }

void ChildProcess::Start(const ProcessRequest& request) {
    if (request.commandLine) throw std::logic_error("a command line to split is a Windows matter");
    std::vector<std::string> argumentTexts = {request.program.string()};
    argumentTexts.insert(argumentTexts.end(), request.arguments.begin(), request.arguments.end());
    const std::vector<char*> argv = PointersTo(argumentTexts);
    // A child that ends before it read its input must not end the test with SIGPIPE.
    if (request.standardInput) std::signal(SIGPIPE, SIG_IGN);
    const Pipe input = request.standardInput ? OpenPipe() : Pipe{open("/dev/null", O_RDONLY | O_CLOEXEC), -1};
    const Pipe output = OpenPipe();
    const Pipe errors = OpenPipe();

    const pid_t child = fork();
    if (child == 0) RunChild(request, input.readEnd, output.writeEnd, errors.writeEnd, argv.data());
    for (const int end : {input.readEnd, output.writeEnd, errors.writeEnd}) close(end);
    if (child > 0) process_ = child;
    input_ = input.writeEnd;
    output_ = output.readEnd;
    errors_ = errors.readEnd;
}

void ChildProcess::KillProcess() { kill(static_cast<pid_t>(process_), SIGKILL); }

int ChildProcess::WaitForExit() {
    int status = 0;
    while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t ChildProcess::ReadSome(std::intptr_t from, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(static_cast<int>(from), buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) return 0;
    }
}

void ChildProcess::WriteAll(std::intptr_t to, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = write(static_cast<int>(to), text.data(), text.size());
        if (put < 0 && errno != EINTR) return;
        if (put > 0) text.remove_prefix(static_cast<std::size_t>(put));
    }
}

void ChildProcess::Close(std::intptr_t& handle) {
    if (handle != -1) close(static_cast<int>(handle));
    handle = -1;
}

}  // namespace test_support
