// Every platform's runs with the stand-in library: the rows each command's
// table generates (an option missing, each library call failing, each backup
// failing, success), then the rows written by hand, one fact of the wiring
// each. Parsing the options and the permissions number, the bounded texts
// and the default location are tested in their modules' tables.
#include "tests/e2e/Sandbox.h"

namespace e2e {
namespace {

using namespace std::string_literals;

// Every byte value that text handling could lose: NUL, high bytes, line breaks.
const std::string kContent = "line one\r\n\x00\xff\x80 end"s;
const std::string kWrite = "Write(size=" + std::to_string(kContent.size()) + ")";

// A library call; failure is what follows it when it fails, empty when it cannot.
struct Call {
    std::string line, failure;
};
Call C(std::string line, std::string failure = {}) { return {std::move(line), std::move(failure)}; }
template <class... Calls>
std::vector<Call> Sequence(const Calls&... calls) {
    return {calls...};
}

// A command's successful run: what it needs, and the library calls it makes in order.
struct Command {
    std::string name;
    std::string options;  // every option it requires
    FileTree before;
    std::string script;
    std::vector<Call> calls;
    std::string stored = {};  // the stored copy that it writes and backs up, below {root}
    FileTree written = {};    // what else it writes
};

const std::vector<Command> kCommands = {
    {"getFile", "/fileId:42 /targetFilePath:out.txt",
     Tree("start/fake-content", kContent, "repo/out.txt", "a longer, older content"), "",
     Sequence(C("GetFile(id=42)", "Error getting IZarnFile from IZarnRepository.\n\n"),
              C("OpenStream(mode=1,reserved=-1)", "Error creating IZarnFileStream from IZarnFile.\n\n"), C("GetSize()"),
              C("Read(size=" + std::to_string(kContent.size()) + ")", "Error reading from IZarnFileStream.\n\n")),
     "", Tree("repo/out.txt", kContent)},
    // Older backups, and the temporary of a backup copy cut short, are replaced.
    {"addFile",
     "/fileId:42 /fileDesc:d /fileVersion:1.0 /filePermissions:3 /sourceFilePath:{root}/in /targetFilePath:a",
     Tree("in", kContent, "repo/a.bak", "an older and longer backup", "repo/a.bak.tmp", "cut short"), "",
     Sequence(C("AddFile(id=42,target=a,version=1.0,description=d,permissions=3)",
                "Error adding new file to IZarnRepository.\n\n"),
              C(kWrite, "@Close(1)\nError writting file.\n\n"), C("Close(1)")),
     "repo/a", Tree("repo/a.bak.tmp", kGone)},
    {"modifyFile", "/fileId:42 /sourceFilePath:{root}/in", Tree("in", kContent, "repo/files/42.dat", "old"),
     "GetPath files/42.dat",
     Sequence(C("GetFile(id=42)", "Error adding new file to IZarnRepository.\n\n"),
              C("OpenStream(mode=0,reserved=-1)", "Error creating IZarnFileStream to repository file.\n\n"),
              C(kWrite, "@Close(1)\nError writting file.\n\n"), C("Close(1)"), C("GetInfo()"), C("GetPath()")),
     "repo/files/42.dat"},
    {"deleteFile", "/fileId:42", FileTree(), "",
     Sequence(C("RemoveFile(id=42)", "Error deleting file from IZarnRepository.\n\n"))},
};

std::string Calls(const std::vector<Call>& calls, std::size_t count) {
    std::string lines;
    for (std::size_t i = 0; i < count; ++i) lines += "@" + calls[i].line + "\n";
    return lines;
}

void AddGenerated(const Command& command, std::vector<Row>& rows) {
    const std::string done = Calls(command.calls, command.calls.size());
    const std::vector<std::string> arguments = Cmd(command.name, command.options);
    for (const std::string& option : Split(command.options)) {
        const std::string key = option.substr(0, option.find(':'));
        std::vector<std::string> without = arguments;
        std::erase(without, option);
        rows.push_back({command.name + "Without" + key.substr(1), without,
                        Opened("\n\nInvalid arguments for '" + command.name + "' command.\n\n{usage}"), 1,
                        command.script, command.before});
    }
    for (std::size_t i = 0; i < command.calls.size(); ++i) {
        const Call& call = command.calls[i];
        if (call.failure.empty()) continue;
        const std::string operation = call.line.substr(0, call.line.find('('));
        rows.push_back({command.name + "When" + operation + "Fails", arguments,
                        Opened(Calls(command.calls, i + 1) + call.failure), 1,
                        command.script + "\n" + operation + " 7\n", command.before});
    }
    Row success = {
        command.name + "Succeeds", arguments, Opened(done), 0, command.script, command.before, command.written};
    if (!command.stored.empty()) {
        success.after.merge(Stored(command.stored, kContent, command.stored.substr(std::string("repo/").size())));
        // A backup that cannot be made fails the command after the change; the
        // index is not copied after a failed copy of the stored file.
        Row storedBackupFails = success;
        storedBackupFails.name = command.name + "WhenTheStoredCopysBackupFails";
        storedBackupFails.before.erase(command.stored + ".bak");
        storedBackupFails.before[command.stored + ".bak/"] = "";
        storedBackupFails.after.erase(command.stored + ".bak");
        storedBackupFails.after.erase("repo/ZarnRepository.bin.bak");
        storedBackupFails.output = Opened(done + "Error creating file backup.\n\n");
        storedBackupFails.exitCode = 1;
        Row indexBackupFails = storedBackupFails;
        indexBackupFails.name = command.name + "WhenTheIndexsBackupFails";
        indexBackupFails.before = command.before;
        indexBackupFails.before["repo/ZarnRepository.bin.bak/"] = "";
        indexBackupFails.after[command.stored + ".bak"] = kContent;
        rows.insert(rows.end(), {storedBackupFails, indexBackupFails});
    }
    rows.push_back(success);
}

// After "/fileId:1" and any option a row gives first: the first of a key counts.
const std::string kAddOptions =
    "/fileDesc:d /fileVersion:1 /filePermissions:3 /sourceFilePath:{root}/in /targetFilePath:a";
const std::string kAddCall = "@AddFile(id=1,target=a,version=1,description=d,permissions=3)\n";
const std::string kLoadError = "\n\nError loading KVDFiles library.\n\n";
const std::string kUpToRead = "@GetFile(id=1)\n@OpenStream(mode=1,reserved=-1)\n@GetSize()\n";
const std::vector<std::string> kDelete = Cmd("deleteFile", "/fileId:1");
const std::vector<std::string> kGet = Cmd("getFile", "/fileId:1 /targetFilePath:out");
const std::vector<std::string> kAdd = Cmd("addFile", "/fileId:1 " + kAddOptions);

const std::vector<Row> kHandRows = {
    // Argument errors end the run before the library is loaded.
    {"NoArguments", {}, "\n\nInvalid arguments.\n\n{usage}"},
    {"FirstArgumentWithoutColonIsPrintedAsText", Split("/command:deleteFile %s%n%d" + std::string(3000, 'x') + " y"),
     "\n\nInvalid argument '%s%n%d" + std::string(3000, 'x') + "'.\n\n{usage}"},
    {"NoCommand", Split("/reposDirPath:{repo} /fileId:1"), "\n\nInvalid arguments.\n\n{usage}"},
    // The first /command counts, as the tool's argument map keeps the first of a key.
    {"UnknownCommandIsPrintedAsText", Split("/command:%sgetFile /command:getFile /reposDirPath:{repo}"),
     Opened("\n\nInvalid command '%sgetFile'\n\n")},
    {"RepositoryDirectoryMissing", Split("/command:deleteFile /reposDirPath:{root}/gone /fileId:1"),
     Opened("\n\nError setting current directory to repository path.\n\n", "{root}/gone")},
    {"RelativeRepositoryDirectoryStartsAtTheStartDirectory",
     Split("/command:deleteFile /reposDirPath:../repo /fileId:1"), Opened("@RemoveFile(id=1)\n", "../repo"), 0},
    {"QuotedValuesReachTheLibrary", Split("/command:deleteFile /reposDirPath:\"{repo}\" /fileId:\"7\""),
     Opened("@RemoveFile(id=7)\n"), 0},
    // Opening the repository.
    {"NoLibrary", kDelete, kLoadError, 1, "", {}, {}, ""},
    {"LibraryInTheRepositoryOnly", kDelete, kLoadError, 1, "", {}, {}, "repo/complete"},
    // It stays loaded until the process ends.
    {"LibraryLacksAnExport", kDelete, "@Loaded\n" + kLoadError + "@Unloaded\n", 1, "", FileTree(), FileTree(),
     "without-GetRepositoryFromPath"},
    {"InitialisationFails", kDelete,
     "@Loaded\n@InitLibrary(1)\n\n\nError initializing KVDFiles library.\n\n@Unloaded\n", 1, "InitLibrary 0"},
    {"AnyNonzeroInitialisationSucceeds", kDelete, Opened("@RemoveFile(id=1)\n"), 0, "InitLibrary -1"},
    {"EmptyRepositoryPath", Split("/command:deleteFile /reposDirPath: /fileId:1"),
     "@Loaded\n@InitLibrary(1)\n\n\nError getting repository path.\n\n@Unloaded\n"},
    {"NoRepository", kDelete,
     "@Loaded\n@InitLibrary(1)\n@GetRepositoryFromPath({repo})\n\n\nError getting IZarnRepository.\n\n@Unloaded\n", 1,
     "GetRepositoryFromPath 0"},
    // getFile: the buffer has the size GetSize reports; the count Read reports is written.
    {"GetFileWritesTheCountRead", kGet, Opened(kUpToRead + "@Read(size=5)\n"), 0, "GetSize 5\nReadCount 3",
     Tree("start/fake-content", "hello world"), Tree("repo/out", "hel")},
    {"GetFileReadCountBeyondTheBuffer", kGet,
     Opened(kUpToRead + "@Read(size=5)\nError reading from IZarnFileStream.\n\n"), 1, "ReadCount 6",
     Tree("start/fake-content", "hello")},
    {"GetFileEmptyStoredFile", kGet, Opened(kUpToRead + "@Read(size=0)\n"), 0, "", {}, Tree("repo/out", "")},
    {"GetFileAbsoluteTarget", Cmd("getFile", "/fileId:1 /targetFilePath:{root}/out"),
     Opened(kUpToRead + "@Read(size=5)\n"), 0, "", Tree("start/fake-content", "hello"), Tree("out", "hello")},
    {"GetFileTargetIsADirectory", kGet, Opened(kUpToRead + "@Read(size=0)\nError opening target file.\n\n"), 1, "",
     Tree("repo/out/", "")},
    // addFile: the source, read after AddFile; a relative one is in the repository.
    {"AddFileSourceMissing", kAdd, Opened(kAddCall + "Error opening source file.\n\n")},
    {"AddFileSourceIsADirectory", kAdd, Opened(kAddCall + "Error opening source file.\n\n"), 1, "", Tree("in/", "")},
    {"AddFileEmptySource", kAdd, Opened(kAddCall + "@Write(size=0)\n@Close(1)\n"), 0, "", Tree("in", ""),
     Stored("repo/a", "", "a")},
    {"AddFileRelativeSourceIsInTheRepository", Cmd("addFile", "/fileId:1 /sourceFilePath:in " + kAddOptions),
     Opened(kAddCall + "@Write(size=4)\n@Close(1)\n"), 0, "", Tree("in", "not this", "repo/in", "this"),
     Stored("repo/a", "this", "a")},
    {"AddFileAbsoluteTargetIsBackedUpWhereItIs", Cmd("addFile", "/fileId:1 /targetFilePath:{root}/t " + kAddOptions),
     Opened("@AddFile(id=1,target={root}/t,version=1,description=d,permissions=3)\n@Write(size=0)\n@Close(1)\n"), 0, "",
     Tree("in", ""), Stored("t", "", "{root}/t")},
    // With a relative repository directory the backups are made inside it, not
    // in a folder of the same name within it.
    {"AddFileInARelativeRepositoryDirectory", Split("/command:addFile /reposDirPath:repo /fileId:1 " + kAddOptions),
     Opened(kAddCall + "@Write(size=0)\n@Close(1)\n", "repo"), 0, "", Tree("in", "", "start/repo/", ""),
     Stored("start/repo/a", "", "a", "start/repo/")},
    // An empty value counts as given; the permissions number saturates.
    {"AddFileEmptyValuesAndSaturatedPermissions",
     Cmd("addFile",
         "/fileId:1 /fileDesc: /fileVersion: /filePermissions:4294967299 /sourceFilePath:in /targetFilePath:a"),
     Opened("@AddFile(id=1,target=a,version=,description=,permissions=2147483647)\n"
            "Error adding new file to IZarnRepository.\n\n"),
     1, "AddFile 1"},
    {"ModifyFileSourceMissing", Cmd("modifyFile", "/fileId:1 /sourceFilePath:{root}/in"),
     Opened("@GetFile(id=1)\nError opening source file.\n\n")},
};

class Commands : public testing::TestWithParam<Row> {};
TEST_P(Commands, PrintExitAndLeaveFilesAsExpected) { Sandbox(GetParam().library).Check(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, Commands, testing::ValuesIn(CommandRows()), RowName);

// A buffer that cannot be had fails its command with the message of the step
// that needed it, never a crash: the tool runs with its address space capped
// far below the sizes it asks for.
TEST(AllocationFailure, FailsTheCommandWithItsMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the cap leaves";
#endif
    if (!test_support::CanCapMemory()) GTEST_SKIP() << "this system does not cap a program's memory";
    test_support::ProcessRequest capped;
    capped.addressSpaceLimit = std::uint64_t{768} << 20;
    Sandbox().Check({"", kGet, Opened(kUpToRead + "Error reading from IZarnFileStream.\n\n"), 1, "GetSize 4294967295"},
                    capped);
    const Sandbox sandbox;
    test_support::MakeSparseFile(sandbox.Root() / "in", std::uintmax_t{3} << 30);
    sandbox.Check({"", kAdd, Opened(kAddCall + "Error reading source file.\n\n")}, capped);
}

}  // namespace

std::vector<Row> CommandRows() {
    std::vector<Row> rows = kHandRows;
    for (const Command& command : kCommands) AddGenerated(command, rows);
    return rows;
}

}  // namespace e2e
