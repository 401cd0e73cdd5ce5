#include <gtest/gtest.h>

#include "commands/CommandSupport.h"

namespace {

// Leading white space, an optional sign, the digits up to the first other
// character; the nearest bound beyond the signed 32-bit range.
TEST(ParseLeadingInteger, TakesTheLeadingNumberAndSaturates) {
    const struct {
        const wchar_t* text;
        std::int32_t value;
    } rows[] = {
        {L"3", 3},
        {L"2x", 2},
        {L" \t\n\v\f\r+7", 7},
        {L"-1", -1},
        {L"abc", 0},
        {L"", 0},
        {L"- 1", 0},
        {L"0012", 12},
        {L"2147483647", 2147483647},
        {L"2147483648", 2147483647},
        {L"4294967299", 2147483647},
        {L"99999999999999999999999", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"-2147483649", -2147483647 - 1},
        {L"-99999999999999999999999", -2147483647 - 1},
    };
    for (const auto& row : rows) EXPECT_EQ(commands::ParseLeadingInteger(row.text), row.value) << row.text;
}

}  // namespace
