// Source files whose size no 32-bit count holds (with the two bytes the buffer
// keeps after the content) are refused before anything is read or allocated.
// The files are sparse: they take no disk space.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

constexpr std::uintmax_t kFourGiB = std::uintmax_t{1} << 32;

struct SizeRow {
    std::string name;
    std::uintmax_t size;
};

// 4 GiB + 5 would pass as 5 bytes if the size were cut to its low 32 bits.
const std::vector<SizeRow> kSizes = {
    {"FourGiBMinusTwo", kFourGiB - 2},
    {"FourGiB", kFourGiB},
    {"FourGiBPlusFive", kFourGiB + 5},
};

ToolCase AddFileCase(const SizeRow& row) {
    return {.name = "AddFile" + row.name,
            .arguments = Command("addFile", {"/fileId:42", "/fileDesc:d", "/fileVersion:1", "/filePermissions:1",
                                             "/sourceFilePath:{root}/big.bin", "/targetFilePath:a.txt"}),
            .script = "store-content\ntouch-index\n",
            .expectedOutput = "Error reading source file.\n\n",
            .expectedCalls = InOpenRepository({"AddFile(id=42,target=a.txt,version=1,description=d,permissions=1)"}),
            .sparseFilesBefore = {{"big.bin", row.size}}};
}

ToolCase ModifyFileCase(const SizeRow& row) {
    return {.name = "ModifyFile" + row.name,
            .arguments = Command("modifyFile", {"/fileId:42", "/sourceFilePath:{root}/big.bin"}),
            .script = "store-content\ntouch-index\n",
            .expectedOutput = "Error reading source file.\n\n",
            .expectedCalls = InOpenRepository({"GetFile(id=42)"}),
            .sparseFilesBefore = {{"big.bin", row.size}}};
}

std::vector<ToolCase> LargeSourceCases() {
    std::vector<ToolCase> cases;
    for (const SizeRow& row : kSizes) {
        cases.push_back(AddFileCase(row));
        cases.push_back(ModifyFileCase(row));
    }
    return cases;
}

class LargeSource : public testing::TestWithParam<ToolCase> {};
TEST_P(LargeSource, IsRefusedAsAReadError) { RunCase(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Sizes, LargeSource, testing::ValuesIn(LargeSourceCases()), CaseName());

}  // namespace
}  // namespace e2e
