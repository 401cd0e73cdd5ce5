// The fixture of the end-to-end tests: the real zarnrepo-inspect with the real
// repository library, run from a start directory that holds a copy of the
// library, on a repository in a temporary directory. Expected output is
// written with "\n" and compared as the program prints it on this platform.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "inspect/tests/RepositoryFixture.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace inspect_test {

// 2024-05-01T12:34:56.789012Z and one second later.
inline constexpr std::int64_t kAdded = 1714566896789012;
inline constexpr std::int64_t kChanged = 1714566897789012;
inline const std::string kAddedText = "2024-05-01T12:34:56.789012Z";
inline const std::string kChangedText = "2024-05-01T12:34:57.789012Z";

// An entry with version "1.0", description "d", permissions 3 and the two times.
FixtureEntry Plain(std::wstring fileId, std::wstring destination, std::string content);

// The JSON object of an entry whose texts need no escape.
std::string JsonOf(const std::string& fileId, const std::string& destination, std::size_t size,
                   const std::string& version = "1.0", const std::string& description = "d", int permissions = 3);

// The text line of an entry made by Plain.
std::string LineOf(const std::string& fileId, const std::string& destination, std::size_t size);

struct Expected {
    std::string output;  // lines end in "\n"
    int exitCode;
};

struct RunCase {
    const char* name;
    std::vector<std::string> arguments;
    Expected expected;
};

class InspectRuns : public ::testing::Test {
protected:
    void SetUp() override;

    std::filesystem::path Start() const { return root_.Path() / "start"; }
    std::filesystem::path Repository() const { return root_.Path() / "repo"; }

    test_support::ProcessOutcome RunFromStart(const std::filesystem::path& program,
                                              const std::vector<std::string>& arguments) const;

    // Runs the program from the start directory; "{repo}" in an argument
    // stands for the repository directory, as UTF-8 text.
    test_support::ProcessOutcome Run(std::vector<std::string> arguments) const;

    // Runs the program and checks its output bytes, its exit code and silence
    // on standard error.
    void Expect(const std::vector<std::string>& arguments, const Expected& expected) const;
    void ExpectTable(const std::vector<RunCase>& cases) const;

    test_support::TemporaryDirectory root_;
};

// The programs as the tests see them (under Wine, below drive Z:).
std::filesystem::path InspectPath();
std::filesystem::path ToolPath();

}  // namespace inspect_test
