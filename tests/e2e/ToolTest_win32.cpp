// What only Windows shows: a drive root as the start directory, drive-letter
// and drive-root paths, files another process holds open, the start-up's
// splitting of the command line, arguments beyond ASCII, and the default
// location from the registry.
#include "fileio/WindowsHeaders.h"
#include <shlobj.h>

#include <cstdlib>
#include <map>

#include "encoding/WideText.h"
#include "tests/e2e/Sandbox.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessRequest;

// The root of the drive the test runner names in ZARN_TEST_DRIVE (under Wine,
// a spare folder of the prefix): the current directory ends in a backslash
// already, and the library's path must not get two.
TEST(StartDirectory, ADriveRootFindsTheLibraryInIt) {
    const char* drive = std::getenv("ZARN_TEST_DRIVE");
    if (drive == nullptr) GTEST_SKIP() << "no spare drive named in ZARN_TEST_DRIVE";
    const fs::path library = fs::path(std::string(drive) + "\\") / "KVDFiles.dll";
    for (const bool there : {true, false}) {
        fs::remove(library);
        if (there) fs::copy_file(FakeLibraryPath("complete"), library);
        ProcessRequest request;
        request.workingDirectory = library.parent_path();
        Expect(Sandbox(""), Cmd("deleteFile", "/fileId:1"),
               there ? Opened("@RemoveFile(id=1)\n") : "\n\nError loading KVDFiles library.\n\n", there ? 0 : 1,
               request);
    }
    fs::remove(library);
}

// e acute, O diaeresis, a CJK ideograph and a character beyond 16 bits.
const std::string kText = "\xc3\xa9\xc3\x96\xe4\xb8\xad\xf0\x9f\x98\x80";
const std::string kUpToRead = "@GetFile(id=1)\n@OpenStream(mode=1,reserved=-1)\n@GetSize()\n@Read(size=1)\n";
const std::string kAdd = "addFile /reposDirPath:\"{repo}\" /filePermissions:1 /sourceFilePath:x ";

// addFile typed with these options gives AddFile these values.
Row Typed(const std::string& name, const std::string& options, const std::string& values) {
    const std::string called = "@AddFile(" + values + ",permissions=1)\nError adding new file to IZarnRepository.\n\n";
    return {name,       Split(""),  Opened(called), 1,  "AddFile 1",
            FileTree(), FileTree(), "complete",     "", "/command:" + kAdd + options};
}

const std::string kAddIn = "/fileId:1 /fileDesc:d /fileVersion:1 /filePermissions:3 /sourceFilePath:{root}\\in ";
const std::string kAddCall = "@AddFile(id=1,target=a,version=1,description=d,permissions=3)\n";
const std::string kWritten = "@Write(size=1)\n@Close(1)\n";

// An add that stores "t", its target given as the absolute path target.
Row StoredAt(const std::string& name, const std::string& target) {
    const std::string call = "@AddFile(id=1,target=" + target + ",version=1,description=d,permissions=3)\n";
    const std::vector<std::string> arguments = Cmd("addFile", kAddIn + "/targetFilePath:" + target);
    return {name, arguments, Opened(call + kWritten), 0, "", Tree("in", "x"), Stored("t", "x", target)};
}

