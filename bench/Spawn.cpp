// Runs one command and reports how long it took from its start to its exit
// and its peak resident memory, as the kernel accounts them.
//
// Usage: zarnrepo-bench-spawn REPORT PROGRAM [ARGUMENT...]
//   writes "NANOSECONDS PEAK_RSS_KIB EXIT_CODE" to the file REPORT.
//
// The benchmark's harness cannot measure memory itself: a child it starts
// begins as a copy of the interpreter, and the kernel's peak for the child
// counts that copy. Started from this small program, the floor is this
// program's own few hundred KiB.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace {

long long Nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zarnrepo-bench-spawn REPORT PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const long long start = Nanoseconds();
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    pid_t waited = 0;
    do {
        waited = wait4(child, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    const long long elapsed = Nanoseconds() - start;
    if (waited != child) return 2;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr) return 2;
    std::fprintf(report, "%lld %ld %d\n", elapsed, usage.ru_maxrss, code);
    return std::fclose(report) == 0 ? 0 : 2;
}
