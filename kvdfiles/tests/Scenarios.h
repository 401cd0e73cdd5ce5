// The changes that the fault and crash suites interrupt: each prepares a
// repository, runs one command on it, and knows what the finished command
// leaves.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "kvdfiles/testing/FaultControl.h"
#include "kvdfiles/tests/TestSupport.h"

namespace kvdtest {

struct Scenario {
    const char* name;
    std::function<void(IZarnRepository*, const fs::path&)> prepare;
    std::function<KvdStatus(IZarnRepository*)> run;
    std::function<void(IZarnRepository*, const fs::path&)> expectDone;
};

inline const std::string kOld = ContentFor("old", 3000);
inline const std::string kNew = ContentFor("new", 4100);
inline const std::string kLarge = ContentFor("large", (std::size_t{1} << 20) + 3);

// What must not change: everything but the lock file, whose content is the
// writers' own scratch space.
// Names with size and a hash of the content, to keep failure messages short.
inline std::map<std::string, std::string> State(const fs::path& directory) {
    std::map<std::string, std::string> state;
    for (const auto& [name, content] : ReadFileTree(directory)) {
        if (name == "ZarnRepository.lock") continue;
        state[name] = std::to_string(content.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(content));
    }
    return state;
}

// The commit steps reached since the last reset, as the test build counts them.
inline std::vector<std::string> PointsReached() {
    std::vector<std::string> points;
    for (uint32_t i = 0; const char* point = kvdFilesTest_PointReached(i); ++i) points.emplace_back(point);
    return points;
}

inline std::vector<Scenario> Scenarios() {
    auto nothing = [](IZarnRepository*, const fs::path&) {};
    auto addOne = [](IZarnRepository* repository, const fs::path&) {
        ASSERT_EQ(AddFile(repository, L"kept", L"kept.txt", kOld), 0);
    };
    auto newIsStored = [](IZarnRepository* repository, const fs::path&) {
        EXPECT_TRUE(GetContent(repository, L"new") == kNew) << "new content not stored";
    };
    auto keptIsNew = [](IZarnRepository* r, const fs::path&) {
        EXPECT_TRUE(GetContent(r, L"kept") == kNew) << "not modified";
    };
    auto addTwo = [](IZarnRepository* r, const fs::path&) {
        ASSERT_EQ(AddFile(r, L"kept", L"kept.txt", kOld), 0);
        ASSERT_EQ(AddFile(r, L"gone", L"gone.txt", kOld), 0);
    };
    auto goneIsGone = [](IZarnRepository* r, const fs::path& directory) {
        EXPECT_EQ(GetContent(r, L"gone"), std::nullopt);
        EXPECT_FALSE(fs::exists(directory / "gone.txt"));
        EXPECT_TRUE(GetContent(r, L"kept") == kOld) << "kept entry changed";
    };
    // Changes are appended to the index; these two write a new index instead,
    // as the change that takes in the appended ones does.
    auto inNewIndex = [](KvdStatus (*change)(IZarnRepository*)) {
        return [change](IZarnRepository* r) {
            kvdFilesTest_LimitChanges(0);
            return change(r);
        };
    };
    return {
        {"first add of a repository", nothing,
         [](IZarnRepository* r) { return AddFile(r, L"new", L"sub/dir/new.bin", kNew); }, newIsStored},
        {"add", addOne, [](IZarnRepository* r) { return AddFile(r, L"new", L"new.bin", kNew); }, newIsStored},
        {"add over a file of no entry",
         [](IZarnRepository* r, const fs::path& directory) {
             ASSERT_EQ(AddFile(r, L"kept", L"kept.txt", kOld), 0);
             WriteFileBytes(directory / "loose.txt", kOld);
         },
         [](IZarnRepository* r) { return AddFile(r, L"new", L"loose.txt", kNew); }, newIsStored},
        {"modify", addOne, [](IZarnRepository* r) { return ModifyFile(r, L"kept", kNew); }, keptIsNew},
        {"modify with large content", addOne, [](IZarnRepository* r) { return ModifyFile(r, L"kept", kLarge); },
         [](IZarnRepository* r, const fs::path&) { EXPECT_TRUE(GetContent(r, L"kept") == kLarge) << "not modified"; }},
        {"modify into a new index", addOne, inNewIndex([](IZarnRepository* r) { return ModifyFile(r, L"kept", kNew); }),
         keptIsNew},
        {"delete", addTwo, [](IZarnRepository* r) { return RemoveFile(r, L"gone"); }, goneIsGone},
        {"add into a new index", addOne,
         inNewIndex([](IZarnRepository* r) { return AddFile(r, L"new", L"new.bin", kNew); }), newIsStored},
        {"delete into a new index", addTwo, inNewIndex([](IZarnRepository* r) { return RemoveFile(r, L"gone"); }),
         goneIsGone},
    };
}

}  // namespace kvdtest
