// A stand-in for the repository library, built from the contract header alone.
// It prints every call it gets to standard output as "@Call(arguments)", and
// "@Loaded" and "@Unloaded" when its file is loaded and unloaded, so a test
// reads the calls in order among the tool's own messages.
//
// When loaded it reads, from the current directory (the tool's start
// directory), the stored content Read delivers from "fake-content" and its
// script from "fake-script.txt", one directive a line; without them every
// call succeeds and the content is empty:
//
//   init-result N    kvdFiles_InitLibrary returns N (default 1)
//   no-repository    kvdFiles_GetRepositoryFromPath returns null
//   fail OP N        OP returns status N: AddFile, RemoveFile, GetFile,
//                    OpenStream, Read or Write
//   size N           what GetSize reports (default: the content's size)
//   read-count N     the count Read reports (default: the bytes it copied)
//   path TEXT        what GetPath returns (default: the file id)
//
// A directive it does not know is reported on standard error. A Write stores
// the bytes at the stream's path (the AddFile target, or what GetPath
// returns) and appends that path and a line break to "ZarnRepository.bin",
// both in the current directory by then: the repository directory.
//
// Each variant of the library is this file compiled with one
// FAKE_KVDFILES_WITHOUT_<export> definition, or none.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#define KVDFILES_BUILDING_LIBRARY
#include "encoding/WideText.h"
#include "repository/contract/KVDFiles.h"
#include "tests/fake_kvdfiles/Output.h"

namespace fake_kvdfiles {
namespace {

std::string Text(const wchar_t* text) { return encoding::BytesFromWide(text); }

void Record(const std::string& call) { PrintLine("@" + call); }

// Everything one load of the library knows.
struct LibraryState {
    std::int32_t initResult = 1;
    bool returnsRepository = true;
    std::map<std::string, std::int32_t> failing;
    std::optional<std::uint32_t> size;
    std::optional<std::uint32_t> readCount;
    std::optional<std::string> path;
    std::string content;
    std::string fileId;       // of the last GetFile
    std::string streamPath;   // where the open stream's Write stores content
    std::wstring storedPath;  // what GetPath handed out; must outlive the call

    LibraryState() {
        std::ifstream stored("fake-content", std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(stored), {});
        std::ifstream script("fake-script.txt", std::ios::binary);
        for (std::string directive; script >> directive;) Apply(directive, script);
        Record("Loaded");
    }
    ~LibraryState() { Record("Unloaded"); }
    LibraryState(const LibraryState&) = delete;
    LibraryState& operator=(const LibraryState&) = delete;

    void Apply(const std::string& directive, std::istream& script) {
        std::string operation;
        std::uint32_t number = 0;
        if (directive == "init-result") {
            script >> initResult;
        } else if (directive == "no-repository") {
            returnsRepository = false;
        } else if (directive == "fail" && script >> operation) {
            script >> failing[operation];
        } else if (directive == "size" && script >> number) {
            size = number;
        } else if (directive == "read-count" && script >> number) {
            readCount = number;
        } else if (directive == "path") {
            script >> path.emplace();
        } else {
            std::fprintf(stderr, "fake KVDFiles.dll: unknown directive %s\n", directive.c_str());
        }
    }

