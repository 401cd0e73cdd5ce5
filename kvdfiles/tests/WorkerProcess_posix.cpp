#include "kvdfiles/tests/WorkerProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kvdtest {
namespace {

pid_t Pid(std::intptr_t process) { return static_cast<pid_t>(process); }
int Descriptor(std::intptr_t output) { return static_cast<int>(output); }

}  // namespace

WorkerProcess::WorkerProcess(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) process_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
}

WorkerProcess::~WorkerProcess() {
    if (Started() && !reaped_) {
        Kill();
        Wait();
    }
    if (output_ >= 0) close(Descriptor(output_));
}

bool WorkerProcess::WaitForLines(int count) {
    char byte = 0;
    while (count > 0 && read(Descriptor(output_), &byte, 1) == 1) {
        if (byte == '\n') --count;
    }
    return count == 0;
}

void WorkerProcess::Kill() {
    if (Started() && !reaped_) kill(Pid(process_), SIGKILL);
}

int WorkerProcess::Wait() {
    if (!Started()) return -1;
    if (!reaped_) {
        int status = 0;
        pid_t reaped = -1;
        do {
            reaped = waitpid(Pid(process_), &status, 0);
        } while (reaped < 0 && errno == EINTR);
        reaped_ = true;
        if (reaped < 0) return -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exitCode_;
}

}  // namespace kvdtest
