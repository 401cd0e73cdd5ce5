#include "inspect/tests/InspectRuns.h"

#include "tests/support/Process.h"

namespace inspect_test {

namespace fs = std::filesystem;

FixtureEntry Plain(std::wstring fileId, std::wstring destination, std::string content) {
    return {std::move(fileId), std::move(destination), L"1.0", L"d", 3, std::move(content), kAdded, kChanged};
}

std::string JsonOf(const std::string& fileId, const std::string& destination, std::size_t size,
                   const std::string& version, const std::string& description, int permissions) {
    return "{\"fileId\":\"" + fileId + "\",\"version\":\"" + version + "\",\"permissions\":" +
           std::to_string(permissions) + ",\"contentSize\":" + std::to_string(size) + ",\"timeAdded\":\"" +
           kAddedText + "\",\"timeLastChanged\":\"" + kChangedText + "\",\"destination\":\"" + destination +
           "\",\"description\":\"" + description + "\"}";
}

std::string LineOf(const std::string& fileId, const std::string& destination, std::size_t size) {
    return fileId + "\t1.0\t3\t" + std::to_string(size) + "\t" + kChangedText + "\t" + destination + "\td\n";
}

fs::path InspectPath() { return test_support::PathFromUtf8(ZARN_INSPECT_PATH); }
fs::path ToolPath() { return test_support::PathFromUtf8(ZARN_TOOL_PATH); }

void InspectRuns::SetUp() {
    fs::create_directory(Start());
    fs::copy_file(test_support::PathFromUtf8(ZARN_REAL_LIBRARY_PATH), Start() / "KVDFiles.dll");
}

test_support::ProcessOutcome InspectRuns::RunFromStart(const fs::path& program,
                                                       const std::vector<std::string>& arguments) const {
    test_support::ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    request.workingDirectory = Start();
    return test_support::RunProcess(request);
}

test_support::ProcessOutcome InspectRuns::Run(std::vector<std::string> arguments) const {
    for (std::string& argument : arguments) {
        const std::size_t at = argument.find("{repo}");
        if (at != std::string::npos) argument.replace(at, 6, test_support::Utf8FromPath(Repository()));
    }
    return RunFromStart(InspectPath(), arguments);
}

void InspectRuns::Expect(const std::vector<std::string>& arguments, const Expected& expected) const {
    const test_support::ProcessOutcome outcome = Run(arguments);
    EXPECT_EQ(outcome.standardOutput, test_support::AsPrinted(expected.output));
    EXPECT_EQ(outcome.exitCode, expected.exitCode);
    EXPECT_EQ(outcome.standardError, "");
}

void InspectRuns::ExpectTable(const std::vector<RunCase>& cases) const {
    for (const RunCase& row : cases) {
        SCOPED_TRACE(row.name);
        Expect(row.arguments, row.expected);
    }
}

}  // namespace inspect_test
