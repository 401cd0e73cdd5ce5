// Machine-wide settings on POSIX systems: the data folder is /var/lib, and the
// setup values are the lines "Name=Value" of "/etc/Orbek Software/Setup.conf"
// (UTF-8; the first line with a name wins). ZARN_SYSTEM_ROOT, empty for the
// real machine, moves both below another folder for tests.
#include <cwchar>
#include <fstream>
#include <sstream>

#include "encoding/WideText.h"
#include "platform/Platform.h"

#ifndef ZARN_SYSTEM_ROOT
#define ZARN_SYSTEM_ROOT ""
#endif

namespace platform {
namespace {

constexpr std::string_view kSystemRoot = ZARN_SYSTEM_ROOT;

std::string InSystemRoot(std::string_view path) { return std::string(kSystemRoot) + std::string(path); }

bool CopyTerminated(std::wstring_view text, wchar_t* destination, std::size_t capacity) {
    if (text.size() >= capacity) return false;
    std::wmemcpy(destination, text.data(), text.size());
    destination[text.size()] = L'\0';
    return true;
}

class SetupFileSettings final : public MachineSettings {
public:
    bool GetDataFolder(wchar_t* path, std::size_t capacity) override {
        return CopyTerminated(encoding::WideFromBytes(InSystemRoot("/var/lib")), path, capacity);
    }

    bool OpenSetupKey() override {
        std::ifstream file(InSystemRoot("/etc/Orbek Software/Setup.conf"), std::ios::binary);
        if (!file) return false;
        std::ostringstream content;
        content << file.rdbuf();
        setupText_ = content.str();
        return !file.bad();
    }

    bool QuerySetupValue(const wchar_t* name, wchar_t* buffer, std::uint32_t& byteCount) override {
        std::wstring value;
        if (!FindValue(encoding::BytesFromWide(name), value)) return false;
        const std::size_t capacity = byteCount / sizeof(wchar_t);
        if (!CopyTerminated(value, buffer, capacity)) return false;
        byteCount = static_cast<std::uint32_t>((value.size() + 1) * sizeof(wchar_t));
        return true;
    }

    void CloseSetupKey() override { setupText_.clear(); }

private:
    bool FindValue(const std::string& name, std::wstring& value) const {
        std::istringstream lines(setupText_);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 && line[name.size()] == '=') {
                value = encoding::WideFromBytes(std::string_view(line).substr(name.size() + 1));
                return true;
            }
        }
        return false;
    }

    std::string setupText_;
};

}  // namespace

MachineSettings& SystemMachineSettings() {
    static SetupFileSettings settings;
    return settings;
}

}  // namespace platform
