// What the end-to-end rows cannot show: a stored copy that could not be
// examined, and a long listing handed on in whole lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "inspect/Listing.h"

namespace inspect {
namespace {

void Gather(std::string_view text, void* pieces) { static_cast<std::vector<std::string>*>(pieces)->emplace_back(text); }

TEST(ListingTest, StoredCopyThatCannotBeExamined) {
    const Entry entry{"a", "1", "", "a\tb", 3, 5, 0, 1};
    const std::vector<Problem> problems = {{"a", "a\tb", StoredCopyProblem::Unreadable, 5, 0}};
    std::string line;
    AppendTextLine(line, entry);
    std::string object;
    AppendJsonEntry(object, entry);
    const std::pair<Format, std::string> cases[] = {
        {Format::Text,
         line + "problem\ta\ta\\tb\tstored copy cannot be examined\n\n\nVerification found 1 problem.\n\n"},
        {Format::Json,
         "{\"formatVersion\":1,\"entries\":[\n" + object + "\n],\"problems\":[\n{\"fileId\":\"a\"," +
             "\"destination\":\"a\\u0009b\",\"problem\":\"unreadable\",\"recordedSize\":5}\n],\"unverified\":[]}\n"},
    };
    for (const auto& [format, expected] : cases) {
        std::vector<std::string> pieces;
        OutputBuffer output(Gather, &pieces);
        Listing listing(format, output);
        listing.Add(entry);
        EXPECT_EQ(listing.Finish(&problems), 1u);
        output.Flush();
        EXPECT_EQ(pieces, std::vector<std::string>{expected});
    }
}

TEST(ListingTest, LongListingIsHandedOnInWholeLines) {
    std::vector<std::string> pieces;
    OutputBuffer output(Gather, &pieces);
    Listing listing(Format::Text, output);
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::string fileId = std::to_string(i);
        const Entry entry{fileId, "", "", "d"};
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

// The room made for an entry holds its longest form: every byte of its texts
// escaped to six bytes, its numbers and times at their longest.
TEST(ListingTest, AnEntryAtItsLongestIsWrittenWhole) {
    const std::string escaped(1000, '\x01');
    const std::string plain(1000, 'a');
    const Entry longest{escaped,
                        escaped,
                        escaped,
                        escaped,
                        std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::uint64_t>::max(),
                        std::numeric_limits<std::int64_t>::min(),
                        std::numeric_limits<std::int64_t>::max()};
    Entry same = longest;
    same.fileId = same.version = same.description = same.destination = plain;
    for (void (*append)(std::string&, const Entry&) : {AppendTextLine, AppendJsonEntry}) {
        std::string written;
        std::string unescaped;
        // Room to spare, so that a write past the room made shows in the bytes.
        written.reserve(std::size_t{1} << 20);
        append(written, longest);
        append(unescaped, same);
        EXPECT_EQ(written.find('\0'), std::string::npos);
        EXPECT_EQ(written.size(), unescaped.size() + 4 * 5 * escaped.size());
    }
}

}  // namespace
}  // namespace inspect
