// The real zarnrepo-inspect, run from a start directory that holds a copy of
// the repository library, on repositories whose index the library's own index
// code frames with chosen times. Expected output is written with "\n" and
// compared as the program prints it on this platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
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

const std::string kDocumentStart = "{\"formatVersion\":1,\"entries\":[";

// Every entry written here was added at 2024-05-01T12:34:56.789012Z and
// changed one second later, holds version "1.0" and permissions 3.
struct FixtureEntry {
    std::wstring fileId;
    std::wstring destination;  // relative to the repository directory
    std::string content;       // the stored copy; its size is the recorded size
    std::wstring description = L"d";
    bool recordsChecksum = true;
};

// The programs and libraries as the tests see them (under Wine, below drive Z:).
fs::path BuiltFile(const char* path) { return test_support::PathFromUtf8(path); }

// The text line and the JSON object of an entry written here, its texts
// holding nothing that either form escapes.
std::string LineOf(const FixtureEntry& entry) {
    return encoding::BytesFromWide(entry.fileId) + "\t1.0\t3\t" + std::to_string(entry.content.size()) +
           "\t2024-05-01T12:34:57.789012Z\t" + encoding::BytesFromWide(entry.destination) + "\t" +
           encoding::BytesFromWide(entry.description) + "\n";
}

std::string JsonOf(const FixtureEntry& entry) {
    return "{\"fileId\":\"" + encoding::BytesFromWide(entry.fileId) +
           "\",\"version\":\"1.0\",\"permissions\":3,\"contentSize\":" + std::to_string(entry.content.size()) +
           ",\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\"," +
           "\"destination\":\"" + encoding::BytesFromWide(entry.destination) + "\",\"description\":\"" +
           encoding::BytesFromWide(entry.description) + "\"}";
}

// An index file of entries given in identifier order, framed in one pass.
std::string IndexOf(const std::vector<FixtureEntry>& entries) {
    std::vector<std::vector<std::uint8_t>> encoded;
    for (const FixtureEntry& entry : entries) {
        const auto* const content = reinterpret_cast<const std::uint8_t*>(entry.content.data());
        const auto checksum =
            entry.recordsChecksum ? std::optional(kvd::Crc32c(content, entry.content.size())) : std::nullopt;
        encoded.push_back(kvd::record::Encode({kvd::Utf16FromWide(entry.fileId), kvd::Utf16FromWide(entry.destination),
                                               u"1.0", kvd::Utf16FromWide(entry.description), 3, entry.content.size(),
                                               1714566896789012, 1714566897789012, checksum}));
    }
    std::vector<kvd::IndexBase::RecordBytes> records;
    for (const std::vector<std::uint8_t>& record : encoded) records.push_back({record.data(), record.size()});
    const std::optional<kvd::IndexBase> base = kvd::IndexBase::Assemble(records, 1);
    if (!base) throw std::runtime_error("index too large");
    return std::string(base->Bytes().begin(), base->Bytes().end());
}

class InspectRuns : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(repository_);
        fs::create_directory(start_);
        fs::copy_file(BuiltFile(ZARN_REAL_LIBRARY_PATH), start_ / "KVDFiles.dll");
    }

    // Writes the index of entries and every stored copy at its destination.
    void WriteRepository(const std::vector<FixtureEntry>& entries) const {
        for (const FixtureEntry& entry : entries) {
            // A name as the tool maps it: on POSIX, lone U+DCxx stand for bytes.
            const fs::path stored =
                repository_ / test_support::PathFromUtf8(encoding::BytesFromWide(entry.destination));
            fs::create_directories(stored.parent_path());
            test_support::WriteFileBytes(stored, entry.content);
        }
        test_support::WriteFileBytes(indexPath_, IndexOf(entries));
    }

    // Runs zarnrepo-inspect for each row, its arguments separated by spaces,
    // "{repo}" in them standing for the repository directory, and checks its
    // output bytes, its exit code and silence on standard error.
    void ExpectTable(const std::vector<std::tuple<std::string, std::string, int>>& cases) const {
        for (const auto& [arguments, output, exitCode] : cases) {
            SCOPED_TRACE(arguments);
            test_support::ProcessRequest request{BuiltFile(ZARN_INSPECT_PATH)};
            std::istringstream words(arguments);
            for (std::string argument; words >> argument;) {
                const std::size_t at = argument.find("{repo}");
                if (at != std::string::npos) argument.replace(at, 6, test_support::Utf8FromPath(repository_));
                request.arguments.push_back(argument);
            }
            request.workingDirectory = start_;
            const test_support::ProcessOutcome outcome = test_support::RunProcess(request);
            EXPECT_EQ(outcome.standardOutput, test_support::AsPrinted(output));
            EXPECT_EQ(outcome.exitCode, exitCode);
            EXPECT_EQ(outcome.standardError, "");
        }
    }

    test_support::TemporaryDirectory root_;
    const fs::path start_ = root_.Path() / "start";
    const fs::path repository_ = root_.Path() / "repo";
    const fs::path indexPath_ = repository_ / "ZarnRepository.bin";
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

