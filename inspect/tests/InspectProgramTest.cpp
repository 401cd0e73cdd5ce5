// The real zarnrepo-inspect with the real repository library on repositories
// in temporary directories (InspectRuns.h): its output bytes, its exit code,
// and silence on standard error. Names that Windows cannot hold are in the
// _posix part.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "inspect/tests/InspectRuns.h"
#include "tests/support/Files.h"
#include "tests/support/Process.h"

namespace inspect_test {
namespace {

namespace fs = std::filesystem;
using test_support::ProcessOutcome;

#ifdef _WIN32
// There the library reads the index whole when it opens the repository.
constexpr bool kIndexReadWholeAtOpen = true;
#else
constexpr bool kIndexReadWholeAtOpen = false;
#endif

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

TEST_F(InspectRuns, EmptyRepository) {
    fs::create_directory(Repository());
    ExpectTable({
        {"text", {"/reposDirPath:{repo}"}, {"", 0}},
        {"text, verified", {"/reposDirPath:{repo}", "/verify:1"}, {"", 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json"}, {"{\"formatVersion\":1,\"entries\":[]}\n", 0}},
        {"json, verified", {"/reposDirPath:{repo}", "/format:json", "/verify:1"},
         {"{\"formatVersion\":1,\"entries\":[],\"problems\":[],\"unverified\":[]}\n", 0}},
    });
    EXPECT_FALSE(fs::exists(Repository() / "ZarnRepository.bin"));
}

TEST_F(InspectRuns, IndexWithoutEntries) {
    WriteIndexWithoutEntries(Repository());
    ExpectTable({
        {"text", {"/reposDirPath:{repo}", "/verify:1"}, {"", 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json"}, {"{\"formatVersion\":1,\"entries\":[]}\n", 0}},
    });
}

TEST_F(InspectRuns, ManyEntriesInIdentifierOrder) {
    constexpr int kCount = 1000;
    std::vector<FixtureEntry> entries;
    // Added in an order that is not the identifiers' own.
    for (int i = 0; i < kCount; ++i) {
        const int number = (i * 7919) % kCount;
        char id[16];
        std::snprintf(id, sizeof id, "e%04d", number);
        const std::wstring wideId(id, id + 5);
        entries.push_back(Plain(wideId, L"d/" + wideId, std::string(static_cast<std::size_t>(number % 17), 'x')));
    }
    WriteRepository(Repository(), entries);

    std::string text;
    std::string json = "{\"formatVersion\":1,\"entries\":[";
    for (int number = 0; number < kCount; ++number) {
        char id[16];
        std::snprintf(id, sizeof id, "e%04d", number);
        const std::size_t size = static_cast<std::size_t>(number % 17);
        text += LineOf(id, std::string("d/") + id, size);
        json += "\n" + JsonOf(id, std::string("d/") + id, size) + (number + 1 < kCount ? "," : "");
    }
    json += "\n]}\n";
    ExpectTable({
        {"text", {"/reposDirPath:{repo}"}, {text, 0}},
        {"text, verified", {"/reposDirPath:{repo}", "/verify:1"}, {text, 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json"}, {json, 0}},
    });
}

TEST_F(InspectRuns, TextsWithQuotesTabsBreaksAndNonAscii) {
    WriteRepository(Repository(),
                    {
                        {L"q\"uote", L"say 'hi'.txt", L"1\t2", L"line one\nline two\r\n", 1, "abc", kAdded, kChanged},
                        {L"\u00e9t\u00e9", L"\u65e5\u672c/\u00e9.txt", L"\u20ac", L"back\\slash \U0001F600", 2, "",
                         kAdded, kChanged},
                        {L"raw", L"bell.txt", L"", L"bell\a", 3, "z", kAdded, kChanged},
                    });
    const std::string text =
        "q\"uote\t1\\t2\t1\t3\t" + kChangedText + "\tsay 'hi'.txt\tline one\\nline two\\r\\n\n" +
        "raw\t\t3\t1\t" + kChangedText + "\tbell.txt\tbell\\u0007\n" +
        "\xc3\xa9t\xc3\xa9\t\xe2\x82\xac\t2\t0\t" + kChangedText +
        "\t\xe6\x97\xa5\xe6\x9c\xac/\xc3\xa9.txt\tback\\\\slash \xf0\x9f\x98\x80\n";
    const std::string json =
        "{\"formatVersion\":1,\"entries\":[\n" +
        JsonOf("q\\\"uote", "say 'hi'.txt", 3, "1\\u00092", "line one\\u000aline two\\u000d\\u000a", 1) +
        ",\n" + JsonOf("raw", "bell.txt", 1, "", "bell\\u0007", 3) + ",\n" +
        JsonOf("\xc3\xa9t\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac/\xc3\xa9.txt", 0, "\xe2\x82\xac",
               "back\\\\slash \xf0\x9f\x98\x80", 2) +
        "\n]}\n";
    ExpectTable({
        {"text", {"/reposDirPath:{repo}", "/verify:1"}, {text, 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json", "/verify:0"}, {json, 0}},
    });
}

TEST_F(InspectRuns, MissingResizedAndChangedStoredCopies) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "12345"), Plain(L"b", L"sub/b.txt", "12345"),
                                   Plain(L"c", L"c.txt", "12345")});
    fs::remove(Repository() / "sub" / "b.txt");
    test_support::WriteFileBytes(Repository() / "c.txt", "1234567");
    test_support::WriteFileBytes(Repository() / "a.txt", "12346");

    const std::string listing = LineOf("a", "a.txt", 5) + LineOf("b", "sub/b.txt", 5) + LineOf("c", "c.txt", 5);
    const std::string entries = "{\"formatVersion\":1,\"entries\":[\n" + JsonOf("a", "a.txt", 5) + ",\n" + JsonOf("b", "sub/b.txt", 5) +
                                ",\n" + JsonOf("c", "c.txt", 5) + "\n]";
    ExpectTable({
        {"text, not verified", {"/reposDirPath:{repo}"}, {listing, 0}},
        {"text, verified", {"/reposDirPath:{repo}", "/verify:1"},
         {listing + "problem\ta\ta.txt\tstored copy differs from its recorded checksum\n" +
              "problem\tb\tsub/b.txt\tstored copy missing\n" +
              "problem\tc\tc.txt\tstored copy holds 7 bytes, index records 5\n" +
              "\n\nVerification found 3 problems.\n\n",
          1}},
        {"json, verified", {"/reposDirPath:{repo}", "/format:json", "/verify:1"},
         {entries + ",\"problems\":[\n" +
              "{\"fileId\":\"a\",\"destination\":\"a.txt\",\"problem\":\"contentDiffers\",\"recordedSize\":5},\n" +
              "{\"fileId\":\"b\",\"destination\":\"sub/b.txt\",\"problem\":\"missing\",\"recordedSize\":5},\n" +
              "{\"fileId\":\"c\",\"destination\":\"c.txt\",\"problem\":\"sizeDiffers\",\"recordedSize\":5," +
              "\"foundSize\":7}\n],\"unverified\":[]}\n",
          1}},
    });
}

TEST_F(InspectRuns, StoredCopyReplacedByADirectory) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "1")});
    fs::remove(Repository() / "a.txt");
    fs::create_directory(Repository() / "a.txt");
    Expect({"/reposDirPath:{repo}", "/verify:1"},
           {LineOf("a", "a.txt", 1) + "problem\ta\ta.txt\tstored copy is not a regular file\n" +
                "\n\nVerification found 1 problem.\n\n",
            1});
}

