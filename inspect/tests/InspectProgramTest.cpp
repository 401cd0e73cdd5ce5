// The real zarnrepo-inspect, run from a start directory that holds a copy of
// the repository library, on repositories in temporary directories whose index
// the library's own index code writes with chosen times: its output bytes, its
// exit code, and silence on standard error. Expected output is written with
// "\n" and compared as the program prints it on this platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "encoding/WideText.h"
#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexBase.h"
#include "kvdfiles/IndexImage.h"
#include "kvdfiles/IndexRecord.h"
#include "kvdfiles/IndexWalk.h"
#include "kvdfiles/Utf16Text.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace inspect_test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// There the library reads the index whole when it opens the repository.
constexpr bool kIndexReadWholeAtOpen = true;
#else
constexpr bool kIndexReadWholeAtOpen = false;
#endif

// Every entry written here was added at 2024-05-01T12:34:56.789012Z and
// changed one second later, holds version "1.0" and permissions 3.
const std::string kAddedText = "2024-05-01T12:34:56.789012Z";
const std::string kChangedText = "2024-05-01T12:34:57.789012Z";
const std::string kRefused = "\n\nError getting IZarnRepository.\n\n";
const std::string kDocumentStart = "{\"formatVersion\":1,\"entries\":[";

struct FixtureEntry {
    std::wstring fileId;
    std::wstring destination;  // relative to the repository directory
    std::string content;       // the stored copy; its size is the recorded size
    std::wstring description = L"d";
    bool recordsChecksum = true;
};

// A run of zarnrepo-inspect: its arguments separated by spaces, "{repo}" in
// them standing for the repository directory, and what it prints and returns.
struct RunCase {
    std::string arguments;
    std::string output;
    int exitCode;
};

// The programs and libraries as the tests see them (under Wine, below drive Z:).
fs::path BuiltFile(const char* path) { return test_support::PathFromUtf8(path); }

// The text line and the JSON object of an entry written here, its texts given as printed.
std::string LineOf(const std::string& fileId, const std::string& destination, std::size_t size,
                   const std::string& description = "d") {
    return fileId + "\t1.0\t3\t" + std::to_string(size) + "\t" + kChangedText + "\t" + destination + "\t" +
           description + "\n";
}

std::string JsonOf(const std::string& fileId, const std::string& destination, std::size_t size,
                   const std::string& description = "d") {
    return "{\"fileId\":\"" + fileId +
           "\",\"version\":\"1.0\",\"permissions\":3,\"contentSize\":" + std::to_string(size) + ",\"timeAdded\":\"" +
           kAddedText + "\",\"timeLastChanged\":\"" + kChangedText + "\",\"destination\":\"" + destination +
           "\",\"description\":\"" + description + "\"}";
}

