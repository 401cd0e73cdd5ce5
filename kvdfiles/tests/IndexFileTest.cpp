// Index files that are damaged or made up: the open must refuse every one of
// them with null, never crash or hang, and must accept a well-formed file
// written by anyone who follows the documented layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "encoding/WideText.h"
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
    uint8_t marks = 1;  // version 3: a checksum follows
};

constexpr uint32_t kChecksum = 0x89ABCDEFu;

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

// Little-endian, as every number of the layout.
void Append(std::string& bytes, uint64_t value, std::size_t width = 4) {
    for (std::size_t i = 0; i < width; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendText(std::string& bytes, const std::u16string& text) {
    Append(bytes, static_cast<uint32_t>(text.size()));
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
}

uint32_t ReadU32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    return value;
}

void AppendVarint(std::string& bytes, uint64_t value) {
    for (; value >= 0x80; value >>= 7) bytes.push_back(static_cast<char>(0x80 | (value & 0x7F)));
    bytes.push_back(static_cast<char>(value));
}

// Each UTF-16 unit as UTF-8 writes a code point of its value.
std::string Units(const std::u16string& text) {
    std::string bytes;
    for (const char16_t unit : text) {
        constexpr unsigned kLead[] = {0x00, 0xC0, 0xE0};          // by the count of continuation bytes
        const int tail = unit < 0x80 ? 0 : unit < 0x800 ? 1 : 2;  // continuation bytes
        bytes.push_back(static_cast<char>(kLead[tail] | (unit >> (6 * tail))));
        for (int at = tail - 1; at >= 0; --at) bytes.push_back(static_cast<char>(0x80 | ((unit >> (6 * at)) & 0x3F)));
    }
    return bytes;
}

void AppendVersion2Text(std::string& bytes, const std::u16string& text) {
    const std::string units = Units(text);
    AppendVarint(bytes, units.size());
    bytes += units;
}

// A record of version 1: fixed-size numbers and texts with a unit count.
// Of version 2 or 3: varints (times zigzag-coded, the second as the
// difference from the first), a permissions byte, in version 3 the marks
// and the checksum they announce, texts with a varint byte count.
std::string Record(const LayoutEntry& entry, uint32_t version = 3) {
    std::string bytes;
    if (version == 1) {
        for (const uint64_t number : {uint64_t{1234}, uint64_t{1700000000000000}, uint64_t{1700000000000001}}) {
            Append(bytes, number, 8);  // content size, added, changed
        }
        Append(bytes, entry.permissions);
    } else {
        AppendVarint(bytes, 1234);
        AppendVarint(bytes, 2 * uint64_t{1700000000000000});
        AppendVarint(bytes, 2);  // changed one microsecond later
        bytes.push_back(static_cast<char>(entry.permissions));
    }
    if (version >= 3) bytes.push_back(static_cast<char>(entry.marks));
    if (version >= 3 && (entry.marks & 1) != 0) Append(bytes, kChecksum);
    for (const std::u16string* text : {&entry.id, &entry.destination, &entry.version, &entry.description}) {
        version == 1 ? AppendText(bytes, *text) : AppendVersion2Text(bytes, *text);
    }
    return bytes;
}

constexpr uint32_t kPut = 1;
constexpr uint32_t kRemove = 2;

std::string Change(uint64_t generation, uint32_t kind, const std::string& body) {
    std::string bytes = "ZRCH";
    Append(bytes, static_cast<uint32_t>(12 + body.size()));
    Append(bytes, generation, 8);
    Append(bytes, kind);
    bytes += body;
    Append(bytes, BitwiseCrc32c(bytes, bytes.size()));
    return bytes;
}

std::string Removal(uint64_t generation, const std::u16string& id) {
    std::string body;
    AppendVersion2Text(body, id);
    return Change(generation, kRemove, body);
}

// Where the base and each change record after it end.
std::vector<std::size_t> ChangeEnds(const std::string& index) {
    std::vector<std::size_t> ends{ReadU32(index, 24)};
    while (ends.back() + 8 <= index.size() && index.compare(ends.back(), 4, "ZRCH") == 0) {
        ends.push_back(ends.back() + 8 + ReadU32(index, ends.back() + 4) + 4);
    }
    return ends;
}

constexpr std::size_t kBlockSize = 4096;
#ifdef _WIN32
// There the library reads the index whole when it opens the repository.
constexpr bool kIndexReadWholeAtOpen = true;
#else
constexpr bool kIndexReadWholeAtOpen = false;
#endif
constexpr KvdStatus kIoError = 5;
constexpr KvdStatus kBadIndex = 7;

// The key of the name table: the checksum of a destination's last component.
uint32_t NameKey(const std::u16string& destination) {
    const std::size_t separator = destination.find_last_of(u"/\\:");
    const std::u16string name = separator == std::u16string::npos ? destination : destination.substr(separator + 1);
    const std::string units = Units(name);
    return BitwiseCrc32c(units, units.size());
}

constexpr uint32_t kNewestVersion = 3;  // every version from 1 up to it is read

// Appends the block checksums and the footer of versions 2 and 3 to a header,
// offsets, records and name table, and sets the size field (off by slack).
std::string SealedBlocks(std::string bytes, uint32_t slack = 0) {
    const std::size_t recordsEnd = bytes.size();
    const std::size_t blocks = (recordsEnd + kBlockSize - 1) / kBlockSize;
    PutU32(bytes, 24, static_cast<uint32_t>(recordsEnd + 4 * blocks + 8 + slack));
    PutU32(bytes, 28, 0);
    for (std::size_t at = 0; at < recordsEnd; at += kBlockSize) {
        const std::string block = bytes.substr(at, std::min(kBlockSize, recordsEnd - at));
        Append(bytes, BitwiseCrc32c(block, block.size()));
    }
    Append(bytes, static_cast<uint32_t>(recordsEnd));
    const std::string covered = bytes.substr(recordsEnd);
    Append(bytes, BitwiseCrc32c(covered, covered.size()));
    return bytes;
}

// Seals a header, offsets, records and (from version 2) name table: the
// size field and the checksums follow them.
std::string Sealed(std::string bytes, uint32_t version, uint32_t slack = 0) {
    if (version != 1) return SealedBlocks(std::move(bytes), slack);
    PutU32(bytes, 24, static_cast<uint32_t>(bytes.size() + 4 + slack));
    PutU32(bytes, 28, 0);
    Append(bytes, BitwiseCrc32c(bytes, bytes.size()));
    return bytes;
}

std::string Unsealed(const std::vector<LayoutEntry>& entries, uint64_t generation, uint32_t version) {
    std::string bytes = "ZRIDX\r\n\x1A";
    Append(bytes, version);
    Append(bytes, static_cast<uint32_t>(entries.size()));
    Append(bytes, generation, 8);
    Append(bytes, 0, 8);  // the size field, set by Sealed
    const std::size_t table = bytes.size();
    bytes.append(4 * entries.size(), '\0');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PutU32(bytes, table + 4 * i, static_cast<uint32_t>(bytes.size()));
        bytes += Record(entries[i], version);
    }
    if (version == 1) return bytes;
    std::vector<std::pair<uint32_t, uint32_t>> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        names.emplace_back(NameKey(entries[i].destination), static_cast<uint32_t>(i));
    }
    std::sort(names.begin(), names.end());
    for (const auto& [key, position] : names) {
        Append(bytes, key);
        Append(bytes, position);
    }
    return bytes;
}

