#include "tests/e2e/Sandbox.h"

#include <memory>
#include <sstream>

namespace e2e {
namespace {

namespace fs = std::filesystem;
using test_support::Utf8FromPath;

// The usage text the tool prints after every argument error, in the 26
// pieces it is made of.
const std::string kUsage =
    "\n\nUSAGE:\n\n"
    "\t- /command:addFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
    "\t   /fileId:<FILE_ID> /fileDesc:<FILE_DESCRIPTION>\n"
    "\t   /fileVersion:<FILE_VERSION> /filePermissions:<FILE_PERMISSIONS>\n"
    "\t   /sourceFilePath:<SOURCE_FILE_PATH> /targetFilePath:<TARGET_FILE_PATH>\n\n"
    "\t\tAdds the file located in <SOURCE_FILE_PATH> to the repository\n"
    "\t\tin <REPOSITORY_DIRECTORY_PATH> on destination path specified\n"
    "\t\tin <TARGET_FILE_PATH> (absolute or relative).\n\n"
    "\t\t<FILE_PERMISSIONS> values:\n\t\t 1 -> User\n\t\t 2 -> Admin\n\t\t 3 -> Admin + User\n\n"
    "\tOR\n\n"
    "\t- /command:modifyFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
    "\t   /fileId:<FILE_ID> /sourceFilePath:<SOURCE_FILE_PATH>\n\n"
    "\t\tModifies the file specified in <FILE_ID> in the repository\n"
    "\t\tspecified in <REPOSITORY_DIRECTORY_PATH> with the\n"
    "\t\tcontent of the file located in <SOURCE_FILE_PATH>.\n\n"
    "\tOR\n\n"
    "\t- /command:deleteFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
    "\t   /fileId:<FILE_ID>\n\n"
    "\t\tDeletes the file specified in <FILE_ID> from the repository\n"
    "\t\tspecified in <REPOSITORY_DIRECTORY_PATH>.\n\n"
    "\tOR\n\n"
    "\t- /command:getFile /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
    "\t   /fileId:<FILE_ID> /targetFilePath:<TARGET_FILE_PATH>\n\n"
    "\t\tGets the content of the file specified in <FILE_ID>\n"
    "\t\tfrom the repository specified in <REPOSITORY_DIRECTORY_PATH>\n"
    "\t\tto the destination file specified in <TARGET_FILE_PATH>.\n\n";

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

Sandbox::Sandbox(const std::string& library) {
    fs::create_directory(Start());
    fs::create_directory(Repository());
    if (library.empty()) return;
    const std::size_t slash = library.find('/');
    const fs::path folder = slash == std::string::npos ? Start() : Root() / library.substr(0, slash);
    fs::copy_file(FakeLibraryPath(library.substr(slash + 1)), folder / "KVDFiles.dll");
}

std::string Sandbox::Expand(std::string text) const {
    ReplaceAll(text, "{root-without-drive}", Utf8FromPath(Root().root_directory() / Root().relative_path()));
    ReplaceAll(text, "{root}", Utf8FromPath(Root()));
    ReplaceAll(text, "{start}", Utf8FromPath(Start()));
    ReplaceAll(text, "{repo}", Utf8FromPath(Repository()));
    ReplaceAll(text, "{usage}", kUsage);
    return text;
}

void Sandbox::Check(const Row& row, test_support::ProcessRequest request) const {
    FileTree before;
    for (const auto& [name, content] : row.before) before[Expand(name)] = Expand(content);
    if (!row.script.empty()) before["start/fake-script.txt"] = Expand(row.script);
    test_support::WriteFileTree(Root(), before);
    FileTree expected = Files();
    for (const auto& [name, content] : row.after) {
        if (content == kGone) expected.erase(Expand(name));
        else expected[Expand(name)] = Expand(content);
    }
    std::unique_ptr<test_support::FileHeldForWriting> held;
    if (!row.heldOpen.empty()) held = std::make_unique<test_support::FileHeldForWriting>(Root() / row.heldOpen);
    request.commandLine = row.commandLine;
    Expect(*this, row.arguments, row.output, row.exitCode, request);
    EXPECT_EQ(Files(), expected);
}

void Expect(const Sandbox& sandbox, const std::vector<std::string>& arguments, const std::string& output, int exitCode,
            test_support::ProcessRequest request) {
    if (request.program.empty()) request.program = ToolPath();
    if (request.workingDirectory.empty()) request.workingDirectory = sandbox.Start();
    for (const std::string& argument : arguments) request.arguments.push_back(sandbox.Expand(argument));
    if (request.commandLine) request.commandLine = sandbox.Expand(*request.commandLine);
    const test_support::ProcessOutcome outcome = test_support::RunProcess(request);
    EXPECT_EQ(outcome.standardOutput, test_support::AsPrinted(sandbox.Expand(output)));
    EXPECT_EQ(outcome.exitCode, exitCode);
    EXPECT_EQ(outcome.standardError, "");
}

FileTree Sandbox::Files() const {
    return test_support::ReadFileTree(Root(), [](const std::string& name) { return name.ends_with("KVDFiles.dll"); });
}

std::vector<std::string> Split(const std::string& arguments) {
    std::vector<std::string> split;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) split.push_back(word);
    return split;
}

std::vector<std::string> Cmd(const std::string& command, const std::string& options) {
    return Split("/command:" + command + " /reposDirPath:{repo} " + options);
}

FileTree Stored(const std::string& file, const std::string& content, const std::string& indexed,
                const std::string& repo) {
    return Tree(file, content, file + ".bak", content, repo + "ZarnRepository.bin", indexed + "\n",
                repo + "ZarnRepository.bin.bak", indexed + "\n");
}

std::string Opened(const std::string& body, const std::string& repository) {
    return "@Loaded\n@InitLibrary(1)\n@GetRepositoryFromPath(" + repository + ")\n" + body +
           "@ReleaseLibrary()\n@Unloaded\n";
}

std::vector<Row> TextRows(const std::string& text, const std::string& separator) {
    const std::string root = "{root}" + separator;
    const std::string add = "/fileId:i" + text + " /fileDesc:d" + text + " /fileVersion:1 /filePermissions:1";
    const std::string added = "@AddFile(id=i" + text + ",target=t" + text + ",version=1,description=d" + text;
    const std::string read = "@GetFile(id=" + text + ")\n@OpenStream(mode=1,reserved=-1)\n@GetSize()\n@Read(size=1)\n";
    return {
        {"InvalidArgument", {"caf" + text}, "\n\nInvalid argument 'caf" + text + "'.\n\n{usage}"},
        {"InvalidCommand", Cmd("get" + text), Opened("\n\nInvalid command 'get" + text + "'\n\n")},
        {"AddFile", Cmd("addFile", add + " /sourceFilePath:" + root + "s" + text + " /targetFilePath:t" + text),
         Opened(added + ",permissions=1)\n@Write(size=1)\n@Close(1)\n"), 0, "", Tree("s" + text, "c"),
         Stored("repo/t" + text, "c", "t" + text)},
        {"GetFile", Cmd("getFile", "/fileId:" + text + " /targetFilePath:o" + text), Opened(read), 0, "",
         Tree("start/fake-content", "c"), Tree("repo/o" + text, "c")},
        {"RepositoryDirectory", Split("/command:deleteFile /reposDirPath:" + root + "r" + text + " /fileId:1"),
         Opened("@RemoveFile(id=1)\n", root + "r" + text), 0, "", Tree("r" + text + "/", "")},
    };
}

std::string DefaultLocationOutput(const std::optional<std::string>& openedAt) {
    if (!openedAt) return "@Loaded\n@InitLibrary(1)\n\n\nError getting repository path.\n\n@Unloaded\n";
    return "@Loaded\n@InitLibrary(1)\n@GetRepositoryFromPath(" + *openedAt +
           ")\n\n\nInvalid arguments.\n\n@ReleaseLibrary()\n@Unloaded\n{usage}";
}

fs::path ToolPath() { return test_support::PathFromUtf8(ZARN_TOOL_PATH); }

fs::path FakeLibraryPath(const std::string& variant) {
#ifdef ZARN_REAL_LIBRARY_PATH
    if (variant == "real") return test_support::PathFromUtf8(ZARN_REAL_LIBRARY_PATH);
#endif
    return test_support::PathFromUtf8(ZARN_FAKES_DIRECTORY) / variant / "KVDFiles.dll";
}

}  // namespace e2e
