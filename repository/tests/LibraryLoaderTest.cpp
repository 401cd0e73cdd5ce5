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
using repository::ProcessLibraryBinding;
using repository::UnloadRepositoryLibrary;

// A directory path with the platform's separators: Windows' loader, asked to
// search the library's own directory first, wants backslashes.
std::wstring NativeDirectory(const std::string& path) {
    std::wstring directory = encoding::WideFromBytes(path);
    std::replace(directory.begin(), directory.end(), L'/', platform::kPathSeparator);
    return directory;
}

// Directories holding the stand-in library and its variants, each ending in a
// separator as the loader expects.
std::wstring VariantDirectory(const std::string& variant) {
    return NativeDirectory(std::string(FAKE_KVDFILES_DIRECTORY) + "/" + variant + "/");
}

bool AnyEntryPointSet() {
    const auto& binding = ProcessLibraryBinding();
    return binding.initLibrary != nullptr || binding.releaseLibrary != nullptr ||
           binding.getRepository != nullptr || binding.getRepositoryFromPath != nullptr;
}

bool AllEntryPointsSet() {
    const auto& binding = ProcessLibraryBinding();
    return binding.initLibrary != nullptr && binding.releaseLibrary != nullptr &&
           binding.getRepository != nullptr && binding.getRepositoryFromPath != nullptr;
}

class LibraryLoader : public testing::Test {
protected:
    void TearDown() override {
        while (ProcessLibraryBinding().referenceCount > 0) UnloadRepositoryLibrary();
        UnloadRepositoryLibrary();
        ProcessLibraryBinding().currentRepository = nullptr;
    }
};

TEST_F(LibraryLoader, NestedLoadsShareOneModuleAndTheLastUnloadFreesIt) {
    const std::wstring directory = VariantDirectory("complete");
    ASSERT_TRUE(LoadRepositoryLibrary(directory.c_str()));
    auto& binding = ProcessLibraryBinding();
    const platform::LibraryModule module = binding.module;
    EXPECT_NE(module, nullptr);
    EXPECT_TRUE(AllEntryPointsSet());
    EXPECT_EQ(binding.referenceCount, 1);

    ASSERT_TRUE(LoadRepositoryLibrary(directory.c_str()));
    EXPECT_EQ(binding.referenceCount, 2);
    EXPECT_EQ(binding.module, module);

    IZarnRepository* const sentinel = reinterpret_cast<IZarnRepository*>(&binding);
    binding.currentRepository = sentinel;
    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 1);
    EXPECT_TRUE(AllEntryPointsSet());
    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 0);
    EXPECT_EQ(binding.module, nullptr);
    EXPECT_FALSE(AnyEntryPointSet());
    EXPECT_EQ(binding.currentRepository, sentinel);

    UnloadRepositoryLibrary();
    EXPECT_EQ(binding.referenceCount, 0);
}

TEST_F(LibraryLoader, ALibraryMissingAnExportIsLeftOverUntilTheNextUnload) {
    for (const char* variant : {"without-InitLibrary", "without-ReleaseLibrary", "without-GetRepository",
                                "without-GetRepositoryFromPath"}) {
        const std::wstring directory = VariantDirectory(variant);
        EXPECT_FALSE(LoadRepositoryLibrary(directory.c_str())) << variant;
        auto& binding = ProcessLibraryBinding();
        EXPECT_EQ(binding.referenceCount, 0) << variant;
        EXPECT_FALSE(AnyEntryPointSet()) << variant;
        EXPECT_NE(binding.module, nullptr) << variant;
        UnloadRepositoryLibrary();
        EXPECT_EQ(binding.module, nullptr) << variant;
        EXPECT_EQ(binding.referenceCount, 0) << variant;
    }
}

TEST_F(LibraryLoader, RefusesNoDirectoryAMissingFileAndAPathThatWouldBeCut) {
    auto& binding = ProcessLibraryBinding();
    EXPECT_FALSE(LoadRepositoryLibrary(nullptr));
    // Without a trailing separator the names run together: no such file.
    const std::wstring joined = NativeDirectory(std::string(FAKE_KVDFILES_DIRECTORY) + "/complete");
    EXPECT_FALSE(LoadRepositoryLibrary(joined.c_str()));
    // 2046 characters fit the path buffer; one more would be cut.
    const std::wstring longDirectory = NativeDirectory("/" + std::string(2046 - 1 - 12, 'd') + "/");
    EXPECT_FALSE(LoadRepositoryLibrary(longDirectory.c_str()));
    EXPECT_EQ(binding.referenceCount, 0);
    EXPECT_EQ(binding.module, nullptr);
    EXPECT_FALSE(AnyEntryPointSet());
}

TEST_F(LibraryLoader, ConcurrentLoadsAndUnloadsKeepTheCountExact) {
    const std::wstring directory = VariantDirectory("complete");
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&directory] {
            for (int round = 0; round < 200; ++round) {
                if (LoadRepositoryLibrary(directory.c_str())) UnloadRepositoryLibrary();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(ProcessLibraryBinding().referenceCount, 0);
    EXPECT_EQ(ProcessLibraryBinding().module, nullptr);
}

}  // namespace
