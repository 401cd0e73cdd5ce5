#include "inspect/Request.h"

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace inspect {
namespace {

// An absent option takes its first allowed value.
bool ChooseValue(const options::ArgumentMap& arguments, std::wstring_view key,
                 std::initializer_list<std::wstring_view> allowed, std::size_t& chosen) {
    const std::wstring* given = arguments.Find(key);
    chosen = 0;
    if (given == nullptr) return true;
    for (const std::wstring_view value : allowed) {
        if (value == *given) return true;
        ++chosen;
    }
    return false;
}

}  // namespace

bool ReadRequest(const options::ArgumentMap& arguments, Request& request) {
    std::size_t version = 0;
    std::size_t format = 0;
    std::size_t verify = 0;
    if (!ChooseValue(arguments, L"/version", {L"0", L"1"}, version)) return false;
    request.showVersion = version == 1;
    if (request.showVersion) return true;
    if (arguments.Find(L"/reposDirPath") == nullptr) return false;
    if (!ChooseValue(arguments, L"/format", {L"text", L"json"}, format)) return false;
    if (!ChooseValue(arguments, L"/verify", {L"0", L"1"}, verify)) return false;
    request.format = format == 0 ? Format::Text : Format::Json;
    request.verify = verify == 1;
    request.fileId = arguments.Find(L"/fileId");
    return true;
}

bool OpensRepository(const options::ArgumentMap& arguments) {
    Request request;
    return ReadRequest(arguments, request) && !request.showVersion;
}

}  // namespace inspect
