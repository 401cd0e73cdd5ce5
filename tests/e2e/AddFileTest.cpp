// addFile: AddFile, the source file read whole, one Write, Close(1), then the
// backups of the stored file and of the index.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

using test_support::FileTree;
using namespace std::string_literals;

const std::string kSource = "line one\r\n\x00\xff\x80 end"s;
const std::string kWriteSource = "Write(size=" + std::to_string(kSource.size()) + ")";
const std::vector<std::string> kAddOptions = {"/fileId:42",        "/fileDesc:d",
                                              "/fileVersion:1.0",  "/filePermissions:3",
                                              "/sourceFilePath:{root}/source.bin", "/targetFilePath:a.txt"};
const std::string kAddCall = "AddFile(id=42,target=a.txt,version=1.0,description=d,permissions=3)";
const std::string kStores = "store-content\ntouch-index\n";
const std::string kInvalidAddFile = "\n\nInvalid arguments for 'addFile' command.\n\n";
// What the stand-in's index holds after storing a.txt.
const std::string kIndexAfterStoring = "a.txt\n";

// What a successful add leaves: the source, the stored copy and the index,
// each with its backup.
FileTree AfterStoring(const std::string& storedCopy, const std::string& repository = "repo",
                      const std::string& indexContent = kIndexAfterStoring) {
    return {{"source.bin", kSource},
            {storedCopy, kSource},
            {storedCopy + ".bak", kSource},
            {repository + "/ZarnRepository.bin", indexContent},
            {repository + "/ZarnRepository.bin.bak", indexContent}};
}

ToolCase MissingOption(const std::string& key) {
    return {.name = "Missing" + key.substr(1),
            .arguments = Command("addFile", Without(kAddOptions, key)),
            .filesBefore = {{"source.bin", kSource}},
            .expectedOutput = kInvalidAddFile + UsageText(),
            .expectedCalls = InOpenRepository({})};
}

