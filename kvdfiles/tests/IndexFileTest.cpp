// Index files that are damaged or made up: the open must refuse every one of
// them with null, never crash or hang, and must accept a well-formed file
// written by anyone who follows the documented layout.
#include <gtest/gtest.h>

#include <random>

#include "kvdfiles/tests/TestSupport.h"

namespace kvdtest {
namespace {

// The layout as documented in IndexFormat.h, written independently here so
// that the library is held to the documentation, not to itself.
struct LayoutEntry {
    std::u16string id;
    std::u16string destination = u"stored";
    std::u16string version = u"1";
    std::u16string description = u"";
    uint32_t permissions = 3;
};

uint32_t BitwiseCrc32c(const std::string& bytes, std::size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutU32(std::string& bytes, std::size_t at, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendU32(std::string& bytes, uint32_t value) {
    bytes.append(4, '\0');
    PutU32(bytes, bytes.size() - 4, value);
}

void AppendU64(std::string& bytes, uint64_t value) {
    AppendU32(bytes, static_cast<uint32_t>(value));
    AppendU32(bytes, static_cast<uint32_t>(value >> 32));
}

void AppendText(std::string& bytes, const std::u16string& text) {
    AppendU32(bytes, static_cast<uint32_t>(text.size()));
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
}

// Rewrites the file-size field and the checksum after a change.
void Reseal(std::string& bytes) {
    PutU32(bytes, 24, static_cast<uint32_t>(bytes.size()));
    PutU32(bytes, 28, 0);
    PutU32(bytes, bytes.size() - 4, BitwiseCrc32c(bytes, bytes.size() - 4));
}

std::string BuildIndex(const std::vector<LayoutEntry>& entries, uint64_t generation = 7) {
    std::string bytes = "ZRIDX\r\n\x1A";
    AppendU32(bytes, 1);
    AppendU32(bytes, static_cast<uint32_t>(entries.size()));
    AppendU64(bytes, generation);
    AppendU64(bytes, 0);  // file size, sealed below
    const std::size_t table = bytes.size();
    bytes.append(4 * entries.size(), '\0');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PutU32(bytes, table + 4 * i, static_cast<uint32_t>(bytes.size()));
        AppendU64(bytes, 1234);             // content size
        AppendU64(bytes, 1700000000000000);  // added
        AppendU64(bytes, 1700000000000001);  // changed
        AppendU32(bytes, entries[i].permissions);
        AppendText(bytes, entries[i].id);
        AppendText(bytes, entries[i].destination);
        AppendText(bytes, entries[i].version);
        AppendText(bytes, entries[i].description);
    }
    AppendU32(bytes, 0);
    Reseal(bytes);
    return bytes;
}

class IndexFileTest : public ::testing::Test {
protected:
    void TearDown() override { kvdFiles_ReleaseLibrary(); }

    IZarnRepository* OpenWith(const std::string& index) {
        WriteBytes(directory_.Path() / "ZarnRepository.bin", index);
        return kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str());
    }

    // An index the library wrote itself, with a few entries.
    std::string LibraryIndex() {
        ScratchDirectory source;
        IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(source.Wide().c_str());
        for (const wchar_t* id : {L"alpha", L"beta", L"\U0001F600", L"gamma"}) {
            AddFile(repository, id, std::wstring(L"f-") + id, "content", 2, L"v", L"some words");
        }
        return ReadBytes(source.Path() / "ZarnRepository.bin");
    }

    ScratchDirectory directory_;
};

TEST_F(IndexFileTest, FileWrittenToTheDocumentedLayoutOpens) {
    // Code units as another platform stores them: a surrogate pair and a
    // lone escape for an undecodable byte.
    const std::vector<LayoutEntry> entries = {{u"a", u"dir/a.bin"}, {u"b\xD83D\xDE00", u"\xDC80"}, {u"c", u"c"}};
    IZarnRepository* repository = OpenWith(BuildIndex(entries));
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(GetPath(repository, L"a"), L"dir/a.bin");
    EXPECT_EQ(GetPath(repository, L"b\U0001F600"), L"\xDC80");
    EXPECT_EQ(GetPath(repository, L"c"), L"c");
    EXPECT_EQ(GetPath(repository, L"b"), std::nullopt);
}

// The same bytes on every system: an index that the library committed on
// Linux (a seed of the fuzz corpus) opens here, and a change made here keeps
// its entries.
TEST_F(IndexFileTest, IndexWrittenOnLinuxOpensAndTakesChanges) {
    const std::string written = ReadBytes(fs::path(KVDFILES_CORPUS_DIRECTORY) / "several.bin");
    ASSERT_FALSE(written.empty());
    IZarnRepository* repository = OpenWith(written);
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(GetPath(repository, L"alpha"), L"docs/alpha");
    EXPECT_EQ(GetPath(repository, L"beta"), L"/abs/beta");
    EXPECT_EQ(GetPath(repository, L"\U0001F600"), L"\xDC80");
    ASSERT_EQ(AddFile(repository, L"gamma", L"gamma.txt", "written here"), 0);
    IZarnRepository* reopened = kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str());
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(GetPath(reopened, L"alpha"), L"docs/alpha");
    EXPECT_EQ(GetPath(reopened, L"beta"), L"/abs/beta");
    EXPECT_EQ(GetPath(reopened, L"\U0001F600"), L"\xDC80");
    EXPECT_EQ(GetContent(reopened, L"gamma"), "written here");
}

TEST_F(IndexFileTest, LibraryWritesTheDocumentedLayout) {
    const std::string index = LibraryIndex();
    ASSERT_GE(index.size(), 36u);
    EXPECT_EQ(index.substr(0, 8), std::string("ZRIDX\r\n\x1A", 8));
    std::string resealed = index;
    Reseal(resealed);
    EXPECT_EQ(resealed, index) << "size field or checksum differ from the documented ones";
    EXPECT_EQ(static_cast<unsigned char>(index[12]), 4u) << "entry count";
}

TEST_F(IndexFileTest, EveryTruncationIsRefused) {
    const std::string index = LibraryIndex();
    for (std::size_t length = 0; length < index.size(); ++length) {
        EXPECT_EQ(OpenWith(index.substr(0, length)), nullptr) << "length " << length;
    }
    EXPECT_NE(OpenWith(index), nullptr);
}

TEST_F(IndexFileTest, EveryFlippedBitIsRefused) {
    const std::string index = LibraryIndex();
    for (std::size_t bit = 0; bit < 8 * index.size(); ++bit) {
        std::string damaged = index;
        damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
        EXPECT_EQ(OpenWith(damaged), nullptr) << "bit " << bit;
    }
}

TEST_F(IndexFileTest, RandomBytesAreRefused) {
    std::mt19937 random(20261206);
    const std::string header = BuildIndex({}).substr(0, 32);
    for (int round = 0; round < 500; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        // Half of them behind a real header, so that the checks past the
        // magic number get their share.
        if (round % 2 == 1 && bytes.size() >= 32) bytes.replace(0, 32, header);
        EXPECT_EQ(OpenWith(bytes), nullptr) << "round " << round;
    }
}

// Sealed files (size field and checksum right) whose structure is wrong.
struct Inconsistency {
    const char* name;
    std::string bytes;
};

std::vector<Inconsistency> Inconsistencies() {
    const std::vector<LayoutEntry> good = {{u"a"}, {u"b", u"b"}, {u"c", u"c"}};
    const std::string base = BuildIndex(good);
    std::vector<Inconsistency> cases;
    auto mutated = [&](const char* name, std::size_t at, uint32_t value) {
        std::string bytes = base;
        PutU32(bytes, at, value);
        Reseal(bytes);
        cases.push_back({name, bytes});
    };
    mutated("unknown format version", 8, 2);
    mutated("huge entry count", 12, 0xFFFFFFFFu);
    mutated("one entry more than present", 12, 4);
    mutated("one entry fewer than present", 12, 2);
    mutated("generation zero", 16, 0);
    mutated("offset off by two", 32 + 4, static_cast<uint32_t>(base[36] + 2));
    mutated("offset past the end", 32 + 8, 0x7FFFFFFFu);
    mutated("identifier length past the end", 44 + 28, 0x40000000u);
    mutated("permissions 0", 44 + 24, 0);
    mutated("permissions 4", 44 + 24, 4);
    cases.push_back({"identifiers out of order", BuildIndex({{u"b"}, {u"a"}})});
    cases.push_back({"duplicate identifiers", BuildIndex({{u"a"}, {u"a", u"x"}})});
    cases.push_back({"empty identifier", BuildIndex({{u""}})});
    cases.push_back({"empty destination", BuildIndex({{u"a", u""}})});
    std::string lastGeneration = base;
    PutU32(lastGeneration, 16, 0xFFFFFFFFu);
    PutU32(lastGeneration, 20, 0xFFFFFFFFu);
    Reseal(lastGeneration);
    cases.push_back({"generation with no successor", lastGeneration});
    std::string longer = base;
    longer.insert(longer.size() - 4, "x");
    Reseal(longer);
    cases.push_back({"a stray byte after the records", longer});
    std::string wrongMagic = base;
    wrongMagic[0] = 'z';
    Reseal(wrongMagic);
    cases.push_back({"wrong magic", wrongMagic});
    std::string wrongSize = base;
    PutU32(wrongSize, 24, static_cast<uint32_t>(base.size() + 1));
    PutU32(wrongSize, wrongSize.size() - 4, BitwiseCrc32c(wrongSize, wrongSize.size() - 4));
    cases.push_back({"size field unlike the file", wrongSize});
    return cases;
}

TEST_F(IndexFileTest, SealedButInconsistentFilesAreRefused) {
    ASSERT_NE(OpenWith(BuildIndex({{u"a"}, {u"b", u"b"}, {u"c", u"c"}})), nullptr);
    for (const Inconsistency& inconsistency : Inconsistencies()) {
        EXPECT_EQ(OpenWith(inconsistency.bytes), nullptr) << inconsistency.name;
    }
}

TEST_F(IndexFileTest, RefusedIndexIsLeftAsItWas) {
    std::string damaged = LibraryIndex();
    damaged[40] = static_cast<char>(damaged[40] ^ 0x10);
    EXPECT_EQ(OpenWith(damaged), nullptr);
    EXPECT_EQ(ReadBytes(directory_.Path() / "ZarnRepository.bin"), damaged);
    EXPECT_EQ(Snapshot(directory_.Path()).size(), 1u);
}

TEST_F(IndexFileTest, IndexThatIsNotAFileIsRefused) {
    fs::create_directory(directory_.Path() / "ZarnRepository.bin");
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str()), nullptr);
}

}  // namespace
}  // namespace kvdtest
