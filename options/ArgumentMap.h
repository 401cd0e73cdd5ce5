// The options of one run: every command-line argument split at its first colon
// into a key and a value, filled once before any option is looked at.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

namespace options {

// Orders keys by their code units taken as unsigned numbers.
struct CodeUnitOrder {
    using is_transparent = void;
    bool operator()(std::wstring_view left, std::wstring_view right) const;
};

class ArgumentMap {
public:
    // Splits "key:value" at the first colon, drops one surrounding double quote
    // at each end of the value and inserts the entry. False when the argument
    // has no colon; nothing is stored then.
    bool StoreArgument(std::wstring_view argument);

    // Stores the arguments of a command line after the program's own path, in
    // order, up to the first one without a colon; returns that one, or null
    // when every argument was stored.
    const std::wstring* StoreCommandLine(std::span<const std::wstring> commandLine);

    // The first entry with a key stays; later ones are dropped.
    void Insert(std::wstring_view key, std::wstring_view value);

    // The value of key, or null when the key is absent.
    const std::wstring* Find(std::wstring_view key) const;

    // The value of key; an absent key is first inserted with an empty value.
    const std::wstring& operator[](std::wstring_view key);

    void Clear() { entries_.clear(); }

private:
    std::map<std::wstring, std::wstring, CodeUnitOrder> entries_;
};

// The map of this process. Entries are never changed or removed after the
// command line has been read, so a value may be read in place for the whole run.
ArgumentMap& ProcessArguments();

// The value of a present option, or an empty text when it is absent.
const std::wstring& OptionValue(std::wstring_view key);

}  // namespace options