class InspectRuns : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(Start());
        fs::copy_file(BuiltFile(ZARN_REAL_LIBRARY_PATH), Start() / "KVDFiles.dll");
    }

    fs::path Start() const { return root_.Path() / "start"; }
    fs::path Repository() const { return root_.Path() / "repo"; }

    // Writes the index of entries and every stored copy at its destination.
    void WriteRepository(const std::vector<FixtureEntry>& entries) const {
        fs::create_directories(Repository());
        kvd::IndexImage index;
        for (const FixtureEntry& entry : entries) {
            const auto* const content = reinterpret_cast<const std::uint8_t*>(entry.content.data());
            const auto checksum =
                entry.recordsChecksum ? std::optional(kvd::Crc32c(content, entry.content.size())) : std::nullopt;
            const kvd::IndexEntry record{kvd::Utf16FromWide(entry.fileId),
                                         kvd::Utf16FromWide(entry.destination),
                                         u"1.0",
                                         kvd::Utf16FromWide(entry.description),
                                         3,
                                         entry.content.size(),
                                         1714566896789012,
                                         1714566897789012,
                                         checksum};
            const auto change = index.Put(record);
            auto next = change ? index.Rewritten(*change) : std::nullopt;
            if (!next) throw std::runtime_error("index too large");
            index = std::move(*next);
            // A name as the tool maps it: on POSIX, lone U+DCxx stand for bytes.
            const fs::path stored =
                Repository() / test_support::PathFromUtf8(encoding::BytesFromWide(entry.destination));
            fs::create_directories(stored.parent_path());
            test_support::WriteFileBytes(stored, entry.content);
        }
        const kvd::IndexBytes& bytes = index.Bytes();
        test_support::WriteFileBytes(Repository() / "ZarnRepository.bin", std::string(bytes.begin(), bytes.end()));
    }

    test_support::ProcessOutcome Run(const fs::path& program, const std::string& arguments) const {
        test_support::ProcessRequest request{program};
        std::istringstream words(arguments);
        for (std::string argument; words >> argument;) {
            const std::size_t at = argument.find("{repo}");
            if (at != std::string::npos) argument.replace(at, 6, test_support::Utf8FromPath(Repository()));
            request.arguments.push_back(argument);
        }
        request.workingDirectory = Start();
        return test_support::RunProcess(request);
    }

    // Runs zarnrepo-inspect for each row and checks its output bytes, its exit
    // code and silence on standard error.
    void ExpectTable(const std::vector<RunCase>& cases) const {
        for (const RunCase& row : cases) {
            SCOPED_TRACE(row.arguments);
            const test_support::ProcessOutcome outcome = Run(BuiltFile(ZARN_INSPECT_PATH), row.arguments);
            EXPECT_EQ(outcome.standardOutput, test_support::AsPrinted(row.output));
            EXPECT_EQ(outcome.exitCode, row.exitCode);
            EXPECT_EQ(outcome.standardError, "");
        }
    }

    test_support::TemporaryDirectory root_;
};

const std::string kUsage =
    "\n\nUSAGE:\n\n"
    "\t- zarnrepo-inspect /reposDirPath:<REPOSITORY_DIRECTORY_PATH>\n"
    "\t   [/format:text|json] [/verify:0|1] [/fileId:<FILE_ID>]\n\n"
    "\t\tLists the files of the repository in <REPOSITORY_DIRECTORY_PATH>\n"
    "\t\tin identifier order, one line per file (/format:text, the default)\n"
    "\t\tor as one JSON document {\"formatVersion\":1,\"entries\":[...]}\n"
    "\t\t(/format:json).\n\n"
    "\t\tA line holds, separated by tabs: identifier, version, permissions,\n"
    "\t\tcontent size, time last changed (ISO 8601, UTC), destination and\n"
    "\t\tdescription. Within them a backslash is written \\\\, a tab \\t,\n"
    "\t\ta line feed \\n, a carriage return \\r, and any other control\n"
    "\t\tcharacter or unpaired surrogate \\uXXXX; U+DC80..U+DCFF stand for\n"
    "\t\tfile-name bytes that are not UTF-8. JSON strings use \\\" and \\\\,\n"
    "\t\tand \\uXXXX likewise; other text is UTF-8.\n\n"
    "\t\t/verify:1 also checks that every stored copy exists with its\n"
    "\t\trecorded size and checksum. Each problem adds a line \"problem\",\n"
    "\t\tidentifier, destination and what is wrong (in JSON, an element of\n"
    "\t\t\"problems\"), and the exit code is then 1. A file that records no\n"
    "\t\tchecksum adds a line \"unverified\" (in JSON, an element of\n"
    "\t\t\"unverified\") and is no problem.\n\n"
    "\t\t/fileId:<FILE_ID> shows that one file alone, as the listing would;\n"
    "\t\tthe exit code is 1 when the repository has no such file.\n\n"
    "\tOR\n\n"
    "\t- zarnrepo-inspect /version:1\n\n"
    "\t\tPrints the program's version.\n\n";

