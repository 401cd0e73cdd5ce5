// Index times as ISO 8601 text in UTC.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "encoding/WideText.h"
#include "inspect/IsoTime.h"

namespace inspect {
namespace {

struct TimeCase {
    std::int64_t microseconds;
    std::wstring text;
};

const TimeCase kTimeCases[] = {
    {0, L"1970-01-01T00:00:00.000000Z"},
    {1, L"1970-01-01T00:00:00.000001Z"},
    {-1, L"1969-12-31T23:59:59.999999Z"},
    {-1000000, L"1969-12-31T23:59:59.000000Z"},
    {86399999999, L"1970-01-01T23:59:59.999999Z"},
    {951782400000000, L"2000-02-29T00:00:00.000000Z"},      // a leap day of a 400-year leap year
    {951868800000000, L"2000-03-01T00:00:00.000000Z"},
    {4107542400000000, L"2100-03-01T00:00:00.000000Z"},     // 2100 has no Feb 29
    {1709251199123456, L"2024-02-29T23:59:59.123456Z"},
    {1735689599999999, L"2024-12-31T23:59:59.999999Z"},
    {1735689600000000, L"2025-01-01T00:00:00.000000Z"},
    {253402300799999999, L"9999-12-31T23:59:59.999999Z"},
    {253402300800000000, L"+10000-01-01T00:00:00.000000Z"},
    {-62167219200000000, L"0000-01-01T00:00:00.000000Z"},
    {-62167219200000001, L"-0001-12-31T23:59:59.999999Z"},
    {std::numeric_limits<std::int64_t>::max(), L"+294247-01-10T04:00:54.775807Z"},
    {std::numeric_limits<std::int64_t>::min(), L"-290308-12-21T19:59:05.224192Z"},
};

TEST(IsoTimeTest, MicrosecondsSinceTheEpochAsUtcText) {
    for (const TimeCase& row : kTimeCases) {
        SCOPED_TRACE(row.microseconds);
        std::string text = "<";
        AppendIsoTime(text, row.microseconds);
        EXPECT_EQ(encoding::WideFromBytes(text), L"<" + row.text);
    }
}

}  // namespace
}  // namespace inspect
