// Without /reposDirPath the tool opens the repository at the default location,
// <common application data folder>\<company>\<product>, named by the values
// InitialCompanyName and InitialProductName of the machine's setup key
// HKEY_LOCAL_MACHINE\SOFTWARE\Orbek Software\Setup, then closes it and reports
// the missing option. The registry is the whole machine's (under Wine, the
// prefix's): this one test owns that key, so no other test races it.
#include <gtest/gtest.h>

#include "fileio/WindowsHeaders.h"
#include <shlobj.h>

#include <map>
#include <optional>
#include <stdexcept>

#include "encoding/WideText.h"
#include "tests/e2e/DefaultLocationExpectations.h"
#include "tests/e2e/Sandbox.h"
#include "tests/e2e/ToolCase.h"

namespace e2e {
namespace {

constexpr wchar_t kCompanyKey[] = L"SOFTWARE\\Orbek Software";
constexpr wchar_t kSetupKey[] = L"SOFTWARE\\Orbek Software\\Setup";

// Value name -> text, both UTF-8.
using SetupValues = std::map<std::string, std::string>;

std::string DataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) < 0) {
        throw std::runtime_error("no common application data folder");
    }
    return encoding::BytesFromWide(folder);
}

// The setup key as a row wants it, and gone again when the test ends.
class SetupKey {
public:
    SetupKey() { Remove(); }
    ~SetupKey() { Remove(); }
    SetupKey(const SetupKey&) = delete;
    SetupKey& operator=(const SetupKey&) = delete;

    void Place(const std::optional<SetupValues>& values) {
        Remove();
        if (!values) return;
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            throw std::runtime_error("cannot create the setup key");
        }
        for (const auto& [name, text] : *values) SetText(key, name, text);
        ::RegCloseKey(key);
    }

private:
    // A string value, stored with its terminator as Windows' own tools store it.
    static void SetText(HKEY key, const std::string& name, const std::string& text) {
        const std::wstring wideText = encoding::WideFromBytes(text);
        const auto bytes = static_cast<DWORD>((wideText.size() + 1) * sizeof(wchar_t));
        if (::RegSetValueExW(key, encoding::WideFromBytes(name).c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(wideText.c_str()), bytes) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot set the setup value " + name);
        }
    }

    // The company key goes too when nothing else is in it.
    static void Remove() {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSetupKey);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kCompanyKey);
    }
};

struct DefaultLocationRow {
    std::string name;
    std::optional<SetupValues> setupKey;  // unset: no key at all
    std::optional<std::string> openedAt;  // unset: no repository path was found
    std::vector<std::string> arguments = {"/command:deleteFile", "/fileId:1"};
};

SetupValues Setup(const std::string& company, const std::string& product) {
    return {{"InitialCompanyName", company}, {"InitialProductName", product}};
}

// A company name that makes the default path exactly length characters long
// together with the product "P".
std::string CompanyForPathLength(std::size_t length) {
    return std::string(length - DataFolder().size() - std::string("\\\\P").size(), 'c');
}

std::vector<DefaultLocationRow> Rows() {
    const std::string data = DataFolder();
    return {
        {"NoSetupKey", std::nullopt, std::nullopt},
        {"BothValues", Setup("Acme", "Vault"), data + "\\Acme\\Vault"},
        {"OtherValuesBeside", SetupValues{{"Other", "1"}, {"InitialCompanyName", "Acme"}, {"InitialProductName", "Vault"}},
         data + "\\Acme\\Vault"},
        {"EmptyKey", SetupValues{}, std::nullopt},
        {"MissingCompany", SetupValues{{"InitialProductName", "Vault"}}, std::nullopt},
        {"MissingProduct", SetupValues{{"InitialCompanyName", "Acme"}}, std::nullopt},
        {"EmptyCompanyGivesTwoSeparators", Setup("", "Vault"), data + "\\\\Vault"},
        {"EmptyProductEndsInASeparator", Setup("Acme", ""), data + "\\Acme\\"},
        {"NonAsciiNames", Setup("\xc3\x96rbek Soft", "B\xc3\xa4r \xf0\x9f\x98\x80"),
         data + "\\\xc3\x96rbek Soft\\B\xc3\xa4r \xf0\x9f\x98\x80"},
        {"PathOf259Characters", Setup(CompanyForPathLength(259), "P"),
         data + "\\" + CompanyForPathLength(259) + "\\P"},
        {"PathOf260CharactersIsNotCut", Setup(CompanyForPathLength(260), "P"), std::nullopt},
        {"ValueTooLongForItsBuffer", Setup(std::string(300, 'c'), "P"), std::nullopt},
        {"EmptyRepositoryPathDoesNotFallBack", Setup("Acme", "Vault"), std::nullopt,
         {"/command:deleteFile", "/reposDirPath:", "/fileId:1"}},
    };
}

TEST(DefaultLocation, ComesFromTheMachineSetupKey) {
    SetupKey setupKey;
    for (const DefaultLocationRow& row : Rows()) {
        SCOPED_TRACE(row.name);
        setupKey.Place(row.setupKey);
        const Sandbox sandbox;
        sandbox.WriteScript("marker ReleaseLibrary\nmarker Unloaded\n");

        const auto outcome = sandbox.Run(row.arguments);

        EXPECT_EQ(outcome.standardOutput, AsPrinted(DefaultLocationOutput(row.openedAt)));
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.standardError, "");
        EXPECT_EQ(sandbox.Calls(), DefaultLocationCalls(row.openedAt));
    }
}

}  // namespace
}  // namespace e2e
