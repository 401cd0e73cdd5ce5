#include "options/ArgumentMap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using options::ArgumentMap;

std::wstring ValueOf(const ArgumentMap& map, std::wstring_view key) {
    const std::wstring* value = map.Find(key);
    return value != nullptr ? *value : L"<absent>";
}

TEST(ArgumentMap, SplitsAtTheFirstColonOnly) {
    ArgumentMap map;
    EXPECT_TRUE(map.StoreArgument(L"/fileId:42"));
    EXPECT_TRUE(map.StoreArgument(L"/reposDirPath:C:\\repo:x"));
    EXPECT_TRUE(map.StoreArgument(L"/fileDesc:"));
    EXPECT_TRUE(map.StoreArgument(L":under the empty key"));
    EXPECT_EQ(ValueOf(map, L"/fileId"), L"42");
    EXPECT_EQ(ValueOf(map, L"/reposDirPath"), L"C:\\repo:x");
    EXPECT_EQ(ValueOf(map, L"/fileDesc"), L"");
    EXPECT_EQ(ValueOf(map, L""), L"under the empty key");
}

TEST(ArgumentMap, RejectsAnArgumentWithoutColonAndStoresNothing) {
    ArgumentMap map;
    EXPECT_FALSE(map.StoreArgument(L""));
    EXPECT_FALSE(map.StoreArgument(L"/help"));
    EXPECT_EQ(ValueOf(map, L"/help"), L"<absent>");
    EXPECT_EQ(ValueOf(map, L""), L"<absent>");
}

TEST(ArgumentMap, KeysAreExactAndTheFirstOccurrenceWins) {
    ArgumentMap map;
    map.StoreArgument(L"/fileId:1");
    map.StoreArgument(L"/fileId:2");
    map.StoreArgument(L"fileId:3");
    map.StoreArgument(L"/FileId:4");
    EXPECT_EQ(ValueOf(map, L"/fileId"), L"1");
    EXPECT_EQ(ValueOf(map, L"fileId"), L"3");
    EXPECT_EQ(ValueOf(map, L"/FileId"), L"4");
    EXPECT_EQ(ValueOf(map, L"/fileid"), L"<absent>");
}

TEST(ArgumentMap, DropsOneQuoteAtEachEndOfTheValue) {
    const struct {
        const wchar_t* argument;
        const wchar_t* stored;
    } cases[] = {
        {L"k:\"My file\"", L"My file"}, {L"k:\"My file", L"My file"}, {L"k:My file\"", L"My file"},
        {L"k:\"", L""},                 {L"k:\"\"", L""},            {L"k:\"\"abc\"\"", L"\"abc\""},
        {L"k:a\"b", L"a\"b"},           {L"\"k\":v", L"v"},
    };
    for (const auto& testCase : cases) {
        ArgumentMap map;
        ASSERT_TRUE(map.StoreArgument(testCase.argument));
        const std::wstring_view argument = testCase.argument;
        EXPECT_EQ(ValueOf(map, argument.substr(0, argument.find(L':'))), testCase.stored) << testCase.argument;
    }
}

TEST(ArgumentMap, IndexingInsertsAnEmptyValueOnlyForAnAbsentKey) {
    ArgumentMap map;
    map.StoreArgument(L"/reposDirPath:/r");
    EXPECT_EQ(map[L"/reposDirPath"], L"/r");
    EXPECT_EQ(map.Find(L"/other"), nullptr);
    EXPECT_EQ(map[L"/other"], L"");
    ASSERT_NE(map.Find(L"/other"), nullptr);
}

TEST(ArgumentMap, OrdersKeysByUnsignedCodeUnits) {
    const options::CodeUnitOrder before;
    EXPECT_TRUE(before(L"/a", L"/b"));
    EXPECT_TRUE(before(L"/a", L"/ab"));
    EXPECT_FALSE(before(L"/ab", L"/ab"));
    EXPECT_TRUE(before(L"Z", L"a"));
    EXPECT_TRUE(before(L"\u007f", L"\u00e9"));
    EXPECT_TRUE(before(L"\u00e9", std::wstring(1, wchar_t(0xDCFF))));
}

}  // namespace

namespace {

TEST(ArgumentMap, ACommandLineIsStoredUpToItsFirstArgumentWithoutColon) {
    const std::vector<std::wstring> commandLine = {L"/path/of:tool", L"/a:1", L"stop", L"/b:2"};
    options::ArgumentMap map;
    const std::wstring* rejected = map.StoreCommandLine(commandLine);
    ASSERT_NE(rejected, nullptr);
    EXPECT_EQ(*rejected, L"stop");
    EXPECT_EQ(ValueOf(map, L"/a"), L"1");
    EXPECT_EQ(ValueOf(map, L"/b"), L"<absent>");
    EXPECT_EQ(ValueOf(map, L"/path/of"), L"<absent>");

    options::ArgumentMap complete;
    EXPECT_EQ(complete.StoreCommandLine(std::vector<std::wstring>{L"tool", L"/a:1", L"/b:2"}), nullptr);
    EXPECT_EQ(ValueOf(complete, L"/b"), L"2");
    EXPECT_EQ(complete.StoreCommandLine({}), nullptr);
}

}  // namespace