std::string BuildIndex(const std::vector<LayoutEntry>& entries, uint64_t generation = 7, uint32_t version = 1) {
    return Sealed(Unsealed(entries, generation, version), version);
}

class IndexFileTest : public ::testing::Test {
protected:
    void TearDown() override { kvdFiles_ReleaseLibrary(); }

    IZarnRepository* OpenWith(const std::string& index) {
        WriteFileBytes(directory_.Path() / "ZarnRepository.bin", index);
        return kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str());
    }

    // Refused by the open or, where the index is read as needed, by a
    // listing, which reads and checks all of it.
    bool Refused(const std::string& index) {
        IZarnRepository* repository = OpenWith(index);
        uint32_t count = 0;
        return repository == nullptr || repository->table->GetFileCount(repository, &count) != 0;
    }

    // An index the library wrote itself, with a few entries: the first add
    // writes the base, the others append change records.
    std::string LibraryIndex() {
        TemporaryDirectory source;
        IZarnRepository* repository = kvdFiles_GetRepositoryFromPath(source.Wide().c_str());
        for (const wchar_t* id : {L"alpha", L"beta", L"\U0001F600", L"gamma"}) {
            AddFile(repository, id, std::wstring(L"f-") + id, "content", 2, L"v", L"some words");
        }
        return ReadFileBytes(source.Path() / "ZarnRepository.bin");
    }

    TemporaryDirectory directory_;
};