// Entries added in an order that is not their identifiers' own reach the
// output in identifier order.
TEST_F(InspectRuns, ManyEntriesInIdentifierOrder) {
    constexpr int kCount = 1000;
    const auto id = [](int number) { return "e" + std::to_string(1000 + number); };
    std::vector<FixtureEntry> entries;
    for (int i = 0; i < kCount; ++i) {
        const int number = (i * 7919) % kCount;
        const std::wstring wideId = L"e" + std::to_wstring(1000 + number);
        entries.push_back({wideId, L"d/" + wideId, std::string(static_cast<std::size_t>(number % 17), 'x')});
    }
    WriteRepository(entries);
    std::string text;
    std::string json = kDocumentStart;
    for (int number = 0; number < kCount; ++number) {
        const std::size_t size = static_cast<std::size_t>(number % 17);
        text += LineOf(id(number), "d/" + id(number), size);
        json += "\n" + JsonOf(id(number), "d/" + id(number), size) + (number + 1 < kCount ? "," : "\n]}\n");
    }
    ExpectTable({{"/reposDirPath:{repo} /verify:1", text, 0}, {"/reposDirPath:{repo} /format:json", json, 0}});
}

// Texts reach the output as UTF-8, escaped; each problem the check finds is
// listed after the entries.
TEST_F(InspectRuns, VerificationFindsEveryKindOfDamage) {
    WriteRepository({{L"a", L"a.txt", "12345"},
                     {L"b", L"b.txt", "1"},
                     {L"c", L"c.txt", "12345"},
                     {L"d", L"d.txt", "1"},
                     {L"e", L"e.txt", "1", L"d", false},
                     {L"\u00e9", L"\u65e5.txt", "z", L"\t\U0001F600\""}});
    test_support::WriteFileBytes(Repository() / "a.txt", "12346");
    fs::remove(Repository() / "b.txt");
    test_support::WriteFileBytes(Repository() / "c.txt", "1234567");
    fs::remove(Repository() / "d.txt");
    fs::create_directory(Repository() / "d.txt");
    std::string listing;
    std::string json = kDocumentStart;
    for (const char* id : {"a", "b", "c", "d", "e"}) {
        const std::size_t size = *id == 'a' || *id == 'c' ? 5 : 1;
        listing += LineOf(id, id + std::string(".txt"), size);
        json += "\n" + JsonOf(id, id + std::string(".txt"), size) + ",";
    }
    listing += LineOf("\xc3\xa9", "\xe6\x97\xa5.txt", 1, "\\t\xf0\x9f\x98\x80\"");
    json += "\n" + JsonOf("\xc3\xa9", "\xe6\x97\xa5.txt", 1, "\\u0009\xf0\x9f\x98\x80\\\"") + "\n],\"problems\":[";
    const auto problem = [](const std::string& id, const std::string& kind, const std::string& sizes) {
        return "\n{\"fileId\":\"" + id + "\",\"destination\":\"" + id + ".txt\",\"problem\":\"" + kind +
               "\",\"recordedSize\":" + sizes + "}";
    };
    ExpectTable({
        {"/reposDirPath:{repo}", listing, 0},
        {"/reposDirPath:{repo} /verify:1",
         listing + "problem\ta\ta.txt\tstored copy differs from its recorded checksum\n" +
             "problem\tb\tb.txt\tstored copy missing\nproblem\tc\tc.txt\tstored copy holds 7 bytes, index records 5\n" +
             "problem\td\td.txt\tstored copy is not a regular file\nunverified\te\te.txt\tno checksum recorded\n" +
             "\n\nVerification found 4 problems.\n\n",
         1},
        {"/reposDirPath:{repo} /format:json /verify:1",
         json + problem("a", "contentDiffers", "5") + "," + problem("b", "missing", "1") + "," +
             problem("c", "sizeDiffers", "5,\"foundSize\":7") + "," + problem("d", "notAFile", "1") +
             "\n],\"unverified\":[\n{\"fileId\":\"e\",\"destination\":\"e.txt\",\"recordedSize\":1}\n]}\n",
         1},
    });
}

// The open reads the index's header, block checksums and changes; damage in
// a block of records far from them is found by the listing, which reads the
// rest. Where the library reads the index whole at the open, the open finds it.
TEST_F(InspectRuns, DamagedIndexIsRefused) {
    std::vector<FixtureEntry> entries;
    for (int number = 1000; number < 1300; ++number) entries.push_back({std::to_wstring(number), L"d", "1"});
    WriteRepository(entries);
    const fs::path indexPath = Repository() / "ZarnRepository.bin";
    std::string index = test_support::ReadFileBytes(indexPath);
    const std::size_t damaged = 2 * 4096 + 100;  // in the third 4 KiB block: records
    ASSERT_GT(index.size(), damaged + 4096);
    index[damaged] = static_cast<char>(index[damaged] ^ 0x01);
    test_support::WriteFileBytes(indexPath, index);
    ExpectTable({{"/reposDirPath:{repo}",
                  kIndexReadWholeAtOpen ? kRefused : "Error getting file count from IZarnRepository.\n\n", 1}});
    test_support::WriteFileBytes(indexPath, index.substr(0, 40));
    ExpectTable({{"/reposDirPath:{repo} /format:json", kRefused, 1}});
}

