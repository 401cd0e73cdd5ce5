// The fault state of the test build: which call of which kind fails, and
// where the process stops.
#define KVDFILES_BUILDING_LIBRARY
#include "kvdfiles/testing/FaultControl.h"

#include <array>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

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
              KvdIoKindCount == static_cast<int>(IoKind::Count));

struct PlannedFault {
    std::uint64_t nth = 0;  // 0: none
    int error = 0;
    bool persistent = false;
};

struct FaultState {
    std::mutex mutex;
    std::array<std::uint64_t, kKindCount> calls{};
    std::array<PlannedFault, kKindCount> planned{};
    std::string crashPoint;
    int crashExitCode = 0;
    std::optional<std::uint64_t> changesLimit;
};

FaultState& State() {
    static FaultState state;
    return state;
}

bool ValidKind(int32_t kind) { return kind >= 0 && static_cast<std::size_t>(kind) < kKindCount; }

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

void CrashPoint(const char* name) {
    FaultState& state = State();
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

void kvdFilesTest_Reset(void) {
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    state.calls.fill(0);
    state.planned.fill({});
    state.crashPoint.clear();
    state.changesLimit.reset();
}

uint64_t kvdFilesTest_CallCount(int32_t kind) {
    if (!kvd::faults::ValidKind(kind)) return 0;
    auto& state = State();
    const std::lock_guard guard(state.mutex);
    return state.calls[static_cast<std::size_t>(kind)];
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
