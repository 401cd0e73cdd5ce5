// One row of an end-to-end table: what the tool is given, and everything it
// must leave behind. Texts may use {root}, {start} and {repo} (see Sandbox.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/Sandbox.h"
#include "tests/support/Files.h"
#include "tests/support/PrintedText.h"

namespace e2e {

struct ToolCase {
    // Every member has an initializer, so that a row names only what it needs.
    std::string name = {};                                    // a test name: letters and digits only
    std::vector<std::string> arguments = {};
    std::string script = {};                                  // for the stand-in library (FakeScript.h)
    test_support::FileTree filesBefore = {};                  // below {root}; "x/" is a directory
    std::string expectedOutput = {};                          // standard output, byte for byte
    int expectedExitCode = 1;
    std::vector<std::string> expectedCalls = {};              // the stand-in's log
    std::optional<test_support::FileTree> expectedFiles = {}; // unset: as before the run
    Library library = Library::Complete;
    std::optional<std::string> locale = {};                   // unset: no locale at all
    std::map<std::string, std::uintmax_t> sparseFilesBefore = {};  // below {root}: name -> size
    std::optional<std::uint64_t> addressSpaceLimit = {};           // the tool's, in bytes
    std::vector<std::string> filesHeldOpen = {};   // below {root}: held open for writing during the run
    std::optional<std::string> commandLine = {};   // Windows: the command line as typed, instead of arguments
};

// Runs the case in a fresh sandbox and checks output, exit code, calls and files.
void RunCase(const ToolCase& toolCase);

// Expected output texts are compared as the tool prints them (PrintedText.h).
using test_support::AsPrinted;

// Keeps test failures readable: a case prints as its name.
inline void PrintTo(const ToolCase& toolCase, std::ostream* out) { *out << toolCase.name; }

// For INSTANTIATE_TEST_SUITE_P: the case's name as the test's name.
struct CaseName {
    template <class ParamInfo>
    std::string operator()(const ParamInfo& info) const { return info.param.name; }
};

// Building rows.

// "/command:<name>", "/reposDirPath:{repo}", then the options.
std::vector<std::string> Command(const std::string& name, std::vector<std::string> options);
// The options without the one whose key is given.
std::vector<std::string> Without(std::vector<std::string> options, const std::string& key);
// The options with the one of the same key replaced by option.
std::vector<std::string> Replacing(std::vector<std::string> options, const std::string& option);

// The calls of a run that opens the repository at {repo}, makes handlerCalls
// and closes the repository again.
std::vector<std::string> InOpenRepository(const std::vector<std::string>& handlerCalls);
// What the stand-in prints when the script marks the call.
std::string Marker(const std::string& call);

}  // namespace e2e
