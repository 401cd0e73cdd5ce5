// What only POSIX can show: stored copies whose file names Windows cannot
// hold, one with a double quote and one with a byte that is no UTF-8 (wide
// text U+DCE9, mapped back to the byte 0xE9).
#include <gtest/gtest.h>

#include <string>

#include "inspect/tests/InspectRuns.h"

namespace inspect_test {
namespace {

TEST_F(InspectRuns, NameWithADoubleQuote) {
    WriteRepository(Repository(), {Plain(L"q", L"say \"hi\".txt", "abc")});
    ExpectTable({
        {"text", {"/reposDirPath:{repo}", "/verify:1"}, {LineOf("q", "say \"hi\".txt", 3), 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json"},
         {"{\"formatVersion\":1,\"entries\":[\n" + JsonOf("q", "say \\\"hi\\\".txt", 3) + "\n]}\n", 0}},
    });
}

TEST_F(InspectRuns, NameWithAByteThatIsNoUtf8) {
    WriteRepository(Repository(), {
                                      {L"raw", std::wstring(L"byte-") + static_cast<wchar_t>(0xDCE9), L"",
                                       L"bell\a", 3, "z", kAdded, kChanged},
                                  });
    ExpectTable({
        {"text", {"/reposDirPath:{repo}", "/verify:1"},
         {"raw\t\t3\t1\t" + kChangedText + "\tbyte-\\udce9\tbell\\u0007\n", 0}},
        {"json", {"/reposDirPath:{repo}", "/format:json", "/verify:1"},
         {"{\"formatVersion\":1,\"entries\":[\n" + JsonOf("raw", "byte-\\udce9", 1, "", "bell\\u0007", 3) + "\n],\"problems\":[],\"unverified\":[]}\n", 0}},
    });
}

}  // namespace
}  // namespace inspect_test
