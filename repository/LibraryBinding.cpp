#include "repository/LibraryBinding.h"

#include <algorithm>
#include <array>

#include "repository/ResultCodes.h"

namespace repository {
namespace {

// Constant-initialised wherever the standard library's mutex has a constant
// constructor; MinGW's has none, so there it is built during start-up, still
// before the entry point runs.
LibraryBinding processBinding;

constexpr std::size_t kLibraryPathCharacters = 2048;
constexpr std::size_t kMaxFormatCapacity = 0x7FFFFFFF;

// Copies what fits of each piece and counts the full length, so that a cut
// text is told from one that fits exactly.
class BoundedWriter {
public:
    BoundedWriter(wchar_t* destination, std::size_t limit) : destination_(destination), limit_(limit) {}

    void Append(std::wstring_view text) {
        const std::size_t room = limit_ - std::min(length_, limit_);
        const std::size_t count = std::min(room, text.size());
        std::copy_n(text.data(), count, destination_ + std::min(length_, limit_));
        length_ += text.size();
    }

    bool Fits() const { return length_ <= limit_; }
    void Terminate() { destination_[std::min(length_, limit_)] = L'\0'; }

private:
    wchar_t* destination_;
    std::size_t limit_;
    std::size_t length_ = 0;
};

template <typename Function>
void Bind(Function& entryPoint, platform::LibraryModule module, const char* name) {
    entryPoint = reinterpret_cast<Function>(platform::FindLibraryExport(module, name));
}

void ClearEntryPoints(LibraryBinding& binding) {
    binding.initLibrary = nullptr;
    binding.releaseLibrary = nullptr;
    binding.getRepository = nullptr;
    binding.getRepositoryFromPath = nullptr;
}

// Resolves all four exports before testing any of them.
bool BindExports(LibraryBinding& binding) {
    Bind(binding.initLibrary, binding.module, "kvdFiles_InitLibrary");
    Bind(binding.releaseLibrary, binding.module, "kvdFiles_ReleaseLibrary");
    Bind(binding.getRepository, binding.module, "kvdFiles_GetRepository");
    Bind(binding.getRepositoryFromPath, binding.module, "kvdFiles_GetRepositoryFromPath");
    return binding.initLibrary != nullptr && binding.releaseLibrary != nullptr && binding.getRepository != nullptr &&
           binding.getRepositoryFromPath != nullptr;
}

// Loads the file and binds it; called under the lock, by the first reference.
bool LoadAndBind(LibraryBinding& binding, const wchar_t* path) {
    binding.module = platform::LoadLibraryFile(path);
    if (binding.module == nullptr) return false;
    if (BindExports(binding)) return true;
    // The file stays loaded ("left over") until the next unload frees it.
    ClearEntryPoints(binding);
    return false;
}

}  // namespace

LibraryBinding& ProcessLibraryBinding() { return processBinding; }

bool LoadRepositoryLibrary(const wchar_t* directory) {
    if (directory == nullptr) return false;
    std::array<wchar_t, kLibraryPathCharacters> path{};
    // A cut path could name another file: never load from one.
    if (BoundedFormat(path.data(), path.size() - 1, L"%s%s", {directory, KVDFILES_LIBRARY_FILE_NAME}) !=
        kResultSuccess) {
        return false;
    }
    LibraryBinding& binding = processBinding;
    std::lock_guard<std::mutex> guard(binding.lock);
    if (++binding.referenceCount > 1) return true;
    if (LoadAndBind(binding, path.data())) return true;
    --binding.referenceCount;
    return false;
}

void UnloadRepositoryLibrary() {
    LibraryBinding& binding = processBinding;
    std::lock_guard<std::mutex> guard(binding.lock);
    if (binding.referenceCount != 0 && --binding.referenceCount != 0) return;
    if (binding.module == nullptr) return;
    platform::FreeLibraryFile(binding.module);
    ClearEntryPoints(binding);
    binding.module = nullptr;
}

std::uint32_t BoundedFormat(wchar_t* destination, std::size_t capacity, std::wstring_view format,
                            std::initializer_list<std::wstring_view> texts) {
    if (capacity == 0 || capacity > kMaxFormatCapacity) return kResultInvalidArgument;
    BoundedWriter writer(destination, capacity - 1);
    const std::wstring_view* nextText = texts.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const bool isDirective = format[i] == L'%' && i + 1 < format.size();
        if (isDirective && format[i + 1] == L's') {
            writer.Append(nextText != texts.end() ? *nextText++ : std::wstring_view());
            ++i;
        } else if (isDirective && format[i + 1] == L'%') {
            writer.Append(L"%");
            ++i;
        } else {
            writer.Append(format.substr(i, 1));
        }
    }
    writer.Terminate();
    return writer.Fits() ? kResultSuccess : kResultInsufficientBuffer;
}

}  // namespace repository
