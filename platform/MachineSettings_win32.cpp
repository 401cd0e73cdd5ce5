// Machine-wide settings on Windows: the common application data folder from
// the shell, and the product's setup key under HKEY_LOCAL_MACHINE.
#include "fileio/WindowsHeaders.h"
#include <shlobj.h>

#include <cwchar>

#include "platform/Platform.h"

namespace platform {
namespace {

constexpr wchar_t kSetupKey[] = L"SOFTWARE\\Orbek Software\\Setup";

class RegistrySettings final : public MachineSettings {
public:
    bool GetDataFolder(wchar_t* path, std::size_t capacity) override {
        // The shell writes up to MAX_PATH characters, whatever room path has.
        wchar_t folder[MAX_PATH] = {};
        if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) < 0) return false;
        const std::size_t length = ::wcsnlen(folder, MAX_PATH);
        if (length >= capacity) return false;
        std::wmemcpy(path, folder, length + 1);
        return true;
    }

    bool OpenSetupKey() override {
        key_ = nullptr;
        return ::RegOpenKeyW(HKEY_LOCAL_MACHINE, kSetupKey, &key_) == ERROR_SUCCESS && key_ != nullptr;
    }

    bool QuerySetupValue(const wchar_t* name, wchar_t* buffer, std::uint32_t& byteCount) override {
        DWORD bytes = byteCount;
        if (::RegQueryValueExW(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) !=
            ERROR_SUCCESS) {
            return false;
        }
        byteCount = bytes;
        return true;
    }

    void CloseSetupKey() override {
        if (key_ != nullptr) ::RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace

MachineSettings& SystemMachineSettings() {
    static RegistrySettings settings;
    return settings;
}

}  // namespace platform
