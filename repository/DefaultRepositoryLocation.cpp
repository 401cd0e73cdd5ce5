#include "repository/DefaultRepositoryLocation.h"

#include <array>

#include "repository/ResultCodes.h"

namespace repository {
namespace {

using ValueBuffer = std::array<wchar_t, kPathBufferCharacters>;

// A value counts only when the query succeeds and stores at least one byte.
bool QueryValue(platform::MachineSettings& settings, const wchar_t* name, ValueBuffer& value) {
    value.fill(L'\0');
    std::uint32_t byteCount = sizeof(ValueBuffer);
    return settings.QuerySetupValue(name, value.data(), byteCount) && byteCount != 0;
}

// A path that would be cut could name another folder: it counts as no path.
bool AppendComponent(wchar_t* path, const ValueBuffer& component) {
    const wchar_t separator[] = {platform::kPathSeparator, L'\0'};
    return BoundedAppend(path, kPathBufferCharacters, separator) == kResultSuccess &&
           BoundedAppend(path, kPathBufferCharacters, component.data()) == kResultSuccess;
}

bool AppendSetupValue(wchar_t* path, platform::MachineSettings& settings, const wchar_t* name) {
    ValueBuffer value{};
    return QueryValue(settings, name, value) && AppendComponent(path, value);
}

}  // namespace

bool GetDefaultRepositoryPath(wchar_t* path, platform::MachineSettings& settings) {
    if (!settings.GetDataFolder(path, kPathBufferCharacters)) return false;
    if (!settings.OpenSetupKey()) return false;
    const bool built = AppendSetupValue(path, settings, L"InitialCompanyName") &&
                       AppendSetupValue(path, settings, L"InitialProductName");
    settings.CloseSetupKey();
    return built;
}

std::uint32_t BoundedAppend(wchar_t* destination, std::size_t capacity, const wchar_t* text) {
    std::size_t length = 0;
    while (length < capacity && destination[length] != L'\0') ++length;
    if (length == capacity) return kResultInvalidArgument;
    const std::size_t room = capacity - length;
    std::size_t copied = 0;
    while (copied < room && text[copied] != L'\0') {
        destination[length + copied] = text[copied];
        ++copied;
    }
    if (copied < room) {
        destination[length + copied] = L'\0';
        return kResultSuccess;
    }
    destination[length + copied - 1] = L'\0';
    return kResultInsufficientBuffer;
}

}  // namespace repository
