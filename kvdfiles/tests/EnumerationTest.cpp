// The operations of version 2 of the tables, through the exports: listing the
// entries in identifier order, reading each entry's fields, and checking what
// stands at each stored copy's place.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "kvdfiles/tests/TestSupport.h"

namespace kvdtest {
namespace {

constexpr KvdStatus kInvalidArgument = 1;
constexpr KvdStatus kNotFound = 2;

std::int64_t NowMicros() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

using Fields = EntryFields<std::wstring>;

Fields FieldsOf(IZarnFileInfo* info) {
    return kvdtest::FieldsOf(info, [](const wchar_t* text) { return std::wstring(text); });
}

Fields FieldsOf(IZarnFile* file) { return FieldsOf(file->table->GetInfo(file)); }

uint32_t CountOf(IZarnRepository* repository) {
    uint32_t count = 12345;
    EXPECT_EQ(repository->table->GetFileCount(repository, &count), 0);
    return count;
}

IZarnFile* FileAt(IZarnRepository* repository, uint32_t index) {
    IZarnFile* file = nullptr;
    EXPECT_EQ(repository->table->GetFileAt(repository, index, &file), 0);
    return file;
}

// The identifiers GetFileAt gives, position by position.
std::vector<std::wstring> IdsByPosition(IZarnRepository* repository) {
    std::vector<std::wstring> ids;
    const uint32_t count = CountOf(repository);
    for (uint32_t i = 0; i < count; ++i) ids.push_back(FieldsOf(FileAt(repository, i)).id);
    return ids;
}

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(kvdFiles_InitLibrary(KVDFILES_TABLES_VERSION_2), 0);
        repository_ = Open();
        ASSERT_NE(repository_, nullptr);
    }
    void TearDown() override { kvdFiles_ReleaseLibrary(); }

    IZarnRepository* Open() const { return kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str()); }
    fs::path In(const std::string& name) const { return directory_.Path() / name; }

    TemporaryDirectory directory_;
    IZarnRepository* repository_ = nullptr;
};

// UTF-16 order puts U+1F600 (a surrogate pair, 0xD83D ...) before U+FF21.
TEST_F(EnumerationTest, EntriesComeInUtf16IdentifierOrder) {
    const std::vector<std::wstring> added = {L"b", L"\uFF21", L"\U0001F600", L"a", L"B", L"\u00E9", L"ab"};
    for (std::size_t i = 0; i < added.size(); ++i) {
        ASSERT_EQ(AddFile(repository_, added[i], L"copy-" + std::to_wstring(i), "x"), 0);
    }
    const std::vector<std::wstring> expected = {L"B", L"a", L"ab", L"b", L"\u00E9", L"\U0001F600", L"\uFF21"};
    EXPECT_EQ(IdsByPosition(repository_), expected);
    EXPECT_EQ(IdsByPosition(Open()), expected);
}

// A modify moves the change time and the size, not the add time; the object
// that made a change lists it, one opened before lists the index it knew.
TEST_F(EnumerationTest, EachEntryShowsItsFields) {
    IZarnRepository* other = Open();
    const std::int64_t before = NowMicros();
    ASSERT_EQ(AddFile(repository_, L"one", L"docs/one.txt", "12345", 2, L"v\t1", L"line\nbreak \"quoted\""), 0);
    ASSERT_EQ(AddFile(repository_, L"two", L"two", "", 1, L"", L""), 0);
    const std::int64_t after = NowMicros();

    const Fields one = FieldsOf(FileAt(Open(), 0));
    EXPECT_GE(one.added, before);
    EXPECT_LE(one.added, after);
    EXPECT_EQ(one, (Fields{L"one", L"docs/one.txt", L"v\t1", L"line\nbreak \"quoted\"", 2, 5, one.added, one.added}));
    const Fields two = FieldsOf(FileAt(Open(), 1));
    EXPECT_EQ(two, (Fields{L"two", L"two", L"", L"", 1, 0, two.added, two.added}));

    ASSERT_EQ(ModifyFile(repository_, L"one", "longer content"), 0);
    const Fields modified = FieldsOf(FileAt(Open(), 0));
    EXPECT_EQ(modified.added, one.added);
    EXPECT_GE(modified.changed, one.changed);
    EXPECT_EQ(modified.contentSize, 14u);
    EXPECT_EQ(FieldsOf(FileAt(repository_, 0)).contentSize, 14u);
    EXPECT_EQ(CountOf(other), 0u);
    // A file found by position reads like one found by identifier.
    IZarnFile* file = FileAt(repository_, 0);
    IZarnFileStream* stream = nullptr;
    ASSERT_EQ(file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1), 0);
    std::string content(stream->table->GetSize(stream), '\0');
    uint32_t size = static_cast<uint32_t>(content.size());
    EXPECT_EQ(stream->table->Read(stream, content.data(), &size), 0);
    stream->table->Close(stream, 1);
    EXPECT_EQ(content, "longer content");
}

