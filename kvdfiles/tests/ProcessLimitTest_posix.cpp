// Limits of the process that a repository must live within, set with
// setrlimit in a forked child: a real full disk (the fault suite's injected
// ones aside), and few open files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "kvdfiles/tests/Scenarios.h"

namespace kvdtest {
namespace {

// Runs body in a child whose resource is limited to value (the limit binds
// the whole process); true when the body returned true.
bool TrueInALimitedChild(int resource, rlim_t value, const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{value, value};
        setrlimit(resource, &limit);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    return child != -1 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Writes past RLIMIT_FSIZE fail with EFBIG once SIGXFSZ is ignored: a real
// full-disk condition, not an injected one.
TEST(FileSizeLimitTest, WritesPastTheLimitFailAndChangeNothing) {
    TemporaryDirectory directory;
    ASSERT_EQ(AddFile(kvdFiles_GetRepositoryFromPath(directory.Wide().c_str()), L"kept", L"kept.txt", "small"), 0);
    kvdFiles_ReleaseLibrary();
    const auto before = State(directory.Path());
    EXPECT_TRUE(TrueInALimitedChild(RLIMIT_FSIZE, 2048, [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
        const bool addFailed = AddFile(repository, L"big", L"big.bin", ContentFor("big", 100000)) != 0;
        return addFailed && ModifyFile(repository, L"kept", ContentFor("big", 100000)) != 0;
    })) << "a write past the limit succeeded";
    EXPECT_EQ(State(directory.Path()), before);
    EXPECT_EQ(LeftoverNames(directory.Path()), std::vector<std::string>{});
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
    EXPECT_EQ(AddFile(repository, L"big", L"big.bin", ContentFor("big", 100000)), 0);
    EXPECT_EQ(GetContent(repository, L"big"), ContentFor("big", 100000));
    kvdFiles_ReleaseLibrary();
}

// Each repository object may keep its index open for the lookups it has not
// made yet; a caller holding hundreds of them must not run out of files.
TEST(OpenFileLimitTest, ManyRepositoryObjectsStayWithinAFewOpenFiles) {
    TemporaryDirectory directory;
    ASSERT_EQ(AddFile(kvdFiles_GetRepositoryFromPath(directory.Wide().c_str()), L"kept", L"kept.txt", "small"), 0);
    kvdFiles_ReleaseLibrary();
    EXPECT_TRUE(TrueInALimitedChild(RLIMIT_NOFILE, 150, [&] {
        for (int i = 0; i < 400; ++i) {
            IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
            if (repository == nullptr || GetContent(repository, L"kept") != "small") return false;
        }
        return true;
    })) << "an open or a lookup failed among 400 repository objects";
}

}  // namespace
}  // namespace kvdtest