// An index held in memory, for the library's own walk.
class BytesSource : public kvd::IndexSource {
public:
    explicit BytesSource(const std::string& bytes) : bytes_(bytes) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
        std::copy_n(bytes_.data() + offset, size, reinterpret_cast<char*>(into));
        return true;
    }

private:
    const std::string& bytes_;
};

// Damage the listing meets after the first window of blocks it reads: every
// entry the library's walk hands out before it is printed, then the failure.
// The index is framed in one pass, as one of this size is not written entry
// by entry.
TEST_F(InspectRuns, AListingThatFailsPartWayPrintsWhatCameBefore) {
    if (kIndexReadWholeAtOpen) GTEST_SKIP() << "here the open reads and checks the whole index";
    std::vector<std::vector<std::uint8_t>> encoded;
    std::vector<kvd::IndexBase::RecordBytes> records;
    for (int number = 100000; number < 120000; ++number) {
        const std::u16string id = kvd::Utf16FromWide(std::to_wstring(number));
        encoded.push_back(kvd::record::Encode({id, u"d", u"1.0", u"d", 3, 0, 1714566896789012, 1714566897789012, 0u}));
    }
    for (const std::vector<std::uint8_t>& record : encoded) records.push_back({record.data(), record.size()});
    const std::optional<kvd::IndexBase> base = kvd::IndexBase::Assemble(records, 1);
    ASSERT_TRUE(base);
    std::string index(base->Bytes().begin(), base->Bytes().end());
    index[index.size() / 2] = static_cast<char>(index[index.size() / 2] ^ 0x01);  // amid the records
    kvd::IndexImage image;
    ASSERT_EQ(kvd::IndexImage::Open(std::make_shared<BytesSource>(index), index.size(), image), kvd::IndexStatus::Ok);
    std::string expected;
    kvd::IndexWalk walk(image);
    const std::uint8_t* bytes = nullptr;
    kvd::record::View view;
    for (int number = 100000; walk.Next(bytes, view); ++number) expected += LineOf(std::to_string(number), "d", 0);
    ASSERT_NE(walk.Status(), kvd::IndexStatus::Ok);
    ASSERT_FALSE(expected.empty());
    fs::create_directories(Repository());
    test_support::WriteFileBytes(Repository() / "ZarnRepository.bin", index);
    ExpectTable({{"/reposDirPath:{repo}", expected + "Error getting file count from IZarnRepository.\n\n", 1}});
}

TEST_F(InspectRuns, EmptyRepositoryAndArgumentErrors) {
    fs::create_directory(Repository());
    const std::string invalid = "\n\nInvalid arguments.\n\n" + kUsage;
    ExpectTable({
        {"/reposDirPath:{repo} /verify:1", "", 0},
        {"/reposDirPath:{repo} /format:json /verify:1", kDocumentStart + "],\"problems\":[],\"unverified\":[]}\n", 0},
        {"", invalid, 1},
        {"/format:json", invalid, 1},
        {"/reposDirPath:{repo} verify", "\n\nInvalid argument 'verify'.\n\n" + kUsage, 1},
        {"/reposDirPath:{repo} /format:xml", invalid, 1},
        {"/reposDirPath:{repo} /format:JSON", invalid, 1},
        {"/reposDirPath:{repo} /verify:yes", invalid, 1},
        {"/reposDirPath:", "\n\nError getting repository path.\n\n", 1},
        {"/reposDirPath:{repo}/missing", kRefused, 1},
        {"/version:1 /format:xml /reposDirPath:", "zarnrepo-inspect " ZARN_VERSION "\n", 0},
        {"/version:0", invalid, 1},
        {"/version:yes /reposDirPath:{repo}", invalid, 1},
    });
    EXPECT_FALSE(fs::exists(Repository() / "ZarnRepository.bin"));
}

