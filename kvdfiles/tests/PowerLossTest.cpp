// Power loss, simulated. The test build tells a recorder of every change the
// library makes to the disk; a model of the disk replays them and builds the
// state a power loss after any step could leave: of each file the bytes of
// its last flush, of each folder the names of its last flush, and any of the
// changes since then, each dropped alone, all dropped, all kept, or a seeded
// random choice of them, the last write kept in part (cut at a sector, its
// rest missing or zeros). A file never flushed is empty; flushing a file
// does not make its name durable. Each state is put in a real folder and
// checked through the library: it opens, lists the old or the new entries,
// and once the next writer has settled it holds exactly the old files or
// exactly the new ones, with no journal, temporary or new folder left, and
// takes further changes. A crash after the last step must keep the change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>

#include "kvdfiles/testing/FaultControl.h"
#include "kvdfiles/tests/Scenarios.h"

namespace kvdtest {
namespace {

constexpr std::uint64_t kSector = 512;

// One recorded change, with copies of its names and bytes.
struct Step {
    int kind = 0;
    fs::path path;
    fs::path otherPath;
    std::int64_t file = -1;
    std::uint64_t offset = 0;
    std::string data;
};

void RecordStep(const KvdChange* change, void* context) {
    Step step;
    step.kind = change->kind;
    if (change->path != nullptr) step.path = fs::path(change->path).lexically_normal();
    if (change->otherPath != nullptr) step.otherPath = fs::path(change->otherPath).lexically_normal();
    step.file = change->file;
    step.offset = change->offset;
    if (change->kind == KvdChangeWrite) step.data.assign(static_cast<const char*>(change->data), change->size);
    static_cast<std::vector<Step>*>(context)->push_back(std::move(step));
}

// What a folder tree holds: its folders, each file name with the number of
// the file it names (two names of one file are hard links), and the files.
struct Disk {
    std::set<fs::path> folders;
    std::map<fs::path, int> names;
    std::map<int, std::string> contents;
    bool operator==(const Disk&) const = default;
};

Disk ReadDisk(const fs::path& root, const fs::path& leftOut = {}) {
    Disk disk;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const fs::path path = item.path().lexically_normal();
        if (item.is_directory()) disk.folders.insert(path);
        if (item.is_directory() || path == leftOut) continue;
        EXPECT_EQ(fs::hard_link_count(path), 1u) << path;
        disk.names[path] = 0;
    }
    int number = 0;  // in name order, so that equal trees compare equal
    for (auto& [name, file] : disk.names) disk.contents[file = number++] = ReadFileBytes(name);
    return disk;
}

void Materialize(const fs::path& root, const Disk& disk) {
    for (const auto& item : fs::directory_iterator(root)) fs::remove_all(item.path());
    for (const fs::path& folder : disk.folders) fs::create_directory(folder);
    std::map<int, fs::path> first;
    for (const auto& [name, file] : disk.names) {
        const auto [written, isNew] = first.emplace(file, name);
        if (isNew) WriteFileBytes(name, disk.contents.at(file));
        else fs::create_hard_link(written->second, name);
    }
}

// The steps and a disk, told for a failure message.
std::string Describe(const std::vector<Step>& steps, std::size_t count) {
    static const char* const kKinds[] = {"open",        "write",  "truncate", "sync",        "close",        "rename",
                                         "sync-folder", "remove", "link",     "make-folder", "remove-folder"};
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "  " + std::to_string(i + 1) + " " + kKinds[steps[i].kind] + " " + steps[i].path.filename().string();
        if (!steps[i].otherPath.empty()) text += " -> " + steps[i].otherPath.filename().string();
        if (steps[i].file >= 0) text += " #" + std::to_string(steps[i].file);
        text += "\n";
    }
    return text;
}

