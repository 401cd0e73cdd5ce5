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

// Writes past RLIMIT_FSIZE fail with EFBIG once SIGXFSZ is ignored: a real
// full-disk condition, not an injected one. The limit binds the whole
// process, so the write runs in a child.
TEST(FileSizeLimitTest, WritesPastTheLimitFailAndChangeNothing) {
    TemporaryDirectory directory;
    ASSERT_EQ(AddFile(kvdFiles_GetRepositoryFromPath(directory.Wide().c_str()), L"kept", L"kept.txt", "small"), 0);
    kvdFiles_ReleaseLibrary();
    const auto before = State(directory.Path());
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        setrlimit(RLIMIT_FSIZE, &limit);
        IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
        const bool addFailed = AddFile(repository, L"big", L"big.bin", ContentFor("big", 100000)) != 0;
        const bool modifyFailed = ModifyFile(repository, L"kept", ContentFor("big", 100000)) != 0;
        _exit(addFailed && modifyFailed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a write past the limit succeeded";
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
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit limit{150, 150};
        setrlimit(RLIMIT_NOFILE, &limit);
        bool allFound = true;
        for (int i = 0; i < 400 && allFound; ++i) {
            IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
            allFound = repository != nullptr && GetContent(repository, L"kept") == "small";
        }
        _exit(allFound ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an open or a lookup failed among 400 repository objects";
}

}  // namespace
}  // namespace kvdtest
