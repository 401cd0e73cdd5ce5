#include "tests/fake_kvdfiles/FakeLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "encoding/WideText.h"
#include "tests/fake_kvdfiles/CallRecorder.h"
#include "tests/fake_kvdfiles/FakeProtocol.h"
#include "tests/fake_kvdfiles/FakeScript.h"
#include "tests/support/Utf8Path.h"

namespace fake_kvdfiles {
namespace {

// Everything one load of the library knows. Created when the file is loaded
// (before the tool changes its current directory) and gone when it is unloaded.
struct LibraryState {
    Script script = LoadScript(std::getenv(kScriptVariable));
    CallRecorder recorder{std::getenv(kCallLogVariable), script.markedCalls};
    std::string fileId;        // of the last GetFile
    std::string streamPath;    // where the open stream's Write stores content
    std::wstring storedPath;   // what GetPath hands out; must outlive the call
};

LibraryState state;

// Logs the load and the unload; defined after the state, so it is built after
// it and destroyed before it.
struct LoadLifetime {
    LoadLifetime() { state.recorder.Record(kLoadedLine); }
    ~LoadLifetime() { state.recorder.Record(kUnloadedLine); }
    LoadLifetime(const LoadLifetime&) = delete;
    LoadLifetime& operator=(const LoadLifetime&) = delete;
};

LoadLifetime loadLifetime;

void Record(const std::string& line) { state.recorder.Record(line); }

std::string Text(const wchar_t* text) {
    return text == nullptr ? "(null)" : encoding::BytesFromWide(text);
}

// The scripted status of an operation: 0 unless the script makes it fail.
KvdStatus ScriptedStatus(const char* operation) {
    const auto found = state.script.failingOperations.find(operation);
    return found == state.script.failingOperations.end() ? 0 : found->second;
}

// path is UTF-8 text, as the tool's wide names map to bytes.
void WriteWholeFile(const std::string& path, const void* buffer, std::uint32_t size, std::ios::openmode mode) {
    std::ofstream file(test_support::PathFromUtf8(path), std::ios::binary | mode);
    file.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(size));
    if (!file) std::fprintf(stderr, "fake KVDFiles.dll: cannot write %s\n", path.c_str());
}

void StoreWrittenContent(const void* buffer, std::uint32_t size) {
    if (state.script.storesContent) WriteWholeFile(state.streamPath, buffer, size, std::ios::trunc);
    if (state.script.touchesIndex) {
        const std::string entry = state.streamPath + "\n";
        WriteWholeFile("ZarnRepository.bin", entry.data(), static_cast<std::uint32_t>(entry.size()), std::ios::app);
    }
}

// IZarnFileStream

KvdStatus StreamRead(IZarnFileStream*, void* buffer, std::uint32_t* size) {
    Record("Read(size=" + std::to_string(*size) + ")");
    if (const KvdStatus status = ScriptedStatus("Read"); status != 0) return status;
    const std::size_t copied = std::min<std::size_t>(*size, state.script.content.size());
    if (copied != 0) std::memcpy(buffer, state.script.content.data(), copied);
    *size = state.script.reportedReadCount.value_or(static_cast<std::uint32_t>(copied));
    return 0;
}

KvdStatus StreamWrite(IZarnFileStream*, const void* buffer, std::uint32_t size) {
    Record("Write(size=" + std::to_string(size) + ")");
    if (const KvdStatus status = ScriptedStatus("Write"); status != 0) return status;
    StoreWrittenContent(buffer, size);
    return 0;
}

std::uint32_t StreamGetSize(IZarnFileStream*) {
    Record("GetSize()");
    return state.script.reportedSize.value_or(static_cast<std::uint32_t>(state.script.content.size()));
}

KvdStatus StreamClose(IZarnFileStream*, std::int32_t flag) {
    Record("Close(" + std::to_string(flag) + ")");
    return 0;
}

const IZarnFileStreamTable streamTable = {StreamRead, StreamWrite, StreamGetSize, StreamClose};
IZarnFileStream stream = {&streamTable};

// IZarnFileInfo

std::string StoredPath() { return state.script.storedPath.value_or(state.fileId); }

const wchar_t* InfoGetPath(IZarnFileInfo*) {
    Record("GetPath()");
    state.storedPath = encoding::WideFromBytes(StoredPath());
    return state.storedPath.c_str();
}

// The stand-in offers the version-1 tables only: later entries are null.
const IZarnFileInfoTable infoTable = {InfoGetPath, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
IZarnFileInfo info = {&infoTable};

// IZarnFile

KvdStatus FileOpenStream(IZarnFile*, std::int32_t mode, IZarnFileStream** opened, std::int32_t reserved) {
    Record("OpenStream(mode=" + std::to_string(mode) + ",reserved=" + std::to_string(reserved) + ")");
    if (const KvdStatus status = ScriptedStatus("OpenStream"); status != 0) return status;
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

// IZarnRepository

KvdStatus RepositoryAddFile(IZarnRepository*, const wchar_t* fileId, const wchar_t* targetPath,
                            const wchar_t* version, const wchar_t* description, std::int32_t permissions,
                            IZarnFileStream** opened) {
    Record("AddFile(id=" + Text(fileId) + ",target=" + Text(targetPath) + ",version=" + Text(version) +
           ",description=" + Text(description) + ",permissions=" + std::to_string(permissions) + ")");
    if (const KvdStatus status = ScriptedStatus("AddFile"); status != 0) return status;
    state.streamPath = Text(targetPath);
    *opened = &stream;
    return 0;
}

KvdStatus RepositoryRemoveFile(IZarnRepository*, const wchar_t* fileId) {
    Record("RemoveFile(id=" + Text(fileId) + ")");
    return ScriptedStatus("RemoveFile");
}

KvdStatus RepositoryGetFile(IZarnRepository*, const wchar_t* fileId, IZarnFile** found) {
    Record("GetFile(id=" + Text(fileId) + ")");
    if (const KvdStatus status = ScriptedStatus("GetFile"); status != 0) return status;
    state.fileId = Text(fileId);
    *found = &file;
    return 0;
}

const IZarnRepositoryTable repositoryTable = {RepositoryAddFile, RepositoryRemoveFile, RepositoryGetFile, nullptr,
                                              nullptr, nullptr};
IZarnRepository repository = {&repositoryTable};

}  // namespace

std::int32_t InitLibrary(std::int32_t version) {
    Record("InitLibrary(" + std::to_string(version) + ")");
    return state.script.initResult;
}

std::int32_t ReleaseLibrary() {
    Record("ReleaseLibrary()");
    return 1;
}

IZarnRepository* GetRepository() {
    Record("GetRepository()");
    return &repository;
}

IZarnRepository* GetRepositoryFromPath(const wchar_t* directory) {
    Record("GetRepositoryFromPath(" + Text(directory) + ")");
    return state.script.returnsRepository ? &repository : nullptr;
}

}  // namespace fake_kvdfiles