const std::vector<Row> kRows = {
    // Blanks separate outside double quotes; a backslash escapes only a quote.
    Typed("TypedQuotesAndBackslashes",
          "/fileId:\"My file\" \"/fileDesc:My desc\" /fileVersion:a\\\"b /targetFilePath:a\\\\b\\c",
          "id=My file,target=a\\\\b\\c,version=a\"b,description=My desc"),
    Typed(
        "TypedQuotesMidwayDoubledBackslashesAndTabs",
        "/fileId:My\" \"" + kText + " \t \"/fileDesc:a b\\\\\" \t /fileVersion:\\\"\\\"abc\\\"\\\" /targetFilePath:\"t",
        "id=My " + kText + ",target=t,version=\"abc\",description=a b\\"),
    {"TypedBlankWithoutQuotesSplitsTheValue", Split(""), "\n\nInvalid argument 'file'.\n\n{usage}", 1, "", FileTree(),
     FileTree(), "complete", "", "/command:deleteFile /fileId:My file"},
    {"TypedRepositoryPathWithBlanks", Split(""), Opened("@RemoveFile(id=7)\n", "{root}\\my repo"), 0, "",
     Tree("my repo/", ""), FileTree(), "complete", "",
     "/command:deleteFile \"/reposDirPath:{root}\\my repo\" /fileId:7"},
    // Files another process holds open for writing; a backup is tried again
    // for about five seconds first.
    {"GetFileTargetHeldOpen", Cmd("getFile", "/fileId:1 /targetFilePath:out"),
     Opened(kUpToRead + "Error opening target file.\n\n"), 1, "", Tree("start/fake-content", "c", "repo/out", "old"),
     FileTree(), "complete", "repo/out"},
    {"AddFileSourceHeldOpen", Cmd("addFile", kAddIn + "/targetFilePath:a"),
     Opened(kAddCall + "Error opening source file.\n\n"), 1, "", Tree("in", "x"), FileTree(), "complete", "in"},
    {"AddFileBackupHeldOpen", Cmd("addFile", kAddIn + "/targetFilePath:a"),
     Opened(kAddCall + kWritten + "Error creating file backup.\n\n"), 1, "", Tree("in", "x", "repo/a.bak", "old"),
     Tree("repo/a", "x", "repo/ZarnRepository.bin", "a\n"), "complete", "repo/a.bak"},
    // Absolute paths with a drive letter, or from the drive's root.
    StoredAt("AddFileTargetWithDriveLetter", "{root}\\t"),
    StoredAt("AddFileTargetFromTheDriveRoot", "{root-without-drive}\\t"),
    {"GetFileTargetFromTheDriveRoot", Cmd("getFile", "/fileId:1 /targetFilePath:{root-without-drive}\\out"),
     Opened(kUpToRead), 0, "", Tree("start/fake-content", "c"), Tree("out", "c")},
};

std::vector<Row> Rows() {
    std::vector<Row> rows = TextRows(kText, "\\");
    rows.insert(rows.end(), kRows.begin(), kRows.end());
    return rows;
}

class Windows : public testing::TestWithParam<Row> {};
TEST_P(Windows, PrintsExitsAndLeavesFilesAsExpected) { Sandbox(GetParam().library).Check(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Runs, Windows, testing::ValuesIn(Rows()), RowName);

constexpr wchar_t kCompanyKey[] = L"SOFTWARE\\Orbek Software";
constexpr wchar_t kSetupKey[] = L"SOFTWARE\\Orbek Software\\Setup";

// The setup key holding values (name -> text, UTF-8), or no key at all.
void PlaceSetupKey(const std::optional<std::map<std::string, std::string>>& values) {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSetupKey);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kCompanyKey);
    if (!values) return;
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, text] : *values) {
        // Stored with its terminator, as Windows' own tools store it.
        const std::wstring wide = encoding::WideFromBytes(text);
        ::RegSetValueExW(key, encoding::WideFromBytes(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(wide.c_str()),
                         static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    }
    ::RegCloseKey(key);
}

// The registry is the whole machine's (under Wine, the prefix's): this one
// test owns the key.
TEST(DefaultLocation, ComesFromTheMachineSetupKey) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GE(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), 0);
    const std::string data = encoding::BytesFromWide(folder);
    using Values = std::map<std::string, std::string>;
    const struct {
        std::optional<Values> values;
        std::optional<std::string> openedAt;
    } rows[] = {
        {std::nullopt, std::nullopt},
        {Values{{"Other", "1"}, {"InitialCompanyName", "Acme"}, {"InitialProductName", "Vault"}},
         data + "\\Acme\\Vault"},
        {Values{{"InitialCompanyName", "\xc3\x96rbek " + kText}, {"InitialProductName", ""}},
         data + "\\\xc3\x96rbek " + kText + "\\"},
        {Values{{"InitialProductName", "Vault"}}, std::nullopt},
        {Values{{"InitialCompanyName", std::string(300, 'c')}, {"InitialProductName", "P"}}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.openedAt.value_or("no repository path"));
        PlaceSetupKey(row.values);
        Expect(Sandbox(), Split("/command:deleteFile /fileId:1"), DefaultLocationOutput(row.openedAt), 1);
    }
    PlaceSetupKey(std::nullopt);
}

}  // namespace
}  // namespace e2e
