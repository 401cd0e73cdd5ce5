// Disk full and I/O errors at every I/O step of add, modify and delete,
// through the test build's fault seam: each call of each kind fails in turn,
// once or for good. A failed operation must leave the index and every stored
// copy byte-identical and no temporary file; the same operation must succeed
// once the fault is gone.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <functional>
#include <iostream>
#include <string_view>

#include "kvdfiles/testing/FaultControl.h"
#include "kvdfiles/tests/Scenarios.h"

namespace kvdtest {
namespace {

const char* const kKindNames[KvdIoKindCount] = {"open",   "read",           "write",  "sync", "close",
                                                "rename", "sync-directory", "remove", "link", "mkdir",
                                                "lock",   "truncate",       "status"};
#ifdef EDQUOT
const int kQuotaError = EDQUOT;
#else
// Windows has no errno value of its own for a full quota; it reports one as a
// full disk.
const int kQuotaError = ENOSPC;
#endif
const int kErrors[] = {ENOSPC, EIO, kQuotaError, EFBIG};

class FaultInjectionTest : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override {
        kvdFilesTest_Reset();
        kvdFiles_ReleaseLibrary();
    }

    static IZarnRepository* Open(const TemporaryDirectory& directory) {
        return kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
    }

    // What the scenario does when nothing fails: its calls of each kind, and
    // the calls of each kind made before each commit point it reaches.
    struct DryRun {
        std::vector<uint64_t> counts;
        std::map<std::string, std::vector<uint64_t>> callsBefore;
    };

    static DryRun RunWithoutFaults(const Scenario& scenario) {
        TemporaryDirectory directory;
        scenario.prepare(Open(directory), directory.Path());
        IZarnRepository* repository = Open(directory);
        kvdFilesTest_Reset();
        EXPECT_EQ(scenario.run(repository), 0) << scenario.name;
        DryRun dry;
        for (int kind = 0; kind < KvdIoKindCount; ++kind) dry.counts.push_back(kvdFilesTest_CallCount(kind));
        for (const std::string& point : PointsReached()) {
            for (int kind = 0; kind < KvdIoKindCount; ++kind) {
                dry.callsBefore[point].push_back(kvdFilesTest_CallCountAt(point.c_str(), kind));
            }
        }
        kvdFilesTest_Reset();
        return dry;
    }

    // After a failure the old state is back at once. A fault that stays can
    // also block the undo (a rename that keeps failing cannot put the old
    // content back); then the index is already the old one, and the next
    // writer, here a removal that finds nothing to remove, finishes the undo.
    static void ExpectOldState(const TemporaryDirectory& directory, const std::map<std::string, std::string>& before,
                               bool persistent, const std::string& where) {
        auto indexOf = [](const std::map<std::string, std::string>& state) {
            const auto found = state.find("ZarnRepository.bin");
            return found != state.end() ? found->second : std::string("no index");
        };
        EXPECT_EQ(indexOf(State(directory.Path())), indexOf(before)) << where;
        if (persistent) {
            IZarnRepository* repository = Open(directory);
            ASSERT_NE(repository, nullptr) << where;
            EXPECT_NE(RemoveFile(repository, L"no such entry"), 0) << where;
        }
        EXPECT_EQ(State(directory.Path()), before) << where;
        EXPECT_EQ(LeftoverNames(directory.Path()), std::vector<std::string>{}) << where;
    }