TEST_F(IndexFileTest, FileWrittenToTheDocumentedLayoutOpens) {
    // Code units as another platform stores them: a surrogate pair and a
    // lone escape for an undecodable byte.
    // The last text of the file fills it to its checksum.
    const std::vector<LayoutEntry> entries = {
        {u"a", u"dir/a.bin"}, {u"b\xD83D\xDE00", u"\xDC80"}, {u"c", u"c", u"2", u"last words"}};
    for (uint32_t version = 1; version <= kNewestVersion; ++version) {
        EXPECT_FALSE(Refused(BuildIndex({}, 7, version))) << "empty, version " << version;
        IZarnRepository* repository = OpenWith(BuildIndex(entries, 7, version));
        ASSERT_NE(repository, nullptr) << "version " << version;
        EXPECT_EQ(GetPath(repository, L"a"), L"dir/a.bin");
        EXPECT_EQ(GetPath(repository, L"b\U0001F600"), L"\xDC80");
        EXPECT_EQ(GetPath(repository, L"c"), L"c");
        EXPECT_EQ(GetPath(repository, L"b"), std::nullopt);
        uint32_t count = 0;  // a listing reads and checks all of it, the name table too
        EXPECT_EQ(repository->table->GetFileCount(repository, &count), 0) << "version " << version;
        EXPECT_EQ(count, entries.size());
        EXPECT_EQ(ListedIds(repository), (std::vector<std::wstring>{L"a", L"b\U0001F600", L"c"}))
            << "version " << version;
    }
}

// An index of version 2 records no checksums: its stored copies read as
// they are and check as unverified, until a change writes version 3 and the
// next modify records one.
TEST_F(IndexFileTest, IndexWithoutChecksumsReadsAndTakesChanges) {
    WriteFileBytes(directory_.Path() / "stored", std::string(1234, 's'));
    IZarnRepository* repository = OpenWith(BuildIndex({{u"a"}}, 7, 2));
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(GetContent(repository, L"a"), std::string(1234, 's'));
    IZarnFile* file = nullptr;
    ASSERT_EQ(repository->table->GetFile(repository, L"a", &file), 0);
    int32_t finding = -1;
    uint64_t size = 0;
    ASSERT_EQ(file->table->CheckStoredCopy(file, &finding, &size), 0);
    EXPECT_EQ(finding, KVDFILES_STORED_COPY_UNVERIFIED);
    ASSERT_EQ(ModifyFile(repository, L"a", "new"), 0);
    EXPECT_EQ(ReadU32(ReadFileBytes(directory_.Path() / "ZarnRepository.bin"), 8), 3u);
    IZarnRepository* reopened = kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str());
    ASSERT_EQ(reopened->table->GetFile(reopened, L"a", &file), 0);
    ASSERT_EQ(file->table->CheckStoredCopy(file, &finding, &size), 0);
    EXPECT_EQ(finding, KVDFILES_STORED_COPY_WHOLE);
    EXPECT_EQ(GetContent(reopened, L"a"), "new");
}