// With contents, a disk's fingerprint; without, its sizes.
std::string Describe(const Disk& disk, bool contents = false) {
    std::string text;
    for (const fs::path& folder : disk.folders) text += "  " + folder.string() + "/\n";
    for (const auto& [name, file] : disk.names) {
        const std::string& content = disk.contents.at(file);
        text += "  " + name.string() + " #" + std::to_string(file) + " " +
                (contents ? content : std::to_string(content.size()) + " bytes") + "\n";
    }
    return text;
}

enum class Tear { None, RestMissing, RestZero };

constexpr int kFolder = -1;

// One effect of a step: on a name in a folder, or on the bytes of a file.
// The object is what a flush makes durable: the folder, or the file.
struct Effect {
    std::size_t step = 0;
    std::string object = {};
    fs::path folder = {}, name = {};
    std::optional<int> names = {};  // a name effect: the file or kFolder named; nothing: the name removed
    int file = -1;                  // a data effect: the file written or truncated
    bool truncate = false;
    std::uint64_t offset = 0;  // or the new size
    std::string bytes = {};
    bool durable = false;
};

// Folder trees and file contents, built by applying effects in order.
struct Image {
    std::map<fs::path, std::map<fs::path, int>> folders;  // folder -> name -> file, or kFolder
    std::map<int, std::string> contents;

    void Apply(const Effect& effect, Tear tear) {
        if (effect.file < 0) {
            auto& names = folders[effect.folder];
            if (effect.names) names[effect.name] = *effect.names;
            else names.erase(effect.name);
            return;
        }
        std::string& content = contents[effect.file];
        if (effect.truncate) return content.resize(effect.offset);
        std::string bytes = effect.bytes;
        if (tear != Tear::None) {
            // Cut at the last sector boundary inside the write, or before it.
            const std::uint64_t end = effect.offset + bytes.size();
            const std::size_t kept = std::max((end - 1) / kSector * kSector, effect.offset) - effect.offset;
            if (tear == Tear::RestMissing) bytes.resize(kept);
            else std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(kept), bytes.end(), '\0');
        }
        if (content.size() < effect.offset + bytes.size()) content.resize(effect.offset + bytes.size());
        std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<std::ptrdiff_t>(effect.offset));
    }

    void Collect(const fs::path& folder, Disk& disk) const {
        const auto names = folders.find(folder);
        if (names == folders.end()) return;
        for (const auto& [name, what] : names->second) {
            const fs::path path = folder / name;
            if (what == kFolder) {
                disk.folders.insert(path);
                Collect(path, disk);
            } else {
                const auto content = contents.find(what);  // a file never written is empty
                disk.names[path] = what;
                disk.contents[what] = content != contents.end() ? content->second : "";
            }
        }
    }
};

// The disk as the steps leave it, live and after a power loss.
class DiskModel {
public:
    DiskModel(const fs::path& root, const Disk& initial) : root_(root) {
        initial_.folders[root];
        for (const fs::path& folder : initial.folders)
            initial_.folders[folder.parent_path()][folder.filename()] = kFolder;
        for (const auto& [name, file] : initial.names) initial_.folders[name.parent_path()][name.filename()] = file;
        initial_.contents = initial.contents;
        live_ = initial_;
    }

