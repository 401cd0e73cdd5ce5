// The listing's lines and documents, character for character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspect/Listing.h"

namespace inspect {
namespace {

// 2024-05-01T12:34:56.789012Z and one second later.
constexpr std::int64_t kAdded = 1714566896789012;
constexpr std::int64_t kChanged = 1714566897789012;

Entry MakeEntry(std::wstring fileId, std::wstring destination, std::wstring version, std::wstring description,
                std::int32_t permissions = 3, std::uint64_t contentSize = 5) {
    Entry entry;
    entry.fileId = std::move(fileId);
    entry.destination = std::move(destination);
    entry.version = std::move(version);
    entry.description = std::move(description);
    entry.permissions = permissions;
    entry.contentSize = contentSize;
    entry.timeAdded = kAdded;
    entry.timeLastChanged = kChanged;
    return entry;
}

void AppendToText(std::wstring_view text, void* context) { static_cast<std::wstring*>(context)->append(text); }

// What a writer hands on, gathered.
class Collected {
public:
    OutputBuffer& Output() { return output_; }
    std::wstring Text() {
        output_.Flush();
        return text_;
    }

private:
    std::wstring text_;
    OutputBuffer output_{AppendToText, &text_};
};

struct LineCase {
    const char* name;
    Entry entry;
    std::wstring textLine;
    std::wstring jsonObject;
};

const LineCase kLineCases[] = {
    {"plain", MakeEntry(L"42", L"docs/a.txt", L"1.0", L"My file"),
     L"42\t1.0\t3\t5\t2024-05-01T12:34:57.789012Z\tdocs/a.txt\tMy file\n",
     L"{\"fileId\":\"42\",\"version\":\"1.0\",\"permissions\":3,\"contentSize\":5,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"docs/a.txt\",\"description\":\"My file\"}"},
    {"empty texts", MakeEntry(L"x", L"x", L"", L"", 1, 0),
     L"x\t\t1\t0\t2024-05-01T12:34:57.789012Z\tx\t\n",
     L"{\"fileId\":\"x\",\"version\":\"\",\"permissions\":1,\"contentSize\":0,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"x\",\"description\":\"\"}"},
    {"tabs, breaks, quotes and backslashes", MakeEntry(L"a\tb", L"C:\\d\\\"q\".txt", L"v\r\n2", L"say \"hi\"\n"),
     L"a\\tb\tv\\r\\n2\t3\t5\t2024-05-01T12:34:57.789012Z\tC:\\\\d\\\\\"q\".txt\tsay \"hi\"\\n\n",
     L"{\"fileId\":\"a\\u0009b\",\"version\":\"v\\u000d\\u000a2\",\"permissions\":3,\"contentSize\":5,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"C:\\\\d\\\\\\\"q\\\".txt\",\"description\":\"say \\\"hi\\\"\\u000a\"}"},
    {"non-ASCII and undecodable bytes",
     MakeEntry(L"\u00e9\U0001F600", std::wstring(L"f") + static_cast<wchar_t>(0xDCE9) + L".txt", L"\u65e5",
               L"\u20ac", 2, 4294967295u),
     L"\u00e9\U0001F600\t\u65e5\t2\t4294967295\t2024-05-01T12:34:57.789012Z\tf\\udce9.txt\t\u20ac\n",
     L"{\"fileId\":\"\u00e9\U0001F600\",\"version\":\"\u65e5\",\"permissions\":2,\"contentSize\":4294967295,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"f\\udce9.txt\",\"description\":\"\u20ac\"}"},
};

TEST(ListingTest, OneEntryAsTextLineAndJsonObject) {
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.name);
        std::wstring line;
        AppendTextLine(line, row.entry);
        EXPECT_EQ(line, row.textLine);
        std::wstring object;
        AppendJsonEntry(object, row.entry);
        EXPECT_EQ(object, row.jsonObject);
    }
}

struct ProblemCase {
    const char* name;
    StoredCopyProblem kind;
    std::uint64_t foundSize;
    std::wstring textLine;
    std::wstring jsonObject;
};

const ProblemCase kProblemCases[] = {
    {"missing", StoredCopyProblem::Missing, 0, L"problem\ti\\td\tsub/\\nf\tstored copy missing\n",
     L"{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"missing\",\"recordedSize\":5}"},
    {"size differs", StoredCopyProblem::SizeDiffers, 12,
     L"problem\ti\\td\tsub/\\nf\tstored copy holds 12 bytes, index records 5\n",
     L"{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"sizeDiffers\",\"recordedSize\":5,"
     L"\"foundSize\":12}"},
    {"not a file", StoredCopyProblem::NotAFile, 0, L"problem\ti\\td\tsub/\\nf\tstored copy is not a regular file\n",
     L"{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"notAFile\",\"recordedSize\":5}"},
    {"unreadable", StoredCopyProblem::Unreadable, 0, L"problem\ti\\td\tsub/\\nf\tstored copy cannot be examined\n",
     L"{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"unreadable\",\"recordedSize\":5}"},
};

