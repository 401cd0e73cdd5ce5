// The helper process of the crash-point test. It loads the test build of the
// library, runs one of the scenarios and ends at the named commit step:
//   kvdfiles_crash_worker <repository> <scenario> <point> <exit code>
// It exits with the given exit code at the point, 0 when the scenario ran
// to its end without reaching it, 1 when the scenario failed and 2 on bad
// usage. A process of its own, not a fork, so that Windows runs it too.
#include <cstdlib>
#include <string>

#include "kvdfiles/testing/FaultControl.h"
#include "kvdfiles/tests/Scenarios.h"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const std::vector<kvdtest::Scenario> scenarios = kvdtest::Scenarios();
    const auto index = static_cast<std::size_t>(std::strtoul(argv[2], nullptr, 10));
    if (index >= scenarios.size()) return 2;
    kvdFilesTest_CrashAt(argv[3], static_cast<int32_t>(std::atoi(argv[4])));
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(std::filesystem::path(argv[1]).wstring().c_str());
    const bool done = repository != nullptr && scenarios[index].run(repository) == 0;
    kvdFiles_ReleaseLibrary();
    return done ? 0 : 1;
}