// /fileId asks the library's lookup for one entry and shows it as the listing
// would show it alone; the options as the tool reads them: quoted, the first
// of a key, unknown keys ignored.
TEST_F(InspectRuns, OneEntryByItsIdentifier) {
    WriteRepository({{L"a", L"a.txt", "12"}, {L"b", L"b.txt", "345"}});
    fs::remove(Repository() / "b.txt");
    ExpectTable({
        {"/reposDirPath:{repo} /fileId:a", LineOf("a", "a.txt", 2), 0},
        {"/reposDirPath:\"{repo}\" /fileId:\"b\" /format:json /format:xml /colour:blue",
         kDocumentStart + "\n" + JsonOf("b", "b.txt", 3) + "\n]}\n", 0},
        {"/reposDirPath:{repo} /fileId:b /verify:1",
         LineOf("b", "b.txt", 3) + "problem\tb\tb.txt\tstored copy missing\n\n\nVerification found 1 problem.\n\n", 1},
        {"/reposDirPath:{repo} /fileId:c", "Error getting IZarnFile from IZarnRepository.\n\n", 1},
    });
}

TEST_F(InspectRuns, LibraryIsLoadedFromTheStartDirectoryAndMustList) {
    WriteRepository({{L"a", L"a.txt", "1"}});
    fs::remove(Start() / "KVDFiles.dll");
    ExpectTable({{"/reposDirPath:{repo}", "\n\nError loading KVDFiles library.\n\n", 1}});
    fs::copy_file(BuiltFile(ZARN_LIBRARY_WITHOUT_LISTING_PATH), Start() / "KVDFiles.dll");
    ExpectTable({{"/reposDirPath:{repo}", "\n\nKVDFiles library cannot list files.\n\n", 1}});
}

// A repository that the tool itself built.
TEST_F(InspectRuns, ListsWhatTheToolAdded) {
    fs::create_directory(Repository());
    test_support::WriteFileBytes(root_.Path() / "source.txt", "hello");
    const test_support::ProcessOutcome added =
        Run(BuiltFile(ZARN_TOOL_PATH),
            "/command:addFile /reposDirPath:{repo} /fileId:42 /fileDesc:My /fileVersion:1.0 "
            "/filePermissions:3 /sourceFilePath:{repo}/../source.txt /targetFilePath:a.txt");
    ASSERT_EQ(added.exitCode, 0) << added.standardOutput;
    const test_support::ProcessOutcome listed = Run(BuiltFile(ZARN_INSPECT_PATH), "/reposDirPath:{repo} /verify:1");
    EXPECT_EQ(listed.exitCode, 0);
    // The time is the run's; the library's tests check it.
    const std::string time = listed.standardOutput.substr(std::min<std::size_t>(11, listed.standardOutput.size()), 27);
    EXPECT_EQ(listed.standardOutput, test_support::AsPrinted("42\t1.0\t3\t5\t" + time + "\ta.txt\tMy\n"));
    EXPECT_TRUE(time.size() == 27 && time[10] == 'T' && time.back() == 'Z') << time;
}

// File names Windows cannot hold: one with a double quote and one with a byte
// that is no UTF-8 (wide text U+DCE9, mapped back to the byte 0xE9), found by
// the check and listed escaped.
#ifndef _WIN32
TEST_F(InspectRuns, NamesWindowsCannotHold) {
    WriteRepository({{L"q", L"say \"hi\".txt", "abc"}, {L"r", L"byte-\xDCE9", "z"}});
    ExpectTable({
        {"/reposDirPath:{repo} /verify:1", LineOf("q", "say \"hi\".txt", 3) + LineOf("r", "byte-\\udce9", 1), 0},
        {"/reposDirPath:{repo} /format:json /verify:1",
         kDocumentStart + "\n" + JsonOf("q", "say \\\"hi\\\".txt", 3) + ",\n" + JsonOf("r", "byte-\\udce9", 1) +
             "\n],\"problems\":[],\"unverified\":[]}\n",
         0},
    });
}
#endif

}  // namespace
}  // namespace inspect_test
