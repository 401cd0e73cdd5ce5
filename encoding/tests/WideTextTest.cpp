#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/WideText.h"

namespace {

using encoding::BytesFromWide;
using encoding::Utf8ShowingSurrogates;
using encoding::WideFromBytes;

constexpr wchar_t kUnit(unsigned value) { return static_cast<wchar_t>(value); }

TEST(WideText, DecodesUtf8AndEscapesEveryByteOfAnInvalidSequence) {
    EXPECT_EQ(WideFromBytes("\xC3\xA9t\xE2\x82\xAC"), L"\u00e9t\u20ac");
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(WideFromBytes("\xF0\x9F\x98\x80"), std::wstring(1, wchar_t(0x1F600)));
        EXPECT_EQ(BytesFromWide(std::wstring(1, wchar_t(0x110000))), "\xEF\xBF\xBD");
    }
    // A stray byte, a cut sequence, an overlong form, an encoded surrogate and
    // a code point beyond U+10FFFF.
    EXPECT_EQ(WideFromBytes("a\xFFz"), std::wstring(L"a") + wchar_t(0xDCFF) + L"z");
    EXPECT_EQ(WideFromBytes("\xC3"), std::wstring(1, wchar_t(0xDCC3)));
    EXPECT_EQ(WideFromBytes("\xC0\xAF"), (std::wstring{wchar_t(0xDCC0), wchar_t(0xDCAF)}));
    EXPECT_EQ(WideFromBytes("\xED\xA0\x80").size(), 3u);
    EXPECT_EQ(WideFromBytes("\xF4\x90\x80\x80").size(), 4u);
}

TEST(WideText, EveryByteStringRoundTrips) {
    std::string allBytes;
    for (int value = 1; value < 256; ++value) allBytes.push_back(static_cast<char>(value));
    for (const std::string& bytes : {std::string(), allBytes, std::string("\xC3\xA9\xC3\xE2\x82\xED\xB3\xBF"),
                                     std::string("\xF0\x9F\x98\x80\x80\xC2\xA0\xEF\xBF\xBF\xF4\x8F\xBF\xBF")}) {
        EXPECT_EQ(BytesFromWide(WideFromBytes(bytes)), bytes);
    }
}

// Unlike BytesFromWide, the escapes of bytes show as the surrogates they are.
TEST(WideText, ShowsSurrogatesThatAreNotPairsAsTheirValues) {
    struct Case {
        std::wstring text;
        std::string utf8;
    };
    std::vector<Case> cases = {
        {L"\u00e9t\U0001F600", "\xC3\xA9t\xF0\x9F\x98\x80"},
        {{L'a', kUnit(0xDC80)}, "a\xED\xB2\x80"},
        {{kUnit(0xD800), L'x'}, "\xED\xA0\x80x"},
        {{kUnit(0xDC00), kUnit(0xD800)}, "\xED\xB0\x80\xED\xA0\x80"},
    };
    if constexpr (sizeof(wchar_t) == 4) cases.push_back({std::wstring(1, kUnit(0x110000)), "\xEF\xBF\xBD"});
    for (const Case& row : cases) EXPECT_EQ(Utf8ShowingSurrogates(row.text), row.utf8);
}

}  // namespace
