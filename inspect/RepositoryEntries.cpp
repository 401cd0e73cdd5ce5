#include "inspect/RepositoryEntries.h"

#include <string_view>

#include "platform/Platform.h"
#include "repository/ContractCalls.h"
#include "repository/LibraryBinding.h"

namespace inspect {
namespace {

bool Fail(std::wstring_view message) {
    platform::PrintText(message);
    return false;
}

Entry EntryOf(IZarnFile* file) {
    IZarnFileInfo* info = repository::GetInfo(file);
    Entry entry;
    entry.fileId = repository::GetFileId(info);
    entry.version = repository::GetVersion(info);
    entry.description = repository::GetDescription(info);
    entry.destination = repository::GetPath(info);
    entry.permissions = repository::GetPermissions(info);
    entry.contentSize = repository::GetContentSize(info);
    entry.timeAdded = repository::GetTimeAdded(info);
    entry.timeLastChanged = repository::GetTimeLastChanged(info);
    entry.file = file;
    return entry;
}

// A finding of the library as a problem; false for a whole stored copy.
bool ProblemOf(std::int32_t finding, StoredCopyProblem& kind) {
    switch (finding) {
        case KVDFILES_STORED_COPY_WHOLE:
        case KVDFILES_STORED_COPY_UNVERIFIED: return false;
        case KVDFILES_STORED_COPY_CONTENT_DIFFERS: kind = StoredCopyProblem::ContentDiffers; return true;
        case KVDFILES_STORED_COPY_MISSING: kind = StoredCopyProblem::Missing; return true;
        case KVDFILES_STORED_COPY_SIZE_DIFFERS: kind = StoredCopyProblem::SizeDiffers; return true;
        case KVDFILES_STORED_COPY_NOT_A_FILE: kind = StoredCopyProblem::NotAFile; return true;
        default: kind = StoredCopyProblem::Unreadable; return true;
    }
}

}  // namespace

bool LibraryListsEntries() {
    return repository::ProcessLibraryBinding().initLibrary(KVDFILES_TABLES_VERSION_2) != 0;
}

bool ReadEntries(IZarnRepository* repository, std::vector<Entry>& entries) {
    std::uint32_t count = 0;
    if (repository::GetFileCount(repository, &count) != 0) {
        return Fail(L"Error getting file count from IZarnRepository.\n\n");
    }
    entries.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        IZarnFile* file = nullptr;
        if (repository::GetFileAt(repository, index, &file) != 0) {
            return Fail(L"Error getting IZarnFile from IZarnRepository.\n\n");
        }
        entries.push_back(EntryOf(file));
    }
    return true;
}

bool ReadEntry(IZarnRepository* repository, const std::wstring& fileId, std::vector<Entry>& entries) {
    IZarnFile* file = nullptr;
    if (repository::GetFile(repository, fileId.c_str(), &file) != 0) {
        return Fail(L"Error getting IZarnFile from IZarnRepository.\n\n");
    }
    entries.push_back(EntryOf(file));
    return true;
}

bool FindStoredCopyProblems(const std::vector<Entry>& entries, std::vector<Problem>& problems) {
    for (const Entry& entry : entries) {
        std::int32_t finding = KVDFILES_STORED_COPY_WHOLE;
        std::uint64_t foundSize = 0;
        if (repository::CheckStoredCopy(entry.file, &finding, &foundSize) != 0) {
            return Fail(L"Error checking stored copy of IZarnFile.\n\n");
        }
        StoredCopyProblem kind = StoredCopyProblem::Missing;
        if (ProblemOf(finding, kind)) problems.push_back({&entry, kind, foundSize});
    }
    return true;
}

}  // namespace inspect
