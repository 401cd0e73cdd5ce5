// Arguments are bytes. Whatever the locale, a name that is not valid UTF-8
// still names the same file, and a message that repeats an argument prints
// its original bytes.
#include <gtest/gtest.h>

#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

// UTF-8 e acute, a stray 0xFF, a lone continuation byte, a grinning face
// (outside the 16-bit range), and a cut three-byte sequence.
const std::string kOddBytes = "\xc3\xa9\xff\x80\xf0\x9f\x98\x80\xe2\x82";

const std::vector<ToolCase> kEncodingCases = {
    {.name = "InvalidArgumentPrintsItsBytes",
     .arguments = {"caf" + kOddBytes},
     .expectedOutput = "\n\nInvalid argument 'caf" + kOddBytes + "'.\n\n" + UsageText()},
    {.name = "InvalidCommandPrintsItsBytes",
     .arguments = Command("get" + kOddBytes, {}),
     .expectedOutput = "\n\nInvalid command 'get" + kOddBytes + "'\n\n",
     .expectedCalls = InOpenRepository({})},
    {.name = "AddFileKeepsNamesByteForByte",
     .arguments = Command("addFile", {"/fileId:id" + kOddBytes, "/fileDesc:d" + kOddBytes, "/fileVersion:1",
                                      "/filePermissions:1", "/sourceFilePath:{root}/s" + kOddBytes,
                                      "/targetFilePath:t" + kOddBytes}),
     .script = "store-content\ntouch-index\n",
     .filesBefore = {{"s" + kOddBytes, "content"}},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"AddFile(id=id" + kOddBytes + ",target=t" + kOddBytes +
                                            ",version=1,description=d" + kOddBytes + ",permissions=1)",
                                        "Write(size=7)", "Close(1)"}),
     .expectedFiles = test_support::FileTree{{"s" + kOddBytes, "content"},
                                             {"repo/t" + kOddBytes, "content"},
                                             {"repo/t" + kOddBytes + ".bak", "content"},
                                             {"repo/ZarnRepository.bin", "t" + kOddBytes + "\n"},
                                             {"repo/ZarnRepository.bin.bak", "t" + kOddBytes + "\n"}}},
    {.name = "GetFileWritesTheNamedTarget",
     .arguments = Command("getFile", {"/fileId:" + kOddBytes, "/targetFilePath:o" + kOddBytes}),
     .script = "content stored\n",
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"GetFile(id=" + kOddBytes + ")", "OpenStream(mode=1,reserved=-1)",
                                        "GetSize()", "Read(size=6)"}),
     .expectedFiles = test_support::FileTree{{"repo/o" + kOddBytes, "stored"}}},
    {.name = "RepositoryDirectoryWithOddBytes",
     .arguments = {"/command:deleteFile", "/reposDirPath:{root}/r" + kOddBytes, "/fileId:1"},
     .filesBefore = {{"r" + kOddBytes + "/", ""}},
     .expectedExitCode = 0,
     .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({root}/r" + kOddBytes + ")",
                       "RemoveFile(id=1)", "ReleaseLibrary()", "Unloaded"}},
};

// Every case once with no locale at all, and once with each of these.
const std::vector<std::pair<std::string, std::string>> kLocales = {
    {"CLocale", "C"}, {"PosixLocale", "POSIX"}, {"Utf8Locale", "C.UTF-8"}};

std::vector<ToolCase> CasesInEveryLocale() {
    std::vector<ToolCase> cases;
    for (const ToolCase& base : kEncodingCases) {
        cases.push_back(base);
        cases.back().name += "WithoutLocale";
        for (const auto& [suffix, locale] : kLocales) {
            cases.push_back(base);
            cases.back().name += "In" + suffix;
            cases.back().locale = locale;
        }
    }
    return cases;
}

class Encoding : public testing::TestWithParam<ToolCase> {};
TEST_P(Encoding, KeepsBytesAsGiven) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, Encoding, testing::ValuesIn(CasesInEveryLocale()), CaseName());

}  // namespace
}  // namespace e2e