// A destination given on Windows separates its folders with '\\'; the
// stored copy is found in that folder on every system, and GetPath gives the
// path the way this system writes it.
TEST_F(IndexFileTest, DestinationsGivenOnWindowsTravel) {
    fs::create_directory(directory_.Path() / "docs");
    WriteFileBytes(directory_.Path() / "docs" / "a.txt", "content");
    IZarnRepository* repository = OpenWith(BuildIndex({{u"a", u"docs\\a.txt", u"1", u"", 3, 2}}, 7, 3));
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(GetContent(repository, L"a"), "content");
    const bool windows = fs::path::preferred_separator == '\\';
    EXPECT_EQ(GetPath(repository, L"a"), windows ? L"docs\\a.txt" : L"docs/a.txt");
}

// The same bytes on every system: an index that the library committed on
// Linux (a seed of the fuzz corpus) opens here, and a change made here keeps
// its entries.
TEST_F(IndexFileTest, IndexWrittenOnLinuxOpensAndTakesChanges) {
    const std::string written = ReadFileBytes(fs::path(KVDFILES_CORPUS_DIRECTORY) / "several.bin");
    ASSERT_FALSE(written.empty());
    IZarnRepository* repository = OpenWith(written);
    ASSERT_NE(repository, nullptr);
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
    EXPECT_EQ(ReadU32(index, 8), kNewestVersion) << "format version";
    const std::vector<std::size_t> ends = ChangeEnds(index);
    ASSERT_EQ(ends.size(), 4u) << "a base and three change records";
    EXPECT_EQ(ends.back(), index.size());
    const std::string base = index.substr(0, ends.front());
    const uint32_t recordsEnd = ReadU32(base, base.size() - 8);
    ASSERT_LT(recordsEnd, base.size());
    EXPECT_EQ(SealedBlocks(base.substr(0, recordsEnd)), base)
        << "size field, block checksums or footer differ from the documented ones";
    EXPECT_EQ(ReadU32(index, 12), 1u) << "entry count of the base";
    uint32_t generation = ReadU32(index, 16);
    for (std::size_t i = 1; i < ends.size(); ++i) {
        const std::string change = index.substr(ends[i - 1], ends[i] - ends[i - 1]);
        EXPECT_EQ(ReadU32(change, change.size() - 4), BitwiseCrc32c(change, change.size() - 4)) << "change " << i;
        EXPECT_EQ(ReadU32(change, 8), ++generation) << "change " << i;
        EXPECT_EQ(ReadU32(change, 16), kPut) << "change " << i;
    }
}

// How a walk of a listing ended: after how many entries, with what status.
struct Walked {
    std::size_t entries = 0;
    KvdStatus status = 0;
    bool operator==(const Walked&) const = default;
};

// Walks a listing to its end or its failure, through Next alone or through
// Next and NextListed in turn, and checks that both then go on ending so.
Walked Walk(IZarnRepository* repository, bool takingTurns) {
    IZarnFileList* list = nullptr;
    EXPECT_EQ(repository->table->ListFiles(repository, &list), 0);
    // Each call starts from a file that is not null, so that one that
    // leaves it shows.
    static IZarnFile stale = {nullptr};
    const auto step = [list](bool listed, IZarnFile*& file) {
        file = &stale;
        if (!listed) return list->table->Next(list, &file);
        KvdListedEntry entry{};
        entry.file = &stale;
        const KvdStatus status = list->table->NextListed(list, &entry);
        file = entry.file;
        return status;
    };
    Walked walked;
    IZarnFile* file = nullptr;
    while ((walked.status = step(takingTurns && walked.entries % 2 == 1, file)) == 0 && file != nullptr) {
        ++walked.entries;
    }
    for (const bool listed : {false, true}) {
        EXPECT_EQ(step(listed, file), walked.status);
        EXPECT_EQ(file, nullptr);
    }
    return walked;
}

