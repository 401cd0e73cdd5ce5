// How options on the command line become values, seen through the identifier
// that deleteFile hands to the library.
#include <gtest/gtest.h>

#include "tests/e2e/CaseTables.h"
#include "tests/e2e/PlatformCases.h"
#include "tests/e2e/ToolCase.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

// deleteFile with these options succeeds and removes the file id given.
ToolCase Removes(const std::string& name, const std::vector<std::string>& options, const std::string& fileId) {
    return {.name = name,
            .arguments = Command("deleteFile", options),
            .expectedExitCode = 0,
            .expectedCalls = InOpenRepository({"RemoveFile(id=" + fileId + ")"})};
}

// deleteFile with these options finds no /fileId.
ToolCase LacksFileId(const std::string& name, const std::vector<std::string>& options) {
    return {.name = name,
            .arguments = Command("deleteFile", options),
            .expectedOutput = "\n\nInvalid arguments for 'deleteFile' command.\n\n" + UsageText(),
            .expectedCalls = InOpenRepository({})};
}

const std::vector<ToolCase> kArgumentCases = {
    Removes("PlainValue", {"/fileId:42"}, "42"),
    Removes("QuotedValue", {"/fileId:\"My file\""}, "My file"),
    Removes("LeadingQuoteOnly", {"/fileId:\"My file"}, "My file"),
    Removes("ClosingQuoteOnly", {"/fileId:My file\""}, "My file"),
    Removes("SingleQuoteIsEmpty", {"/fileId:\""}, ""),
    Removes("TwoQuotesAreEmpty", {"/fileId:\"\""}, ""),
    Removes("OneQuoteGoesAtEachEnd", {"/fileId:\"\"abc\"\""}, "\"abc\""),
    Removes("QuoteInTheMiddleStays", {"/fileId:a\"b"}, "a\"b"),
    Removes("EmptyValueIsPresent", {"/fileId:"}, ""),
    Removes("OnlyTheFirstColonSplits", {"/fileId:a:b:c"}, "a:b:c"),
    Removes("FirstOccurrenceWins", {"/fileId:1", "/fileId:2"}, "1"),
    Removes("UnknownKeysAreIgnored", {"/colour:blue", "/fileId:7"}, "7"),
    Removes("EmptyKeyIsAccepted", {":x", "/fileId:7"}, "7"),
    LacksFileId("KeysAreCaseSensitive", {"/FileId:42"}),
    LacksFileId("KeyWithoutSlashIsAnotherKey", {"fileId:42"}),
    {.name = "FirstCommandWins",
     .arguments = {"/command:deleteFile", "/command:getFile", "/reposDirPath:{repo}", "/fileId:7"},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=7)"})},
    {.name = "QuotedRepositoryPath",
     .arguments = {"/command:deleteFile", "/reposDirPath:\"{repo}\"", "/fileId:7"},
     .expectedExitCode = 0,
     .expectedCalls = InOpenRepository({"RemoveFile(id=7)"})},
};

class ArgumentMap : public testing::TestWithParam<ToolCase> {};
TEST_P(ArgumentMap, PassesTheValueAsExpected) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, ArgumentMap, testing::ValuesIn(ArgumentMapCases()), CaseName());

}  // namespace

std::vector<ToolCase> ArgumentMapCases() {
    std::vector<ToolCase> cases = kArgumentCases;
    const std::vector<ToolCase> platformCases = PlatformArgumentMapCases();
    cases.insert(cases.end(), platformCases.begin(), platformCases.end());
    return cases;
}

}  // namespace e2e