// Texts reach the output as UTF-8; each problem the check finds is listed
// after the entries. /fileId asks the library's lookup for one entry and shows
// it as the listing would show it alone; the options as the tool reads them:
// quoted, the first of a key, unknown keys ignored.
TEST_F(InspectRuns, ListsLooksUpAndVerifies) {
    std::vector<FixtureEntry> entries = {{L"a", L"a.txt", "12345"},
                                         {L"b", L"b.txt", "1"},
                                         {L"c", L"c.txt", "12345"},
                                         {L"d", L"d.txt", "1"},
                                         {L"e", L"e.txt", "1", L"d", false}};
    for (int number = 1000; number < 2000; ++number) {
        const std::wstring id = L"e" + std::to_wstring(number);
        entries.push_back({id, L"d/" + id, std::string(static_cast<std::size_t>(number % 17), 'x')});
    }
    entries.push_back({L"\u00e9", L"\u65e5.txt", "z", L"\U0001F600"});
    WriteRepository(entries);
    test_support::WriteFileBytes(repository_ / "a.txt", "12346");
    fs::remove(repository_ / "b.txt");
    test_support::WriteFileBytes(repository_ / "c.txt", "1234567");
    fs::remove(repository_ / "d.txt");
    fs::create_directory(repository_ / "d.txt");
    std::string text;
    std::string json = kDocumentStart;
    for (const FixtureEntry& entry : entries) {
        text += LineOf(entry);
        json += "\n" + JsonOf(entry) + (&entry == &entries.back() ? "\n],\"problems\":[" : ",");
    }
    const auto problem = [](const std::string& id, const std::string& kind, const std::string& sizes) {
        return "\n{\"fileId\":\"" + id + "\",\"destination\":\"" + id + ".txt\",\"problem\":\"" + kind +
               "\",\"recordedSize\":" + sizes + "}";
    };
    ExpectTable({
        {"/reposDirPath:{repo}", text, 0},
        {"/reposDirPath:{repo} /verify:1",
         text + "problem\ta\ta.txt\tstored copy differs from its recorded checksum\n" +
             "problem\tb\tb.txt\tstored copy missing\n" +
             "problem\tc\tc.txt\tstored copy holds 7 bytes, index records 5\n" +
             "problem\td\td.txt\tstored copy is not a regular file\nunverified\te\te.txt\tno checksum recorded\n" +
             "\n\nVerification found 4 problems.\n\n",
         1},
        {"/reposDirPath:{repo} /format:json /verify:1",
         json + problem("a", "contentDiffers", "5") + "," + problem("b", "missing", "1") + "," +
             problem("c", "sizeDiffers", "5,\"foundSize\":7") + "," + problem("d", "notAFile", "1") +
             "\n],\"unverified\":[\n{\"fileId\":\"e\",\"destination\":\"e.txt\",\"recordedSize\":1}\n]}\n",
         1},
        {"/reposDirPath:{repo} /fileId:a", LineOf(entries[0]), 0},
        {"/reposDirPath:\"{repo}\" /fileId:\"b\" /format:json /format:xml /colour:blue",
         kDocumentStart + "\n" + JsonOf(entries[1]) + "\n]}\n", 0},
        {"/reposDirPath:{repo} /fileId:f", "Error getting IZarnFile from IZarnRepository.\n\n", 1},
    });
}

