#include "encoding/WideText.h"

#include <gtest/gtest.h>

namespace {

using encoding::BytesFromWide;
using encoding::WideFromBytes;

TEST(WideText, DecodesUtf8ToCodePoints) {
    EXPECT_EQ(WideFromBytes("abc"), L"abc");
    EXPECT_EQ(WideFromBytes("\xC3\xA9t\xC3\xA9"), L"\u00e9t\u00e9");
    EXPECT_EQ(WideFromBytes("\xE2\x82\xAC"), L"\u20ac");
    const std::wstring emoji = WideFromBytes("\xF0\x9F\x98\x80");
    EXPECT_EQ(BytesFromWide(emoji), "\xF0\x9F\x98\x80");
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(emoji, std::wstring(1, static_cast<wchar_t>(0x1F600)));
    }
}

TEST(WideText, EscapesEveryByteOfAnInvalidSequence) {
    // A lone continuation byte, a truncated sequence, an overlong form, an
    // encoded surrogate and a code point beyond U+10FFFF.
    EXPECT_EQ(WideFromBytes("a\xFFz"), std::wstring(L"a") + wchar_t(0xDCFF) + L"z");
    EXPECT_EQ(WideFromBytes("\xC3"), std::wstring(1, wchar_t(0xDCC3)));
    EXPECT_EQ(WideFromBytes("\xC0\xAF"), (std::wstring{wchar_t(0xDCC0), wchar_t(0xDCAF)}));
    EXPECT_EQ(WideFromBytes("\xED\xA0\x80").size(), 3u);
    EXPECT_EQ(WideFromBytes("\xF4\x90\x80\x80").size(), 4u);
}

TEST(WideText, EveryByteStringRoundTrips) {
    const std::string samples[] = {
        "", "plain", "\xFF\xFE", "\xC3\xA9\xC3", "\xE2\x82", "\xED\xB3\xBF", "\xF0\x9F\x98\x80\x80",
        std::string("\x80\x81\xC2\xA0\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 11)};
    for (const std::string& bytes : samples) EXPECT_EQ(BytesFromWide(WideFromBytes(bytes)), bytes);
    std::string allBytes;
    for (int value = 1; value < 256; ++value) allBytes.push_back(static_cast<char>(value));
    EXPECT_EQ(BytesFromWide(WideFromBytes(allBytes)), allBytes);
}

}  // namespace
