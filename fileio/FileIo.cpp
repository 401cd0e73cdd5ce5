// The file operations made of single system calls, the same on every
// platform: the loops that move whole buffers, the wait for files held open
// elsewhere, and the names of temporaries.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "fileio/SingleCalls.h"

namespace fileio {
namespace {

constexpr std::chrono::milliseconds kHeldOpenRetryLimit{5000};
constexpr std::chrono::milliseconds kLongestHeldOpenWait{250};
constexpr std::chrono::milliseconds kLongestBusyWait{2};

std::uint64_t Advanced(std::uint64_t offset, std::size_t done) {
    return offset == kCurrentPosition ? offset : offset + done;
}

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

// Tells this process's names from those of an earlier process that had the
// same id and died leaving files behind.
std::uint64_t ProcessNonce() {
    static const std::uint64_t nonce = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return (static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull) >> 40;
    }();
    return nonce;
}

}  // namespace

std::error_code Open(const Path& path, Access access, Disposition disposition, Sharing sharing, File& file) {
    return single::Open(path, access, disposition, sharing, file);
}

std::error_code CloseWritten(File& file) {
    const File closing = file;
    file = File{};
    return single::Close(closing);
}

void Close(File& file) {
    if (file.IsOpen()) static_cast<void>(CloseWritten(file));
}

std::error_code Read(File file, std::uint64_t offset, void* buffer, std::size_t size, std::size_t& count) {
    auto* bytes = static_cast<char*>(buffer);
    count = 0;
    while (count < size) {
        std::size_t got = 0;
        const std::size_t chunk = std::min(size - count, single::kLargestTransfer);
        if (auto error = single::Read(file, Advanced(offset, count), bytes + count, chunk, got)) return error;
        if (got == 0) break;
        count += got;
    }
    return {};
}

std::error_code Write(File file, std::uint64_t offset, const void* buffer, std::size_t size, std::size_t& written) {
    const auto* bytes = static_cast<const char*>(buffer);
    written = 0;
    while (written < size) {
        std::size_t put = 0;
        const std::size_t chunk = std::min(size - written, single::kLargestTransfer);
        if (auto error = single::Write(file, Advanced(offset, written), bytes + written, chunk, put)) return error;
        if (put == 0) break;
        written += put;
    }
    return {};
}

std::error_code Rename(const Path& from, const Path& to) {
    return RetryWhileHeldOpen(to, [&] { return single::Rename(from, to); });
}

std::error_code Remove(const Path& path) { return single::Remove(path); }

std::error_code RetryWhileHeldOpen(const Path& target, const std::function<std::error_code()>& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + kHeldOpenRetryLimit;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const std::error_code error = attempt();
        if (!error || !single::HeldOpenElsewhere(error, target)) return error;
        if (std::chrono::steady_clock::now() >= deadline) return error;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestHeldOpenWait);
    }
}

std::error_code TryWhileBusy(std::chrono::milliseconds limit,
                             const std::function<std::error_code(bool& busy)>& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::microseconds(250);
    for (;;) {
        bool busy = false;
        if (auto error = attempt(busy)) return error;
        if (!busy) return {};
        if (std::chrono::steady_clock::now() >= deadline) return std::make_error_code(std::errc::timed_out);
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, kLongestBusyWait);
    }
}

Path CopyTemporaryName(const Path& destination) {
    Path name = destination;
    name += ".tmp";
    return name;
}

Path UniqueNameBeside(const Path& target, std::string_view prefix, std::string_view suffix) {
    static std::atomic<std::uint64_t> counter{0};
    std::string name(prefix);
    name += Hex(single::ProcessId()) + "-" + Hex(ProcessNonce()) + "-" + Hex(++counter);
    name += suffix;
    return ParentOf(target) / Path(name);
}

Path ParentOf(const Path& path) {
    Path parent = path.parent_path();
    return parent.empty() ? Path(".") : parent;
}

}  // namespace fileio
