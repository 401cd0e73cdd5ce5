// How texts are written in the tab-separated listing and in JSON strings.
#include <gtest/gtest.h>

#include <string>

#include "encoding/WideText.h"
#include "inspect/Escaping.h"

namespace inspect {
namespace {

struct EscapeCase {
    const char* name;
    std::wstring text;
    std::wstring field;
    std::wstring json;  // quotes included
};

const EscapeCase kEscapeCases[] = {
    {"empty", L"", L"", L"\"\""},
    {"plain ASCII", L"My file 1.0", L"My file 1.0", L"\"My file 1.0\""},
    {"double quotes", L"say \"hi\"", L"say \"hi\"", L"\"say \\\"hi\\\"\""},
    {"backslashes", L"C:\\dir\\", L"C:\\\\dir\\\\", L"\"C:\\\\dir\\\\\""},
    {"tab", L"a\tb", L"a\\tb", L"\"a\\u0009b\""},
    {"line feed and carriage return", L"one\r\ntwo", L"one\\r\\ntwo", L"\"one\\u000d\\u000atwo\""},
    {"other C0 controls", std::wstring(L"\x01\x1b\x1f", 3) + L'\0' + L"z", L"\\u0001\\u001b\\u001f\\u0000z",
     L"\"\\u0001\\u001b\\u001f\\u0000z\""},
    {"DEL and C1 controls", L"\x7f\x80\x85\x9f", L"\\u007f\\u0080\\u0085\\u009f",
     L"\"\\u007f\\u0080\\u0085\\u009f\""},
    {"printable just around the controls", L" ~\xa0\xff", L" ~\xa0\xff", L"\" ~\xa0\xff\""},
    {"non-ASCII stays", L"\u00e9t\u00e9 \u65e5\u672c \u20ac", L"\u00e9t\u00e9 \u65e5\u672c \u20ac",
     L"\"\u00e9t\u00e9 \u65e5\u672c \u20ac\""},
    {"character beyond U+FFFF stays", L"x\U0001F600y", L"x\U0001F600y", L"\"x\U0001F600y\""},
    {"undecodable bytes", std::wstring{L'a', static_cast<wchar_t>(0xDC80), static_cast<wchar_t>(0xDCFF)},
     L"a\\udc80\\udcff", L"\"a\\udc80\\udcff\""},
    {"unpaired high surrogate", std::wstring{static_cast<wchar_t>(0xD800), L'x'}, L"\\ud800x", L"\"\\ud800x\""},
    {"low before high is no pair",
     std::wstring{static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xD800)}, L"\\udc00\\ud800",
     L"\"\\udc00\\ud800\""},
    {"escape-like text is escaped again", L"\\t\\u0041", L"\\\\t\\\\u0041", L"\"\\\\t\\\\u0041\""},
};

TEST(EscapingTest, FieldsAndJsonStrings) {
    for (const EscapeCase& row : kEscapeCases) {
        SCOPED_TRACE(row.name);
        std::string field = "<";
        AppendFieldText(field, row.text);
        EXPECT_EQ(encoding::WideFromBytes(field), L"<" + row.field);
        std::string json = "<";
        AppendJsonString(json, row.text);
        EXPECT_EQ(encoding::WideFromBytes(json), L"<" + row.json);
    }
}

// Where wchar_t has 32 bits a value past U+10FFFF can exist; it cannot be
// printed, and stands as U+FFFD.
TEST(EscapingTest, ValueBeyondTheLastCodePointBecomesReplacementCharacter) {
    if constexpr (sizeof(wchar_t) == 4) {
        const std::wstring text{L'a', static_cast<wchar_t>(0x110000), L'b'};
        std::string field;
        AppendFieldText(field, text);
        EXPECT_EQ(field, "a\xEF\xBF\xBD" "b");
        std::string json;
        AppendJsonString(json, text);
        EXPECT_EQ(json, "\"a\xEF\xBF\xBD" "b\"");
    }
}

}  // namespace
}  // namespace inspect
