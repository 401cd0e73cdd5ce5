#include <gtest/gtest.h>

#include <vector>

#include "options/ArgumentMap.h"

namespace {

using options::ArgumentMap;

// A command line stored whole: each key's value, or where it stopped.
TEST(ArgumentMap, SplitsEachArgumentAtItsFirstColonAndKeepsTheFirstOfAKey) {
    const struct {
        std::vector<std::wstring> commandLine;  // after the program's own path
        std::wstring key;
        const wchar_t* value;  // null: absent
    } rows[] = {
        {{L"/fileId:42"}, L"/fileId", L"42"},
        {{L"/r:C:\\repo:x"}, L"/r", L"C:\\repo:x"},
        {{L"/fileDesc:"}, L"/fileDesc", L""},
        {{L":under the empty key"}, L"", L"under the empty key"},
        {{L"/fileId:1", L"/fileId:2"}, L"/fileId", L"1"},
        {{L"/FileId:4"}, L"/fileId", nullptr},
        {{L"fileId:3"}, L"/fileId", nullptr},
        {{L"k:\"My file\""}, L"k", L"My file"},
        {{L"k:\"My file"}, L"k", L"My file"},
        {{L"k:My file\""}, L"k", L"My file"},
        {{L"k:\""}, L"k", L""},
        {{L"k:\"\"abc\"\""}, L"k", L"\"abc\""},
        {{L"k:a\"b"}, L"k", L"a\"b"},
        {{L"\"k\":v"}, L"\"k\"", L"v"},
    };
    for (const auto& row : rows) {
        ArgumentMap map;
        std::vector<std::wstring> commandLine = {L"/path/of:tool"};
        commandLine.insert(commandLine.end(), row.commandLine.begin(), row.commandLine.end());
        EXPECT_EQ(map.StoreCommandLine(commandLine), nullptr);
        const std::wstring* value = map.Find(row.key);
        EXPECT_EQ(value == nullptr ? L"<absent>" : *value, row.value == nullptr ? L"<absent>" : row.value)
            << row.commandLine.front();
        EXPECT_EQ(map.Find(L"/path/of"), nullptr);
    }
}

TEST(ArgumentMap, StopsAtTheFirstArgumentWithoutColon) {
    const std::vector<std::wstring> commandLine = {L"tool", L"/a:1", L"", L"/b:2"};
    ArgumentMap map;
    const std::wstring* rejected = map.StoreCommandLine(commandLine);
    ASSERT_NE(rejected, nullptr);
    EXPECT_EQ(rejected, &commandLine[2]);
    EXPECT_NE(map.Find(L"/a"), nullptr);
    EXPECT_EQ(map.Find(L"/b"), nullptr);
    EXPECT_EQ(map.Find(L""), nullptr);
    EXPECT_EQ(map.StoreCommandLine({}), nullptr);
}

TEST(ArgumentMap, IndexingInsertsAnEmptyValueOnlyForAnAbsentKey) {
    ArgumentMap map;
    map.Insert(L"/r", L"x");
    EXPECT_EQ(map[L"/r"], L"x");
    EXPECT_EQ(map[L"/other"], L"");
    EXPECT_NE(map.Find(L"/other"), nullptr);
}

TEST(ArgumentMap, OrdersKeysByUnsignedCodeUnits) {
    const options::CodeUnitOrder before;
    EXPECT_TRUE(before(L"/a", L"/ab"));
    EXPECT_FALSE(before(L"/ab", L"/ab"));
    EXPECT_TRUE(before(L"Z", L"a"));
    EXPECT_TRUE(before(L"\u00e9", std::wstring(1, static_cast<wchar_t>(0xDCFF))));
}

}  // namespace
