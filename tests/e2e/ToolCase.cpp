#include "tests/e2e/ToolCase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/fake_kvdfiles/FakeProtocol.h"
#include "tests/support/Utf8Path.h"

namespace e2e {
namespace {

std::string KeyOf(const std::string& option) { return option.substr(0, option.find(':')); }

void ExpectExitedWith(const test_support::ProcessOutcome& outcome, int exitCode) {
    EXPECT_EQ(outcome.terminatingSignal, 0) << "the tool was killed by a signal";
    EXPECT_EQ(outcome.exitCode, exitCode);
    EXPECT_EQ(outcome.standardError, "") << "the tool writes nothing to standard error";
}

void PrepareSandbox(const Sandbox& sandbox, const ToolCase& toolCase) {
    sandbox.WriteScript(toolCase.script);
    sandbox.AddFiles(toolCase.filesBefore);
    for (const auto& [name, size] : toolCase.sparseFilesBefore) {
        test_support::MakeSparseFile(sandbox.Root() / name, size);
    }
}

test_support::FileTree ExpandContents(const Sandbox& sandbox, test_support::FileTree files) {
    for (auto& entry : files) entry.second = sandbox.Expand(entry.second);
    return files;
}

test_support::ProcessOutcome RunHolding(const Sandbox& sandbox, const ToolCase& toolCase, const RunOptions& options) {
    std::vector<std::unique_ptr<test_support::FileHeldForWriting>> held;
    for (const std::string& name : toolCase.filesHeldOpen) {
        held.push_back(std::make_unique<test_support::FileHeldForWriting>(sandbox.Root() /
                                                                           test_support::PathFromUtf8(name)));
    }
    return sandbox.Run(sandbox.Expand(toolCase.arguments), options);
}

}  // namespace

void RunCase(const ToolCase& toolCase) {
    const Sandbox sandbox(toolCase.library);
    PrepareSandbox(sandbox, toolCase);
    const test_support::FileTree filesBeforeRun = sandbox.Files();

    RunOptions options;
    options.locale = toolCase.locale;
    options.addressSpaceLimit = toolCase.addressSpaceLimit;
    if (toolCase.commandLine) options.commandLine = sandbox.Expand(*toolCase.commandLine);
    const auto outcome = RunHolding(sandbox, toolCase, options);

    EXPECT_EQ(outcome.standardOutput, AsPrinted(sandbox.Expand(toolCase.expectedOutput)));
    ExpectExitedWith(outcome, toolCase.expectedExitCode);
    EXPECT_EQ(sandbox.Calls(), sandbox.Expand(toolCase.expectedCalls));
    EXPECT_EQ(sandbox.Files(), toolCase.expectedFiles ? ExpandContents(sandbox, *toolCase.expectedFiles) : filesBeforeRun);
}

std::vector<std::string> Command(const std::string& name, std::vector<std::string> options) {
    options.insert(options.begin(), {"/command:" + name, "/reposDirPath:{repo}"});
    return options;
}

std::vector<std::string> Without(std::vector<std::string> options, const std::string& key) {
    std::erase_if(options, [&](const std::string& option) { return KeyOf(option) == key; });
    return options;
}

std::vector<std::string> Replacing(std::vector<std::string> options, const std::string& option) {
    std::replace_if(
        options.begin(), options.end(), [&](const std::string& old) { return KeyOf(old) == KeyOf(option); },
        option);
    return options;
}

std::vector<std::string> InOpenRepository(const std::vector<std::string>& handlerCalls) {
    std::vector<std::string> calls = {fake_kvdfiles::kLoadedLine, "InitLibrary(1)", "GetRepositoryFromPath({repo})"};
    calls.insert(calls.end(), handlerCalls.begin(), handlerCalls.end());
    calls.insert(calls.end(), {"ReleaseLibrary()", fake_kvdfiles::kUnloadedLine});
    return calls;
}

std::string Marker(const std::string& call) { return fake_kvdfiles::kMarkerPrefix + call + "\n"; }

}  // namespace e2e
