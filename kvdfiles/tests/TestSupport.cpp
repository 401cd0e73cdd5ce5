#include "kvdfiles/tests/TestSupport.h"

namespace kvdtest {

std::vector<std::string> LeftoverNames(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.path().filename().string().starts_with(".kvd-")) names.push_back(item.path().string());
    }
    return names;
}

std::string ContentFor(const std::string& label, std::size_t size) {
    std::string content = label + ":";
    std::uint32_t state = 2166136261u;
    for (const char c : label) state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
    while (content.size() < size) {
        state = state * 1664525u + 1013904223u;
        content.push_back(static_cast<char>(state >> 24));
    }
    content.resize(size);
    return content;
}

namespace {

KvdStatus WriteAndClose(IZarnFileStream* stream, const std::string& content) {
    const KvdStatus written = stream->table->Write(stream, content.data(), static_cast<uint32_t>(content.size()));
    stream->table->Close(stream, 1);
    return written;
}

}  // namespace

KvdStatus AddFile(IZarnRepository* repository, const std::wstring& id, const std::wstring& target,
                  const std::string& content, int32_t permissions, const std::wstring& version,
                  const std::wstring& description) {
    IZarnFileStream* stream = nullptr;
    const KvdStatus added = repository->table->AddFile(repository, id.c_str(), target.c_str(), version.c_str(),
                                                       description.c_str(), permissions, &stream);
    return added != 0 ? added : WriteAndClose(stream, content);
}

KvdStatus ModifyFile(IZarnRepository* repository, const std::wstring& id, const std::string& content) {
    IZarnFile* file = nullptr;
    if (const KvdStatus status = repository->table->GetFile(repository, id.c_str(), &file)) return status;
    IZarnFileStream* stream = nullptr;
    const KvdStatus opened = file->table->OpenStream(file, KVDFILES_OPEN_FOR_WRITING, &stream, -1);
    return opened != 0 ? opened : WriteAndClose(stream, content);
}

KvdStatus RemoveFile(IZarnRepository* repository, const std::wstring& id) {
    return repository->table->RemoveFile(repository, id.c_str());
}

std::optional<std::string> GetContent(IZarnRepository* repository, const std::wstring& id) {
    IZarnFile* file = nullptr;
    if (repository->table->GetFile(repository, id.c_str(), &file) != 0) return std::nullopt;
    IZarnFileStream* stream = nullptr;
    if (file->table->OpenStream(file, KVDFILES_OPEN_FOR_READING, &stream, -1) != 0) return std::nullopt;
    std::string content(stream->table->GetSize(stream), '\0');
    uint32_t size = static_cast<uint32_t>(content.size());
    const KvdStatus status = stream->table->Read(stream, content.data(), &size);
    stream->table->Close(stream, 1);
    if (status != 0 || size != content.size()) return std::nullopt;
    return content;
}

std::optional<std::wstring> GetPath(IZarnRepository* repository, const std::wstring& id) {
    IZarnFile* file = nullptr;
    if (repository->table->GetFile(repository, id.c_str(), &file) != 0) return std::nullopt;
    return std::wstring(file->table->GetInfo(file)->table->GetPath(file->table->GetInfo(file)));
}

std::optional<std::vector<std::wstring>> ListedIds(IZarnRepository* repository) {
    IZarnFileList* list = nullptr;
    if (repository->table->ListFiles(repository, &list) != 0) return std::nullopt;
    std::vector<std::wstring> ids;
    for (;;) {
        IZarnFile* file = nullptr;
        if (list->table->Next(list, &file) != 0) return std::nullopt;
        if (file == nullptr) return ids;
        IZarnFileInfo* info = file->table->GetInfo(file);
        ids.emplace_back(info->table->GetFileId(info));
    }
}

}  // namespace kvdtest
