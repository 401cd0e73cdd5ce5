// A stand-in for the repository library, built from the contract header alone.
// It prints each call it gets as "@Call(arguments)", and "@Loaded" and
// "@Unloaded", among the tool's own messages. When loaded it reads from the
// start directory what Read delivers, "fake-content", and "fake-script.txt":
// lines "CALL VALUE", a call's status (0 by default), or the value of
// InitLibrary (1), GetRepositoryFromPath (0: null), GetSize, ReadCount and
// GetPath. Write stores the bytes at the stream's path (AddFile's target or
// GetPath's) and appends that path to "ZarnRepository.bin". Each variant is
// built with one FAKE_KVDFILES_WITHOUT_<export>, or none.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#define KVDFILES_BUILDING_LIBRARY
#include "encoding/WideText.h"
#include "repository/contract/KVDFiles.h"
#include "tests/fake_kvdfiles/Output.h"

namespace fake_kvdfiles {
namespace {

const std::string kScriptedCalls =
    " InitLibrary GetRepositoryFromPath GetSize ReadCount GetPath AddFile RemoveFile GetFile OpenStream Read Write ";

std::string Text(const wchar_t* text) { return encoding::BytesFromWide(text); }

void Record(const std::string& call) { PrintLine("@" + call); }

// Everything one load of the library knows.
struct LibraryState {
    std::map<std::string, std::string> script;
    std::string content;
    std::string fileId;       // of the last GetFile
    std::string streamPath;   // where the open stream's Write stores content
    std::wstring storedPath;  // what GetPath handed out; must outlive the call

    LibraryState() {
        std::ifstream stored("fake-content", std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(stored), {});
        std::ifstream lines("fake-script.txt", std::ios::binary);
        for (std::string call, value; lines >> call >> value; script[call] = value) {
            if (kScriptedCalls.find(" " + call + " ") == std::string::npos) {
                std::fprintf(stderr, "fake KVDFiles.dll: no call %s to script\n", call.c_str());
            }
        }
        Record("Loaded");
    }
    ~LibraryState() { Record("Unloaded"); }

    std::string Value(const std::string& call, const std::string& otherwise) const {
        const auto found = script.find(call);
        return found == script.end() ? otherwise : found->second;
    }
    std::int64_t Number(const std::string& call, std::int64_t otherwise) const {
        return std::stoll(Value(call, std::to_string(otherwise)));
    }
};

LibraryState state;

// Records the call and returns the status the script gives it.
KvdStatus Called(const std::string& call, const std::string& arguments) {
    Record(call + "(" + arguments + ")");
    return static_cast<KvdStatus>(state.Number(call, 0));
}

void Store(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
    std::ofstream file(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary | mode);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        std::fprintf(stderr, "fake KVDFiles.dll: cannot write %s\n", path.c_str());
    }
}

KvdStatus StreamRead(IZarnFileStream*, void* buffer, std::uint32_t* size) {
    if (const KvdStatus status = Called("Read", "size=" + std::to_string(*size))) return status;
    const std::size_t copied = std::min<std::size_t>(*size, state.content.size());
    std::memcpy(buffer, state.content.data(), copied);
    *size = static_cast<std::uint32_t>(state.Number("ReadCount", static_cast<std::int64_t>(copied)));
    return 0;
}

KvdStatus StreamWrite(IZarnFileStream*, const void* buffer, std::uint32_t size) {
    if (const KvdStatus status = Called("Write", "size=" + std::to_string(size))) return status;
    Store(state.streamPath, std::string(static_cast<const char*>(buffer), size), std::ios::trunc);
    Store("ZarnRepository.bin", state.streamPath + "\n", std::ios::app);
    return 0;
}

std::uint32_t StreamGetSize(IZarnFileStream*) {
    Record("GetSize()");
    return static_cast<std::uint32_t>(state.Number("GetSize", static_cast<std::int64_t>(state.content.size())));
}

KvdStatus StreamClose(IZarnFileStream*, std::int32_t flag) { return Called("Close", std::to_string(flag)); }

const IZarnFileStreamTable streamTable = {StreamRead, StreamWrite, StreamGetSize, StreamClose};
IZarnFileStream stream = {&streamTable};

const wchar_t* InfoGetPath(IZarnFileInfo*) {
    Record("GetPath()");
    state.storedPath = encoding::WideFromBytes(state.Value("GetPath", state.fileId));
    return state.storedPath.c_str();
}

// The stand-in offers the version-1 tables only: later entries are null.
const IZarnFileInfoTable infoTable = {InfoGetPath, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
IZarnFileInfo info = {&infoTable};

KvdStatus FileOpenStream(IZarnFile*, std::int32_t mode, IZarnFileStream** opened, std::int32_t reserved) {
    const std::string arguments = "mode=" + std::to_string(mode) + ",reserved=" + std::to_string(reserved);
    if (const KvdStatus status = Called("OpenStream", arguments)) return status;
    state.streamPath = state.Value("GetPath", state.fileId);
    *opened = &stream;
    return 0;
}

IZarnFileInfo* FileGetInfo(IZarnFile*) {
    Record("GetInfo()");
    return &info;
}

const IZarnFileTable fileTable = {FileOpenStream, FileGetInfo, nullptr};
IZarnFile file = {&fileTable};

KvdStatus RepositoryAddFile(IZarnRepository*, const wchar_t* fileId, const wchar_t* targetPath, const wchar_t* version,
                            const wchar_t* description, std::int32_t permissions, IZarnFileStream** opened) {
    if (const KvdStatus status = Called(
            "AddFile", "id=" + Text(fileId) + ",target=" + Text(targetPath) + ",version=" + Text(version) +
                           ",description=" + Text(description) + ",permissions=" + std::to_string(permissions))) {
        return status;
    }
    state.streamPath = Text(targetPath);
    *opened = &stream;
    return 0;
}

KvdStatus RepositoryRemoveFile(IZarnRepository*, const wchar_t* fileId) {
    return Called("RemoveFile", "id=" + Text(fileId));
}

KvdStatus RepositoryGetFile(IZarnRepository*, const wchar_t* fileId, IZarnFile** found) {
    if (const KvdStatus status = Called("GetFile", "id=" + Text(fileId))) return status;
    state.fileId = Text(fileId);
    *found = &file;
    return 0;
}

const IZarnRepositoryTable repositoryTable = {
    RepositoryAddFile, RepositoryRemoveFile, RepositoryGetFile, nullptr, nullptr, nullptr};
IZarnRepository repository = {&repositoryTable};

}  // namespace
}  // namespace fake_kvdfiles

using fake_kvdfiles::Record;
using fake_kvdfiles::state;

#ifndef FAKE_KVDFILES_WITHOUT_InitLibrary
extern "C" int32_t kvdFiles_InitLibrary(int32_t version) {
    Record("InitLibrary(" + std::to_string(version) + ")");
    return static_cast<int32_t>(state.Number("InitLibrary", 1));
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
    return state.Number("GetRepositoryFromPath", 1) != 0 ? &fake_kvdfiles::repository : nullptr;
}
#endif