    void Apply(const Step& step) {
        switch (step.kind) {
            case KvdChangeOpen: {
                const auto& names = live_.folders[step.path.parent_path()];
                const auto found = names.find(step.path.filename());
                const int file = found != names.end() ? found->second : static_cast<int>(live_.contents.size());
                live_.contents[file];
                if (found == names.end()) Name(step.path, file);
                open_[step.file] = file;
                break;
            }
            case KvdChangeWrite:
            case KvdChangeTruncate: {
                const int file = open_.at(step.file);
                Add({.object = "#" + std::to_string(file),
                     .file = file,
                     .truncate = step.kind == KvdChangeTruncate,
                     .offset = step.offset,
                     .bytes = step.data});
                break;
            }
            case KvdChangeSync: Flush("#" + std::to_string(open_.at(step.file))); break;
            case KvdChangeClose: open_.erase(step.file); break;
            case KvdChangeRename: {
                // One step: a rename within a folder is atomic on disk as well.
                const int what = NameAt(step.path);
                EXPECT_NE(what, kFolder) << "folders are not renamed";
                Name(step.path, std::nullopt);
                Name(step.otherPath, what);
                break;
            }
            case KvdChangeSyncDirectory: Flush(step.path.string()); break;
            case KvdChangeRemove:
            case KvdChangeRemoveDirectory: Name(step.path, std::nullopt); break;
            case KvdChangeLink: Name(step.otherPath, NameAt(step.path)); break;
            case KvdChangeMakeDirectory: Name(step.path, kFolder); break;
            default: ADD_FAILURE() << "unknown change " << step.kind;
        }
        ++step_;
    }

    // The steps whose effect a power loss could drop.
    std::vector<std::size_t> Pending() const {
        std::set<std::size_t> pending;
        for (const Effect& effect : effects_) {
            if (!effect.durable) pending.insert(effect.step);
        }
        return {pending.begin(), pending.end()};
    }

    // The durable effects and the kept ones, the last write kept torn.
    Disk AfterPowerLoss(const std::set<std::size_t>& kept, Tear tear) const {
        auto survives = [&](const Effect& effect) { return effect.durable || kept.count(effect.step) != 0; };
        const Effect* torn = nullptr;
        for (const Effect& effect : effects_) {
            if (!effect.durable && survives(effect) && effect.file >= 0 && !effect.truncate) torn = &effect;
        }
        Image image = initial_;
        for (const Effect& effect : effects_) {
            if (survives(effect)) image.Apply(effect, &effect == torn ? tear : Tear::None);
        }
        Disk disk;
        image.Collect(root_, disk);
        return disk;
    }

private:
    int NameAt(const fs::path& path) const { return live_.folders.at(path.parent_path()).at(path.filename()); }

    void Name(const fs::path& path, std::optional<int> what) {
        Add({.object = path.parent_path().string(),
             .folder = path.parent_path(),
             .name = path.filename(),
             .names = what});
    }

    void Add(Effect effect) {
        effect.step = step_;
        live_.Apply(effect, Tear::None);
        effects_.push_back(std::move(effect));
    }

    void Flush(const std::string& object) {
        for (Effect& effect : effects_) effect.durable = effect.durable || effect.object == object;
    }

    fs::path root_;
    Image initial_;
    Image live_;
    std::vector<Effect> effects_;
    std::map<std::int64_t, int> open_;
    std::size_t step_ = 0;
};

// The states a power loss after the first count steps could leave.
std::vector<Disk> StatesAfter(const fs::path& root, const Disk& initial, const std::vector<Step>& steps,
                              std::size_t count, std::mt19937& random, int randomChoices) {
    DiskModel model(root, initial);
    for (std::size_t i = 0; i < count; ++i) model.Apply(steps[i]);
    const std::vector<std::size_t> pending = model.Pending();
    const std::set<std::size_t> all(pending.begin(), pending.end());
    std::vector<Disk> states{model.AfterPowerLoss(all, Tear::None), model.AfterPowerLoss({}, Tear::None),
                             model.AfterPowerLoss(all, Tear::RestMissing), model.AfterPowerLoss(all, Tear::RestZero)};
    for (const std::size_t dropped : pending) {
        std::set<std::size_t> kept = all;
        kept.erase(dropped);
        states.push_back(model.AfterPowerLoss(kept, Tear::None));
    }
    for (int choice = 0; choice < randomChoices; ++choice) {
        std::set<std::size_t> kept;
        for (const std::size_t step : pending) {
            if (random() % 2 == 0) kept.insert(step);
        }
        states.push_back(model.AfterPowerLoss(kept, choice % 2 == 0 ? Tear::None : Tear::RestZero));
    }
    return states;
}

