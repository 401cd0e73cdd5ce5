// The one place where the tool calls through the repository library's tables.
#pragma once

#include <cstdint>

#include "KVDFiles.h"

namespace repository {

inline KvdStatus AddFile(IZarnRepository* repository, const wchar_t* fileId, const wchar_t* targetPath,
                         const wchar_t* version, const wchar_t* description, std::int32_t permissions,
                         IZarnFileStream** stream) {
    return repository->table->AddFile(repository, fileId, targetPath, version, description, permissions, stream);
}

inline KvdStatus RemoveFile(IZarnRepository* repository, const wchar_t* fileId) {
    return repository->table->RemoveFile(repository, fileId);
}

inline KvdStatus GetFile(IZarnRepository* repository, const wchar_t* fileId, IZarnFile** file) {
    return repository->table->GetFile(repository, fileId, file);
}

inline KvdStatus OpenStream(IZarnFile* file, std::int32_t mode, IZarnFileStream** stream) {
    return file->table->OpenStream(file, mode, stream, -1);
}

inline IZarnFileInfo* GetInfo(IZarnFile* file) { return file->table->GetInfo(file); }

inline const wchar_t* GetPath(IZarnFileInfo* info) { return info->table->GetPath(info); }

inline KvdStatus Read(IZarnFileStream* stream, void* buffer, std::uint32_t* size) {
    return stream->table->Read(stream, buffer, size);
}

inline KvdStatus Write(IZarnFileStream* stream, const void* buffer, std::uint32_t size) {
    return stream->table->Write(stream, buffer, size);
}

inline std::uint32_t GetSize(IZarnFileStream* stream) { return stream->table->GetSize(stream); }

// The flag is always 1; the result carries nothing the tool acts on.
inline void Close(IZarnFileStream* stream) { stream->table->Close(stream, 1); }

// Version 2 of the tables: only after kvdFiles_InitLibrary(KVDFILES_TABLES_VERSION_2)
// returned nonzero.

inline KvdStatus GetFileCount(IZarnRepository* repository, std::uint32_t* count) {
    return repository->table->GetFileCount(repository, count);
}

inline KvdStatus GetFileAt(IZarnRepository* repository, std::uint32_t index, IZarnFile** file) {
    return repository->table->GetFileAt(repository, index, file);
}

inline KvdStatus CheckStoredCopy(IZarnFile* file, std::int32_t* finding, std::uint64_t* foundSize) {
    return file->table->CheckStoredCopy(file, finding, foundSize);
}

inline const wchar_t* GetFileId(IZarnFileInfo* info) { return info->table->GetFileId(info); }

inline const wchar_t* GetVersion(IZarnFileInfo* info) { return info->table->GetVersion(info); }

inline const wchar_t* GetDescription(IZarnFileInfo* info) { return info->table->GetDescription(info); }

inline std::int32_t GetPermissions(IZarnFileInfo* info) { return info->table->GetPermissions(info); }

inline std::uint64_t GetContentSize(IZarnFileInfo* info) { return info->table->GetContentSize(info); }

inline std::int64_t GetTimeAdded(IZarnFileInfo* info) { return info->table->GetTimeAdded(info); }

inline std::int64_t GetTimeLastChanged(IZarnFileInfo* info) { return info->table->GetTimeLastChanged(info); }

// Version 3 of the tables: only after kvdFiles_InitLibrary(KVDFILES_TABLES_VERSION_3)
// returned nonzero.

inline KvdStatus ListFiles(IZarnRepository* repository, IZarnFileList** list) {
    return repository->table->ListFiles(repository, list);
}

inline KvdStatus Next(IZarnFileList* list, IZarnFile** file) { return list->table->Next(list, file); }

// Version 4 of the tables: only after kvdFiles_InitLibrary(KVDFILES_TABLES_VERSION_4)
// returned nonzero.

inline KvdStatus NextListed(IZarnFileList* list, KvdListedEntry* entry) { return list->table->NextListed(list, entry); }

}  // namespace repository
