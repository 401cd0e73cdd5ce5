// modifyFile: GetFile, the source file read whole, OpenStream for writing, one
// Write, Close(1), the stored path from GetInfo/GetPath, then the backups of
// that path and of the index.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

using test_support::FileTree;
using namespace std::string_literals;

const std::string kSource = "new\x00\xff content\n"s;
const std::string kWriteSource = "Write(size=" + std::to_string(kSource.size()) + ")";
const std::vector<std::string> kModifyOptions = {"/fileId:42", "/sourceFilePath:{root}/source.bin"};
const std::string kStoredAt = "path files/42.dat\n";
const std::string kStores = "store-content\ntouch-index\n";
const std::string kInvalidModifyFile = "\n\nInvalid arguments for 'modifyFile' command.\n\n";
const std::vector<std::string> kWritten = {"GetFile(id=42)", "OpenStream(mode=0,reserved=-1)", kWriteSource,
                                          "Close(1)", "GetInfo()", "GetPath()"};
const FileTree kStoredBefore = {{"source.bin", kSource}, {"repo/files/42.dat", "old content, longer than new"}};

const std::vector<ToolCase> kModifyFileCases = {
    {.name = "MissingFileId",
     .arguments = Command("modifyFile", Without(kModifyOptions, "/fileId")),
     .filesBefore = kStoredBefore,
     .expectedOutput = kInvalidModifyFile + UsageText(),
     .expectedCalls = InOpenRepository({})},
    {.name = "MissingSourceFilePath",
     .arguments = Command("modifyFile", Without(kModifyOptions, "/sourceFilePath")),
     .filesBefore = kStoredBefore,
     .expectedOutput = kInvalidModifyFile + UsageText(),
     .expectedCalls = InOpenRepository({})},
    {.name = "UnknownFileIdIsFoundBeforeTheSourceIsOpened",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = "fail GetFile 2\n",
     .expectedOutput = "Error adding new file to IZarnRepository.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)"})},
    {.name = "SourceMissing",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = kStoredAt,
     .expectedOutput = "Error opening source file.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)"})},
    {.name = "OpenStreamFails",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = kStoredAt + "fail OpenStream 5\n",
     .filesBefore = kStoredBefore,
     .expectedOutput = "Error creating IZarnFileStream to repository file.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=0,reserved=-1)"})},
    {.name = "WriteFailsButTheStreamIsClosed",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = kStoredAt + "fail Write 6\n",
     .filesBefore = kStoredBefore,
     .expectedOutput = "Error writting file.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=0,reserved=-1)", kWriteSource, "Close(1)"})},
    {.name = "StoredFileBackupFailsSoTheIndexIsNotCopied",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = "path files/missing.dat\n",
     .filesBefore = {{"source.bin", kSource}, {"repo/ZarnRepository.bin", "index"}},
     .expectedOutput = "Error creating file backup.\n\n",
     .expectedCalls = InOpenRepository(kWritten)},
    {.name = "IndexBackupFails",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = kStoredAt + "store-content\n",
     .filesBefore = kStoredBefore,
     .expectedOutput = "Error creating file backup.\n\n",
     .expectedCalls = InOpenRepository(kWritten),
     .expectedFiles = FileTree{{"source.bin", kSource},
                               {"repo/files/42.dat", kSource},
                               {"repo/files/42.dat.bak", kSource}}},
    // The backup is of the path the library reports, whatever the options say.
    {.name = "ReplacesAndBacksUpTheStoredPath",
     .arguments = Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}/source.bin", "/targetFilePath:decoy"}),
     .script = kStoredAt + kStores,
     .filesBefore = {{"source.bin", kSource}, {"repo/files/42.dat", "old"}, {"repo/decoy", "decoy"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kWritten),
     .expectedFiles = FileTree{{"source.bin", kSource},
                               {"repo/decoy", "decoy"},
                               {"repo/files/42.dat", kSource},
                               {"repo/files/42.dat.bak", kSource},
                               {"repo/ZarnRepository.bin", "files/42.dat\n"},
                               {"repo/ZarnRepository.bin.bak", "files/42.dat\n"}}},
    {.name = "EmptySource",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = kStoredAt + kStores,
     .filesBefore = {{"source.bin", ""}, {"repo/files/42.dat", "old"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(
         {"GetFile(id=42)", "OpenStream(mode=0,reserved=-1)", "Write(size=0)", "Close(1)", "GetInfo()", "GetPath()"}),
     .expectedFiles = FileTree{{"source.bin", ""},
                               {"repo/files/42.dat", ""},
                               {"repo/files/42.dat.bak", ""},
                               {"repo/ZarnRepository.bin", "files/42.dat\n"},
                               {"repo/ZarnRepository.bin.bak", "files/42.dat\n"}}},
    {.name = "AbsoluteStoredPathIsBackedUpWhereItIs",
     .arguments = Command("modifyFile", kModifyOptions),
     .script = "path {root}/elsewhere/42.dat\n" + kStores,
     .filesBefore = {{"source.bin", kSource}, {"elsewhere/42.dat", "old"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kWritten),
     .expectedFiles = FileTree{{"source.bin", kSource},
                               {"elsewhere/42.dat", kSource},
                               {"elsewhere/42.dat.bak", kSource},
                               {"repo/ZarnRepository.bin", "{root}/elsewhere/42.dat\n"},
                               {"repo/ZarnRepository.bin.bak", "{root}/elsewhere/42.dat\n"}}},
    {.name = "RelativeRepositoryDirectoryBacksUpInsideIt",
     .arguments = {"/command:modifyFile", "/reposDirPath:repo", "/fileId:42", "/sourceFilePath:{root}/source.bin"},
     .script = kStoredAt + kStores,
     .filesBefore = {{"source.bin", kSource}, {"start/repo/files/42.dat", "old"}},
     .expectedExitCode = 0,
     .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath(repo)", "GetFile(id=42)",
                       "OpenStream(mode=0,reserved=-1)", kWriteSource, "Close(1)", "GetInfo()", "GetPath()",
                       "ReleaseLibrary()", "Unloaded"},
     .expectedFiles = FileTree{{"source.bin", kSource},
                               {"start/repo/files/42.dat", kSource},
                               {"start/repo/files/42.dat.bak", kSource},
                               {"start/repo/ZarnRepository.bin", "files/42.dat\n"},
                               {"start/repo/ZarnRepository.bin.bak", "files/42.dat\n"}}},
};

class ModifyFile : public testing::TestWithParam<ToolCase> {};
TEST_P(ModifyFile, PrintsExitsCallsAndStoresAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, ModifyFile, testing::ValuesIn(kModifyFileCases), CaseName());

}  // namespace
}  // namespace e2e
