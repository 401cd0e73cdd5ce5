#include "repository/DefaultRepositoryLocation.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using repository::GetDefaultRepositoryPath;
using repository::kPathBufferCharacters;

constexpr std::wstring_view kFolder = L"machine-data";

// The parts joined as the platform joins a path.
std::wstring Joined(std::initializer_list<std::wstring_view> parts) {
    std::wstring path;
    bool first = true;
    for (const std::wstring_view part : parts) {
        if (!first) path += platform::kPathSeparator;
        path += part;
        first = false;
    }
    return path;
}

// Machine settings as data: a folder, and setup values stored as raw units
// (a value may lack its terminator, or be empty of bytes).
class ScriptedSettings final : public platform::MachineSettings {
public:
    std::optional<std::wstring> folder = std::wstring(kFolder);
    bool keyExists = true;
    std::map<std::wstring, std::vector<wchar_t>> values;
    std::vector<std::wstring> calls;

    void SetValue(const std::wstring& name, const std::wstring& text) {
        std::vector<wchar_t> units(text.begin(), text.end());
        units.push_back(L'\0');
        values[name] = units;
    }

    bool GetDataFolder(wchar_t* path, std::size_t capacity) override {
        calls.push_back(L"folder");
        if (!folder || folder->size() >= capacity) return false;
        std::wmemcpy(path, folder->c_str(), folder->size() + 1);
        return true;
    }
    bool OpenSetupKey() override {
        calls.push_back(L"open");
        return keyExists;
    }
    bool QuerySetupValue(const wchar_t* name, wchar_t* buffer, std::uint32_t& byteCount) override {
        calls.push_back(std::wstring(L"query ") + name);
        const auto value = values.find(name);
        if (value == values.end()) return false;
        const std::size_t bytes = value->second.size() * sizeof(wchar_t);
        if (bytes > byteCount) return false;
        std::wmemcpy(buffer, value->second.data(), value->second.size());
        byteCount = static_cast<std::uint32_t>(bytes);
        return true;
    }
    void CloseSetupKey() override { calls.push_back(L"close"); }
};

struct Outcome {
    bool built;
    std::wstring path;
};

Outcome Build(ScriptedSettings& settings) {
    wchar_t path[kPathBufferCharacters] = {};
    const bool built = GetDefaultRepositoryPath(path, settings);
    return {built, path};
}

TEST(DefaultRepositoryLocation, JoinsFolderCompanyAndProduct) {
    ScriptedSettings settings;
    settings.SetValue(L"InitialCompanyName", L"Orbek");
    settings.SetValue(L"InitialProductName", L"Zarn Files");
    const Outcome outcome = Build(settings);
    EXPECT_TRUE(outcome.built);
    EXPECT_EQ(outcome.path, Joined({kFolder, L"Orbek", L"Zarn Files"}));
    EXPECT_EQ(settings.calls, (std::vector<std::wstring>{L"folder", L"open", L"query InitialCompanyName",
                                                          L"query InitialProductName", L"close"}));
}

TEST(DefaultRepositoryLocation, FailsWithoutFolderOrKeyAndClosesOnlyWhatItOpened) {
    ScriptedSettings noFolder;
    noFolder.folder.reset();
    EXPECT_FALSE(Build(noFolder).built);
    EXPECT_EQ(noFolder.calls, std::vector<std::wstring>{L"folder"});

    ScriptedSettings noKey;
    noKey.keyExists = false;
    EXPECT_FALSE(Build(noKey).built);
    EXPECT_EQ(noKey.calls, (std::vector<std::wstring>{L"folder", L"open"}));
}

TEST(DefaultRepositoryLocation, AMissingOrEmptyValueFailsAndStillClosesTheKey) {
    ScriptedSettings noCompany;
    noCompany.SetValue(L"InitialProductName", L"P");
    EXPECT_FALSE(Build(noCompany).built);
    EXPECT_EQ(noCompany.calls.back(), L"close");
    EXPECT_EQ(noCompany.calls.size(), 4u);

    ScriptedSettings noProduct;
    noProduct.SetValue(L"InitialCompanyName", L"C");
    const Outcome partial = Build(noProduct);
    EXPECT_FALSE(partial.built);
    EXPECT_EQ(noProduct.calls.back(), L"close");

    ScriptedSettings zeroBytes;
    zeroBytes.values[L"InitialCompanyName"] = {};
    zeroBytes.SetValue(L"InitialProductName", L"P");
    EXPECT_FALSE(Build(zeroBytes).built);
}

TEST(DefaultRepositoryLocation, ATerminatorOnlyValueAddsAnEmptyComponent) {
    ScriptedSettings settings;
    settings.SetValue(L"InitialCompanyName", L"");
    settings.SetValue(L"InitialProductName", L"P");
    const Outcome outcome = Build(settings);
    EXPECT_TRUE(outcome.built);
    EXPECT_EQ(outcome.path, Joined({kFolder, L"", L"P"}));
}

TEST(DefaultRepositoryLocation, AValueWithoutTerminatorIsReadWhole) {
    ScriptedSettings settings;
    settings.values[L"InitialCompanyName"] = {L'C', L'o'};
    settings.SetValue(L"InitialProductName", L"P");
    const Outcome outcome = Build(settings);
    EXPECT_TRUE(outcome.built);
    EXPECT_EQ(outcome.path, Joined({kFolder, L"Co", L"P"}));
}

TEST(DefaultRepositoryLocation, APathThatWouldBeCutIsNoPath) {
    ScriptedSettings fits;
    fits.SetValue(L"InitialCompanyName", L"C");
    // Folder, separator, "C", separator, product: exactly 259 characters fit.
    const std::size_t productRoom = 259 - (kFolder.size() + 3);
    fits.SetValue(L"InitialProductName", std::wstring(productRoom, L'p'));
    const Outcome exact = Build(fits);
    EXPECT_TRUE(exact.built);
    EXPECT_EQ(exact.path.size(), 259u);

    ScriptedSettings tooLong;
    tooLong.SetValue(L"InitialCompanyName", L"C");
    tooLong.SetValue(L"InitialProductName", std::wstring(productRoom + 1, L'p'));
    EXPECT_FALSE(Build(tooLong).built);
    EXPECT_EQ(tooLong.calls.back(), L"close");
}

}  // namespace
