#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <optional>
#include <string>

#include "repository/DefaultRepositoryLocation.h"

namespace {

using repository::kPathBufferCharacters;

constexpr std::wstring_view kFolder = L"machine-data";

// Machine settings as data: a folder, a key, and the code units each value
// stores (a value may lack its terminator, or hold no units at all). The
// calls are recorded as the words "folder", "open", the value names and "close".
class ScriptedSettings final : public platform::MachineSettings {
public:
    bool hasFolder = true;
    bool keyExists = true;
    std::map<std::wstring, std::wstring> values;
    std::wstring calls;

    bool GetDataFolder(wchar_t* path, std::size_t capacity) override {
        calls += L"folder";
        if (!hasFolder || kFolder.size() >= capacity) return false;
        std::wmemcpy(path, kFolder.data(), kFolder.size());
        return true;
    }
    bool OpenSetupKey() override {
        calls += L" open";
        return keyExists;
    }
    bool QuerySetupValue(const wchar_t* name, wchar_t* buffer, std::uint32_t& byteCount) override {
        calls += std::wstring(L" ") + name;
        const auto value = values.find(name);
        if (value == values.end() || value->second.size() * sizeof(wchar_t) > byteCount) return false;
        std::wmemcpy(buffer, value->second.data(), value->second.size());
        byteCount = static_cast<std::uint32_t>(value->second.size() * sizeof(wchar_t));
        return true;
    }
    void CloseSetupKey() override { calls += L" close"; }
};

// A value stored with its terminator.
std::wstring Terminated(std::wstring text) { return text + L'\0'; }

// The parts joined as the platform joins a path.
std::wstring Joined(std::wstring_view company, std::wstring_view product) {
    return std::wstring(kFolder) + platform::kPathSeparator + std::wstring(company) + platform::kPathSeparator +
           std::wstring(product);
}

// Folder, separator, company "C", separator: the product fills the rest.
const std::size_t kRoomFor259 = 259 - (kFolder.size() + 3);

TEST(DefaultRepositoryLocation, JoinsFolderCompanyAndProductAndClosesWhatItOpened) {
    const std::wstring all = L"folder open InitialCompanyName InitialProductName close";
    const std::wstring company = L"folder open InitialCompanyName close";
    const struct {
        bool hasFolder = true;
        bool keyExists = true;
        std::optional<std::wstring> company;
        std::optional<std::wstring> product;
        std::optional<std::wstring> path;  // unset: no path
        std::wstring calls;
    } rows[] = {
        {true, true, Terminated(L"Orbek"), Terminated(L"Zarn Files"), Joined(L"Orbek", L"Zarn Files"), all},
        {false, true, Terminated(L"C"), Terminated(L"P"), std::nullopt, L"folder"},
        {true, false, Terminated(L"C"), Terminated(L"P"), std::nullopt, L"folder open"},
        {true, true, std::nullopt, Terminated(L"P"), std::nullopt, company},
        {true, true, Terminated(L"C"), std::nullopt, std::nullopt, all},
        {true, true, L"", Terminated(L"P"), std::nullopt, company},
        {true, true, Terminated(L""), Terminated(L"P"), Joined(L"", L"P"), all},
        {true, true, L"Co", Terminated(L"P"), Joined(L"Co", L"P"), all},
        {true, true, Terminated(L"C"), Terminated(std::wstring(kRoomFor259, L'p')),
         Joined(L"C", std::wstring(kRoomFor259, L'p')), all},
        {true, true, Terminated(L"C"), Terminated(std::wstring(kRoomFor259 + 1, L'p')), std::nullopt, all},
    };
    for (const auto& row : rows) {
        ScriptedSettings settings;
        settings.hasFolder = row.hasFolder;
        settings.keyExists = row.keyExists;
        if (row.company) settings.values[L"InitialCompanyName"] = *row.company;
        if (row.product) settings.values[L"InitialProductName"] = *row.product;
        wchar_t path[kPathBufferCharacters] = {};
        const bool built = repository::GetDefaultRepositoryPath(path, settings);
        EXPECT_EQ(built ? std::optional<std::wstring>(path) : std::nullopt, row.path) << row.company.value_or(L"-");
        EXPECT_EQ(settings.calls, row.calls) << row.company.value_or(L"-");
    }
}

}  // namespace
