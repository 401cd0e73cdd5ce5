// How texts are written in the tab-separated listing and in JSON strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/WideText.h"
#include "inspect/Escaping.h"

namespace inspect {
namespace {

// The input is UTF-8 in which a surrogate alone takes the three bytes of its
// value: U+DC80 is ED B2 80.
TEST(EscapingTest, FieldsAndJsonStrings) {
    struct Case {
        std::string text;
        std::wstring field;
        std::wstring json;  // quotes left out
    };
    const Case cases[] = {
        {"", L"", L""},
        {"say \"hi\"", L"say \"hi\"", L"say \\\"hi\\\""},
        {"C:\\dir\\", L"C:\\\\dir\\\\", L"C:\\\\dir\\\\"},
        {"a\tb\r\n", L"a\\tb\\r\\n", L"a\\u0009b\\u000d\\u000a"},
        {std::string("\x01\x1b\x1f", 3) + '\0', L"\\u0001\\u001b\\u001f\\u0000", L"\\u0001\\u001b\\u001f\\u0000"},
        {"\x7f\xC2\x80\xC2\x9F", L"\\u007f\\u0080\\u009f", L"\\u007f\\u0080\\u009f"},
        {" ~\xC2\xA0\xC3\xBF \xC3\xA9\xE6\x97\xA5\xE2\x82\xAC x\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
         L" ~\xa0\xff \u00e9\u65e5\u20ac x\U0001F600\U0010FFFF",
         L" ~\xa0\xff \u00e9\u65e5\u20ac x\U0001F600\U0010FFFF"},
        {"a\xED\xB2\x80\xED\xB3\xBF", L"a\\udc80\\udcff", L"a\\udc80\\udcff"},
        {"\xED\xA0\x80x", L"\\ud800x", L"\\ud800x"},
        {"\xED\xB0\x80\xED\xA0\x80", L"\\udc00\\ud800", L"\\udc00\\ud800"},
        {"\\t\\u0041", L"\\\\t\\\\u0041", L"\\\\t\\\\u0041"},
        // Eight plain bytes, then eight with one of each kind in their midst.
        {"12345678123\x7f"
         "5678123\"5678123\\5678123\x1f"
         "5678123\xC3\xA9"
         "78",
         L"12345678123\\u007f5678123\"5678123\\\\5678123\\u001f5678123\u00e978",
         L"12345678123\\u007f5678123\\\"5678123\\\\5678123\\u001f5678123\u00e978"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.text);
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
