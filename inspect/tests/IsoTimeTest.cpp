// Index times as ISO 8601 text in UTC.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "inspect/IsoTime.h"

namespace inspect {
namespace {

using namespace std::chrono;

std::string IsoTime(std::int64_t microseconds) {
    std::string text = "<";
    AppendIsoTime(text, microseconds);
    return text[0] == '<' ? text.substr(1) : "what came before was overwritten";
}

// Every month's first and last microsecond, the calendar taken from the
// standard library: years around the epoch, the 400-year and 100-year leap
// rules, and the last year of four digits and the first past it.
TEST(IsoTimeTest, FirstAndLastMicrosecondOfEveryMonth) {
    const auto micros = [](sys_days day) { return duration_cast<microseconds>(day.time_since_epoch()).count(); };
    for (const int number : {1969, 1970, 2000, 2023, 2024, 2100, 9999, 10000}) {
        for (unsigned month = 1; month <= 12; ++month) {
            const year_month ym{year{number}, std::chrono::month{month}};
            const unsigned lastDay = static_cast<unsigned>((ym / last).day());
            char monthText[32];
            std::snprintf(monthText, sizeof monthText, "%s%04d-%02u-", number > 9999 ? "+" : "", number, month);
            SCOPED_TRACE(monthText);
            EXPECT_EQ(IsoTime(micros(ym / 1)), monthText + std::string("01T00:00:00.000000Z"));
            EXPECT_EQ(IsoTime(micros(sys_days{ym / last} + days{1}) - 1),
                      monthText + std::to_string(lastDay) + "T23:59:59.999999Z");
        }
    }
}

TEST(IsoTimeTest, FractionsNegativeTimesAndTheFarthestYears) {
    const struct {
        std::int64_t microseconds;
        const char* text;
    } cases[] = {
        {1, "1970-01-01T00:00:00.000001Z"},
        {-1000000, "1969-12-31T23:59:59.000000Z"},
        {-62167219200000000, "0000-01-01T00:00:00.000000Z"},
        {-62167219200000001, "-0001-12-31T23:59:59.999999Z"},
        {std::numeric_limits<std::int64_t>::max(), "+294247-01-10T04:00:54.775807Z"},
        {std::numeric_limits<std::int64_t>::min(), "-290308-12-21T19:59:05.224192Z"},
    };
    for (const auto& row : cases) EXPECT_EQ(IsoTime(row.microseconds), row.text) << row.microseconds;
}

}  // namespace
}  // namespace inspect