// The library is loaded from the start directory and refused when it cannot list.
TEST_F(InspectRuns, ArgumentsAnEmptyRepositoryAndTheLibrary) {
    const std::string invalid = "\n\nInvalid arguments.\n\n" + kUsage;
    ExpectTable({
        {"/reposDirPath:{repo} /verify:1", "", 0},
        {"/reposDirPath:{repo} /format:json /verify:1", kDocumentStart + "],\"problems\":[],\"unverified\":[]}\n", 0},
        {"", invalid, 1},
        {"/reposDirPath:{repo} verify", "\n\nInvalid argument 'verify'.\n\n" + kUsage, 1},
        {"/reposDirPath:{repo} /format:xml", invalid, 1},
        {"/reposDirPath:{repo} /verify:yes", invalid, 1},
        {"/reposDirPath:", "\n\nError getting repository path.\n\n", 1},
        {"/reposDirPath:{repo}/missing", "\n\nError getting IZarnRepository.\n\n", 1},
        {"/version:1 /format:xml /reposDirPath:", "zarnrepo-inspect " ZARN_VERSION "\n", 0},
        {"/version:0", invalid, 1},
        {"/version:yes /reposDirPath:{repo}", invalid, 1},
    });
    EXPECT_FALSE(fs::exists(indexPath_));
    fs::remove(start_ / "KVDFiles.dll");
    ExpectTable({{"/reposDirPath:{repo}", "\n\nError loading KVDFiles library.\n\n", 1}});
    fs::copy_file(BuiltFile(ZARN_LIBRARY_WITHOUT_LISTING_PATH), start_ / "KVDFiles.dll");
    ExpectTable({{"/reposDirPath:{repo}", "\n\nKVDFiles library cannot list files.\n\n", 1}});
}

// Not on Windows, where the library reads and checks the whole index when it
// opens the repository, and where file names cannot hold what the last test writes.
#ifndef _WIN32
// An index held in memory, for the library's own walk.
struct BytesSource : kvd::IndexSource {
    explicit BytesSource(const std::string& text) : bytes(text) {}
    bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t size) override {
        if (offset > bytes.size() || size > bytes.size() - offset) return false;
        std::copy_n(bytes.data() + offset, size, reinterpret_cast<char*>(into));
        return true;
    }
    const std::string& bytes;
};

// Damage the listing meets after the first window of blocks it reads: every
// entry the library's walk hands out before it is printed, then the failure.
TEST_F(InspectRuns, AListingThatFailsPartWayPrintsWhatCameBefore) {
    std::vector<FixtureEntry> entries;
    for (int number = 100000; number < 120000; ++number) entries.push_back({std::to_wstring(number), L"d", ""});
    std::string index = IndexOf(entries);
    index[index.size() / 2] = static_cast<char>(index[index.size() / 2] ^ 0x01);  // amid the records
    kvd::IndexImage image;
    ASSERT_EQ(kvd::IndexImage::Open(std::make_shared<BytesSource>(index), index.size(), image), kvd::IndexStatus::Ok);
    std::string expected;
    kvd::IndexWalk walk(image);
    const std::uint8_t* bytes = nullptr;
    kvd::record::View view;
    for (std::size_t number = 0; walk.Next(bytes, view); ++number) expected += LineOf(entries[number]);
    ASSERT_NE(walk.Status(), kvd::IndexStatus::Ok);
    ASSERT_FALSE(expected.empty());
    test_support::WriteFileBytes(indexPath_, index);
    ExpectTable({{"/reposDirPath:{repo}", expected + "Error getting file count from IZarnRepository.\n\n", 1}});
}

// File names Windows cannot hold: one with a double quote and one with a byte
// that is no UTF-8 (wide text U+DCE9, mapped back to the byte 0xE9), found by
// the check and listed escaped.
TEST_F(InspectRuns, NamesWindowsCannotHold) {
    WriteRepository({{L"q", L"say \"hi\".txt", "abc"}, {L"r", L"byte-\xDCE9", "z"}});
    ExpectTable({{"/reposDirPath:{repo} /verify:1",
                  LineOf({L"q", L"say \"hi\".txt", "abc"}) + LineOf({L"r", L"byte-\\udce9", "z"}), 0}});
}
#endif

}  // namespace
}  // namespace inspect_test