// A fast place for the states: flushes cost nothing in memory-backed
// folders, and the model, not the disk, decides what survives. Absolute,
// as the library names the files it changes.
fs::path ScratchBase() {
    for (const char* candidate : {"/dev/shm", "Z:/dev/shm"}) {
        std::error_code error;
        if (fs::is_directory(candidate, error)) return fs::absolute(candidate);
    }
    return fs::temp_directory_path();
}

// More random choices per step for a longer run: ZARN_POWER_LOSS_CHOICES.
int RandomChoices() {
    const char* wanted = std::getenv("ZARN_POWER_LOSS_CHOICES");
    return wanted != nullptr ? std::max(1, std::atoi(wanted)) : 4;
}

std::string Listing(IZarnRepository* repository) {
    uint32_t count = 0;
    if (repository->table->GetFileCount(repository, &count) != 0) return "listing refused";
    std::string listing;
    for (uint32_t index = 0; index < count; ++index) {
        IZarnFile* file = nullptr;
        if (repository->table->GetFileAt(repository, index, &file) != 0) return "entry refused";
        IZarnFileInfo* info = file->table->GetInfo(file);
        const std::wstring id = info->table->GetFileId(info);
        listing += std::string(id.begin(), id.end()) + " " + std::to_string(info->table->GetContentSize(info)) + "\n";
    }
    return listing;
}

IZarnRepository* Open(const fs::path& root) { return kvdFiles_GetRepositoryFromPath(root.wstring().c_str()); }

// Everything but the lock file, which holds the writers' scratch.
Disk Settled(const fs::path& root) { return ReadDisk(root, (root / "ZarnRepository.lock").lexically_normal()); }

bool HoldsJournal(const fs::path& root) { return ReadFileBytes(root / "ZarnRepository.lock").starts_with("KVDJ"); }

struct Expected {
    std::string oldListing;
    std::string newListing;
    Disk oldDisk;
    Disk newDisk;
};

class PowerLossTest : public ::testing::Test {
protected:
    void TearDown() override {
        kvdFilesTest_Reset();
        kvdFiles_ReleaseLibrary();
    }

    // Runs change on the repository in root, recording its steps.
    static std::vector<Step> Record(const std::function<KvdStatus(IZarnRepository*)>& change, const fs::path& root) {
        std::vector<Step> steps;
        IZarnRepository* repository = Open(root);
        kvdFilesTest_RecordChanges(&RecordStep, &steps);
        EXPECT_EQ(change(repository), 0);
        kvdFilesTest_RecordChanges(nullptr, nullptr);
        return steps;
    }

    // Checks one state; true when it was settled into the new one.
    static bool Check(const fs::path& root, const Disk& state, const Expected& expected, const std::string& where) {
        Materialize(root, state);
        kvdFiles_ReleaseLibrary();
        IZarnRepository* repository = Open(root);
        if (repository == nullptr) {
            ADD_FAILURE() << where << ": the repository does not open";
            return false;
        }
        const std::string listing = Listing(repository);
        EXPECT_TRUE(listing == expected.oldListing || listing == expected.newListing) << where << ":\n" << listing;
        EXPECT_EQ(RemoveFile(Open(root), L"no such entry"), 2) << where;
        const Disk settled = Settled(root);
        const bool isNew = settled == expected.newDisk;
        EXPECT_TRUE(isNew || settled == expected.oldDisk)
            << where << ": neither the old nor the new files; the state:\n"
            << Describe(state) << "settled:\n"
            << Describe(settled);
        EXPECT_FALSE(HoldsJournal(root)) << where << ": a journal is left";
        IZarnRepository* later = Open(root);
        EXPECT_EQ(AddFile(later, L"later", L"later.txt", "later"), 0) << where;
        EXPECT_EQ(ModifyFile(later, L"later", "changed"), 0) << where;
        EXPECT_EQ(RemoveFile(later, L"later"), 0) << where;
        return isNew;
    }