// Lookups check only the blocks they read: damage elsewhere does not stop
// them, but every lookup that reads it, a listing and every change that
// reads it refuse the index, and leave it as it is. Where the index is read
// whole at the open, the open refuses it.
TEST_F(IndexFileTest, DamagedBlockIsRefusedByWhatReadsIt) {
    std::vector<LayoutEntry> entries;
    for (int i = 0; i < 300; ++i) {
        const std::string digits = std::to_string(1000 + i);
        entries.push_back({u"k" + std::u16string(digits.begin(), digits.end())});
    }
    std::string index = BuildIndex(entries, 7, 3);
    const uint32_t lastRecord = ReadU32(index, 32 + 4 * 299);
    ASSERT_GE(lastRecord / kBlockSize, 2u) << "the last record must lie past the blocks a lookup of the first reads";
    index[lastRecord + 40] = static_cast<char>(index[lastRecord + 40] ^ 0x01);

    IZarnRepository* repository = OpenWith(index);
    if (kIndexReadWholeAtOpen) {
        EXPECT_EQ(repository, nullptr);
        EXPECT_EQ(ReadFileBytes(directory_.Path() / "ZarnRepository.bin"), index);
        return;
    }
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(GetPath(repository, L"k1000"), L"stored");
    IZarnFile* file = nullptr;
    EXPECT_EQ(repository->table->GetFile(repository, L"k1299", &file), kBadIndex);
    uint32_t count = 0;
    EXPECT_EQ(repository->table->GetFileCount(repository, &count), kBadIndex);
    IZarnRepository* writer = kvdFiles_GetRepositoryFromPath(directory_.Wide().c_str());
    EXPECT_EQ(AddFile(writer, L"k1300", L"new", "content"), kBadIndex);
    EXPECT_EQ(ModifyFile(writer, L"k1299", "content"), kBadIndex);
    EXPECT_EQ(ReadFileBytes(directory_.Path() / "ZarnRepository.bin"), index);
    // A listing walked with Next, or with Next and NextListed in turn, fails
    // at the same entry, and from then on.
    const Walked byNext = Walk(repository, false);
    EXPECT_EQ(byNext.status, kBadIndex);
    EXPECT_LT(byNext.entries, 300u);
    EXPECT_EQ(Walk(repository, true), byNext);

    // Cut short under a reader, the index is a read error, not damage.
    IZarnRepository* reader = OpenWith(BuildIndex(entries, 7, 3));
    ASSERT_NE(reader, nullptr);
    fs::resize_file(directory_.Path() / "ZarnRepository.bin", lastRecord);
    EXPECT_EQ(reader->table->GetFile(reader, L"k1299", &file), kIoError);
}

// An entry's fields with its texts as UTF-8 in which a surrogate alone
// keeps its three bytes: as the wide getters give them, converted, or as
// NextListed gives them.
using ListedFields = EntryFields<std::string>;

ListedFields FieldsOf(IZarnFile* file) {
    return kvdtest::FieldsOf(file->table->GetInfo(file), encoding::Utf8ShowingSurrogates);
}

ListedFields FieldsOf(const KvdListedEntry& entry) {
    return {{entry.fileId, entry.fileIdSize},
            {entry.path, entry.pathSize},
            {entry.version, entry.versionSize},
            {entry.description, entry.descriptionSize},
            entry.permissions,
            entry.contentSize,
            entry.timeAdded,
            entry.timeLastChanged};
}