TEST_F(InspectRuns, InvalidIndexIsRefused) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "1")});
    const std::string index = test_support::ReadFileBytes(Repository() / "ZarnRepository.bin");
    std::string flipped = index;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x01);
    const Expected refused{"\n\nError getting IZarnRepository.\n\n", 1};

    struct IndexCase {
        const char* name;
        std::string bytes;
    };
    const IndexCase cases[] = {
        {"garbage", "not an index at all"},
        {"cut short", index.substr(0, index.size() - 1)},
        {"one bit flipped", flipped},
        {"empty file", ""},
    };
    for (const IndexCase& row : cases) {
        SCOPED_TRACE(row.name);
        test_support::WriteFileBytes(Repository() / "ZarnRepository.bin", row.bytes);
        Expect({"/reposDirPath:{repo}", "/verify:1"}, refused);
        Expect({"/reposDirPath:{repo}", "/format:json"}, refused);
    }
}

// The open reads the index's header, block checksums and changes; damage in
// a block of records far from them is found by the listing, which reads the
// rest. Where the library reads the index whole at the open, the open finds it.
TEST_F(InspectRuns, DamageFarFromTheHeaderFailsTheListing) {
    std::vector<FixtureEntry> entries;
    for (int number = 1000; number < 1300; ++number) {
        const std::wstring id = L"entry-" + std::to_wstring(number);
        entries.push_back(Plain(id, L"d/" + id, "1"));
    }
    WriteRepository(Repository(), entries);
    std::string index = test_support::ReadFileBytes(Repository() / "ZarnRepository.bin");
    const std::size_t damaged = 2 * 4096 + 100;  // in the third 4 KiB block: records
    ASSERT_GT(index.size(), damaged + 4096);
    index[damaged] = static_cast<char>(index[damaged] ^ 0x01);
    test_support::WriteFileBytes(Repository() / "ZarnRepository.bin", index);
    const char* const message = kIndexReadWholeAtOpen ? "\n\nError getting IZarnRepository.\n\n"
                                                      : "Error getting file count from IZarnRepository.\n\n";
    Expect({"/reposDirPath:{repo}"}, {message, 1});
}