std::vector<ToolCase> AddFileCases() {
    std::vector<ToolCase> cases;
    for (const char* key : {"/fileId", "/fileDesc", "/fileVersion", "/filePermissions", "/sourceFilePath",
                            "/targetFilePath"}) {
        cases.push_back(MissingOption(key));
    }
    const std::vector<ToolCase> rows = {
        {.name = "AddFileFails",
         .arguments = Command("addFile", kAddOptions),
         .script = "fail AddFile 4\n",
         .filesBefore = {{"source.bin", kSource}},
         .expectedOutput = "Error adding new file to IZarnRepository.\n\n",
         .expectedCalls = InOpenRepository({kAddCall})},
        {.name = "SourceMissingAfterAddFile",
         .arguments = Command("addFile", kAddOptions),
         .expectedOutput = "Error opening source file.\n\n",
         .expectedCalls = InOpenRepository({kAddCall})},
        {.name = "SourceIsADirectory",
         .arguments = Command("addFile", kAddOptions),
         .filesBefore = {{"source.bin/", ""}},
         .expectedOutput = "Error opening source file.\n\n",
         .expectedCalls = InOpenRepository({kAddCall})},
        {.name = "WriteFailsButTheStreamIsClosed",
         .arguments = Command("addFile", kAddOptions),
         .script = "fail Write 6\n",
         .filesBefore = {{"source.bin", kSource}, {"repo/ZarnRepository.bin", "index"}},
         .expectedOutput = "Error writting file.\n\n",
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"})},
        {.name = "StoredFileBackupFailsSoTheIndexIsNotCopied",
         .arguments = Command("addFile", kAddOptions),
         .filesBefore = {{"source.bin", kSource}, {"repo/ZarnRepository.bin", "index"}},
         .expectedOutput = "Error creating file backup.\n\n",
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"})},
        {.name = "IndexBackupFails",
         .arguments = Command("addFile", kAddOptions),
         .script = "store-content\n",
         .filesBefore = {{"source.bin", kSource}},
         .expectedOutput = "Error creating file backup.\n\n",
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"}),
         .expectedFiles = FileTree{{"source.bin", kSource}, {"repo/a.txt", kSource}, {"repo/a.txt.bak", kSource}}},
        {.name = "StoresAndBacksUp",
         .arguments = Command("addFile", kAddOptions),
         .script = kStores,
         .filesBefore = {{"source.bin", kSource}},
         .expectedOutput = "",
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"}),
         .expectedFiles = AfterStoring("repo/a.txt")},
        {.name = "NewBackupsReplaceOldOnes",
         .arguments = Command("addFile", kAddOptions),
         .script = kStores,
         .filesBefore = {{"source.bin", kSource},
                         {"repo/a.txt.bak", "an older and longer backup"},
                         {"repo/ZarnRepository.bin.bak", "an older and longer backup"}},
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"}),
         .expectedFiles = AfterStoring("repo/a.txt")},
        {.name = "EmptySource",
         .arguments = Command("addFile", kAddOptions),
         .script = kStores,
         .filesBefore = {{"source.bin", ""}},
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository({kAddCall, "Write(size=0)", "Close(1)"}),
         .expectedFiles = FileTree{{"source.bin", ""},
                                   {"repo/a.txt", ""},
                                   {"repo/a.txt.bak", ""},
                                   {"repo/ZarnRepository.bin", kIndexAfterStoring},
                                   {"repo/ZarnRepository.bin.bak", kIndexAfterStoring}}},
        {.name = "EmptyValuesArePassedOn",
         .arguments = Command("addFile", Replacing(Replacing(kAddOptions, "/fileDesc:"), "/fileVersion:")),
         .script = "fail AddFile 1\n",
         .filesBefore = {{"source.bin", kSource}},
         .expectedOutput = "Error adding new file to IZarnRepository.\n\n",
         .expectedCalls = InOpenRepository({"AddFile(id=42,target=a.txt,version=,description=,permissions=3)"})},
        {.name = "RelativeSourceStartsAtTheRepository",
         .arguments = Command("addFile", Replacing(kAddOptions, "/sourceFilePath:source.bin")),
         .script = kStores,
         .filesBefore = {{"source.bin", "not this one"}, {"repo/source.bin", kSource}},
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository({kAddCall, kWriteSource, "Close(1)"}),
         .expectedFiles = FileTree{{"source.bin", "not this one"},
                                   {"repo/source.bin", kSource},
                                   {"repo/a.txt", kSource},
                                   {"repo/a.txt.bak", kSource},
                                   {"repo/ZarnRepository.bin", kIndexAfterStoring},
                                   {"repo/ZarnRepository.bin.bak", kIndexAfterStoring}}},
        {.name = "TargetInASubdirectory",
         .arguments = Command("addFile", Replacing(kAddOptions, "/targetFilePath:sub/a.txt")),
         .script = kStores,
         .filesBefore = {{"source.bin", kSource}, {"repo/sub/", ""}},
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository(
             {"AddFile(id=42,target=sub/a.txt,version=1.0,description=d,permissions=3)", kWriteSource, "Close(1)"}),
         .expectedFiles = AfterStoring("repo/sub/a.txt", "repo", "sub/a.txt\n")},
        {.name = "AbsoluteTargetIsBackedUpWhereItIs",
         .arguments = Command("addFile", Replacing(kAddOptions, "/targetFilePath:{root}/stored/a.txt")),
         .script = kStores,
         .filesBefore = {{"source.bin", kSource}, {"stored/", ""}},
         .expectedExitCode = 0,
         .expectedCalls = InOpenRepository({"AddFile(id=42,target={root}/stored/a.txt,version=1.0,description=d,"
                                            "permissions=3)",
                                            kWriteSource, "Close(1)"}),
         .expectedFiles = FileTree{{"source.bin", kSource},
                                   {"stored/a.txt", kSource},
                                   {"stored/a.txt.bak", kSource},
                                   {"repo/ZarnRepository.bin", "{root}/stored/a.txt\n"},
                                   {"repo/ZarnRepository.bin.bak", "{root}/stored/a.txt\n"}}},
        // A relative repository directory is the current directory once the
        // command runs; relative backup names are taken inside it, not inside
        // a folder of the same name within it.
        {.name = "RelativeRepositoryDirectoryBacksUpInsideIt",
         .arguments = {"/command:addFile", "/reposDirPath:repo", "/fileId:42", "/fileDesc:d", "/fileVersion:1.0",
                       "/filePermissions:3", "/sourceFilePath:{root}/source.bin", "/targetFilePath:a.txt"},
         .script = kStores,
         .filesBefore = {{"source.bin", kSource}, {"start/repo/", ""}},
         .expectedExitCode = 0,
         .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath(repo)", kAddCall, kWriteSource,
                           "Close(1)", "ReleaseLibrary()", "Unloaded"},
         .expectedFiles = AfterStoring("start/repo/a.txt", "start/repo")},
        {.name = "RepositoryDirectoryWithTrailingSlash",
         .arguments = {"/command:addFile", "/reposDirPath:{repo}/", "/fileId:42", "/fileDesc:d", "/fileVersion:1.0",
                       "/filePermissions:3", "/sourceFilePath:{root}/source.bin", "/targetFilePath:a.txt"},
         .script = kStores,
         .filesBefore = {{"source.bin", kSource}},
         .expectedExitCode = 0,
         .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({repo}/)", kAddCall, kWriteSource,
                           "Close(1)", "ReleaseLibrary()", "Unloaded"},
         .expectedFiles = AfterStoring("repo/a.txt")},
    };
    cases.insert(cases.end(), rows.begin(), rows.end());
    return cases;
}

