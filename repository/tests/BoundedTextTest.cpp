#include <gtest/gtest.h>

#include <array>
#include <string>

#include "repository/DefaultRepositoryLocation.h"
#include "repository/LibraryBinding.h"
#include "repository/ResultCodes.h"

namespace {

using repository::BoundedAppend;
using repository::BoundedFormat;
using repository::kResultInsufficientBuffer;
using repository::kResultInvalidArgument;
using repository::kResultSuccess;

TEST(BoundedFormat, FitsCutsAndRefusesByCapacity) {
    std::array<wchar_t, 8> buffer;
    buffer.fill(L'#');
    EXPECT_EQ(BoundedFormat(buffer.data(), 0, L"%s", {L"abc"}), kResultInvalidArgument);
    EXPECT_EQ(buffer[0], L'#');
    EXPECT_EQ(BoundedFormat(buffer.data(), 0x80000000u, L"%s", {L"abc"}), kResultInvalidArgument);
    EXPECT_EQ(buffer[0], L'#');

    EXPECT_EQ(BoundedFormat(buffer.data(), 5, L"%s%s", {L"ab", L"cd"}), kResultSuccess);
    EXPECT_EQ(std::wstring(buffer.data()), L"abcd");
    EXPECT_EQ(BoundedFormat(buffer.data(), 5, L"%s%s", {L"ab", L"cde"}), kResultInsufficientBuffer);
    EXPECT_EQ(std::wstring(buffer.data()), L"abcd");
    EXPECT_EQ(buffer[5], L'#');
    EXPECT_EQ(BoundedFormat(buffer.data(), 1, L"%s", {L"x"}), kResultInsufficientBuffer);
    EXPECT_EQ(std::wstring(buffer.data()), L"");
}

TEST(BoundedFormat, CopiesLiteralTextAndPercentSigns) {
    std::array<wchar_t, 32> buffer{};
    EXPECT_EQ(BoundedFormat(buffer.data(), buffer.size(), L"<%s> 100%% %d", {L"x"}), kResultSuccess);
    EXPECT_EQ(std::wstring(buffer.data()), L"<x> 100% %d");
    // Text taken for %s is data: its own directives stay as they are.
    EXPECT_EQ(BoundedFormat(buffer.data(), buffer.size(), L"%s%s", {L"%s%n", L"KVDFiles.dll"}), kResultSuccess);
    EXPECT_EQ(std::wstring(buffer.data()), L"%s%nKVDFiles.dll");
}

TEST(BoundedAppend, AppendsWithinCapacity) {
    std::array<wchar_t, 8> buffer{L'x', L'y'};
    EXPECT_EQ(BoundedAppend(buffer.data(), 6, L"abc"), kResultSuccess);
    EXPECT_EQ(std::wstring(buffer.data()), L"xyabc");

    std::array<wchar_t, 8> cut{L'x', L'y'};
    EXPECT_EQ(BoundedAppend(cut.data(), 5, L"abc"), kResultInsufficientBuffer);
    EXPECT_EQ(std::wstring(cut.data()), L"xyab");
}

TEST(BoundedAppend, RefusesADestinationWithoutTerminator) {
    std::array<wchar_t, 4> full{L'a', L'b', L'c', L'd'};
    EXPECT_EQ(BoundedAppend(full.data(), full.size(), L"e"), kResultInvalidArgument);
    EXPECT_EQ(std::wstring(full.data(), full.size()), L"abcd");
}

TEST(BoundedAppend, ReadsNoMoreOfTheTextThanTheRoomLeft) {
    // The text has no terminator at all: only the room's worth may be read.
    const std::array<wchar_t, 3> unterminated{L'p', L'q', L'r'};
    std::array<wchar_t, 3> buffer{};
    EXPECT_EQ(BoundedAppend(buffer.data(), buffer.size(), unterminated.data()), kResultInsufficientBuffer);
    EXPECT_EQ(std::wstring(buffer.data()), L"pq");
}

}  // namespace
