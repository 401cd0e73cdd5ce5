// The operations of the shipped library, through its exports, on real
// directories: what each one stores and every request it must refuse.
#include <gtest/gtest.h>

#include "kvdfiles/tests/TestSupport.h"
#include "tests/support/SharedLibrary.h"

namespace kvdtest {
namespace {

// A target beyond the system code page, and the file name it must reach.
// Whether a stored copy that a reader holds open can be replaced, and
// whether files have permission bits.
#ifdef _WIN32
// Windows names are UTF-16 already, so the escapes of undecodable bytes have
// no part in them, and Wine keeps files on a Linux file system, which cannot
// hold a lone surrogate in a name. A copy held open is replaceable where
// renames follow POSIX rules (NTFS on recent versions); elsewhere, and under
// Wine, the replace is refused until the reader closes the file, and a
// change waits a bounded time for that and then fails, changing nothing.
const std::wstring kOddTarget = L"caf\x00e9-\U0001F600.txt";
const fs::path kOddFileName = fs::path(kOddTarget);
constexpr bool kOpenFilesAlwaysReplaceable = false;
constexpr bool kFilesHavePermissionBits = false;
#else
// U+DC80 is the escape of a file-name byte that is not UTF-8.
const std::wstring kOddTarget = L"caf\x00e9-\xDC80.txt";
const fs::path kOddFileName = fs::path(std::string("caf\xC3\xA9-\x80.txt"));
constexpr bool kOpenFilesAlwaysReplaceable = true;
constexpr bool kFilesHavePermissionBits = true;
#endif

class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(kvdFiles_InitLibrary(1), 0);
        repository_ = Open();
        ASSERT_NE(repository_, nullptr);
    }
    void TearDown() override { kvdFiles_ReleaseLibrary(); }

    IZarnRepository* Open() const { return kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str()); }
    fs::path In(const std::string& name) const { return directory_.Path() / name; }
    std::string IndexBytes() const { return ReadFileBytes(In("ZarnRepository.bin")); }

    TemporaryDirectory directory_;
    IZarnRepository* repository_ = nullptr;
};

TEST(RepositoryOpenTest, RefusesWhatIsNotARepositoryAndKeepsTheLastOpened) {
    for (const int32_t version : {1, 2, 3, 4}) EXPECT_NE(kvdFiles_InitLibrary(version), 0) << version;
    EXPECT_EQ(kvdFiles_InitLibrary(0), 0);
    EXPECT_EQ(kvdFiles_InitLibrary(5), 0);
    TemporaryDirectory directory;
    WriteFileBytes(directory.Path() / "plain", "x");
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath(nullptr), nullptr);
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath(L""), nullptr);
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath((directory.Wide() + L"/missing").c_str()), nullptr);
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath((directory.Wide() + L"/plain").c_str()), nullptr);
    EXPECT_EQ(kvdFiles_GetRepository(), nullptr);
    TemporaryDirectory second;
    kvdFiles_GetRepositoryFromPath(directory.Wide().c_str());
    IZarnRepository* last = kvdFiles_GetRepositoryFromPath(second.Wide().c_str());
    EXPECT_EQ(kvdFiles_GetRepository(), last);
    kvdFiles_ReleaseLibrary();
    EXPECT_EQ(kvdFiles_GetRepository(), nullptr);
}

TEST(RepositoryOpenTest, RelativeDirectoryIsResolvedWhenOpened) {
    TemporaryDirectory parent;
    fs::create_directory(parent.Path() / "repo");
    const fs::path before = fs::current_path();
    fs::current_path(parent.Path());
    IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(L"repo");
    fs::current_path(parent.Path() / "repo");  // the tool moves into the repository next
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(AddFile(repository, L"id", L"stored.txt", "content"), 0);
    fs::current_path(before);
    EXPECT_EQ(ReadFileBytes(parent.Path() / "repo" / "stored.txt"), "content");
    EXPECT_TRUE(fs::exists(parent.Path() / "repo" / "ZarnRepository.bin"));
    kvdFiles_ReleaseLibrary();
}

// Neither the open nor an add writes anything before the content comes.
TEST_F(RepositoryTest, NothingReachesTheDiskBeforeWrite) {
    IZarnFile* file = nullptr;
    EXPECT_NE(repository_->table->GetFile(repository_, L"anything", &file), 0);
    IZarnFileStream* stream = nullptr;
    ASSERT_EQ(repository_->table->AddFile(repository_, L"id", L"sub/file", L"", L"", 1, &stream), 0);
    EXPECT_TRUE(ReadFileTree(directory_.Path()).empty());
    EXPECT_EQ(stream->table->Write(stream, "abc", 3), 0);
    EXPECT_EQ(stream->table->GetSize(stream), 3u);
    stream->table->Close(stream, 1);
    EXPECT_EQ(ReadFileBytes(In("sub/file")), "abc");
}