class AddFile : public testing::TestWithParam<ToolCase> {};
TEST_P(AddFile, PrintsExitsCallsAndStoresAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, AddFile, testing::ValuesIn(AddFileCases()), CaseName());

// The permissions number as AddFile receives it: leading blanks skipped, an
// optional sign, digits up to the first other character, and values beyond
// the 32-bit range held at the nearest bound.
struct PermissionsRow {
    std::string name;
    std::string value;
    std::string passed;
};

const std::vector<PermissionsRow> kPermissionsRows = {
    {"Three", "3", "3"},
    {"NotANumber", "abc", "0"},
    {"Empty", "", "0"},
    {"TrailingLetters", "2x", "2"},
    {"LeadingBlank", " 3", "3"},
    {"LeadingTabAndBlank", "\t 12", "12"},
    {"Negative", "-1", "-1"},
    {"PlusSign", "+7", "7"},
    {"Largest", "2147483647", "2147483647"},
    {"OneAboveLargest", "2147483648", "2147483647"},
    {"AboveLargestByTwoToThe32", "4294967299", "2147483647"},
    {"FarAboveLargest", "99999999999999999999", "2147483647"},
    {"Smallest", "-2147483648", "-2147483648"},
    {"OneBelowSmallest", "-2147483649", "-2147483648"},
    {"BelowSmallestByTwoToThe32", "-4294967299", "-2147483648"},
};

ToolCase PermissionsCase(const PermissionsRow& row) {
    return {.name = row.name,
            .arguments = Command("addFile", Replacing(kAddOptions, "/filePermissions:" + row.value)),
            .script = "fail AddFile 1\n",
            .expectedOutput = "Error adding new file to IZarnRepository.\n\n",
            .expectedCalls = InOpenRepository(
                {"AddFile(id=42,target=a.txt,version=1.0,description=d,permissions=" + row.passed + ")"})};
}

std::vector<ToolCase> PermissionsCases() {
    std::vector<ToolCase> cases;
    for (const auto& row : kPermissionsRows) cases.push_back(PermissionsCase(row));
    return cases;
}

class AddFilePermissions : public testing::TestWithParam<ToolCase> {};
TEST_P(AddFilePermissions, PassesTheNumberAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Values, AddFilePermissions, testing::ValuesIn(PermissionsCases()), CaseName());

}  // namespace
}  // namespace e2e
