// Argument rows only Windows can run: the tool gets one command line and its
// start-up splits it into arguments (blanks separate them outside double
// quotes; a backslash escapes only a double quote) before the argument map
// sees them.
#include "tests/e2e/PlatformCases.h"
#include "tests/e2e/UsageText.h"

namespace e2e {
namespace {

const std::string kDeleteIn = "/command:deleteFile \"/reposDirPath:{repo}\" ";

// deleteFile typed with this rest of the command line removes this file id.
ToolCase Splits(const std::string& name, const std::string& rest, const std::string& fileId) {
    return {.name = name,
            .expectedExitCode = 0,
            .expectedCalls = InOpenRepository({"RemoveFile(id=" + fileId + ")"}),
            .commandLine = kDeleteIn + rest};
}

}  // namespace

std::vector<ToolCase> PlatformArgumentMapCases() {
    return {
        Splits("TypedQuotesKeepABlankInTheValue", "/fileId:\"My file\"", "My file"),
        Splits("TypedQuotesAroundTheWholeArgument", "\"/fileId:My file\"", "My file"),
        Splits("TypedQuotesAroundTheBlankAlone", "/fileId:My\" \"file", "My file"),
        Splits("TypedQuoteLeftOpenRunsToTheEnd", "/fileId:\"My file", "My file"),
        Splits("TypedEscapedQuoteStays", "/fileId:a\\\"b", "a\"b"),
        Splits("TypedBackslashesBeforeOtherCharactersStay", "/fileId:a\\\\b\\c", "a\\\\b\\c"),
        Splits("TypedDoubledBackslashBeforeAQuoteIsOne", "\"/fileId:a b\\\\\"", "a b\\"),
        Splits("TypedEscapedQuotesReachTheArgumentMap", "/fileId:\\\"\\\"abc\\\"\\\"", "\"abc\""),
        Splits("TabsAndRunsOfBlanksSeparate", "\t /colour:blue \t  /fileId:7  ", "7"),
        {.name = "TypedBlankWithoutQuotesSplitsTheValue",
         .expectedOutput = "\n\nInvalid argument 'file'.\n\n" + UsageText(),
         .commandLine = kDeleteIn + "/fileId:My file"},
        {.name = "TypedRepositoryPathWithBlanks",
         .filesBefore = {{"my repo/", ""}},
         .expectedExitCode = 0,
         .expectedCalls = {"Loaded", "InitLibrary(1)", "GetRepositoryFromPath({root}\\my repo)", "RemoveFile(id=7)",
                           "ReleaseLibrary()", "Unloaded"},
         .commandLine = "/command:deleteFile \"/reposDirPath:{root}\\my repo\" /fileId:7"},
    };
}

}  // namespace e2e