struct Accepted {
    std::wstring id;
    std::wstring target;
    fs::path file;  // where the stored copy must be
    std::string content;
    int32_t permissions = 3;
    std::wstring version = L"1.0";
    std::wstring description = L"a file";
};

// Each add is stored at its target and read back, by this open and by a
// second one (as a second process would); identifiers compare exactly.
TEST_F(RepositoryTest, AddedFilesAreStoredAndReadBack) {
    TemporaryDirectory elsewhere;
    WriteFileBytes(In("existing.txt"), "someone else's");  // belongs to no entry
    const std::vector<Accepted> added = {
        {L"doc", L"docs/first.bin", In("docs/first.bin"), ContentFor("first", 5000)},
        {L"empty", L"empty.txt", In("empty.txt"), ""},
        {L"r", L"r", In("r"), "1", 1, L"", L""},
        {L"w", L"w", In("w"), "2", 2, L"", L""},
        {L"existing", L"existing.txt", In("existing.txt"), "ours"},
        {L"abs", elsewhere.Wide() + L"/a/b/c/file.bin", elsewhere.Path() / "a/b/c/file.bin", "far away"},
        {L"\x00e9t\x00e9-\U0001F600-\xDC80\xDCFF", kOddTarget, directory_.Path() / kOddFileName, "unicode", 2,
         L"v\U0001F600", L"d\xDCC3"},
        {L"name", L"a", In("a"), "lower"},
        {L"Name", L"b", In("b"), "upper"},
        {L" name", L"c", In("c"), "spaced"},
    };
    for (const Accepted& add : added) {
        ASSERT_EQ(AddFile(repository_, add.id, add.target, add.content, add.permissions, add.version, add.description),
                  0);
    }
    for (IZarnRepository* repository : {repository_, Open()}) {
        for (const Accepted& add : added) {
            EXPECT_EQ(ReadFileBytes(add.file), add.content);
            EXPECT_EQ(GetContent(repository, add.id), add.content);
            EXPECT_EQ(GetPath(repository, add.id), add.target);
        }
        EXPECT_EQ(GetContent(repository, L"name "), std::nullopt);
    }
    EXPECT_TRUE(LeftoverNames(directory_.Path()).empty());
}

struct Rejection {
    const char* name;
    std::wstring id;
    std::wstring target;
    int32_t permissions;
};

// The first add writes a new index and the second is appended to it: a
// stored copy is found in either.
TEST_F(RepositoryTest, RejectedAddsChangeNothing) {
    ASSERT_EQ(AddFile(repository_, L"taken", L"taken.txt", "kept"), 0);
    ASSERT_EQ(AddFile(repository_, L"second", L"sub/second.txt", "kept"), 0);
    fs::create_directory(In("folder"));
    const std::vector<Rejection> rejections = {
        {"empty identifier", L"", L"x", 3},
        {"identifier present", L"taken", L"other", 3},
        {"empty target", L"new", L"", 3},
        {"index file", L"new", L"ZarnRepository.bin", 3},
        {"index file spelled otherwise", L"new", L"folder/../ZarnRepository.bin", 3},
        {"index file by absolute path", L"new", directory_.Wide() + L"/ZarnRepository.bin", 3},
        {"lock file", L"new", L"ZarnRepository.lock", 3},
        {"index backup copy", L"new", L"ZarnRepository.bin.bak", 3},
        {"existing directory", L"new", L"folder", 3},
        {"target names a directory", L"new", L"folder/", 3},
        {"stored copy of another entry", L"new", L"taken.txt", 3},
        {"same stored copy spelled otherwise", L"new", L"./folder/../taken.txt", 3},
        {"same stored copy by absolute path", L"new", directory_.Wide() + L"/taken.txt", 3},
        {"stored copy of an appended entry", L"new", L"sub/./second.txt", 3},
        {"same by absolute path", L"new", directory_.Wide() + L"/folder/../sub/second.txt", 3},
        {"permissions 0", L"new", L"x", 0},
        {"permissions 4", L"new", L"x", 4},
        {"negative permissions", L"new", L"x", -1},
    };
    const auto before = ReadFileTree(directory_.Path());
    for (const Rejection& rejection : rejections) {
        IZarnFileStream* stream = nullptr;
        EXPECT_NE(repository_->table->AddFile(repository_, rejection.id.c_str(), rejection.target.c_str(), L"1", L"d",
                                              rejection.permissions, &stream),
                  0)
            << rejection.name;
        EXPECT_EQ(ReadFileTree(directory_.Path()), before) << rejection.name;
    }
    EXPECT_EQ(GetContent(Open(), L"taken"), "kept");
    EXPECT_EQ(AddFile(repository_, L"new", L"folder/taken.txt", "same name, other folder"), 0);
    EXPECT_EQ(AddFile(repository_, L"newer", L"second.txt", "same name, other folder"), 0);
}

