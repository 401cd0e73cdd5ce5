// Arguments are wide text on Windows. Text beyond ASCII, and beyond the 16-bit
// range, names the same files and reaches the library unchanged, and a message
// that repeats an argument prints it as UTF-8.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

// e acute, O diaeresis, a CJK ideograph and a grinning face (a surrogate pair).
const std::string kText = "\xc3\xa9\xc3\x96\xe4\xb8\xad\xf0\x9f\x98\x80";

const std::vector<ToolCase> kEncodingCases = {
    {.name = "InvalidArgumentPrintsItsText",
     .arguments = {"caf" + kText},
     .expectedOutput = "\n\nInvalid argument 'caf" + kText + "'.\n\n" + UsageText()},
    {.name = "InvalidCommandPrintsItsText",
     .arguments = Command("get" + kText, {}),
     .expectedOutput = "\n\nInvalid command 'get" + kText + "'\n\n",
     .expectedCalls = InOpenRepository({})},
    {.name = "AddFileKeepsNamesAsGiven",
     .arguments = Command("addFile", {"/fileId:id" + kText, "/fileDesc:d" + kText, "/fileVersion:1",
                                      "/filePermissions:1", "/sourceFilePath:{root}\\s" + kText,
                                      "/targetFilePath:t" + kText}),
     .script = "store-content\ntouch-index\n",
     .filesBefore = {{"s" + kText, "content"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"AddFile(id=id" + kText + ",target=t" + kText + ",version=1,description=d" +
                                            kText + ",permissions=1)",
                                        "Write(size=7)", "Close(1)"}),
     .expectedFiles = test_support::FileTree{{"s" + kText, "content"},
                                             {"repo/t" + kText, "content"},
                                             {"repo/t" + kText + ".bak", "content"},
                                             {"repo/ZarnRepository.bin", "t" + kText + "\n"},
                                             {"repo/ZarnRepository.bin.bak", "t" + kText + "\n"}}},
    {.name = "GetFileWritesTheNamedTarget",
     .arguments = Command("getFile", {"/fileId:" + kText, "/targetFilePath:o" + kText}),
     .script = "content stored\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"GetFile(id=" + kText + ")", "OpenStream(mode=1,reserved=-1)", "GetSize()",
                                        "Read(size=6)"}),
     .expectedFiles = test_support::FileTree{{"repo/o" + kText, "stored"}}},
    {.name = "RepositoryDirectoryWithNonAsciiName",
     .arguments = {"/command:deleteFile", "/reposDirPath:{root}\\r" + kText, "/fileId:1"},
     .filesBefore = {{"r" + kText + "/", ""}},
     .expectedExitCode = 0,
     .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({root}\\r" + kText + ")",
                       "RemoveFile(id=1)", "ReleaseLibrary()", "Unloaded"}},
    {.name = "TypedCommandLineWithNonAsciiText",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=My " + kText + ")"}),
     .commandLine = "/command:deleteFile \"/reposDirPath:{repo}\" \"/fileId:My " + kText + "\""},
};

class Encoding : public testing::TestWithParam<ToolCase> {};
TEST_P(Encoding, KeepsTextAsGiven) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, Encoding, testing::ValuesIn(kEncodingCases), CaseName());

}  // namespace
}  // namespace e2e
