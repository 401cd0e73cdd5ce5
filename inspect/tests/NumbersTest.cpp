// Decimal numbers as the listing writes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "encoding/WideText.h"
#include "inspect/Numbers.h"

namespace inspect {
namespace {

TEST(NumbersTest, UnsignedWithAndWithoutLeadingZeros) {
    struct Case {
        std::uint64_t value;
        std::size_t minimumDigits;
        std::wstring text;
    };
    const Case cases[] = {
        {0, 1, L"0"},
        {7, 1, L"7"},
        {10, 1, L"10"},
        {7, 2, L"07"},
        {0, 6, L"000000"},
        {123456, 6, L"123456"},
        {1234567, 6, L"1234567"},
        {4294967295u, 1, L"4294967295"},
        {std::numeric_limits<std::uint64_t>::max(), 1, L"18446744073709551615"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.value);
        std::string text = "<";
        AppendUnsigned(text, row.value, row.minimumDigits);
        EXPECT_EQ(encoding::WideFromBytes(text), L"<" + row.text);
    }
}

TEST(NumbersTest, Signed) {
    struct Case {
        std::int64_t value;
        std::wstring text;
    };
    const Case cases[] = {
        {0, L"0"},
        {3, L"3"},
        {-1, L"-1"},
        {-2147483648LL, L"-2147483648"},
        {std::numeric_limits<std::int64_t>::max(), L"9223372036854775807"},
        {std::numeric_limits<std::int64_t>::min(), L"-9223372036854775808"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.value);
        std::string text = "<";
        AppendSigned(text, row.value);
        EXPECT_EQ(encoding::WideFromBytes(text), L"<" + row.text);
    }
}

}  // namespace
}  // namespace inspect
