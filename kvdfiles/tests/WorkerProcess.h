// A helper process (kvdfiles_worker, kvdfiles_crash_worker) as the crash and
// concurrency tests drive it: started with a pipe on its standard output,
// awaited until it is ready, then killed or waited for. One implementation
// per platform: WorkerProcess_posix.cpp (posix_spawn, SIGKILL) and
// WorkerProcess_win32.cpp (CreateProcessW, TerminateProcess).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvdtest {

class WorkerProcess {
public:
    // arguments[0] is the program's path.
    explicit WorkerProcess(const std::vector<std::string>& arguments);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    bool Started() const { return process_ != -1; }
    // Blocks until the worker has opened the repository (or has ended).
    bool WaitUntilReady() { return WaitForLines(1); }
    // Blocks until the worker has printed count more lines (or has ended).
    bool WaitForLines(int count);
    // Ends the worker at once, the way a crash would: no cleanup of its own.
    void Kill();
    // The exit code, or -1 when the process did not exit by itself.
    int Wait();

private:
    // The platform's process id or handle, and the read end of the pipe.
    std::intptr_t process_ = -1;
    std::intptr_t output_ = -1;
    bool reaped_ = false;
    bool killed_ = false;
    int exitCode_ = -1;
};

}  // namespace kvdtest