// NextListed gives the fields the getters give, its texts as UTF-8: the
// file it hands out shows them, and so does the same entry of a listing
// walked with Next. The last entry's destination was given on Windows.
TEST_F(IndexFileTest, NextListedGivesWhatTheGettersGive) {
    struct Row {
        std::u16string text;
        std::string utf8;
    };
    const Row rows[] = {
        {u"plain.txt", "plain.txt"},
        {u"caf\u00E9/\u65E5", "caf\xC3\xA9/\xE6\x97\xA5"},
        {u"pair \xD83D\xDE00", "pair \xF0\x9F\x98\x80"},
        {u"alone \xDC80", "alone \xED\xB2\x80"},
        {u"docs\\a.txt", fs::path::preferred_separator == '\\' ? "docs\\a.txt" : "docs/a.txt"},
    };
    std::vector<LayoutEntry> entries;
    for (const Row& row : rows) {
        const auto prefix = static_cast<char16_t>(u'a' + entries.size());
        const bool givenOnWindows = entries.size() + 1 == std::size(rows);
        entries.push_back({prefix + row.text, row.text, row.text, row.text,
                           static_cast<uint32_t>(1 + entries.size() % 3),
                           static_cast<uint8_t>(givenOnWindows ? 3 : 1)});
    }
    IZarnRepository* repository = OpenWith(BuildIndex(entries, 7, 3));
    ASSERT_NE(repository, nullptr);
    ASSERT_NE(kvdFiles_InitLibrary(KVDFILES_TABLES_VERSION_4), 0);
    IZarnFileList* list = nullptr;
    IZarnFileList* other = nullptr;
    ASSERT_EQ(repository->table->ListFiles(repository, &list), 0);
    ASSERT_EQ(repository->table->ListFiles(repository, &other), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        KvdListedEntry entry{};
        IZarnFile* file = nullptr;
        ASSERT_EQ(list->table->NextListed(list, &entry), 0);
        ASSERT_EQ(other->table->Next(other, &file), 0);
        ASSERT_NE(entry.file, nullptr);
        ASSERT_NE(file, nullptr);
        const ListedFields listed = FieldsOf(entry);
        EXPECT_EQ(listed.path, row.utf8);
        EXPECT_EQ(listed, FieldsOf(entry.file));
        EXPECT_EQ(listed, FieldsOf(file));
    }
    EXPECT_EQ(Walk(repository, true), (Walked{std::size(rows), 0}));
}

TEST_F(IndexFileTest, ChangesWrittenToTheDocumentedLayoutApply) {
    const std::string base = BuildIndex({{u"a"}, {u"b", u"b"}, {u"c", u"c"}}, 7, 3);
    const std::string changes = Change(8, kPut, Record({u"d", u"dd"})) + Removal(9, u"a") +
                                Change(10, kPut, Record({u"b", u"b2", u"1", u"", 3, 0}));
    // An index of version 2 carries records of version 2 in its changes too.
    const std::string older = BuildIndex({{u"a"}, {u"b", u"b"}, {u"c", u"c"}}, 7, 2) +
                              Change(8, kPut, Record({u"d", u"dd"}, 2)) + Removal(9, u"a") +
                              Change(10, kPut, Record({u"b", u"b2"}, 2));
    for (const std::string& index : {base + changes, older}) {
        IZarnRepository* repository = OpenWith(index);
        ASSERT_NE(repository, nullptr);
        EXPECT_EQ(GetPath(repository, L"a"), std::nullopt);
        EXPECT_EQ(GetPath(repository, L"b"), L"b2");
        EXPECT_EQ(GetPath(repository, L"c"), L"c");
        EXPECT_EQ(GetPath(repository, L"d"), L"dd");
        IZarnFile* file = nullptr;
        ASSERT_EQ(repository->table->GetFile(repository, L"d", &file), 0);
        IZarnFileInfo* info = file->table->GetInfo(file);
        EXPECT_EQ(info->table->GetTimeAdded(info), 1700000000000000);
        EXPECT_EQ(info->table->GetTimeLastChanged(info), 1700000000000001);
    }

    EXPECT_EQ(OpenWith(BuildIndex({{u"a"}}, 7, 1) + Removal(8, u"a")), nullptr) << "version 1 takes no changes";
    EXPECT_EQ(OpenWith(base + Removal(9, u"a")), nullptr) << "a generation left out";
    EXPECT_EQ(OpenWith(base + Removal(8, u"a") + Removal(8, u"b")), nullptr) << "a generation repeated";
    EXPECT_EQ(OpenWith(base + Change(8, 3, "")), nullptr) << "unknown kind";
    EXPECT_EQ(OpenWith(base + Removal(8, u"")), nullptr) << "empty identifier";
    EXPECT_EQ(OpenWith(base + Change(8, kPut, Record({u"d", u"dd", u"1", u"", 4}))), nullptr) << "permissions 4";
    EXPECT_EQ(OpenWith(base + Change(8, kPut, Record({u"d", u"dd", u"1", u"", 3, 4}))), nullptr) << "an unknown mark";
    EXPECT_EQ(OpenWith(base + Change(8, kPut, Record({u"d"}) + "x")), nullptr) << "a stray byte";
    std::string overlong = Record({u"d", u"x", u"", u""});
    overlong.replace(overlong.size() - 4, 2, "\x02\xC1\xB8");  // the destination "x" in two bytes
    ASSERT_NE(OpenWith(base + Change(8, kPut, Record({u"d", u"x", u"", u""}))), nullptr);
    EXPECT_EQ(OpenWith(base + Change(8, kPut, overlong)), nullptr) << "a unit not in its shortest form";
}

