#include "commands/CommandSupport.h"

#include <limits>
#include <string>

#include "app/Usage.h"
#include "options/ArgumentMap.h"
#include "platform/Platform.h"

namespace commands {
namespace {

bool IsBlank(wchar_t character) { return character == L' ' || (character >= L'\t' && character <= L'\r'); }

bool IsDigit(wchar_t character) { return character >= L'0' && character <= L'9'; }

}  // namespace

bool RequireOptions(std::wstring_view commandName, std::initializer_list<std::wstring_view> keys) {
    for (const std::wstring_view key : keys) {
        if (options::ProcessArguments().Find(key) == nullptr) {
            platform::PrintText(L"\n\nInvalid arguments for '" + std::wstring(commandName) + L"' command.\n\n");
            app::PrintUsage();
            return false;
        }
    }
    return true;
}

bool Fail(std::wstring_view message) {
    platform::PrintText(message);
    return false;
}

std::int32_t ParseLeadingInteger(std::wstring_view text) {
    std::size_t position = 0;
    while (position < text.size() && IsBlank(text[position])) ++position;
    const bool negative = position < text.size() && text[position] == L'-';
    if (position < text.size() && (text[position] == L'-' || text[position] == L'+')) ++position;
    // Accumulate the magnitude up to one past the largest one that fits.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; position < text.size() && IsDigit(text[position]); ++position) {
        magnitude = std::min(kLimit, magnitude * 10 + (text[position] - L'0'));
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace commands
