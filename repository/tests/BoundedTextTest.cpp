#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "repository/DefaultRepositoryLocation.h"
#include "repository/LibraryBinding.h"
#include "repository/ResultCodes.h"

namespace {

using namespace repository;

// What a buffer of 8 characters, filled with '#', holds after the call.
struct Row {
    std::uint32_t result;
    std::wstring text;  // up to the terminator, or the whole buffer without one
};

std::wstring Text(const std::array<wchar_t, 8>& buffer) {
    return std::wstring(buffer.data(), std::find(buffer.begin(), buffer.end(), L'\0'));
}

TEST(BoundedFormat, FitsCutsAndRefusesByCapacity) {
    const struct {
        std::size_t capacity;
        std::wstring_view format;
        std::initializer_list<std::wstring_view> texts;
        Row expected;
    } rows[] = {
        {0, L"%s", {L"abc"}, {kResultInvalidArgument, L"########"}},
        {0x80000000u, L"%s", {L"abc"}, {kResultInvalidArgument, L"########"}},
        {5, L"%s%s", {L"ab", L"cd"}, {kResultSuccess, L"abcd"}},
        {5, L"%s%s", {L"ab", L"cde"}, {kResultInsufficientBuffer, L"abcd"}},
        {1, L"%s", {L"x"}, {kResultInsufficientBuffer, L""}},
        // Text taken for %s is data: its own directives stay as they are.
        {8, L"<%s>%%%d", {L"%s"}, {kResultSuccess, L"<%s>%%d"}},
        {8, L"%s%s|", {L"a"}, {kResultSuccess, L"a|"}},
    };
    for (const auto& row : rows) {
        std::array<wchar_t, 8> buffer;
        buffer.fill(L'#');
        const std::wstring format(row.format);
        EXPECT_EQ(BoundedFormat(buffer.data(), row.capacity, row.format, row.texts), row.expected.result) << format;
        EXPECT_EQ(Text(buffer), row.expected.text) << format;
        if (row.capacity < buffer.size()) {
            EXPECT_EQ(buffer[row.capacity], L'#') << format;
        }
    }
}

TEST(BoundedAppend, AppendsCutsAndRefusesByCapacity) {
    const struct {
        std::wstring before;
        std::size_t capacity;
        std::array<wchar_t, 3> text;  // unterminated: no more than the room left may be read
        Row expected;
    } rows[] = {
        {L"xy", 6, {L'a', L'b', L'\0'}, {kResultSuccess, L"xyab"}},
        {L"xy", 4, {L'a', L'b', L'c'}, {kResultInsufficientBuffer, L"xya"}},
        {L"", 3, {L'p', L'q', L'r'}, {kResultInsufficientBuffer, L"pq"}},
        {L"abcd", 4, {L'e', L'\0', L'\0'}, {kResultInvalidArgument, L"abcd####"}},
    };
    for (const auto& row : rows) {
        std::array<wchar_t, 8> buffer;
        buffer.fill(L'#');
        std::copy(row.before.begin(), row.before.end(), buffer.begin());
        if (row.before.size() < row.capacity) buffer[row.before.size()] = L'\0';
        EXPECT_EQ(BoundedAppend(buffer.data(), row.capacity, row.text.data()), row.expected.result) << row.before;
        EXPECT_EQ(Text(buffer), row.expected.text) << row.before;
    }
}

}  // namespace
