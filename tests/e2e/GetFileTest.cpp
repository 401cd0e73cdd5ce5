// getFile: GetFile, OpenStream for reading, GetSize, one Read, then the target
// file, written whole. The stream is never closed.
#include <gtest/gtest.h>

#include "tests/e2e/PlatformCases.h"
#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kGetOptions = {"/fileId:42", "/targetFilePath:out.txt"};
const std::vector<std::string> kUpToRead = {"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()",
                                            "Read(size=5)"};
const std::string kInvalidGetFile = "\n\nInvalid arguments for 'getFile' command.\n\n";
// Every byte value that text handling could lose: NUL, high bytes, line breaks.
const std::string kBinaryContent = "\x00\xff\x01\r\n\x80zz\x00"s;

const std::vector<ToolCase> kGetFileCases = {
    {.name = "MissingFileId",
     .arguments = Command("getFile", Without(kGetOptions, "/fileId")),
     .expectedOutput = kInvalidGetFile + UsageText(),
     .expectedCalls = InOpenRepository({})},
    {.name = "MissingTargetFilePath",
     .arguments = Command("getFile", Without(kGetOptions, "/targetFilePath")),
     .expectedOutput = kInvalidGetFile + UsageText(),
     .expectedCalls = InOpenRepository({})},
    {.name = "FileIdKeyIsCaseSensitive",
     .arguments = Command("getFile", {"/fileid:42", "/targetFilePath:out.txt"}),
     .expectedOutput = kInvalidGetFile + UsageText(),
     .expectedCalls = InOpenRepository({})},
    {.name = "UnknownFileId",
     .arguments = Command("getFile", kGetOptions),
     .script = "fail GetFile 2\n",
     .expectedOutput = "Error getting IZarnFile from IZarnRepository.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)"})},
    {.name = "OpenStreamFails",
     .arguments = Command("getFile", kGetOptions),
     .script = "fail OpenStream 5\n",
     .filesBefore = {{"repo/out.txt", "older"}},
     .expectedOutput = "Error creating IZarnFileStream from IZarnFile.\n\n",
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)"})},
    {.name = "ReadFailsAndLeavesTheTargetAlone",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello\nfail Read 9\n",
     .filesBefore = {{"repo/out.txt", "older"}},
     .expectedOutput = "Error reading from IZarnFileStream.\n\n",
     .expectedCalls = InOpenRepository(kUpToRead)},
    {.name = "TargetIsADirectory",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello\n",
     .filesBefore = {{"repo/out.txt/", ""}},
     .expectedOutput = "Error opening target file.\n\n",
     .expectedCalls = InOpenRepository(kUpToRead)},
    {.name = "TargetDirectoryMissing",
     .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:missing/out.txt"}),
     .script = "content hello\n",
     .expectedOutput = "Error opening target file.\n\n",
     .expectedCalls = InOpenRepository(kUpToRead)},
    {.name = "WritesTheStoredContentByteForByte",
     .arguments = Command("getFile", kGetOptions),
     .script = "content-hex 00ff010d0a807a7a00\n",
     .expectedOutput = "",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()",
                                        "Read(size=9)"}),
     .expectedFiles = test_support::FileTree{{"repo/out.txt", kBinaryContent}}},
    {.name = "ReplacesALongerTarget",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello\n",
     .filesBefore = {{"repo/out.txt", "a much longer older content"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kUpToRead),
     .expectedFiles = test_support::FileTree{{"repo/out.txt", "hello"}}},
    {.name = "BufferHasTheSizeGetSizeReports",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello world\nsize 5\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kUpToRead),
     .expectedFiles = test_support::FileTree{{"repo/out.txt", "hello"}}},
    {.name = "WritesTheCountReadReports",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello\nread-count 3\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kUpToRead),
     .expectedFiles = test_support::FileTree{{"repo/out.txt", "hel"}}},
    {.name = "ReadReportingMoreThanTheBufferIsAReadError",
     .arguments = Command("getFile", kGetOptions),
     .script = "content hello\nread-count 4096\n",
     .filesBefore = {{"repo/out.txt", "older"}},
     .expectedOutput = "Error reading from IZarnFileStream.\n\n",
     .expectedCalls = InOpenRepository(kUpToRead)},
    {.name = "EmptyStoredFile",
     .arguments = Command("getFile", kGetOptions),
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"GetFile(id=42)", "OpenStream(mode=1,reserved=-1)", "GetSize()",
                                        "Read(size=0)"}),
     .expectedFiles = test_support::FileTree{{"repo/out.txt", ""}}},
    {.name = "AbsoluteTargetPath",
     .arguments = Command("getFile", {"/fileId:42", "/targetFilePath:{root}/out.txt"}),
     .script = "content hello\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository(kUpToRead),
     .expectedFiles = test_support::FileTree{{"out.txt", "hello"}}},
};

std::vector<ToolCase> GetFileCases() {
    std::vector<ToolCase> cases = kGetFileCases;
    const std::vector<ToolCase> platformCases = PlatformGetFileCases();
    cases.insert(cases.end(), platformCases.begin(), platformCases.end());
    return cases;
}

class GetFile : public testing::TestWithParam<ToolCase> {};
TEST_P(GetFile, PrintsExitsCallsAndWritesAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, GetFile, testing::ValuesIn(GetFileCases()), CaseName());

}  // namespace
}  // namespace e2e
