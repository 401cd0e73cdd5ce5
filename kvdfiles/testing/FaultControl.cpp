// The fault state of the test build: which call of which kind fails, and
// where the process stops.
#define KVDFILES_BUILDING_LIBRARY
#include "kvdfiles/testing/FaultControl.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kvdfiles/platform/FaultInjection.h"

namespace kvd::faults {
namespace {

constexpr auto kKindCount = static_cast<std::size_t>(durable::IoKind::Count);

using durable::IoKind;
// A test names a kind by the seam's number; it must be the library's kind.
static_assert(KvdIoOpen == static_cast<int>(IoKind::Open) && KvdIoRead == static_cast<int>(IoKind::Read) &&
              KvdIoWrite == static_cast<int>(IoKind::Write) && KvdIoSync == static_cast<int>(IoKind::Sync) &&
              KvdIoClose == static_cast<int>(IoKind::Close) && KvdIoRename == static_cast<int>(IoKind::Rename) &&
              KvdIoSyncDirectory == static_cast<int>(IoKind::SyncDirectory) &&
              KvdIoRemove == static_cast<int>(IoKind::Remove) && KvdIoLink == static_cast<int>(IoKind::Link) &&
              KvdIoMakeDirectory == static_cast<int>(IoKind::MakeDirectory) &&
              KvdIoLock == static_cast<int>(IoKind::Lock) && KvdIoTruncate == static_cast<int>(IoKind::Truncate) &&
              KvdIoStatus == static_cast<int>(IoKind::Status) && KvdIoKindCount == static_cast<int>(IoKind::Count));
// Likewise for the kinds of change a recorder is told of.
static_assert(KvdChangeOpen == static_cast<int>(ChangeKind::Open) &&
              KvdChangeWrite == static_cast<int>(ChangeKind::Write) &&
              KvdChangeTruncate == static_cast<int>(ChangeKind::Truncate) &&
              KvdChangeSync == static_cast<int>(ChangeKind::Sync) &&
              KvdChangeClose == static_cast<int>(ChangeKind::Close) &&
              KvdChangeRename == static_cast<int>(ChangeKind::Rename) &&
              KvdChangeSyncDirectory == static_cast<int>(ChangeKind::SyncDirectory) &&
              KvdChangeRemove == static_cast<int>(ChangeKind::Remove) &&
              KvdChangeLink == static_cast<int>(ChangeKind::Link) &&
              KvdChangeMakeDirectory == static_cast<int>(ChangeKind::MakeDirectory) &&
              KvdChangeRemoveDirectory == static_cast<int>(ChangeKind::RemoveDirectory));

struct PlannedFault {
    std::uint64_t nth = 0;  // 0: none
    int error = 0;
    bool persistent = false;
};

struct FaultState {
    std::mutex mutex;
    KvdChangeRecorder recorder = nullptr;
    void* recorderContext = nullptr;
    std::array<std::uint64_t, kKindCount> calls{};
    std::array<PlannedFault, kKindCount> planned{};
    // Each point reached, with the calls of each kind made before it.
    std::vector<std::pair<const char*, std::array<std::uint64_t, kKindCount>>> pointsReached;
    std::string crashPoint;
    int crashExitCode = 0;
    std::optional<std::uint64_t> changesLimit;
};

FaultState& State() {
    static FaultState state;
    return state;
}

bool ValidKind(int32_t kind) { return kind >= 0 && static_cast<std::size_t>(kind) < kKindCount; }

// The calls counted when the named point was first reached.
const std::array<std::uint64_t, kKindCount>* FindPoint(const FaultState& state, const char* name) {
    for (const auto& [point, calls] : state.pointsReached) {
        if (std::string_view(point) == name) return &calls;
    }
    return nullptr;
}

}  // namespace

int InjectedError(durable::IoKind kind) {
    FaultState& state = State();
    const std::lock_guard guard(state.mutex);
    const auto index = static_cast<std::size_t>(kind);
    const std::uint64_t call = ++state.calls[index];
    const PlannedFault& fault = state.planned[index];
    if (fault.nth == 0) return 0;
    const bool hit = fault.persistent ? call >= fault.nth : call == fault.nth;
    return hit ? fault.error : 0;
}

std::uint64_t ChangesLimit(std::uint64_t standard) {
    FaultState& state = State();
    const std::lock_guard guard(state.mutex);
    return state.changesLimit.value_or(standard);
}

void Record(const Change& change) {
    FaultState& state = State();
    const std::lock_guard guard(state.mutex);
    if (state.recorder == nullptr) return;
    const KvdChange recorded{static_cast<int32_t>(change.kind),
                             change.path != nullptr ? change.path->c_str() : nullptr,
                             change.otherPath != nullptr ? change.otherPath->c_str() : nullptr,
                             static_cast<int64_t>(change.file.native),
                             change.offset,
                             change.data,
                             change.size};
    state.recorder(&recorded, state.recorderContext);
}

void CrashPoint(const char* name) {
    FaultState& state = State();
    const std::lock_guard guard(state.mutex);
    if (!FindPoint(state, name)) state.pointsReached.emplace_back(name, state.calls);
    if (!state.crashPoint.empty() && state.crashPoint == name) std::_Exit(state.crashExitCode);
}

}  // namespace kvd::faults

using kvd::faults::State;

extern "C" {

void kvdFilesTest_FailCall(int32_t kind, uint64_t nth, int32_t error, int32_t persistent) {
    if (!kvd::faults::ValidKind(kind)) return;
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    const auto index = static_cast<std::size_t>(kind);
    state.planned[index] = {state.calls[index] + nth, error, persistent != 0};
}

void kvdFilesTest_RecordChanges(KvdChangeRecorder recorder, void* context) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    state.recorder = recorder;
    state.recorderContext = context;
}

void kvdFilesTest_Reset(void) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    state.calls.fill(0);
    state.planned.fill({});
    state.pointsReached.clear();
    state.crashPoint.clear();
    state.changesLimit.reset();
    state.recorder = nullptr;
}

uint64_t kvdFilesTest_CallCount(int32_t kind) {
    if (!kvd::faults::ValidKind(kind)) return 0;
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    return state.calls[static_cast<std::size_t>(kind)];
}

const char* kvdFilesTest_PointReached(uint32_t index) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    return index < state.pointsReached.size() ? state.pointsReached[index].first : nullptr;
}

uint64_t kvdFilesTest_CallCountAt(const char* point, int32_t kind) {
    if (point == nullptr || !kvd::faults::ValidKind(kind)) return 0;
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    const auto* calls = kvd::faults::FindPoint(state, point);
    return (calls != nullptr ? *calls : state.calls)[static_cast<std::size_t>(kind)];
}

void kvdFilesTest_CrashAt(const char* point, int32_t exitCode) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    state.crashPoint = point != nullptr ? point : "";
    state.crashExitCode = exitCode;
}

void kvdFilesTest_LimitChanges(uint64_t bytes) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    state.changesLimit = bytes;
}

}  // extern "C"
