// The listing's end after a check where the real library cannot be made to
// find it (a copy that cannot be examined, entries without checksum), and a
// long listing handed on in whole lines. The rest the end-to-end rows show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspect/Listing.h"

namespace inspect {
namespace {

void AppendPiece(std::string_view text, void* context) { static_cast<std::string*>(context)->append(text); }

TEST(ListingTest, UnverifiedEntriesFollowTheProblemsAndAreNoneThemselves) {
    const Entry entry{L"a", L"1", L"", L"a\tb", 3, 5, 0, 1};
    std::string line;
    AppendTextLine(line, entry);
    std::string object;
    AppendJsonEntry(object, entry);
    const Problem unverified{L"u", L"u\n", StoredCopyProblem::Unverified, 5, 5};
    const Problem unreadable{L"a", L"a\tb", StoredCopyProblem::Unreadable, 5, 0};
    const std::string unverifiedLine = "unverified\tu\tu\\n\tno checksum recorded\n";
    const std::string unverifiedObject = "{\"fileId\":\"u\",\"destination\":\"u\\u000a\",\"recordedSize\":5}";
    const struct {
        Format format;
        std::vector<Problem> problems;
        std::string end;
        std::size_t counted;
    } cases[] = {
        {Format::Text,
         {unverified, unreadable},
         line + "problem\ta\ta\\tb\tstored copy cannot be examined\n" + unverifiedLine +
             "\n\nVerification found 1 problem.\n\n",
         1},
        {Format::Text, {unverified}, line + unverifiedLine, 0},
        {Format::Json,
         {unverified, unreadable, unverified},
         "\n" + object + "\n],\"problems\":[\n{\"fileId\":\"a\",\"destination\":\"a\\u0009b\",\"problem\":" +
             "\"unreadable\",\"recordedSize\":5}\n],\"unverified\":[\n" + unverifiedObject + ",\n" + unverifiedObject +
             "\n]}\n",
         1},
    };
    for (const auto& row : cases) {
        std::string printed;
        OutputBuffer output(AppendPiece, &printed);
        Listing listing(row.format, output);
        listing.Add(entry);
        EXPECT_EQ(listing.Finish(&row.problems), row.counted);
        output.Flush();
        EXPECT_EQ(printed, (row.format == Format::Json ? "{\"formatVersion\":1,\"entries\":[" : "") + row.end);
    }
}

TEST(ListingTest, LongListingIsHandedOnInWholeLines) {
    std::vector<std::string> pieces;
    OutputBuffer output([](std::string_view text,
                           void* context) { static_cast<std::vector<std::string>*>(context)->emplace_back(text); },
                        &pieces);
    Listing listing(Format::Text, output);
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::wstring fileId = std::to_wstring(i);
        const Entry entry{fileId, L"", L"", L"d"};
        listing.Add(entry);
        AppendTextLine(expected, entry);
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