// A modify replaces the whole content, keeps the copy's permission bits,
// recreates a deleted copy, and fails for an entry removed meanwhile.
TEST_F(RepositoryTest, ModifyReplacesTheWholeContent) {
    ASSERT_EQ(AddFile(repository_, L"id", L"sub/file", ContentFor("long", 10000)), 0);
    const fs::perms bits = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(In("sub/file"), bits);
    ASSERT_EQ(ModifyFile(repository_, L"id", "short"), 0);
    EXPECT_EQ(ReadFileBytes(In("sub/file")), "short");
    EXPECT_TRUE(!kFilesHavePermissionBits || (fs::status(In("sub/file")).permissions() & fs::perms::all) == bits);
    EXPECT_EQ(GetContent(Open(), L"id"), "short");
    EXPECT_EQ(GetPath(repository_, L"id"), L"sub/file");
    EXPECT_TRUE(LeftoverNames(directory_.Path()).empty());
    fs::remove_all(In("sub"));
    ASSERT_EQ(ModifyFile(repository_, L"id", "two"), 0);
    EXPECT_EQ(ReadFileBytes(In("sub/file")), "two");
    IZarnFile* file = nullptr;
    ASSERT_EQ(repository_->table->GetFile(repository_, L"id", &file), 0);
    IZarnFileStream* stream = nullptr;
    ASSERT_EQ(file->table->OpenStream(file, KVDFILES_OPEN_FOR_WRITING, &stream, -1), 0);
    ASSERT_EQ(RemoveFile(Open(), L"id"), 0);
    EXPECT_NE(stream->table->Write(stream, "three", 5), 0);
    EXPECT_FALSE(fs::exists(In("sub/file")));
}

// Reads fill the buffer and go on where they stopped; requests with null
// arguments, unknown modes or a missing copy are refused.
TEST_F(RepositoryTest, ReadContinuesWhereItStoppedAndBadRequestsAreRefused) {
    IZarnFileStream* stream = nullptr;
    EXPECT_NE(repository_->table->AddFile(repository_, nullptr, L"t", L"", L"", 1, &stream), 0);
    EXPECT_NE(repository_->table->AddFile(repository_, L"i", nullptr, L"", L"", 1, &stream), 0);
    EXPECT_NE(repository_->table->AddFile(repository_, L"i", L"t", nullptr, L"", 1, &stream), 0);
    EXPECT_NE(repository_->table->AddFile(repository_, L"i", L"t", L"", L"", 1, nullptr), 0);
    EXPECT_NE(repository_->table->RemoveFile(repository_, nullptr), 0);
    EXPECT_NE(repository_->table->GetFile(repository_, L"i", nullptr), 0);
    ASSERT_EQ(AddFile(repository_, L"id", L"file", "0123456789"), 0);
    IZarnFile* file = nullptr;
    ASSERT_EQ(repository_->table->GetFile(repository_, L"id", &file), 0);
    EXPECT_NE(file->table->OpenStream(file, 2, &stream, -1), 0);
    EXPECT_NE(file->table->OpenStream(file, -1, &stream, -1), 0);
    ASSERT_EQ(file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1), 0);
    EXPECT_EQ(stream->table->GetSize(stream), 10u);
    char buffer[16] = {};
    uint32_t size = 4;
    ASSERT_EQ(stream->table->Read(stream, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, size), "0123");
    size = sizeof buffer;
    ASSERT_EQ(stream->table->Read(stream, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, size), "456789");
    EXPECT_NE(stream->table->Write(stream, "x", 1), 0);
    stream->table->Close(stream, 1);
    size = sizeof buffer;
    EXPECT_NE(stream->table->Read(stream, buffer, &size), 0);
    fs::remove(In("file"));
    EXPECT_NE(file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1), 0);
    fs::create_directory(In("file"));
    EXPECT_NE(file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1), 0);
}