    // Checks every state a power loss during the steps could leave, and
    // returns the distinct ones. One after the last step must settle as the
    // steps themselves ended: in the new state, or for an undo in the old.
    static std::vector<Disk> Explore(const fs::path& root, const Disk& initial, const std::vector<Step>& steps,
                                     const Expected& expected, const std::string& name, bool endsNew) {
        std::mt19937 random(20261207);
        std::map<std::string, bool> settledNew;  // of each distinct state
        std::vector<Disk> checked;
        for (std::size_t count = 0; count <= steps.size(); ++count) {
            for (Disk& state : StatesAfter(root, initial, steps, count, random, RandomChoices())) {
                const std::string where =
                    name + ", power lost after step " + std::to_string(count) + " of " + std::to_string(steps.size());
                const auto [known, isNew] = settledNew.emplace(Describe(state, true), false);
                if (isNew) {
                    known->second = Check(root, state, expected, where);
                    checked.push_back(std::move(state));
                }
                EXPECT_TRUE(count < steps.size() || known->second == endsNew)
                    << where << ": the change ended otherwise";
                if (!HasFailure()) continue;
                std::cout << "the steps:\n" << Describe(steps, count);
                return checked;
            }
        }
        return checked;
    }

    // Prepares the scenario in root and runs it, recording its steps.
    static std::vector<Step> RunScenario(const Scenario& scenario, const fs::path& root, Disk& initial,
                                         Expected& expected) {
        scenario.prepare(Open(root), root);
        kvdFiles_ReleaseLibrary();
        expected.oldListing = Listing(Open(root));
        initial = ReadDisk(root);
        expected.oldDisk = Settled(root);
        const std::vector<Step> steps = Record(scenario.run, root);
        expected.newListing = Listing(Open(root));
        EXPECT_EQ(RemoveFile(Open(root), L"no such entry"), 2);
        expected.newDisk = Settled(root);
        return steps;
    }
};

// The next writer settles what a power loss left; for some changes, losing
// the power again while it does must still end in the old state or the new.
TEST_F(PowerLossTest, EveryStepOfEveryChangeLeavesTheOldOrTheNewState) {
    const std::set<std::string> settledUnderPowerLoss = {"modify", "modify into a new index", "delete"};
    for (const Scenario& scenario : Scenarios()) {
        TemporaryDirectory directory(ScratchBase());
        const fs::path root = directory.Path().lexically_normal();
        Disk initial;
        Expected expected;
        const std::string name = scenario.name;
        const std::vector<Step> steps = RunScenario(scenario, root, initial, expected);
        const std::vector<Disk> states = Explore(root, initial, steps, expected, name, true);
        std::cout << name << ": " << steps.size() << " steps, " << states.size() << " states after a power loss\n";
        if (HasFailure()) return;
        if (settledUnderPowerLoss.count(name) == 0) continue;
        int settlings = 0;
        std::size_t checked = 0;
        for (const Disk& crashed : states) {
            Materialize(root, crashed);
            kvdFiles_ReleaseLibrary();
            const std::vector<Step> settling =
                Record([](IZarnRepository* r) { return RemoveFile(r, L"no such entry") == 2 ? 0 : 1; }, root);
            // Only a settling that undoes or finishes something is worth a crash.
            if (std::none_of(settling.begin(), settling.end(),
                             [](const Step& step) { return step.kind == KvdChangeWrite; }))
                continue;
            ++settlings;
            const bool endsNew = Settled(root) == expected.newDisk;
            checked += Explore(root, crashed, settling, expected, name + ", while settling", endsNew).size();
            if (HasFailure()) return;
        }
        EXPECT_GT(settlings, 0) << name;
        std::cout << name << ": " << settlings << " settlings, " << checked << " states after a power loss\n";
    }
}

}  // namespace
}  // namespace kvdtest