TEST_F(InspectRuns, ArgumentErrors) {
    fs::create_directory(Repository());
    const Expected invalid{"\n\nInvalid arguments.\n\n" + kUsage, 1};
    ExpectTable({
        {"no arguments", {}, invalid},
        {"no repository", {"/format:json"}, invalid},
        {"argument without a colon", {"/reposDirPath:{repo}", "verify"},
         {"\n\nInvalid argument 'verify'.\n\n" + kUsage, 1}},
        {"empty argument", {""}, {"\n\nInvalid argument ''.\n\n" + kUsage, 1}},
        {"help is no option", {"/?"}, {"\n\nInvalid argument '/?'.\n\n" + kUsage, 1}},
        {"unknown format", {"/reposDirPath:{repo}", "/format:xml"}, invalid},
        {"format in capitals", {"/reposDirPath:{repo}", "/format:JSON"}, invalid},
        {"empty format", {"/reposDirPath:{repo}", "/format:"}, invalid},
        {"verify other than 0 or 1", {"/reposDirPath:{repo}", "/verify:yes"}, invalid},
        {"empty repository path", {"/reposDirPath:"}, {"\n\nError getting repository path.\n\n", 1}},
        {"no such directory", {"/reposDirPath:{repo}/missing"}, {"\n\nError getting IZarnRepository.\n\n", 1}},
    });
}

TEST_F(InspectRuns, OptionsFollowTheToolsQuoteAndRepeatRules) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "1")});
    const std::string json = "{\"formatVersion\":1,\"entries\":[\n" + JsonOf("a", "a.txt", 1) + "\n]}\n";
    ExpectTable({
        {"quoted values", {"/reposDirPath:\"{repo}\"", "/format:\"json\""}, {json, 0}},
        {"first occurrence wins", {"/reposDirPath:{repo}", "/format:json", "/format:xml"}, {json, 0}},
        {"unknown keys are ignored", {"/reposDirPath:{repo}", "/format:json", "/colour:blue"}, {json, 0}},
    });
}