TEST_F(EnumerationTest, RefusesNullArgumentsAndPositionsPastTheEnd) {
    IZarnFile* file = nullptr;
    EXPECT_EQ(CountOf(repository_), 0u);
    EXPECT_EQ(repository_->table->GetFileAt(repository_, 0, &file), kNotFound);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(AddFile(repository_, L"id", L"file", "content", 2, L"1.0", L"text"), 0);
    uint32_t count = 0;
    EXPECT_EQ(repository_->table->GetFileCount(repository_, nullptr), kInvalidArgument);
    EXPECT_EQ(repository_->table->GetFileCount(nullptr, &count), kInvalidArgument);
    EXPECT_EQ(repository_->table->GetFileAt(repository_, 0, nullptr), kInvalidArgument);
    EXPECT_EQ(repository_->table->GetFileAt(nullptr, 0, &file), kInvalidArgument);
    EXPECT_EQ(repository_->table->GetFileAt(repository_, 1, &file), kNotFound);
    EXPECT_EQ(repository_->table->GetFileAt(repository_, UINT32_MAX, &file), kNotFound);

    file = FileAt(repository_, 0);
    int32_t finding = 0;
    uint64_t foundSize = 0;
    EXPECT_EQ(file->table->CheckStoredCopy(file, nullptr, &foundSize), kInvalidArgument);
    EXPECT_EQ(file->table->CheckStoredCopy(file, &finding, nullptr), kInvalidArgument);
    EXPECT_EQ(file->table->CheckStoredCopy(nullptr, &finding, &foundSize), kInvalidArgument);
    // The null file's info reads as an empty entry.
    IZarnFileInfo* info = file->table->GetInfo(nullptr);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(FieldsOf(info), Fields{});
    EXPECT_EQ(std::wstring(info->table->GetFileId(nullptr)), L"");
}

struct StoredCopyCase {
    const char* name;
    void (*disturb)(const fs::path& storedCopy);
    int32_t finding;
    uint64_t foundSize;
};

const StoredCopyCase kStoredCopyCases[] = {
    {"untouched", [](const fs::path&) {}, KVDFILES_STORED_COPY_WHOLE, 5},
    {"removed", [](const fs::path& copy) { fs::remove(copy); }, KVDFILES_STORED_COPY_MISSING, 0},
    {"grown", [](const fs::path& copy) { WriteFileBytes(copy, "1234567"); }, KVDFILES_STORED_COPY_SIZE_DIFFERS, 7},
    {"emptied", [](const fs::path& copy) { WriteFileBytes(copy, ""); }, KVDFILES_STORED_COPY_SIZE_DIFFERS, 0},
    {"same size, other bytes", [](const fs::path& copy) { WriteFileBytes(copy, "abcde"); },
     KVDFILES_STORED_COPY_CONTENT_DIFFERS, 5},
    {"replaced by a directory",
     [](const fs::path& copy) {
         fs::remove(copy);
         fs::create_directory(copy);
     },
     KVDFILES_STORED_COPY_NOT_A_FILE, 0},
    {"parent replaced by a file",
     [](const fs::path& copy) {
         fs::remove_all(copy.parent_path());
         WriteFileBytes(copy.parent_path(), "not a folder");
     },
     KVDFILES_STORED_COPY_UNREADABLE, 0},
};

// The same findings for a destination in the repository and for one
// outside it.
TEST_F(EnumerationTest, CheckStoredCopyReportsWhatStandsAtItsPlace) {
    for (const bool absolute : {false, true}) {
        for (const StoredCopyCase& row : kStoredCopyCases) {
            SCOPED_TRACE(std::string(row.name) + (absolute ? ", absolute" : ""));
            TemporaryDirectory directory;
            TemporaryDirectory elsewhere;
            IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
            const TemporaryDirectory& root = absolute ? elsewhere : directory;
            ASSERT_EQ(AddFile(repository, L"id", absolute ? elsewhere.Wide() + L"/sub/copy" : L"sub/copy", "12345"), 0);
            row.disturb(root.Path() / "sub" / "copy");
            IZarnFile* file = nullptr;
            ASSERT_EQ(repository->table->GetFile(repository, L"id", &file), 0);
            int32_t finding = -1;
            uint64_t foundSize = 99;
            EXPECT_EQ(file->table->CheckStoredCopy(file, &finding, &foundSize), 0);
            EXPECT_EQ(finding, row.finding);
            EXPECT_EQ(foundSize, row.foundSize);
        }
    }
}

}  // namespace
}  // namespace kvdtest
