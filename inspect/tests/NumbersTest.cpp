// Decimal numbers as the listing writes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "inspect/Numbers.h"

namespace inspect {
namespace {

TEST(NumbersTest, UnsignedWithLeadingZerosAndSigned) {
    const auto unsignedText = [](std::uint64_t value, std::size_t minimumDigits) {
        std::string text = "<";
        AppendUnsigned(text, value, minimumDigits);
        return text;
    };
    EXPECT_EQ(unsignedText(0, 1) + unsignedText(7, 2) + unsignedText(10, 1) + unsignedText(99, 1) +
                  unsignedText(100, 1) + unsignedText(0, 6) + unsignedText(1234567, 6),
              "<0<07<10<99<100<000000<1234567");
    EXPECT_EQ(unsignedText(std::numeric_limits<std::uint64_t>::max(), 1), "<18446744073709551615");
    for (const std::int64_t value : {std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::max(),
                                     std::numeric_limits<std::int64_t>::min()}) {
        std::string text = "<";
        AppendSigned(text, value);
        EXPECT_EQ(text, "<" + std::to_string(value));
    }
}

}  // namespace
}  // namespace inspect
