// The loader on the stand-in libraries the tests/ folder builds: the complete
// one and one variant without each export.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "encoding/WideText.h"
#include "platform/Platform.h"
#include "repository/LibraryBinding.h"

namespace {

using repository::LoadRepositoryLibrary;
using repository::UnloadRepositoryLibrary;

repository::LibraryBinding& binding = repository::ProcessLibraryBinding();

// The directory of a variant, with the platform's separators (Windows' loader,
// asked to search the library's own directory first, wants backslashes) and
// one at its end, as the loader expects.
std::wstring Directory(const std::string& variant) {
    std::wstring directory = encoding::WideFromBytes(std::string(FAKE_KVDFILES_DIRECTORY) + "/" + variant);
    std::replace(directory.begin(), directory.end(), L'/', platform::kPathSeparator);
    return directory + platform::kPathSeparator;
}

int EntryPointsSet() {
    return (binding.initLibrary != nullptr) + (binding.releaseLibrary != nullptr) + (binding.getRepository != nullptr) +
           (binding.getRepositoryFromPath != nullptr);
}

class LibraryLoader : public testing::Test {
protected:
    void TearDown() override {
        while (binding.referenceCount > 0) UnloadRepositoryLibrary();
        UnloadRepositoryLibrary();
    }
};

TEST_F(LibraryLoader, NestedLoadsShareOneModuleAndTheLastUnloadFreesIt) {
    const std::wstring directory = Directory("complete");
    ASSERT_TRUE(LoadRepositoryLibrary(directory.c_str()));
    const platform::LibraryModule module = binding.module;
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(EntryPointsSet(), 4);
    ASSERT_TRUE(LoadRepositoryLibrary(directory.c_str()));
    EXPECT_EQ(binding.referenceCount, 2);
    EXPECT_EQ(binding.module, module);

    binding.currentRepository = reinterpret_cast<IZarnRepository*>(&binding);
    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 1);
    EXPECT_EQ(EntryPointsSet(), 4);
    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 0);
    EXPECT_EQ(binding.module, nullptr);
    EXPECT_EQ(EntryPointsSet(), 0);
    EXPECT_EQ(binding.currentRepository, reinterpret_cast<IZarnRepository*>(&binding)) << "the loader's own";
    binding.currentRepository = nullptr;
    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 0);
}

// A library missing an export stays loaded until the next unload. (A path
// too long for the buffer is refused end to end, where the file exists.)
TEST_F(LibraryLoader, RefusesALibraryMissingAnExportNoDirectoryAndAMissingFile) {
    for (const char* variant :
         {"without-InitLibrary", "without-ReleaseLibrary", "without-GetRepository", "without-GetRepositoryFromPath"}) {
        SCOPED_TRACE(variant);
        EXPECT_FALSE(LoadRepositoryLibrary(Directory(variant).c_str()));
        EXPECT_EQ(binding.referenceCount, 0);
        EXPECT_EQ(EntryPointsSet(), 0);
        EXPECT_NE(binding.module, nullptr);
        UnloadRepositoryLibrary();
        EXPECT_EQ(binding.module, nullptr);
    }
    EXPECT_FALSE(LoadRepositoryLibrary(nullptr));
    // Without its separator the names run together: no such file.
    std::wstring joined = Directory("complete");
    joined.pop_back();
    EXPECT_FALSE(LoadRepositoryLibrary(joined.c_str()));
    EXPECT_EQ(binding.referenceCount, 0);
    EXPECT_EQ(binding.module, nullptr);
}

TEST_F(LibraryLoader, ConcurrentLoadsAndUnloadsKeepTheCountExact) {
    const std::wstring directory = Directory("complete");
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&directory] {
            for (int round = 0; round < 200; ++round) {
                if (LoadRepositoryLibrary(directory.c_str())) UnloadRepositoryLibrary();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(binding.referenceCount, 0);
    EXPECT_EQ(binding.module, nullptr);
}

}  // namespace
