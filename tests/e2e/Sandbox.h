// The end-to-end tests run the real tool binary in a fresh folder and check
// its output bytes, its exit code and every file it leaves:
//
//   {root}/start   the start directory; the library lies here as KVDFiles.dll
//   {root}/repo    the repository directory
//
// The stand-in library (tests/fake_kvdfiles) prints each call it gets as
// "@Call(arguments)" among the tool's messages, so the expected output of a
// row holds the calls in order too. Texts of a row may name the folders as
// {root}, {start} and {repo}, and the usage text as {usage}; on Windows
// {root-without-drive} is {root} without its drive letter.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace e2e {

using test_support::FileTree;

// In Row::after: the file is gone after the run.
inline const std::string kGone = "<gone>";

struct Row {
    std::string name;  // letters and digits: the test's name
    std::vector<std::string> arguments;
    std::string output;  // standard output, byte for byte
    int exitCode = 1;
    std::string script = {};                      // for the stand-in: its fake-script.txt
    FileTree before = {};                         // below {root}; "x/" is a directory
    FileTree after = {};                          // the files the run makes or changes
    std::string library = "complete";             // [folder/]variant: a stand-in, "real", or "" for none
    std::string heldOpen = {};                    // a file below {root} held open for writing during the run
    std::optional<std::string> commandLine = {};  // Windows: the command line as typed, instead of arguments
};

inline void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

inline std::string RowName(const testing::TestParamInfo<Row>& info) { return info.param.name; }

class Sandbox {
public:
    explicit Sandbox(const std::string& library = "complete");

    const std::filesystem::path& Root() const { return root_.Path(); }
    std::filesystem::path Start() const { return Root() / "start"; }
    std::filesystem::path Repository() const { return Root() / "repo"; }
    std::string Expand(std::string text) const;

    // Runs the row here and checks its output, exit code and files.
    void Check(const Row& row, test_support::ProcessRequest request = {}) const;
    // Every file below {root} but the libraries.
    FileTree Files() const;

private:
    test_support::TemporaryDirectory root_;
};

std::vector<Row> CommandRows();  // every platform's
// Text beyond ASCII in every place an argument reaches: it names the same
// files, reaches the library unchanged and prints as it came.
std::vector<Row> TextRows(const std::string& text, const std::string& separator);

// Runs the tool, or request's program, from {start} unless request says otherwise,
// and checks its output, its exit code and silence on standard error.
void Expect(const Sandbox& sandbox, const std::vector<std::string>& arguments, const std::string& output, int exitCode,
            test_support::ProcessRequest request = {});

// A tree from names and contents in turn: a row stays on a line or two.
template <class... Texts>
FileTree Tree(const Texts&... texts) {
    const std::vector<std::string> list = {std::string(texts)...};
    FileTree tree;
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) tree[list[i]] = list[i + 1];
    return tree;
}
// What a stored copy leaves: file and its backup, and the stand-in's index
// in the repository folder repo, and its backup, naming the file as indexed.
FileTree Stored(const std::string& file, const std::string& content, const std::string& indexed,
                const std::string& repo = "repo/");

// "/command:<command> /reposDirPath:{repo}" and options, split at blanks.
std::vector<std::string> Cmd(const std::string& command, const std::string& options = {});
std::vector<std::string> Split(const std::string& arguments);
// What a run that opens the repository prints around body, the calls and
// messages between the open and the close.
std::string Opened(const std::string& body, const std::string& repository = "{repo}");

// A run without /reposDirPath opens the default location, if any, and closes
// it again between the message and the usage text.
std::string DefaultLocationOutput(const std::optional<std::string>& openedAt);

std::filesystem::path ToolPath();
std::filesystem::path FakeLibraryPath(const std::string& variant);

}  // namespace e2e
