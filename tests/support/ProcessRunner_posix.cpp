// POSIX side of the process harness: fork, exec and two pipes. Uses only what
// POSIX offers; the child calls async-signal-safe functions alone.
#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

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

bool IsReplaced(const std::string& entry, const ProcessRequest& request) {
    const std::string name = entry.substr(0, entry.find('='));
    const auto& unset = request.unsetVariables;
    return request.setVariables.count(name) != 0 || std::find(unset.begin(), unset.end(), name) != unset.end();
}

std::vector<std::string> ChildEnvironment(const ProcessRequest& request) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!IsReplaced(*entry, request)) environment.emplace_back(*entry);
    }
    for (const auto& [name, value] : request.setVariables) environment.push_back(name + "=" + value);
    return environment;
}

// Pointers into texts for execve; the texts must outlive the vector.
std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

void WriteToFd(int fd, const char* text) {
    const ssize_t ignored = write(fd, text, std::strlen(text));
    static_cast<void>(ignored);
}

[[noreturn]] void RunChild(const ProcessRequest& request, const Pipe& input, const Pipe& output, const Pipe& error,
                           char* const* argv, char* const* envp) {
    const char* directory = request.workingDirectory.c_str();
    if (request.addressSpaceLimit) {
        const rlimit limit{*request.addressSpaceLimit, *request.addressSpaceLimit};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    const bool entered = chdir(directory) == 0 &&
                         (!request.removeWorkingDirectoryAtStart || rmdir(directory) == 0);
    const int inputEnd = input.readEnd >= 0 ? input.readEnd : open("/dev/null", O_RDONLY);
    if (entered && dup2(inputEnd, STDIN_FILENO) >= 0 && dup2(output.writeEnd, STDOUT_FILENO) >= 0 &&
        dup2(error.writeEnd, STDERR_FILENO) >= 0) {
        execve(request.program.c_str(), argv, envp);
    }
    WriteToFd(error.writeEnd, "test harness: cannot start the program\n");
    _exit(127);
}

// Writes what is left of input into the child's standard input, closing it
// when all is written or the child stops reading.
void Feed(pollfd& fd, std::string_view& input) {
    const ssize_t put = write(fd.fd, input.data(), input.size());
    if (put > 0) input.remove_prefix(static_cast<std::size_t>(put));
    if (input.empty() || (put < 0 && errno != EINTR && errno != EAGAIN)) {
        close(fd.fd);
        fd.fd = -1;
    }
}

// Feeds standard input and reads both output pipes until they are closed, so
// that no write on either side can block.
void ExchangeThroughPipes(const Pipe& input, std::string_view text, const Pipe& output, const Pipe& error,
                          ProcessOutcome& outcome) {
    std::array<pollfd, 3> fds = {pollfd{output.readEnd, POLLIN, 0}, pollfd{error.readEnd, POLLIN, 0},
                                 pollfd{input.writeEnd, POLLOUT, 0}};
    std::array<std::string*, 2> sinks = {&outcome.standardOutput, &outcome.standardError};
    int open = 2;
    std::array<char, 65536> chunk{};
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (fds[2].fd >= 0 && fds[2].revents != 0) Feed(fds[2], text);
        for (std::size_t i = 0; i < sinks.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t got = read(fds[i].fd, chunk.data(), chunk.size());
            if (got > 0) {
                sinks[i]->append(chunk.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

void WaitForExit(pid_t child, ProcessOutcome& outcome) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.terminatingSignal = WTERMSIG(status);
}

}  // namespace

const char* const kTextLineEnd = "\n";

bool CanCapMemory() { return true; }

ProcessOutcome RunProcess(const ProcessRequest& request) {
    if (request.commandLine) throw std::logic_error("a command line to split is a Windows matter");
    std::vector<std::string> argumentTexts = {request.program.string()};
    argumentTexts.insert(argumentTexts.end(), request.arguments.begin(), request.arguments.end());
    std::vector<std::string> environmentTexts = ChildEnvironment(request);
    const std::vector<char*> argv = PointersTo(argumentTexts);
    const std::vector<char*> envp = PointersTo(environmentTexts);
    const Pipe input = request.standardInput ? OpenPipe() : Pipe{};
    const Pipe output = OpenPipe();
    const Pipe error = OpenPipe();

    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) RunChild(request, input, output, error, argv.data(), envp.data());

    close(output.writeEnd);
    close(error.writeEnd);
    if (input.readEnd >= 0) {
        close(input.readEnd);
        fcntl(input.writeEnd, F_SETFL, O_NONBLOCK);
    }
    ProcessOutcome outcome;
    ExchangeThroughPipes(input, request.standardInput.value_or(""), output, error, outcome);
    WaitForExit(child, outcome);
    return outcome;
}

}  // namespace test_support