TEST(ListingTest, OneProblemAsTextLineAndJsonObject) {
    const Entry entry = MakeEntry(L"i\td", L"sub/\nf", L"1", L"");
    for (const ProblemCase& row : kProblemCases) {
        SCOPED_TRACE(row.name);
        const Problem problem{&entry, row.kind, row.foundSize};
        std::wstring line;
        AppendProblemLine(line, problem);
        EXPECT_EQ(line, row.textLine);
        std::wstring object;
        AppendJsonProblem(object, problem);
        EXPECT_EQ(object, row.jsonObject);
    }
}

TEST(ListingTest, JsonDocumentsWithAndWithoutProblems) {
    const std::vector<Entry> none;
    const std::vector<Entry> two = {MakeEntry(L"a", L"a", L"", L""), MakeEntry(L"b", L"b", L"", L"")};
    const std::vector<Problem> noProblems;
    const std::vector<Problem> oneProblem = {{&two[1], StoredCopyProblem::Missing, 0}};
    std::wstring a;
    std::wstring b;
    AppendJsonEntry(a, two[0]);
    AppendJsonEntry(b, two[1]);

    struct DocumentCase {
        const char* name;
        const std::vector<Entry>* entries;
        const std::vector<Problem>* problems;
        std::wstring document;
    };
    const DocumentCase cases[] = {
        {"empty", &none, nullptr, L"{\"formatVersion\":1,\"entries\":[]}\n"},
        {"empty, verified", &none, &noProblems, L"{\"formatVersion\":1,\"entries\":[],\"problems\":[]}\n"},
        {"two", &two, nullptr, L"{\"formatVersion\":1,\"entries\":[\n" + a + L",\n" + b + L"\n]}\n"},
        {"two, one problem", &two, &oneProblem,
         L"{\"formatVersion\":1,\"entries\":[\n" + a + L",\n" + b + L"\n],\"problems\":[\n{\"fileId\":\"b\",\"destination\":\"b\","
         L"\"problem\":\"missing\",\"recordedSize\":5}\n]}\n"},
    };
    for (const DocumentCase& row : cases) {
        SCOPED_TRACE(row.name);
        Collected collected;
        WriteJsonDocument(*row.entries, row.problems, collected.Output());
        EXPECT_EQ(collected.Text(), row.document);
    }
}

TEST(ListingTest, TextListingIsItsLinesInOrder) {
    const std::vector<Entry> entries = {MakeEntry(L"a", L"a", L"", L""), MakeEntry(L"b", L"b", L"", L"")};
    Collected collected;
    WriteTextListing(entries, collected.Output());
    EXPECT_EQ(collected.Text(), L"a\t\t3\t5\t2024-05-01T12:34:57.789012Z\ta\t\n"
                                L"b\t\t3\t5\t2024-05-01T12:34:57.789012Z\tb\t\n");
}

// Many lines pass through in several pieces, each ending at a line's end.
TEST(ListingTest, LongListingIsHandedOnInWholeLines) {
    std::vector<Entry> entries;
    for (int i = 0; i < 5000; ++i) entries.push_back(MakeEntry(std::to_wstring(i), L"d", L"", L""));
    std::vector<std::wstring> pieces;
    OutputBuffer output(
        [](std::wstring_view text, void* context) { static_cast<std::vector<std::wstring>*>(context)->emplace_back(text); },
        &pieces);
    WriteTextListing(entries, output);
    output.Flush();

    std::wstring expected;
    for (const Entry& entry : entries) AppendTextLine(expected, entry);
    std::wstring joined;
    for (const std::wstring& piece : pieces) {
        EXPECT_EQ(piece.back(), L'\n');
        joined += piece;
    }
    EXPECT_GT(pieces.size(), 1u);
    EXPECT_EQ(joined, expected);
}

TEST(ListingTest, ProblemSummaryCountsProblems) {
    EXPECT_EQ(ProblemSummary(1), L"\n\nVerification found 1 problem.\n\n");
    EXPECT_EQ(ProblemSummary(3), L"\n\nVerification found 3 problems.\n\n");
}

}  // namespace
}  // namespace inspect
