// A fresh set of folders for one run of the tool:
//
//   {root}/start        the start directory; the library is copied here
//   {root}/repo         the repository directory
//   {root}/script.txt   what the stand-in library is told to do
//   {root}/calls.log    the calls the stand-in saw, one per line
//
// Texts given to a sandbox may name these folders as {root}, {start} and
// {repo}; Expand replaces them with the absolute paths, as UTF-8 text. On
// Windows {root-without-drive} is {root} without its drive letter and colon
// (on POSIX, the same as {root}).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

namespace e2e {

// Which file lies in the start directory as "KVDFiles.dll".
enum class Library {
    Complete,                      // the stand-in with all four exports
    WithoutInitLibrary,            // the stand-in lacking one export each
    WithoutReleaseLibrary,
    WithoutGetRepository,
    WithoutGetRepositoryFromPath,
    CompleteInRepositoryOnly,      // the stand-in, but in {repo} instead of {start}
    NotALibrary,                   // a text file of that name
    Missing,                       // nothing
    Real,                          // the repository library itself
};

struct RunOptions {
    std::filesystem::path tool;                // the tool binary; empty: the usual one
    std::optional<std::string> locale;         // LC_ALL; unset: every locale variable unset
    std::filesystem::path startDirectory;      // empty: {start}
    bool removeStartDirectory = false;         // start in a directory that is gone
    std::optional<std::uint64_t> addressSpaceLimit;  // bytes; unset: no limit
    std::optional<std::string> commandLine;    // Windows: the command line as typed, instead of arguments
    std::optional<std::string> standardInput;  // fed through a pipe; unset: nothing
};

class Sandbox {
public:
    explicit Sandbox(Library library = Library::Complete);

    const std::filesystem::path& Root() const { return root_.Path(); }
    std::filesystem::path Start() const { return Root() / "start"; }
    std::filesystem::path Repository() const { return Root() / "repo"; }

    std::string Expand(std::string text) const;
    std::vector<std::string> Expand(std::vector<std::string> texts) const;

    void WriteScript(const std::string& script) const;
    // Creates files below {root}; a name ending in "/" makes a directory.
    void AddFiles(const test_support::FileTree& files) const;

    test_support::ProcessOutcome Run(const std::vector<std::string>& arguments, const RunOptions& options = {}) const;

    // Every regular file below {root} but the library copies, the script and the log.
    test_support::FileTree Files() const;
    // The stand-in's call log, one entry per line.
    std::vector<std::string> Calls() const;

private:
    void PlaceLibrary(Library library) const;

    test_support::TemporaryDirectory root_;
};

// The usual tool binary, and the copy that reads its machine-wide folders
// below TestRootDirectory().
std::filesystem::path ToolPath();
std::filesystem::path TestRootToolPath();
std::filesystem::path TestRootDirectory();
bool HasRealLibrary();

}  // namespace e2e
