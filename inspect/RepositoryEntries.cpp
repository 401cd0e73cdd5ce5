#include "inspect/RepositoryEntries.h"

#include "encoding/WideText.h"
#include "repository/ContractCalls.h"
#include "repository/LibraryBinding.h"

namespace inspect {
namespace {

// The entry of file, its texts converted from the wide getters' into
// found's strings.
void FindEntryOf(IZarnFile* file, FoundEntry& found) {
    IZarnFileInfo* info = repository::GetInfo(file);
    found.fileId = encoding::Utf8ShowingSurrogates(repository::GetFileId(info));
    found.version = encoding::Utf8ShowingSurrogates(repository::GetVersion(info));
    found.description = encoding::Utf8ShowingSurrogates(repository::GetDescription(info));
    found.destination = encoding::Utf8ShowingSurrogates(repository::GetPath(info));
    Entry& entry = found.entry;
    entry.fileId = found.fileId;
    entry.version = found.version;
    entry.description = found.description;
    entry.destination = found.destination;
    entry.permissions = repository::GetPermissions(info);
    entry.contentSize = repository::GetContentSize(info);
    entry.timeAdded = repository::GetTimeAdded(info);
    entry.timeLastChanged = repository::GetTimeLastChanged(info);
    entry.file = file;
}

Entry EntryOf(const KvdListedEntry& listed) {
    Entry entry;
    entry.fileId = {listed.fileId, listed.fileIdSize};
    entry.version = {listed.version, listed.versionSize};
    entry.description = {listed.description, listed.descriptionSize};
    entry.destination = {listed.path, listed.pathSize};
    entry.permissions = listed.permissions;
    entry.contentSize = listed.contentSize;
    entry.timeAdded = listed.timeAdded;
    entry.timeLastChanged = listed.timeLastChanged;
    entry.file = listed.file;
    return entry;
}

// A finding of the library as a problem; false for a whole stored copy.
bool ProblemOf(std::int32_t finding, StoredCopyProblem& kind) {
    switch (finding) {
        case KVDFILES_STORED_COPY_WHOLE: return false;
        case KVDFILES_STORED_COPY_UNVERIFIED: kind = StoredCopyProblem::Unverified; return true;
        case KVDFILES_STORED_COPY_CONTENT_DIFFERS: kind = StoredCopyProblem::ContentDiffers; return true;
        case KVDFILES_STORED_COPY_MISSING: kind = StoredCopyProblem::Missing; return true;
        case KVDFILES_STORED_COPY_SIZE_DIFFERS: kind = StoredCopyProblem::SizeDiffers; return true;
        case KVDFILES_STORED_COPY_NOT_A_FILE: kind = StoredCopyProblem::NotAFile; return true;
        default: kind = StoredCopyProblem::Unreadable; return true;
    }
}

}  // namespace

bool LibraryListsEntries() { return repository::ProcessLibraryBinding().initLibrary(KVDFILES_TABLES_VERSION_4) != 0; }

const wchar_t* FindEntry(IZarnRepository* repository, const std::wstring& fileId, FoundEntry& found) {
    IZarnFile* file = nullptr;
    if (repository::GetFile(repository, fileId.c_str(), &file) != 0) {
        return L"Error getting IZarnFile from IZarnRepository.\n\n";
    }
    FindEntryOf(file, found);
    return nullptr;
}

const wchar_t* ShowEntries(IZarnRepository* repository, const ShowEntry& show) {
    // Any failure of the listing, where the library finds the index damaged
    // too, is one of getting the entries.
    const wchar_t* const failure = L"Error getting file count from IZarnRepository.\n\n";
    IZarnFileList* list = nullptr;
    if (repository::ListFiles(repository, &list) != 0) return failure;
    for (;;) {
        KvdListedEntry listed{};
        if (repository::NextListed(list, &listed) != 0) return failure;
        if (listed.file == nullptr || !show(EntryOf(listed))) return nullptr;
    }
}

const wchar_t* CheckStoredCopy(const Entry& entry, std::vector<Problem>& problems) {
    std::int32_t finding = KVDFILES_STORED_COPY_WHOLE;
    std::uint64_t foundSize = 0;
    if (repository::CheckStoredCopy(entry.file, &finding, &foundSize) != 0) {
        return L"Error checking stored copy of IZarnFile.\n\n";
    }
    StoredCopyProblem kind = StoredCopyProblem::Missing;
    if (ProblemOf(finding, kind)) {
        problems.push_back(
            {std::string(entry.fileId), std::string(entry.destination), kind, entry.contentSize, foundSize});
    }
    return nullptr;
}

}  // namespace inspect
