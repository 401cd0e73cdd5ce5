// Decimal numbers as the listing writes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "inspect/Numbers.h"

namespace inspect {
namespace {

TEST(NumbersTest, UnsignedWithLeadingZerosAndSigned) {
    const struct {
        std::uint64_t value;
        std::size_t minimumDigits;
        const char* text;
    } unsignedCases[] = {
        {0, 1, "0"},
        {7, 1, "7"},
        {10, 1, "10"},
        {7, 2, "07"},
        {0, 6, "000000"},
        {123456, 6, "123456"},
        {1234567, 6, "1234567"},
        {std::numeric_limits<std::uint64_t>::max(), 1, "18446744073709551615"},
    };
    for (const auto& row : unsignedCases) {
        std::string text = "<";
        AppendUnsigned(text, row.value, row.minimumDigits);
        EXPECT_EQ(text, std::string("<") + row.text);
    }
    for (const std::int64_t value :
         {std::int64_t{0}, std::int64_t{3}, std::int64_t{-1}, std::int64_t{-2147483648},
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        std::string text = "<";
        AppendSigned(text, value);
        EXPECT_EQ(text, "<" + std::to_string(value));
    }
}

}  // namespace
}  // namespace inspect
