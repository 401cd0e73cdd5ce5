// What only POSIX shows: a start directory that is gone or longer than
// Windows allows, /dev/full, names that are no UTF-8 in any locale, the
// default location from the machine's setup file, and the repository library
// fed through pipes.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "tests/e2e/Sandbox.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessRequest;

TEST(StartDirectory, GoneIsAnErrorNotAnEmptyPath) {
    ProcessRequest request;
    request.removeWorkingDirectoryAtStart = true;
    Sandbox("").Check({"", Cmd("deleteFile", "/fileId:1"), "\n\nError getting current directory.\n\n", 1, "",
                       FileTree(), Tree("start", kGone)},
                      request);
}

// The library's path is the start directory, "/" and "KVDFiles.dll". One of
// 2046 characters loads; a longer one is refused instead of cut to another file.
TEST(StartDirectory, LibraryPathOfMoreThan2046CharactersIsNotLoaded) {
    for (const std::size_t length : {std::size_t{2046}, std::size_t{2047}}) {
        const Sandbox sandbox("");
        std::string start = test_support::Utf8FromPath(sandbox.Root());
        while (start.size() < length - 13) {
            std::size_t component = std::min<std::size_t>(200, length - 14 - start.size());
            if (length - 14 - start.size() - component == 1) --component;  // room for "/x", not for "/" alone
            start += "/" + std::string(component, 'd');
        }
        fs::create_directories(start);
        fs::copy_file(FakeLibraryPath("complete"), start + "/KVDFiles.dll");
        ProcessRequest request;
        request.workingDirectory = start;
        Expect(sandbox, Cmd("deleteFile", "/fileId:1"),
               length == 2046 ? Opened("@RemoveFile(id=1)\n") : "\n\nError loading KVDFiles library.\n\n",
               length == 2046 ? 0 : 1, request);
    }
}

TEST(GetFile, AFailedWriteReportsTheSystemErrorNumber) {
    const std::string read = "@GetFile(id=1)\n@OpenStream(mode=1,reserved=-1)\n@GetSize()\n@Read(size=1)\n";
    Sandbox().Check({"", Cmd("getFile", "/fileId:1 /targetFilePath:/dev/full"),
                     Opened(read + "Error writing to target file. GetLastError(): 28\n\n"), 1, "",
                     Tree("start/fake-content", "x")});
}

// UTF-8 e acute, a stray 0xFF, a lone continuation byte, a character beyond
// 16 bits, and a cut three-byte sequence.
const std::string kOdd = "\xc3\xa9\xff\x80\xf0\x9f\x98\x80\xe2\x82";

// Arguments are bytes: whatever the locale, a name that is not UTF-8 names
// the same file, and a message that repeats an argument prints its bytes.
class Encoding : public testing::TestWithParam<Row> {};
TEST_P(Encoding, KeepsBytesInEveryLocale) {
    for (const std::string locale : {"", "C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE("locale " + locale);
        ProcessRequest request = {"/usr/bin/env", {"-u", "LANG", "-u", "LANGUAGE", "-u", "LC_ALL", "-u", "LC_CTYPE"}};
        if (!locale.empty()) request.arguments.push_back("LC_ALL=" + locale);
        request.arguments.push_back(ToolPath().string());
        Sandbox().Check(GetParam(), request);
    }
}
INSTANTIATE_TEST_SUITE_P(Runs, Encoding, testing::ValuesIn(TextRows(kOdd, "/")), RowName);

// The tool copy here reads its machine-wide folders below the test root,
// which this one test owns.
TEST(DefaultLocation, ComesFromTheMachineSetupFile) {
    const fs::path setupFile = fs::path(ZARN_TESTROOT_DIRECTORY) / "etc/Orbek Software/Setup.conf";
    const std::string data = ZARN_TESTROOT_DIRECTORY "/var/lib";
    const struct {
        std::optional<std::string> setup;  // unset: no setup file
        std::optional<std::string> openedAt;
    } rows[] = {
        {std::nullopt, std::nullopt},
        {"InitialCompanyName=Acme\nInitialProductName=Vault\n", data + "/Acme/Vault"},
        {"Other=1\r\nInitialProductName=Vault\r\nInitialCompanyName=Acme", data + "/Acme/Vault"},
        {"InitialCompanyName=\xc3\x96rbek\nInitialCompanyName=Other\nInitialProductName=", data + "/\xc3\x96rbek/"},
        {"InitialCompanyName=Acme\n", std::nullopt},
        {"InitialCompanyName=" + std::string(260, 'c') + "\nInitialProductName=P\n", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.setup.value_or("no setup file"));
        fs::remove(setupFile);
        if (row.setup) {
            fs::create_directories(setupFile.parent_path());
            test_support::WriteFileBytes(setupFile, *row.setup);
        }
        ProcessRequest request;
        request.program = ZARN_TESTROOT_TOOL_PATH;
        Expect(Sandbox(), Split("/command:deleteFile /fileId:1"), DefaultLocationOutput(row.openedAt), 1, request);
    }
    fs::remove(setupFile);
}

std::string Content(std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
    return content;
}

// Sources that do not tell their size, a pipe or a FIFO, are read to their
// end; a target is written from its own position.
TEST(RealLibraryThroughPipes, PipedContentIsStoredWholeAndComesBackOutThroughAPipe) {
    const Sandbox sandbox("real");
    const std::string add = "/fileDesc:d /fileVersion:1 /filePermissions:3 /sourceFilePath:";
    const std::vector<std::string> fromStandardInput = Cmd("addFile", add + "/dev/stdin");
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{5} << 20}) {
        const std::string id = std::to_string(size);
        ProcessRequest piped;
        piped.standardInput = Content(size);
        std::vector<std::string> arguments = fromStandardInput;
        arguments.insert(arguments.end(), {"/fileId:" + id, "/targetFilePath:" + id});
        Expect(sandbox, arguments, "", 0, piped);
        EXPECT_EQ(test_support::ReadFileBytes(sandbox.Repository() / id), Content(size));
        Expect(sandbox, Cmd("getFile", "/fileId:" + id + " /targetFilePath:/dev/stdout"), Content(size), 0);
    }
    const fs::path fifo = sandbox.Root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << Content(std::size_t{1} << 20); });
    Expect(sandbox, Cmd("addFile", add + "{root}/fifo /fileId:fifo /targetFilePath:a"), "", 0);
    writer.join();
    EXPECT_EQ(test_support::ReadFileBytes(sandbox.Repository() / "a"), Content(std::size_t{1} << 20));
}

}  // namespace
}  // namespace e2e
