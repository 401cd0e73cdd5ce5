// The helper process of the crash and concurrency tests. It loads the shipped
// library and runs either a planned workload or one add:
//   kvdfiles_worker plan <repository> <seed> <count> <prefix>
//   kvdfiles_worker add <repository> <id> <target> <content>
// It prints "ready" once the repository is open and a line after each
// operation that succeeded, so that a test can pick when to kill it. Exit code 0 when every operation succeeded, 3 when
// one failed, 2 on bad usage or a failed open.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvdfiles/tests/Workload.h"

namespace {

IZarnRepository* OpenAndSignal(const char* directory) {
    if (kvdFiles_InitLibrary(1) == 0) return nullptr;
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(std::filesystem::path(directory).wstring().c_str());
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return repository;
}

int RunPlan(IZarnRepository* repository, char** argv) {
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const int count = std::atoi(argv[4]);
    const kvdtest::Workload workload = kvdtest::PlanWorkload(seed, count, argv[5]);
    for (std::size_t step = 0; step < workload.operations.size(); ++step) {
        if (kvdtest::Perform(repository, workload.operations[step]) != 0) {
            std::fprintf(stderr, "operation %zu failed\n", step);
            return 3;
        }
        std::fputs("done\n", stdout);
        std::fflush(stdout);
    }
    return 0;
}

int RunAdd(IZarnRepository* repository, char** argv) {
    const std::wstring id = std::filesystem::path(argv[3]).wstring();
    const std::wstring target = std::filesystem::path(argv[4]).wstring();
    return kvdtest::AddFile(repository, id, target, argv[5]) == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    const std::string mode = argv[1];
    IZarnRepository* repository = OpenAndSignal(argv[2]);
    if (repository == nullptr) return 2;
    int result = 2;
    if (mode == "plan") result = RunPlan(repository, argv);
    if (mode == "add") result = RunAdd(repository, argv);
    kvdFiles_ReleaseLibrary();
    return result;
}
