// The tool's own file work as only Windows shows it: a source file another
// process holds open for writing does not open, and backup copies of absolute
// paths, with a drive letter or from the drive's root, are made where the
// stored file is.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

using test_support::FileTree;

const std::string kSource = "source\r\ncontent";
const std::string kWriteSource = "Write(size=" + std::to_string(kSource.size()) + ")";
const std::string kStores = "store-content\ntouch-index\n";

std::vector<std::string> AddFileTo(const std::string& target) {
    return Command("addFile", {"/fileId:42", "/fileDesc:d", "/fileVersion:1", "/filePermissions:3",
                               "/sourceFilePath:{root}\\source.bin", "/targetFilePath:" + target});
}

std::string AddCall(const std::string& target) {
    return "AddFile(id=42,target=" + target + ",version=1,description=d,permissions=3)";
}

// addFile stores at target, an absolute path naming {root}\stored\a.txt.
ToolCase AddsAt(const std::string& name, const std::string& target) {
    return {.name = name,
            .arguments = AddFileTo(target),
            .script = kStores,
            .filesBefore = {{"source.bin", kSource}, {"stored/", ""}},
            .expectedExitCode = 0,
            .expectedCalls = InOpenRepository({AddCall(target), kWriteSource, "Close(1)"}),
            .expectedFiles = FileTree{{"source.bin", kSource},
                                      {"stored/a.txt", kSource},
                                      {"stored/a.txt.bak", kSource},
                                      {"repo/ZarnRepository.bin", target + "\n"},
                                      {"repo/ZarnRepository.bin.bak", target + "\n"}}};
}

const std::vector<std::string> kModifyCalls = {"GetFile(id=42)", "OpenStream(mode=0,reserved=-1)", kWriteSource,
                                               "Close(1)", "GetInfo()", "GetPath()"};

// modifyFile finds the file stored at path, an absolute path naming
// {root}\elsewhere\42.dat.
ToolCase ModifiesAt(const std::string& name, const std::string& path) {
    return {.name = name,
            .arguments = Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}\\source.bin"}),
            .script = "path " + path + "\n" + kStores,
            .filesBefore = {{"source.bin", kSource}, {"elsewhere/42.dat", "old"}},
            .expectedExitCode = 0,
            .expectedCalls = InOpenRepository(kModifyCalls),
            .expectedFiles = FileTree{{"source.bin", kSource},
                                      {"elsewhere/42.dat", kSource},
                                      {"elsewhere/42.dat.bak", kSource},
                                      {"repo/ZarnRepository.bin", path + "\n"},
                                      {"repo/ZarnRepository.bin.bak", path + "\n"}}};
}

const std::vector<ToolCase> kLocalFileCases = {
    AddsAt("AddFileTargetWithDriveLetter", "{root}\\stored\\a.txt"),
    AddsAt("AddFileTargetFromTheDriveRoot", "{root-without-drive}\\stored\\a.txt"),
    ModifiesAt("ModifyFileStoredPathWithDriveLetter", "{root}\\elsewhere\\42.dat"),
    ModifiesAt("ModifyFileStoredPathFromTheDriveRoot", "{root-without-drive}\\elsewhere\\42.dat"),
    {.name = "AddFileSourceHeldOpenForWritingByAnotherProcess",
     .arguments = AddFileTo("a.txt"),
     .script = kStores,
     .filesBefore = {{"source.bin", kSource}},
     .expectedOutput = "Error opening source file.\n\n",
     .expectedCalls = InOpenRepository({AddCall("a.txt")}),
     .filesHeldOpen = {"source.bin"}},
    {.name = "ModifyFileSourceHeldOpenForWritingByAnotherProcess",
     .arguments = Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}\\source.bin"}),
     .script = "path files/42.dat\n" + kStores,
     .filesBefore = {{"source.bin", kSource}, {"repo/files/42.dat", "old"}},
     .expectedOutput = "Error opening source file.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)"}),
     .filesHeldOpen = {"source.bin"}},
};

class LocalFiles : public testing::TestWithParam<ToolCase> {};
TEST_P(LocalFiles, PrintsExitsCallsAndStoresAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, LocalFiles, testing::ValuesIn(kLocalFileCases), CaseName());

}  // namespace
}  // namespace e2e
