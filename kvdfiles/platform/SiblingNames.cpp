// Names of the temporary and backup files the library keeps beside its
// targets, the same on every platform.
#include <atomic>
#include <chrono>
#include <string>

#include "kvdfiles/platform/DurableFiles.h"

namespace kvd::durable {
namespace {

constexpr std::string_view kSiblingPrefix = ".kvd-";

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

// Distinguishes this process's names from those of an earlier process that
// had the same id and died leaving files behind.
std::uint64_t ProcessNonce() {
    static const std::uint64_t nonce = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return (static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull) >> 40;
    }();
    return nonce;
}

}  // namespace

// The name is ASCII only, so it means the same in every path encoding.
Path SiblingName(const Path& target, std::string_view suffix) {
    static std::atomic<std::uint64_t> counter{0};
    std::string name(kSiblingPrefix);
    name += Hex(CurrentProcessId()) + "-" + Hex(ProcessNonce()) + "-" + Hex(++counter);
    name += suffix;
    return ParentOf(target) / Path(name);
}

bool IsSiblingName(const Path& name) {
    static const Path prefix{std::string(kSiblingPrefix)};
    return name.filename().native().starts_with(prefix.native());
}

Path ParentOf(const Path& path) {
    Path parent = path.parent_path();
    return parent.empty() ? Path(".") : parent;
}

}  // namespace kvd::durable
