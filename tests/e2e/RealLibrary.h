// The tool with the repository library itself, in a sandbox: a fixture that
// runs it and reads the files it leaves.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/Sandbox.h"
#include "tests/e2e/ToolCase.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::string_literals;

inline const std::string kFirstContent = "first\x00\xff\x80\r\n content"s;
inline const std::string kSecondContent = "second, longer \xc3\xa9\x00 content\n"s;

class RealLibrary : public testing::Test {
protected:
    void SetUp() override {
        if (!HasRealLibrary()) GTEST_SKIP() << "the build has no repository library";
    }

    // Runs the tool; expects it to print expectedOutput and exit with expectedExitCode.
    void Run(const std::vector<std::string>& arguments, const std::string& expectedOutput, int expectedExitCode,
             const RunOptions& options = {}) {
        const auto outcome = sandbox_.Run(sandbox_.Expand(arguments), options);
        EXPECT_EQ(outcome.standardOutput, AsPrinted(expectedOutput));
        EXPECT_EQ(outcome.exitCode, expectedExitCode);
        EXPECT_EQ(outcome.standardError, "");
    }

    void WriteFile(const std::string& name, const std::string& content) const {
        test_support::WriteFileBytes(sandbox_.Root() / name, content);
    }
    std::string ReadFile(const std::string& name) const { return test_support::ReadFileBytes(sandbox_.Root() / name); }

    // The stored copy and the index each have a backup equal to them.
    void ExpectBackups(const std::string& repository, const std::string& stored) const {
        EXPECT_EQ(ReadFile(repository + "/" + stored + ".bak"), ReadFile(repository + "/" + stored));
        EXPECT_EQ(ReadFile(repository + "/ZarnRepository.bin.bak"), ReadFile(repository + "/ZarnRepository.bin"));
    }

    Sandbox sandbox_{Library::Real};
};

inline std::vector<std::string> AddFile(const std::string& repository, const std::string& source,
                                 const std::string& id = "42", const std::string& target = "a.txt") {
    return {"/command:addFile", "/reposDirPath:" + repository, "/fileId:" + id, "/fileDesc:\"My file\"",
            "/fileVersion:1.0", "/filePermissions:3", "/sourceFilePath:{root}/" + source, "/targetFilePath:" + target};
}

inline std::vector<std::string> GetFile(const std::string& target) {
    return Command("getFile", {"/fileId:42", "/targetFilePath:{root}/" + target});
}

}  // namespace e2e