    // 0 unless the script makes the operation fail.
    KvdStatus Status(const char* operation) const {
        const auto found = failing.find(operation);
        return found == failing.end() ? 0 : found->second;
    }
};

LibraryState state;

void Append(const std::string& path, const void* bytes, std::size_t size, std::ios::openmode mode) {
    std::ofstream file(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary | mode);
    file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    if (!file) std::fprintf(stderr, "fake KVDFiles.dll: cannot write %s\n", path.c_str());
}

KvdStatus StreamRead(IZarnFileStream*, void* buffer, std::uint32_t* size) {
    Record("Read(size=" + std::to_string(*size) + ")");
    if (const KvdStatus status = state.Status("Read")) return status;
    const std::size_t copied = std::min<std::size_t>(*size, state.content.size());
    std::memcpy(buffer, state.content.data(), copied);
    *size = state.readCount.value_or(static_cast<std::uint32_t>(copied));
    return 0;
}

KvdStatus StreamWrite(IZarnFileStream*, const void* buffer, std::uint32_t size) {
    Record("Write(size=" + std::to_string(size) + ")");
    if (const KvdStatus status = state.Status("Write")) return status;
    Append(state.streamPath, buffer, size, std::ios::trunc);
    Append("ZarnRepository.bin", (state.streamPath + "\n").c_str(), state.streamPath.size() + 1, std::ios::app);
    return 0;
}

std::uint32_t StreamGetSize(IZarnFileStream*) {
    Record("GetSize()");
    return state.size.value_or(static_cast<std::uint32_t>(state.content.size()));
}

KvdStatus StreamClose(IZarnFileStream*, std::int32_t flag) {
    Record("Close(" + std::to_string(flag) + ")");
    return 0;
}

const IZarnFileStreamTable streamTable = {StreamRead, StreamWrite, StreamGetSize, StreamClose};
IZarnFileStream stream = {&streamTable};

std::string StoredPath() { return state.path.value_or(state.fileId); }

const wchar_t* InfoGetPath(IZarnFileInfo*) {
    Record("GetPath()");
    state.storedPath = encoding::WideFromBytes(StoredPath());
    return state.storedPath.c_str();
}

// The stand-in offers the version-1 tables only: later entries are null.
const IZarnFileInfoTable infoTable = {InfoGetPath, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
IZarnFileInfo info = {&infoTable};

KvdStatus FileOpenStream(IZarnFile*, std::int32_t mode, IZarnFileStream** opened, std::int32_t reserved) {
    Record("OpenStream(mode=" + std::to_string(mode) + ",reserved=" + std::to_string(reserved) + ")");
    if (const KvdStatus status = state.Status("OpenStream")) return status;
    state.streamPath = StoredPath();
    *opened = &stream;
    return 0;
}

IZarnFileInfo* FileGetInfo(IZarnFile*) {
    Record("GetInfo()");
    return &info;
}

const IZarnFileTable fileTable = {FileOpenStream, FileGetInfo, nullptr};
IZarnFile file = {&fileTable};

KvdStatus RepositoryAddFile(IZarnRepository*, const wchar_t* fileId, const wchar_t* targetPath,
                            const wchar_t* version, const wchar_t* description, std::int32_t permissions,
                            IZarnFileStream** opened) {
    Record("AddFile(id=" + Text(fileId) + ",target=" + Text(targetPath) + ",version=" + Text(version) +
           ",description=" + Text(description) + ",permissions=" + std::to_string(permissions) + ")");
    if (const KvdStatus status = state.Status("AddFile")) return status;
    state.streamPath = Text(targetPath);
    *opened = &stream;
    return 0;
}

KvdStatus RepositoryRemoveFile(IZarnRepository*, const wchar_t* fileId) {
    Record("RemoveFile(id=" + Text(fileId) + ")");
    return state.Status("RemoveFile");
}

KvdStatus RepositoryGetFile(IZarnRepository*, const wchar_t* fileId, IZarnFile** found) {
    Record("GetFile(id=" + Text(fileId) + ")");
    if (const KvdStatus status = state.Status("GetFile")) return status;
    state.fileId = Text(fileId);
    *found = &file;
    return 0;
}

const IZarnRepositoryTable repositoryTable = {RepositoryAddFile, RepositoryRemoveFile, RepositoryGetFile, nullptr,
                                              nullptr};
IZarnRepository repository = {&repositoryTable};

}  // namespace
}  // namespace fake_kvdfiles

using fake_kvdfiles::Record;
using fake_kvdfiles::state;

#ifndef FAKE_KVDFILES_WITHOUT_InitLibrary
extern "C" int32_t kvdFiles_InitLibrary(int32_t version) {
    Record("InitLibrary(" + std::to_string(version) + ")");
    return state.initResult;
}
#endif

#ifndef FAKE_KVDFILES_WITHOUT_ReleaseLibrary
extern "C" int32_t kvdFiles_ReleaseLibrary(void) {
    Record("ReleaseLibrary()");
    return 1;
}
#endif

#ifndef FAKE_KVDFILES_WITHOUT_GetRepository
extern "C" IZarnRepository* kvdFiles_GetRepository(void) {
    Record("GetRepository()");
    return &fake_kvdfiles::repository;
}
#endif

#ifndef FAKE_KVDFILES_WITHOUT_GetRepositoryFromPath
extern "C" IZarnRepository* kvdFiles_GetRepositoryFromPath(const wchar_t* directory) {
    Record("GetRepositoryFromPath(" + fake_kvdfiles::Text(directory) + ")");
    return state.returnsRepository ? &fake_kvdfiles::repository : nullptr;
}
#endif
