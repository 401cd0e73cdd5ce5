// How texts are written in the tab-separated listing and in JSON strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/WideText.h"
#include "inspect/Escaping.h"

namespace inspect {
namespace {

constexpr wchar_t kUnit(unsigned value) { return static_cast<wchar_t>(value); }

TEST(EscapingTest, FieldsAndJsonStrings) {
    struct Case {
        std::wstring text;
        std::wstring field;
        std::wstring json;  // quotes left out
    };
    std::vector<Case> cases = {
        {L"", L"", L""},
        {L"say \"hi\"", L"say \"hi\"", L"say \\\"hi\\\""},
        {L"C:\\dir\\", L"C:\\\\dir\\\\", L"C:\\\\dir\\\\"},
        {L"a\tb\r\n", L"a\\tb\\r\\n", L"a\\u0009b\\u000d\\u000a"},
        {std::wstring(L"\x01\x1b\x1f", 3) + L'\0', L"\\u0001\\u001b\\u001f\\u0000", L"\\u0001\\u001b\\u001f\\u0000"},
        {L"\x7f\x80\x9f", L"\\u007f\\u0080\\u009f", L"\\u007f\\u0080\\u009f"},
        {L" ~\xa0\xff \u00e9\u65e5\u20ac x\U0001F600\U0010FFFF", L" ~\xa0\xff \u00e9\u65e5\u20ac x\U0001F600\U0010FFFF",
         L" ~\xa0\xff \u00e9\u65e5\u20ac x\U0001F600\U0010FFFF"},
        {{L'a', kUnit(0xDC80), kUnit(0xDCFF)}, L"a\\udc80\\udcff", L"a\\udc80\\udcff"},
        {{kUnit(0xD800), L'x'}, L"\\ud800x", L"\\ud800x"},
        {{kUnit(0xDC00), kUnit(0xD800)}, L"\\udc00\\ud800", L"\\udc00\\ud800"},
        {L"\\t\\u0041", L"\\\\t\\\\u0041", L"\\\\t\\\\u0041"},
    };
    // Where wchar_t has 32 bits a value past U+10FFFF can exist; it cannot be
    // printed, and stands as U+FFFD.
    if constexpr (sizeof(wchar_t) == 4) cases.push_back({std::wstring(1, kUnit(0x110000)), L"\uFFFD", L"\uFFFD"});
    for (const auto& row : cases) {
        SCOPED_TRACE(encoding::BytesFromWide(row.field));
        std::string field = "<";
        AppendFieldText(field, row.text);
        EXPECT_EQ(encoding::WideFromBytes(field), L"<" + row.field);
        std::string json = "<";
        AppendJsonString(json, row.text);
        EXPECT_EQ(encoding::WideFromBytes(json), L"<\"" + row.json + L"\"");
    }
}

}  // namespace
}  // namespace inspect