TEST_F(RepositoryTest, ReadStreamKeepsWhatItOpenedWhileTheFileIsReplaced) {
    ASSERT_EQ(AddFile(repository_, L"id", L"file", "old content"), 0);
    IZarnFile* file = nullptr;
    ASSERT_EQ(repository_->table->GetFile(repository_, L"id", &file), 0);
    IZarnFileStream* stream = nullptr;
    ASSERT_EQ(file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1), 0);
    IZarnRepository* other = Open();
    const KvdStatus modified = ModifyFile(other, L"id", "new");
    if (kOpenFilesAlwaysReplaceable) {
        EXPECT_EQ(modified, 0);
    } else {
        EXPECT_TRUE(modified == 0 || modified == 5) << modified;
    }
    std::string buffer(stream->table->GetSize(stream), '\0');
    uint32_t size = static_cast<uint32_t>(buffer.size());
    ASSERT_EQ(stream->table->Read(stream, buffer.data(), &size), 0);
    EXPECT_EQ(buffer, "old content");
    stream->table->Close(stream, 1);
    // A refused replace changed nothing, and goes through once the reader
    // is done.
    EXPECT_EQ(ReadFileBytes(In("file")), modified == 0 ? "new" : "old content");
    EXPECT_TRUE(LeftoverNames(directory_.Path()).empty());
    if (modified != 0) {
        EXPECT_EQ(ModifyFile(other, L"id", "new"), 0);
    }
    EXPECT_EQ(GetContent(Open(), L"id"), "new");
}

// A removal drops the entry and its stored copy, also when the copy is
// gone already; removing what is not there changes nothing; the identifier
// can be added again.
TEST_F(RepositoryTest, RemoveDropsTheEntryAndItsStoredCopy) {
    ASSERT_EQ(AddFile(repository_, L"a", L"a.txt", "a"), 0);
    ASSERT_EQ(AddFile(repository_, L"b", L"b.txt", "b"), 0);
    ASSERT_EQ(AddFile(repository_, L"c", L"c.txt", "c"), 0);
    ASSERT_EQ(RemoveFile(repository_, L"a"), 0);
    EXPECT_FALSE(fs::exists(In("a.txt")));
    fs::remove(In("c.txt"));
    EXPECT_EQ(RemoveFile(repository_, L"c"), 0);
    IZarnRepository* reopened = Open();
    EXPECT_EQ(GetContent(reopened, L"a"), std::nullopt);
    EXPECT_EQ(GetContent(reopened, L"c"), std::nullopt);
    EXPECT_EQ(GetContent(reopened, L"b"), "b");
    const auto before = ReadFileTree(directory_.Path());
    EXPECT_NE(RemoveFile(repository_, L"a"), 0);
    EXPECT_NE(RemoveFile(repository_, L"B"), 0);
    EXPECT_EQ(ReadFileTree(directory_.Path()), before);
    EXPECT_TRUE(LeftoverNames(directory_.Path()).empty());
    ASSERT_EQ(AddFile(repository_, L"a", L"a.txt", "second"), 0);
    EXPECT_EQ(GetContent(Open(), L"a"), "second");
}

// Writers through different opens keep each other's entries; many entries
// are all found after reopening.
TEST_F(RepositoryTest, WritersThroughDifferentOpensAndManyEntriesAreKept) {
    IZarnRepository* other = Open();
    ASSERT_EQ(AddFile(repository_, L"first", L"1", "one"), 0);
    ASSERT_EQ(AddFile(other, L"second", L"2", "two"), 0);
    EXPECT_NE(AddFile(other, L"first", L"3", "again"), 0);
    EXPECT_FALSE(fs::exists(In("3")));
    for (int i = 0; i < 300; ++i) {
        const std::wstring id = L"entry-" + std::to_wstring((i * 7919) % 300);
        ASSERT_EQ(AddFile(i % 2 == 0 ? repository_ : other, id, id + L".bin", "content " + std::to_string(i)), 0);
    }
    IZarnRepository* reopened = Open();
    EXPECT_EQ(GetContent(reopened, L"first"), "one");
    EXPECT_EQ(GetContent(reopened, L"second"), "two");
    for (int i = 0; i < 300; ++i) {
        const std::wstring id = L"entry-" + std::to_wstring((i * 7919) % 300);
        EXPECT_EQ(GetContent(reopened, id), "content " + std::to_string(i));
    }
}

// Loaded alone from a folder, the shipped file works: the tool's and the
// inspector's end-to-end tests run it so. It must have no fault controls.
TEST(LoadedLibraryTest, ShipsNoFaultControls) {
    test_support::SharedLibrary library;
    ASSERT_TRUE(library.Load(KVDFILES_LIBRARY_PATH));
    ASSERT_NE(library.Symbol("kvdFiles_GetRepository"), nullptr);
    for (const char* control : {"kvdFilesTest_FailCall", "kvdFilesTest_CrashAt", "kvdFilesTest_LimitChanges"}) {
        EXPECT_EQ(library.Symbol(control), nullptr) << control;
    }
}

}  // namespace
}  // namespace kvdtest