    // One run with the nth call of kind failing; returns whether it failed.
    static bool RunWithFault(const Scenario& scenario, const DryRun& dry, int kind, uint64_t nth, bool persistent) {
        const std::string where = std::string(scenario.name) + ", " + kKindNames[kind] + " call " +
                                  std::to_string(nth) + (persistent ? " and later" : " only");
        TemporaryDirectory directory;
        scenario.prepare(Open(directory), directory.Path());
        const auto before = State(directory.Path());
        IZarnRepository* opened = Open(directory);
        kvdFilesTest_Reset();
        kvdFilesTest_FailCall(kind, nth, kErrors[nth % 4], persistent ? 1 : 0);
        const KvdStatus status = scenario.run(opened);
        // A step that fails ends the change: no later step of it is taken.
        for (const std::string& point : status != 0 && !persistent ? PointsReached() : std::vector<std::string>{}) {
            const auto calls = dry.callsBefore.find(point);
            EXPECT_TRUE(calls != dry.callsBefore.end() && calls->second[static_cast<std::size_t>(kind)] < nth)
                << where << ": went on to " << point;
        }
        kvdFilesTest_Reset();
        if (status != 0) ExpectOldState(directory, before, persistent, where);
        // Once the fault is gone the same command succeeds (after a failure),
        // and a later writer clears whatever a failed cleanup left (after a
        // success whose cleanup failed).
        IZarnRepository* repository = Open(directory);
        EXPECT_NE(repository, nullptr) << where;
        if (repository == nullptr) return status != 0;
        if (status != 0) {
            EXPECT_EQ(scenario.run(repository), 0) << where;
        }
        EXPECT_EQ(AddFile(repository, L"later", L"later.txt", "later"), 0) << where;
        scenario.expectDone(Open(directory), directory.Path());
        EXPECT_EQ(LeftoverNames(directory.Path()), std::vector<std::string>{}) << where;
        return status != 0;
    }
};

// Every call up to the commit point fails the change; a failing cleanup
// after it cannot undo a committed change.
TEST_P(FaultInjectionTest, EveryFailedCallLeavesTheOldStateOrCompletes) {
    const Scenario scenario = Scenarios()[static_cast<std::size_t>(GetParam())];
    const DryRun dry = RunWithoutFaults(scenario);
    const std::vector<uint64_t>& beforeCommit = dry.callsBefore.at("index-committed");
    uint64_t failedRuns = 0;
    for (int kind = 0; kind < KvdIoKindCount; ++kind) {
        for (uint64_t nth = 1; nth <= dry.counts[static_cast<std::size_t>(kind)]; ++nth) {
            for (const bool persistent : {false, true}) {
                const bool failed = RunWithFault(scenario, dry, kind, nth, persistent);
                if (nth <= beforeCommit[static_cast<std::size_t>(kind)]) {
                    EXPECT_TRUE(failed) << scenario.name << ": " << kKindNames[kind] << " call " << nth;
                }
                failedRuns += failed ? 1 : 0;
            }
        }
    }
    EXPECT_GT(failedRuns, 10u) << scenario.name;
    uint64_t runs = 0;
    for (const uint64_t count : dry.counts) runs += 2 * count;
    std::cout << scenario.name << ": " << runs << " runs with a failing call, " << failedRuns << " failed\n";
}

// The scenario's name in words run together: "add into a new index" is
// AddIntoANewIndex.
std::string ScenarioName(const ::testing::TestParamInfo<int>& param) {
    std::string name;
    bool wordStart = true;
    for (const char c : std::string_view(Scenarios()[static_cast<std::size_t>(param.param)].name)) {
        const bool letter = std::isalnum(static_cast<unsigned char>(c)) != 0;
        if (letter) name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        wordStart = !letter;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultInjectionTest, ::testing::Range(0, static_cast<int>(Scenarios().size())),
                         ScenarioName);

// A directory now standing where a stored copy was is not the library's to
// delete, neither by the removal nor by its undo; a failed removal must not
// leave an undo behind that can never finish.
TEST(RemovalFaultTest, UndoLeavesAForeignDirectoryAloneAndTheRepositoryWritable) {
    TemporaryDirectory directory;
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
    ASSERT_EQ(AddFile(repository, L"id", L"copy", "content"), 0);
    fs::remove(directory.Path() / "copy");
    fs::create_directory(directory.Path() / "copy");
    kvdFilesTest_LimitChanges(0);  // the index is renamed, and that rename fails
    kvdFilesTest_FailCall(KvdIoRename, 1, EIO, 0);
    EXPECT_NE(RemoveFile(repository, L"id"), 0);
    kvdFilesTest_Reset();
    EXPECT_TRUE(fs::is_directory(directory.Path() / "copy"));
    EXPECT_EQ(AddFile(repository, L"other", L"other", "other"), 0);
    EXPECT_EQ(RemoveFile(repository, L"id"), 0);
    EXPECT_TRUE(fs::is_directory(directory.Path() / "copy"));
    kvdFiles_ReleaseLibrary();
}

// A writer knows the index it has just written: its next change compares
// the file's size, header and last checksum with what it knows and reads no
// more of it, after a new index and after an appended change alike.
TEST(IndexReuseTest, AWriterRereadsNoIndexItWroteItself) {
    TemporaryDirectory directory;
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
    std::vector<uint64_t> reads;
    for (int i = 0; i < 4; ++i) {
        kvdFilesTest_Reset();
        ASSERT_EQ(AddFile(repository, L"id" + std::to_wstring(i), L"copy" + std::to_wstring(i), "content"), 0);
        reads.push_back(kvdFilesTest_CallCount(KvdIoRead));
    }
    EXPECT_EQ(reads[2], reads[1]) << "after an appended change";
    EXPECT_EQ(reads[3], reads[1]) << "after an appended change";
    kvdFilesTest_Reset();
    kvdFiles_ReleaseLibrary();
}

}  // namespace
}  // namespace kvdtest
