#include "tests/e2e/Sandbox.h"

#include <stdexcept>

#include "tests/fake_kvdfiles/FakeProtocol.h"
#include "tests/support/Utf8Path.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLibraryFileName = "KVDFiles.dll";
constexpr const char* kScriptFileName = "script.txt";
constexpr const char* kCallLogFileName = "calls.log";

// Every variable that could give the tool a locale.
const std::vector<std::string> kLocaleVariables = {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_MESSAGES"};

fs::path FakeLibraryPath(const std::string& variant) {
    return fs::path(ZARN_FAKES_DIRECTORY) / variant / kLibraryFileName;
}

fs::path LibrarySource(Library library) {
    switch (library) {
        case Library::Complete:
        case Library::CompleteInRepositoryOnly: return FakeLibraryPath("complete");
        case Library::WithoutInitLibrary: return FakeLibraryPath("without-InitLibrary");
        case Library::WithoutReleaseLibrary: return FakeLibraryPath("without-ReleaseLibrary");
        case Library::WithoutGetRepository: return FakeLibraryPath("without-GetRepository");
        case Library::WithoutGetRepositoryFromPath: return FakeLibraryPath("without-GetRepositoryFromPath");
#ifdef ZARN_REAL_LIBRARY_PATH
        case Library::Real: return ZARN_REAL_LIBRARY_PATH;
#endif
        default: throw std::logic_error("this library has no file to copy");
    }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool IsInfrastructure(const std::string& name) {
    return name == kScriptFileName || name == kCallLogFileName || fs::path(name).filename() == kLibraryFileName;
}

}  // namespace

Sandbox::Sandbox(Library library) {
    fs::create_directory(Start());
    fs::create_directory(Repository());
    PlaceLibrary(library);
}

void Sandbox::PlaceLibrary(Library library) const {
    switch (library) {
        case Library::Missing: return;
        case Library::NotALibrary: test_support::WriteFileBytes(Start() / kLibraryFileName, "not a library\n"); return;
        case Library::CompleteInRepositoryOnly: fs::copy_file(LibrarySource(library), Repository() / kLibraryFileName); return;
        default: fs::copy_file(LibrarySource(library), Start() / kLibraryFileName); return;
    }
}

std::string Sandbox::Expand(std::string text) const {
    ReplaceAll(text, "{root-without-drive}", test_support::Utf8FromPath(Root().root_directory() / Root().relative_path()));
    ReplaceAll(text, "{root}", test_support::Utf8FromPath(Root()));
    ReplaceAll(text, "{start}", test_support::Utf8FromPath(Start()));
    ReplaceAll(text, "{repo}", test_support::Utf8FromPath(Repository()));
    return text;
}

std::vector<std::string> Sandbox::Expand(std::vector<std::string> texts) const {
    for (auto& text : texts) text = Expand(text);
    return texts;
}

void Sandbox::WriteScript(const std::string& script) const {
    test_support::WriteFileBytes(Root() / kScriptFileName, Expand(script));
}

void Sandbox::AddFiles(const test_support::FileTree& files) const {
    for (const auto& [name, content] : files) {
        const fs::path path = Root() / test_support::PathFromUtf8(name);
        if (name.ends_with('/')) {
            fs::create_directories(path);
        } else {
            fs::create_directories(path.parent_path());
            test_support::WriteFileBytes(path, content);
        }
    }
}

test_support::ProcessOutcome Sandbox::Run(const std::vector<std::string>& arguments, const RunOptions& options) const {
    test_support::ProcessRequest request;
    request.program = options.tool.empty() ? ToolPath() : options.tool;
    request.arguments = arguments;
    request.workingDirectory = options.startDirectory.empty() ? Start() : options.startDirectory;
    request.commandLine = options.commandLine;
    request.setVariables[fake_kvdfiles::kScriptVariable] = test_support::Utf8FromPath(Root() / kScriptFileName);
    request.setVariables[fake_kvdfiles::kCallLogVariable] = test_support::Utf8FromPath(Root() / kCallLogFileName);
    request.unsetVariables = kLocaleVariables;
    if (options.locale) request.setVariables["LC_ALL"] = *options.locale;
    request.removeWorkingDirectoryAtStart = options.removeStartDirectory;
    request.addressSpaceLimit = options.addressSpaceLimit;
    request.standardInput = options.standardInput;
    return test_support::RunProcess(request);
}

test_support::FileTree Sandbox::Files() const {
    return test_support::ReadFileTree(Root(), IsInfrastructure);
}

std::vector<std::string> Sandbox::Calls() const {
    const fs::path log = Root() / kCallLogFileName;
    return fs::exists(log) ? SplitLines(test_support::ReadFileBytes(log)) : std::vector<std::string>{};
}

std::filesystem::path ToolPath() { return ZARN_TOOL_PATH; }

std::filesystem::path TestRootToolPath() {
#ifdef ZARN_TESTROOT_TOOL_PATH
    return ZARN_TESTROOT_TOOL_PATH;
#else
    return {};
#endif
}

std::filesystem::path TestRootDirectory() { return ZARN_TESTROOT_DIRECTORY; }

bool HasRealLibrary() {
#ifdef ZARN_REAL_LIBRARY_PATH
    return true;
#else
    return false;
#endif
}

}  // namespace e2e