// /fileId asks the library's lookup for one entry and shows it as the listing
// would show it alone.
TEST_F(InspectRuns, OneEntryByItsIdentifier) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "12"), Plain(L"b", L"b.txt", "345")});
    fs::remove(Repository() / "b.txt");
    const Expected absent{"Error getting IZarnFile from IZarnRepository.\n\n", 1};
    ExpectTable({
        {"text", {"/reposDirPath:{repo}", "/fileId:a"}, {LineOf("a", "a.txt", 2), 0}},
        {"quoted", {"/reposDirPath:{repo}", "/fileId:\"b\""}, {LineOf("b", "b.txt", 3), 0}},
        {"json", {"/reposDirPath:{repo}", "/fileId:b", "/format:json"},
         {"{\"formatVersion\":1,\"entries\":[\n" + JsonOf("b", "b.txt", 3) + "\n]}\n", 0}},
        {"verified", {"/reposDirPath:{repo}", "/fileId:b", "/verify:1"},
         {LineOf("b", "b.txt", 3) + "problem\tb\tb.txt\tstored copy missing\n" +
              "\n\nVerification found 1 problem.\n\n",
          1}},
        {"absent", {"/reposDirPath:{repo}", "/fileId:c"}, absent},
        {"identifiers are case-sensitive", {"/reposDirPath:{repo}", "/fileId:A", "/format:json"}, absent},
        {"empty identifier", {"/reposDirPath:{repo}", "/fileId:"}, absent},
    });
}

TEST_F(InspectRuns, VersionOption) {
    const Expected version{"zarnrepo-inspect " ZARN_VERSION "\n", 0};
    const Expected invalid{"\n\nInvalid arguments.\n\n" + kUsage, 1};
    ExpectTable({
        {"alone", {"/version:1"}, version},
        {"other options are not looked at", {"/version:1", "/format:xml", "/reposDirPath:"}, version},
        {"0 asks for the listing, which needs a repository", {"/version:0"}, invalid},
        {"other values", {"/version:yes", "/reposDirPath:{repo}"}, invalid},
        {"argument without a colon first", {"/version:1", "version"},
         {"\n\nInvalid argument 'version'.\n\n" + kUsage, 1}},
    });
}

TEST_F(InspectRuns, LibraryIsLoadedFromTheStartDirectory) {
    WriteRepository(Repository(), {Plain(L"a", L"a.txt", "1")});
    fs::remove(Start() / "KVDFiles.dll");
    Expect({"/reposDirPath:{repo}"}, {"\n\nError loading KVDFiles library.\n\n", 1});
}

// A repository that the tool itself built, listed with the time it was built.
TEST_F(InspectRuns, ListsWhatTheToolAdded) {
    fs::create_directory(Repository());
    test_support::WriteFileBytes(root_.Path() / "source.txt", "hello");
    const auto before = std::chrono::system_clock::now();
    const ProcessOutcome added = RunFromStart(
        ToolPath(), {"/command:addFile", "/reposDirPath:" + test_support::Utf8FromPath(Repository()), "/fileId:42",
                     "/fileDesc:\"My file\"", "/fileVersion:1.0", "/filePermissions:3",
                     "/sourceFilePath:" + test_support::Utf8FromPath(root_.Path() / "source.txt"),
                     "/targetFilePath:docs/a.txt"});
    ASSERT_EQ(added.exitCode, 0) << added.standardOutput;

    const ProcessOutcome listed = Run({"/reposDirPath:{repo}", "/verify:1"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.standardError, "");
    // Everything but the time as expected; the time is checked below.
    const std::string listedTime = listed.standardOutput.substr(std::min<std::size_t>(11, listed.standardOutput.size()),
                                                                kChangedText.size());
    EXPECT_EQ(listed.standardOutput,
              test_support::AsPrinted("42\t1.0\t3\t5\t" + listedTime + "\tdocs/a.txt\tMy file\n"));
    ASSERT_EQ(listedTime.size(), kChangedText.size());
    EXPECT_EQ(listedTime.substr(10, 1), "T");
    EXPECT_EQ(listedTime.substr(kChangedText.size() - 1), "Z");
    // The day it was added, give or take the midnight the run may straddle.
    const auto day = std::chrono::floor<std::chrono::days>(before);
    const std::chrono::year_month_day date{day};
    char today[16];
    std::snprintf(today, sizeof today, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    const std::chrono::year_month_day next{day + std::chrono::days{1}};
    char tomorrow[16];
    std::snprintf(tomorrow, sizeof tomorrow, "%04d-%02u-%02u", static_cast<int>(next.year()),
                  static_cast<unsigned>(next.month()), static_cast<unsigned>(next.day()));
    const std::string listedDay = listedTime.substr(0, 10);
    EXPECT_TRUE(listedDay == today || listedDay == tomorrow) << listedDay;
}

}  // namespace
}  // namespace inspect_test
