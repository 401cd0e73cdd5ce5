// Builds a repository of many small entries in one pass, for the benchmark:
// the stored copies at their destinations and the index file, whose records
// are encoded here and framed by the library's own writer of index bases
// (kvd::IndexBase::Assemble). Adding the entries one by one through the tool
// would take one process per entry.
//
// The index is checked with the library's own reader before the program
// reports success, so a change of the index layout fails here loudly instead
// of producing a repository the library would refuse.
//
// Usage: zarnrepo-bench-build DIRECTORY COUNT [SIZE]
//   entries "e000000".."e<COUNT-1>", stored at "d/e000000.dat"..., each of
//   SIZE bytes (default 1024) of reproducible pseudo-random content.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "kvdfiles/Crc32c.h"
#include "kvdfiles/IndexImage.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kPermissions = 3;
// Six digits number a million entries, e000000..e999999.
constexpr unsigned long kMaxCount = 1000000;

std::string IdOf(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "e%06u", static_cast<unsigned>(number));
    return text;
}

std::string DestinationOf(std::uint32_t number) { return "d/" + IdOf(number) + ".dat"; }

// splitmix64: the same content for the same entry on every run.
std::uint64_t Mix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void FillContent(std::uint32_t number, std::vector<char>& content) {
    std::uint64_t state = number;
    for (std::size_t at = 0; at < content.size(); at += 8) {
        const std::uint64_t word = Mix(state);
        for (std::size_t i = 0; i < 8 && at + i < content.size(); ++i) {
            content[at + i] = static_cast<char>(static_cast<std::uint8_t>(word >> (8 * i)));
        }
    }
}

bool WriteFile(const fs::path& path, const char* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

// Writes the stored copies of entries first, first + step, first + 2 step...
// below count, and their checksums.
bool WriteEvery(const fs::path& directory, std::uint32_t first, std::uint32_t step, std::uint32_t count,
                std::size_t size, std::vector<std::uint32_t>& checksums) {
    std::vector<char> content(size);
    for (std::uint32_t number = first; number < count; number += step) {
        FillContent(number, content);
        if (!WriteFile(directory / DestinationOf(number), content.data(), content.size())) return false;
        checksums[number] = kvd::Crc32c(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    }
    return true;
}

// Every stored copy, by as many threads as the machine has cores: creating
// a million files is most of the build, and the system creates files in one
// folder side by side in part.
bool WriteStoredCopies(const fs::path& directory, std::uint32_t count, std::size_t size,
                       std::vector<std::uint32_t>& checksums) {
    const std::uint32_t threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<char> written(threads, 0);
    {
        std::vector<std::jthread> writers;
        for (std::uint32_t first = 0; first < threads; ++first) {
            writers.emplace_back(
                [&, first] { written[first] = WriteEvery(directory, first, threads, count, size, checksums) ? 1 : 0; });
        }
    }
    return std::all_of(written.begin(), written.end(), [](char ok) { return ok != 0; });
}

// The records, encoded and framed by the library's own code.
// checksums holds each stored copy's, in the order of the entries.
kvd::IndexBytes EncodeIndex(const std::vector<std::uint32_t>& checksums, std::uint64_t contentSize) {
    const auto count = static_cast<std::uint32_t>(checksums.size());
    const auto now =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::vector<std::vector<std::uint8_t>> encoded;
    encoded.reserve(count);
    std::vector<kvd::IndexBase::RecordBytes> records;
    for (std::uint32_t number = 0; number < count; ++number) {
        const std::string id = IdOf(number);
        const std::string destination = DestinationOf(number);
        kvd::IndexEntry entry;
        entry.id.assign(id.begin(), id.end());  // ASCII: one byte is one code unit
        entry.destination.assign(destination.begin(), destination.end());
        entry.version = u"1";
        entry.description = u"bulk entry";
        entry.permissions = kPermissions;
        entry.contentSize = contentSize;
        entry.addedMicros = now;
        entry.changedMicros = now;
        entry.contentChecksum = checksums[number];
        encoded.push_back(kvd::record::Encode(entry));
        records.push_back({encoded.back().data(), encoded.back().size()});
    }
    auto base = kvd::IndexBase::Assemble(records, 1);
    return base ? base->Bytes() : kvd::IndexBytes{};
}

// Reads the index back through the library's reader and looks up a few
// identifiers, as the library will.
bool IndexReadsBack(const fs::path& path, std::uint32_t count) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto image = kvd::IndexImage::Parse(kvd::IndexBytes(bytes.begin(), bytes.end()));
    if (!image || image->Count() != count) return false;
    for (const std::uint32_t number : {0u, count / 2, count - 1}) {
        const std::string id = IdOf(number);
        const std::u16string units(id.begin(), id.end());
        const auto entry = image->Find(units);
        if (!entry || entry->destination != std::u16string(u"d/") + units + u".dat" || !entry->contentChecksum) {
            return false;
        }
    }
    return true;
}

int Fail(const char* message) {
    std::fprintf(stderr, "zarnrepo-bench-build: %s\n", message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) return Fail("usage: zarnrepo-bench-build DIRECTORY COUNT [SIZE]");
    const fs::path directory = argv[1];
    const unsigned long count = std::strtoul(argv[2], nullptr, 10);
    const unsigned long size = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 1024;
    if (count == 0 || count > kMaxCount || size > (1ul << 20)) {
        return Fail("COUNT must be 1..1000000, SIZE at most 1 MiB");
    }

    std::error_code error;
    fs::create_directories(directory / "d", error);
    if (error) return Fail("cannot create the repository folder");
    std::vector<std::uint32_t> checksums(count);
    if (!WriteStoredCopies(directory, static_cast<std::uint32_t>(count), size, checksums)) {
        return Fail("cannot write a stored copy");
    }
    const kvd::IndexBytes index = EncodeIndex(checksums, size);
    const fs::path indexPath = directory / "ZarnRepository.bin";
    if (!WriteFile(indexPath, reinterpret_cast<const char*>(index.data()), index.size())) {
        return Fail("cannot write the index");
    }
    if (!IndexReadsBack(indexPath, static_cast<std::uint32_t>(count))) {
        return Fail("the library does not read the index back: has its layout changed?");
    }
    return 0;
}
