// The helper process (kvdfiles_worker) as the crash and concurrency tests
// drive it: started with a pipe on its standard output, awaited until it is
// ready, then killed or waited for.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace kvdtest {

class WorkerProcess {
public:
    explicit WorkerProcess(const std::vector<std::string>& arguments);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Blocks until the worker has opened the repository (or has ended).
    bool WaitUntilReady() { return WaitForLines(1); }
    // Blocks until the worker has printed count more lines (or has ended).
    bool WaitForLines(int count);
    void Kill();
    // The exit code, or -1 when the process did not exit normally.
    int Wait();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace kvdtest
