#include "commands/CommandSupport.h"

#include <gtest/gtest.h>

namespace {

using commands::ParseLeadingInteger;

TEST(ParseLeadingInteger, TakesTheLeadingNumberLikeTheRuntimeConversion) {
    EXPECT_EQ(ParseLeadingInteger(L"3"), 3);
    EXPECT_EQ(ParseLeadingInteger(L"2x"), 2);
    EXPECT_EQ(ParseLeadingInteger(L" 3"), 3);
    EXPECT_EQ(ParseLeadingInteger(L"\t\n+7"), 7);
    EXPECT_EQ(ParseLeadingInteger(L"-1"), -1);
    EXPECT_EQ(ParseLeadingInteger(L"abc"), 0);
    EXPECT_EQ(ParseLeadingInteger(L""), 0);
    EXPECT_EQ(ParseLeadingInteger(L"- 1"), 0);
    EXPECT_EQ(ParseLeadingInteger(L"0012"), 12);
}

TEST(ParseLeadingInteger, SaturatesBeyondTheSigned32BitRange) {
    EXPECT_EQ(ParseLeadingInteger(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseLeadingInteger(L"2147483648"), 2147483647);
    EXPECT_EQ(ParseLeadingInteger(L"99999999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInteger(L"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInteger(L"-2147483649"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInteger(L"-99999999999999999999999"), -2147483647 - 1);
}

}  // namespace
