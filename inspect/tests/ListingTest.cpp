// The listing's lines and documents, character for character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/WideText.h"
#include "inspect/Listing.h"

namespace inspect {
namespace {

// 2024-05-01T12:34:56.789012Z and one second later.
constexpr std::int64_t kAdded = 1714566896789012;
constexpr std::int64_t kChanged = 1714566897789012;

// The texts an entry shows, kept while the entry is used.
struct Texts {
    std::wstring fileId;
    std::wstring destination;
    std::wstring version;
    std::wstring description;
    std::int32_t permissions = 3;
    std::uint64_t contentSize = 5;

    Entry View() const {
        Entry entry;
        entry.fileId = fileId;
        entry.destination = destination;
        entry.version = version;
        entry.description = description;
        entry.permissions = permissions;
        entry.contentSize = contentSize;
        entry.timeAdded = kAdded;
        entry.timeLastChanged = kChanged;
        return entry;
    }
};

void AppendToText(std::string_view text, void* context) { static_cast<std::string*>(context)->append(text); }

// The listing's UTF-8 read back as the wide text the tests spell.
std::wstring Wide(const std::string& text) { return encoding::WideFromBytes(text); }

// What a writer hands on, gathered.
class Collected {
public:
    OutputBuffer& Output() { return output_; }
    std::wstring Text() {
        output_.Flush();
        return Wide(text_);
    }

private:
    std::string text_;
    OutputBuffer output_{AppendToText, &text_};
};

struct LineCase {
    const char* name;
    Texts entry;
    std::wstring textLine;
    std::wstring jsonObject;
};

const LineCase kLineCases[] = {
    {"plain", Texts{L"42", L"docs/a.txt", L"1.0", L"My file"},
     L"42\t1.0\t3\t5\t2024-05-01T12:34:57.789012Z\tdocs/a.txt\tMy file\n",
     L"{\"fileId\":\"42\",\"version\":\"1.0\",\"permissions\":3,\"contentSize\":5,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"docs/a.txt\",\"description\":\"My file\"}"},
    {"empty texts", Texts{L"x", L"x", L"", L"", 1, 0},
     L"x\t\t1\t0\t2024-05-01T12:34:57.789012Z\tx\t\n",
     L"{\"fileId\":\"x\",\"version\":\"\",\"permissions\":1,\"contentSize\":0,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"x\",\"description\":\"\"}"},
    {"tabs, breaks, quotes and backslashes", Texts{L"a\tb", L"C:\\d\\\"q\".txt", L"v\r\n2", L"say \"hi\"\n"},
     L"a\\tb\tv\\r\\n2\t3\t5\t2024-05-01T12:34:57.789012Z\tC:\\\\d\\\\\"q\".txt\tsay \"hi\"\\n\n",
     L"{\"fileId\":\"a\\u0009b\",\"version\":\"v\\u000d\\u000a2\",\"permissions\":3,\"contentSize\":5,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"C:\\\\d\\\\\\\"q\\\".txt\",\"description\":\"say \\\"hi\\\"\\u000a\"}"},
    {"non-ASCII and undecodable bytes",
     Texts{L"\u00e9\U0001F600", std::wstring(L"f") + static_cast<wchar_t>(0xDCE9) + L".txt", L"\u65e5", L"\u20ac", 2,
           4294967295u},
     L"\u00e9\U0001F600\t\u65e5\t2\t4294967295\t2024-05-01T12:34:57.789012Z\tf\\udce9.txt\t\u20ac\n",
     L"{\"fileId\":\"\u00e9\U0001F600\",\"version\":\"\u65e5\",\"permissions\":2,\"contentSize\":4294967295,"
     L"\"timeAdded\":\"2024-05-01T12:34:56.789012Z\",\"timeLastChanged\":\"2024-05-01T12:34:57.789012Z\","
     L"\"destination\":\"f\\udce9.txt\",\"description\":\"\u20ac\"}"},
};

TEST(ListingTest, OneEntryAsTextLineAndJsonObject) {
    for (const LineCase& row : kLineCases) {
        SCOPED_TRACE(row.name);
        std::string line;
        AppendTextLine(line, row.entry.View());
        EXPECT_EQ(Wide(line), row.textLine);
        std::string object;
        AppendJsonEntry(object, row.entry.View());
        EXPECT_EQ(Wide(object), row.jsonObject);
    }
}

// What a listing of one entry whose check found a problem ends with.
struct ProblemCase {
    const char* name;
    StoredCopyProblem kind;
    std::uint64_t foundSize;
    std::wstring textEnd;
    std::wstring jsonEnd;
};

const ProblemCase kProblemCases[] = {
    {"missing", StoredCopyProblem::Missing, 0, L"problem\ti\\td\tsub/\\nf\tstored copy missing\n",
     L"\"problems\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"missing\",\"recordedSize\":5}\n],"
     L"\"unverified\":[]}\n"},
    {"size differs", StoredCopyProblem::SizeDiffers, 12,
     L"problem\ti\\td\tsub/\\nf\tstored copy holds 12 bytes, index records 5\n",
     L"\"problems\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"sizeDiffers\",\"recordedSize\":5,"
     L"\"foundSize\":12}\n],\"unverified\":[]}\n"},
    {"not a file", StoredCopyProblem::NotAFile, 0, L"problem\ti\\td\tsub/\\nf\tstored copy is not a regular file\n",
     L"\"problems\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"notAFile\",\"recordedSize\":5}\n],"
     L"\"unverified\":[]}\n"},
    {"unreadable", StoredCopyProblem::Unreadable, 0, L"problem\ti\\td\tsub/\\nf\tstored copy cannot be examined\n",
     L"\"problems\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"unreadable\",\"recordedSize\":5}\n],"
     L"\"unverified\":[]}\n"},
    {"content differs", StoredCopyProblem::ContentDiffers, 5,
     L"problem\ti\\td\tsub/\\nf\tstored copy differs from its recorded checksum\n",
     L"\"problems\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"problem\":\"contentDiffers\",\"recordedSize\":5}"
     L"\n],\"unverified\":[]}\n"},
    {"unverified", StoredCopyProblem::Unverified, 5, L"unverified\ti\\td\tsub/\\nf\tno checksum recorded\n",
     L"\"problems\":[],\"unverified\":[\n{\"fileId\":\"i\\u0009d\",\"destination\":\"sub/\\u000af\",\"recordedSize\":5}\n]}\n"},
};

// The listing of one entry and its problem, in text and in JSON; only what
// counts as a problem is summed up and makes the verification fail.
TEST(ListingTest, ProblemsEndTheListing) {
    const Texts texts{L"i\td", L"sub/\nf", L"1", L""};
    std::string lineBytes;
    AppendTextLine(lineBytes, texts.View());
    std::string objectBytes;
    AppendJsonEntry(objectBytes, texts.View());
    const std::wstring line = Wide(lineBytes);
    const std::wstring object = Wide(objectBytes);
    for (const ProblemCase& row : kProblemCases) {
        SCOPED_TRACE(row.name);
        const std::vector<Problem> problems = {{texts.fileId, texts.destination, row.kind, 5, row.foundSize}};
        const bool counts = row.kind != StoredCopyProblem::Unverified;
        for (const Format format : {Format::Text, Format::Json}) {
            Collected collected;
            Listing listing(format, collected.Output());
            listing.Add(texts.View());
            EXPECT_EQ(listing.Finish(&problems), counts ? 1u : 0u);
            const std::wstring expected =
                format == Format::Text
                    ? line + row.textEnd + (counts ? L"\n\nVerification found 1 problem.\n\n" : L"")
                    : L"{\"formatVersion\":1,\"entries\":[\n" + object + L"\n]," + row.jsonEnd;
            EXPECT_EQ(collected.Text(), expected);
        }
    }
}

TEST(ListingTest, ListingsWithAndWithoutEntriesAndChecks) {
    const Texts a{L"a", L"a", L"", L""};
    const Texts b{L"b", L"b", L"", L""};
    const auto line = [](const Texts& texts) {
        std::string bytes;
        AppendTextLine(bytes, texts.View());
        return Wide(bytes);
    };
    const auto object = [](const Texts& texts) {
        std::string bytes;
        AppendJsonEntry(bytes, texts.View());
        return Wide(bytes);
    };
    const std::wstring lineA = line(a);
    const std::wstring lineB = line(b);
    const std::wstring objectA = object(a);
    const std::wstring objectB = object(b);
    const std::vector<Problem> noProblems;
    const std::vector<Problem> three = {{L"a", L"a", StoredCopyProblem::Missing, 5, 0},
                                        {L"b", L"b", StoredCopyProblem::Unverified, 5, 0},
                                        {L"c", L"c", StoredCopyProblem::NotAFile, 5, 0}};
    struct DocumentCase {
        Format format;
        std::vector<const Texts*> entries;
        const std::vector<Problem>* problems;
        std::wstring document;
    };
    const DocumentCase cases[] = {
        {Format::Json, {}, nullptr, L"{\"formatVersion\":1,\"entries\":[]}\n"},
        {Format::Json, {}, &noProblems, L"{\"formatVersion\":1,\"entries\":[],\"problems\":[],\"unverified\":[]}\n"},
        {Format::Json, {&a, &b}, nullptr, L"{\"formatVersion\":1,\"entries\":[\n" + objectA + L",\n" + objectB + L"\n]}\n"},
        {Format::Text, {}, &noProblems, L""},
        {Format::Text, {&a, &b}, nullptr, lineA + lineB},
        {Format::Text, {&a}, &three,
         lineA + L"problem\ta\ta\tstored copy missing\nproblem\tc\tc\tstored copy is not a regular file\n"
                 L"unverified\tb\tb\tno checksum recorded\n\n\nVerification found 2 problems.\n\n"},
    };
    for (const DocumentCase& row : cases) {
        Collected collected;
        Listing listing(row.format, collected.Output());
        for (const Texts* entry : row.entries) listing.Add(entry->View());
        listing.Finish(row.problems);
        EXPECT_EQ(collected.Text(), row.document);
    }
}

// Many lines pass through in several pieces, each ending at a line's end.
TEST(ListingTest, LongListingIsHandedOnInWholeLines) {
    std::vector<std::string> pieces;
    OutputBuffer output(
        [](std::string_view text, void* context) { static_cast<std::vector<std::string>*>(context)->emplace_back(text); },
        &pieces);
    Listing listing(Format::Text, output);
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const Texts texts{std::to_wstring(i), L"d", L"", L""};
        listing.Add(texts.View());
        AppendTextLine(expected, texts.View());
    }
    listing.Finish(nullptr);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_EQ(piece.back(), '\n');
        joined += piece;
    }
    EXPECT_GT(pieces.size(), 1u);
    EXPECT_EQ(joined, expected);
}

}  // namespace
}  // namespace inspect