// A file cut anywhere is refused, except right after its base or after a
// whole change record: that is the index as it was before the changes cut
// off.
TEST_F(IndexFileTest, EveryTruncationIsRefusedButAtTheEndOfAChange) {
    const std::string index = LibraryIndex();
    const std::vector<std::size_t> ends = ChangeEnds(index);
    for (std::size_t length = 0; length < index.size(); ++length) {
        IZarnRepository* repository = OpenWith(index.substr(0, length));
        const auto end = std::find(ends.begin(), ends.end(), length);
        if (end == ends.end()) {
            EXPECT_EQ(repository, nullptr) << "length " << length;
            continue;
        }
        ASSERT_NE(repository, nullptr) << "length " << length;
        uint32_t count = 0;
        EXPECT_EQ(repository->table->GetFileCount(repository, &count), 0);
        EXPECT_EQ(count, static_cast<uint32_t>(1 + (end - ends.begin()))) << "length " << length;
    }
    EXPECT_NE(OpenWith(index), nullptr);
}

// In what the library writes, and in the older versions it reads.
TEST_F(IndexFileTest, EveryFlippedBitIsRefused) {
    std::vector<std::string> indexes = {LibraryIndex()};
    for (uint32_t version = 1; version < kNewestVersion; ++version) {
        indexes.push_back(BuildIndex({{u"a"}, {u"b", u"b", u"2", u"words"}}, 7, version));
    }
    for (const std::string& index : indexes) {
        for (std::size_t bit = 0; bit < 8 * index.size(); ++bit) {
            std::string damaged = index;
            damaged[bit / 8] = static_cast<char>(damaged[bit / 8] ^ (1 << (bit % 8)));
            EXPECT_TRUE(Refused(damaged)) << "version " << ReadU32(index, 8) << ", bit " << bit;
        }
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

// Sealed files (size field and checksums right) whose structure is wrong,
// in the layout of the given version.
struct Inconsistency {
    std::string name;
    std::string bytes;
};

std::vector<Inconsistency> Inconsistencies(uint32_t version) {
    const std::vector<LayoutEntry> good = {{u"a"}, {u"b", u"b"}, {u"c", u"c"}};
    const std::string base = Unsealed(good, 7, version);
    std::vector<Inconsistency> cases;
    auto add = [&](std::string name, const std::string& unsealed) {
        cases.push_back({std::move(name), Sealed(unsealed, version)});
    };
    auto field = [&](std::string name, std::size_t at, uint32_t value) {
        std::string bytes = base;
        PutU32(bytes, at, value);
        add(std::move(name), bytes);
    };
    field("format version 0", 8, 0);
    field("a format version newer than any", 8, kNewestVersion + 1);
    field("huge entry count", 12, 0xFFFFFFFFu);
    field("one entry more than present", 12, 4);
    field("one entry fewer than present", 12, 2);
    field("generation zero", 16, 0);
    field("offset off by two", 32 + 4, ReadU32(base, 32 + 4) + 2);
    field("offset past the end", 32 + 8, 0x7FFFFFFFu);
    add("generation with no successor", Unsealed(good, UINT64_MAX, version));
    add("identifiers out of order", Unsealed({{u"b"}, {u"a"}}, 7, version));
    add("duplicate identifiers", Unsealed({{u"a"}, {u"a", u"x"}}, 7, version));
    add("empty identifier", Unsealed({{u""}}, 7, version));
    add("empty destination", Unsealed({{u"a", u""}}, 7, version));
    add("permissions 0", Unsealed({{u"a", u"a", u"1", u"", 0}}, 7, version));
    add("permissions 4", Unsealed({{u"a", u"a", u"1", u"", 4}}, 7, version));
    add("a stray byte after the records", base + "x");
    add("wrong magic", "z" + base.substr(1));
    cases.push_back({"size field unlike the file", Sealed(base, version, 1)});
    if (version == 1) {
        // Numbers of its own: permissions a whole word, text lengths in units.
        std::string bytes = base;
        PutU32(bytes, 32 + 12 + 24, 0x101);
        add("permissions 0x101", bytes);
        const std::size_t end = base.size();
        for (std::size_t at = ReadU32(base, 32 + 8) + 28, text = 0; text < 4; ++text, at += 4 + 2 * ReadU32(base, at)) {
            field("text " + std::to_string(text) + " of the last record one unit too long", at,
                  static_cast<uint32_t>((end - at - 4) / 2 + 1));
        }
        return cases;
    }
    // The name table: n pairs of key and position at the end.
    const std::size_t names = base.size() - 8 * good.size();
    field("a name under the wrong key", names, ReadU32(base, names) ^ 1);
    field("a position past the last record", names + 4, 3);
    add("names out of order",
        base.substr(0, names) + base.substr(names + 8, 8) + base.substr(names, 8) + base.substr(names + 16));
    std::string twice = Unsealed({{u"a", u"x/same"}, {u"b", u"y/same"}}, 7, version);
    PutU32(twice, twice.size() - 4, 0);
    add("a position twice under one key", twice);
    return cases;
}

TEST_F(IndexFileTest, SealedButInconsistentFilesAreRefused) {
    for (uint32_t version = 1; version <= kNewestVersion; ++version) {
        ASSERT_FALSE(Refused(BuildIndex({{u"a"}, {u"b", u"b"}, {u"c", u"c"}}, 7, version))) << "version " << version;
        for (const Inconsistency& inconsistency : Inconsistencies(version)) {
            EXPECT_TRUE(Refused(inconsistency.bytes)) << "version " << version << ": " << inconsistency.name;
        }
    }
}

TEST_F(IndexFileTest, RefusedIndexIsLeftAsItWas) {
    std::string damaged = LibraryIndex();
    damaged[40] = static_cast<char>(damaged[40] ^ 0x10);
    EXPECT_EQ(OpenWith(damaged), nullptr);
    EXPECT_EQ(ReadFileBytes(directory_.Path() / "ZarnRepository.bin"), damaged);
    EXPECT_EQ(ReadFileTree(directory_.Path()).size(), 1u);
    TemporaryDirectory folder;  // an index that is not a file
    fs::create_directory(folder.Path() / "ZarnRepository.bin");
    EXPECT_EQ(kvdFiles_GetRepositoryFromPath(folder.Wide().c_str()), nullptr);
}

}  // namespace
}  // namespace kvdtest
