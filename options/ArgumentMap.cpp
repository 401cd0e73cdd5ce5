#include "options/ArgumentMap.h"

#include <algorithm>
#include <type_traits>

namespace options {
namespace {

using UnsignedUnit = std::make_unsigned_t<wchar_t>;

ArgumentMap processArguments;

std::wstring_view WithoutSurroundingQuotes(std::wstring_view value) {
    if (!value.empty() && value.front() == L'"') value.remove_prefix(1);
    if (!value.empty() && value.back() == L'"') value.remove_suffix(1);
    return value;
}

}  // namespace

bool CodeUnitOrder::operator()(std::wstring_view left, std::wstring_view right) const {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(), [](wchar_t a, wchar_t b) {
        return static_cast<UnsignedUnit>(a) < static_cast<UnsignedUnit>(b);
    });
}

bool ArgumentMap::StoreArgument(std::wstring_view argument) {
    const size_t colon = argument.find(L':');
    if (colon == std::wstring_view::npos) return false;
    Insert(argument.substr(0, colon), WithoutSurroundingQuotes(argument.substr(colon + 1)));
    return true;
}

const std::wstring* ArgumentMap::StoreCommandLine(std::span<const std::wstring> commandLine) {
    for (const std::wstring& argument : commandLine.subspan(commandLine.empty() ? 0 : 1)) {
        if (!StoreArgument(argument)) return &argument;
    }
    return nullptr;
}

void ArgumentMap::Insert(std::wstring_view key, std::wstring_view value) {
    if (entries_.find(key) != entries_.end()) return;
    entries_.emplace(std::wstring(key), std::wstring(value));
}

const std::wstring* ArgumentMap::Find(std::wstring_view key) const {
    const auto entry = entries_.find(key);
    return entry == entries_.end() ? nullptr : &entry->second;
}

const std::wstring& ArgumentMap::operator[](std::wstring_view key) {
    auto entry = entries_.find(key);
    if (entry == entries_.end()) entry = entries_.emplace(std::wstring(key), std::wstring()).first;
    return entry->second;
}

ArgumentMap& ProcessArguments() { return processArguments; }

const std::wstring& OptionValue(std::wstring_view key) {
    static const std::wstring absent;
    const std::wstring* value = processArguments.Find(key);
    return value != nullptr ? *value : absent;
}

}  // namespace options
