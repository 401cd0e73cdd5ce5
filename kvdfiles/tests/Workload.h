// A reproducible sequence of adds, modifies and removes on a few
// identifiers, and the repository state after each step. The helper process
// runs it; the tests compute the same sequence to know what the repository
// may hold after the process was killed or finished.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kvdfiles/tests/TestSupport.h"

namespace kvdtest {

struct PlannedOperation {
    enum class Kind { Add, Modify, Remove };
    Kind kind;
    std::wstring id;
    std::wstring target;
    std::string content;
};

using RepositoryState = std::map<std::wstring, std::string>;  // id -> content

struct Workload {
    std::vector<PlannedOperation> operations;
    std::vector<RepositoryState> states;  // states[k]: after the first k operations
    std::vector<std::wstring> ids;        // every identifier the workload may touch
};

inline Workload PlanWorkload(std::uint32_t seed, int count, const std::string& prefix) {
    constexpr int kIds = 6;
    Workload workload;
    std::uint64_t random = seed * 6364136223846793005ull + 1442695040888963407ull;
    auto next = [&random] {
        random = random * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(random >> 33);
    };
    const std::wstring widePrefix(prefix.begin(), prefix.end());
    for (int i = 0; i < kIds; ++i) workload.ids.push_back(widePrefix + L"-" + std::to_wstring(i));
    workload.states.emplace_back();
    for (int step = 0; step < count; ++step) {
        RepositoryState state = workload.states.back();
        const std::wstring& id = workload.ids[next() % kIds];
        const std::wstring target = L"d-" + widePrefix + L"/" + id + L".bin";
        const std::string content = ContentFor(prefix + "/" + std::to_string(step), 1 + next() % 20000);
        PlannedOperation operation{PlannedOperation::Kind::Add, id, target, content};
        if (state.count(id) != 0) {
            operation.kind = next() % 3 == 0 ? PlannedOperation::Kind::Remove : PlannedOperation::Kind::Modify;
        }
        if (operation.kind == PlannedOperation::Kind::Remove) state.erase(id);
        else state[id] = content;
        workload.operations.push_back(operation);
        workload.states.push_back(state);
    }
    return workload;
}

inline KvdStatus Perform(IZarnRepository* repository, const PlannedOperation& operation) {
    switch (operation.kind) {
        case PlannedOperation::Kind::Add: return AddFile(repository, operation.id, operation.target, operation.content);
        case PlannedOperation::Kind::Modify: return ModifyFile(repository, operation.id, operation.content);
        case PlannedOperation::Kind::Remove: return RemoveFile(repository, operation.id);
    }
    return -1;
}

}  // namespace kvdtest
