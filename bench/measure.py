#!/usr/bin/env python3
"""Times zarnrepo's commands against the tools a user would reach for instead.

bench/run installs what is missing, builds, and calls this script; it can be
called on its own with the paths it needs (see --help).

Every command is one process, timed from its start to its exit as a user pays
it, with its peak resident memory from the kernel's accounting (wait4), both
taken by a small launcher (bench/Spawn.cpp). The
systems take turns command by command, in an order that rotates every round,
so that drift of the shared machine touches all of them alike; each ratio is
the median of the per-round ratios of such neighbouring runs. Every result is
checked byte for byte outside the timed span: what a get wrote, what an add or
a modify left stored, and that a delete removed the entry.
"""
import argparse
import contextlib
import os
import signal
import statistics
import sys
import tempfile
import time

from scratch_fs import scratch_fs, unavailable_reason
from stores import FOLD_LIMIT, ChangeLog, build_stores, fold_cost
from systems import KIB, MIB, OPS, Failure, Runner, Zarnrepo, random_bytes, remove, write_file
from tables import Verdicts, fmt_ms, growth_table, print_rows, print_table
from workloads import (Floor, callgrind_instructions, large_file_workload, listers, listing_workload,
                       make_systems, small_entries_workload, writers_workload)

PEERS = ["cp", "sqlite3 -A", "zip -0"]
LIST_PEERS = ["ls -l", "sqlite3 -A -tv", "unzip -l"]
INSPECT = "zarnrepo-inspect"
LIVED_IN = "zarnrepo lived-in"
INSPECT_LIVED_IN = "zarnrepo-inspect lived-in"
# Instructions that callgrind runs in twenty seconds or so on a small
# machine: the listing of 100,000 entries, not that of a million, which
# costs the same per entry and would take a minute of the run.
CALLGRIND_BUDGET = {"quick": 4e8, "full": 1e9}

ROUNDS = {
    "quick": {"W1": 7, "W2": 2, "W3": 3, "W3 listing": 2, "W4": 0, "W4 listing": 0, "W5": 1, "fold": 0, "xfs": 3},
    # At a million entries each round of the peers takes half a minute
    # (zip -0 rewrites a 1 GiB archive per change; ls -l takes 16 s).
    "full": {"W1": 21, "W2": 3, "W3": 9, "W3 listing": 5, "W4": 3, "W4 listing": 1, "W5": 3, "fold": 3, "xfs": 4},
}


def entries(count):
    return f"{count:,}"


def rounds_of(count):
    return f"{count} round" + ("" if count == 1 else "s")


class Bench:
    """One run: its settings, what it printed, and the results kept for the
    growth tables and the targets."""

    def __init__(self, args):
        self.mode = "quick" if args.quick else "full"
        self.rounds = ROUNDS[self.mode]
        self.big_size = (128 if args.quick else 512) * MIB
        self.only = set(args.only.split(","))
        self.bin_dir = os.path.abspath(args.bin)
        self.builder = os.path.abspath(args.builder)
        self.changer = os.path.abspath(args.changer)
        self.w4_entries = args.w4_entries
        self.keep = args.keep
        self.work = tempfile.mkdtemp(prefix="zarnrepo-bench-", dir=args.workdir)
        self.runner = Runner(os.path.abspath(args.spawn), self.work)
        self.verdicts = Verdicts()
        self.small = {}  # entries -> Results of the four commands
        self.listing = {}  # entries -> Results of the listings
        self.folds = []  # rows of the fold table
        self.per_entry = None  # callgrind instructions per listed entry, the last size measured
        self.place = self.work  # where the stores go
        self.disposable = False  # whether an unmount takes them away

    def out(self, text=""):
        print(text, flush=True)

    def has_inspect(self):
        return os.path.exists(os.path.join(self.bin_dir, INSPECT))

    def folder(self, name, base=None):
        path = os.path.join(base or self.place, name)
        os.makedirs(path)
        return path

    def discard(self, path):
        """Removes a workload's stores, unless the unmount of a file system
        made for the run will (a million files take many minutes to remove)."""
        if not self.disposable:
            remove(path)

    def image_size(self, count):
        # 1 KiB files take a 4 KiB block and an inode each; indexes, backups.
        return count * 5 * KIB + 1024 * MIB

    def ext4_size(self):
        """Room for every store of the run at once, W4's peers' included."""
        largest = self.w4_entries if "W4" in self.only and self.rounds["W4"] else 100000
        return self.image_size(largest) * 3 // 2 + self.image_size(100000) * 2 + 4 * self.big_size

    @contextlib.contextmanager
    def stores_place(self):
        """Where run as root, every store goes to a loop-mounted ext4 made for
        the run, like the XFS, and goes away with its unmount; else to the
        run's folder, each workload's removed when it is done."""
        reason = "--keep asks for them" if self.keep else unavailable_reason("ext4")
        if reason is None:
            try:
                with scratch_fs("ext4", self.work, self.ext4_size()) as mount_point:
                    self.out(f"The stores are on a loop-mounted ext4 made for the run "
                             f"({self.ext4_size() / 2**30:.0f} GiB sparse image in {self.work}).")
                    self.place, self.disposable = mount_point, True
                    yield
                return
            except OSError as error:
                reason = str(error)
        self.out(f"The stores are in {self.work} (no loop-mounted ext4: {reason}).")
        self.place, self.disposable = self.work, False
        yield

    # -----------------------------------------------------------------------

    def small_entries(self, count, work, stores, extra=(), label=""):
        """The four commands in stores of count entries, with the extra
        repositories (name, path) beside the usual systems."""
        systems = make_systems(self.runner, work, self.bin_dir, stores)
        systems[1:1] = [Zarnrepo(self.runner, work, self.bin_dir, repo, name) for name, repo in extra]
        tag = f"w{count}"
        rounds = self.rounds[workload_of(count)]
        # A million-entry store was just built and synced, its files and
        # index still in the cache; a warm-up round of its peers would take
        # most of a minute.
        warm_up = count <= 100000
        results = small_entries_workload(self.runner, systems, work, rounds, tag, warm_up)
        names = [system.name for system in systems]
        counted = rounds_of(rounds) + ("" if warm_up else ", no warm-up round")
        print_table(f"{label}1 KiB file, stores holding {entries(count)} entries ({counted})", results, OPS,
                    names, PEERS, self.out)
        self.small[count] = results
        return results

    def listings(self, count, work, stores, extra=()):
        if not self.has_inspect():
            self.verdicts.note(f"{workload_of(count)} listing {entries(count)} entries", f"no {INSPECT} in this build")
            return None
        repositories = [(INSPECT, stores.repo)] + [(name.replace("zarnrepo", INSPECT), repo) for name, repo in extra]
        commands = listers(self.bin_dir, stores, work, repositories)
        rounds = {"W1": self.rounds["W1"], "W3": self.rounds["W3 listing"], "W4": self.rounds["W4 listing"]}[
            workload_of(count)]
        results, names = listing_workload(self.runner, commands, rounds, count)
        print_table(f"Listing {entries(count)} entries ({rounds_of(rounds)})", results, ("list",), names, LIST_PEERS,
                    self.out)
        self.instructions_per_entry(count, stores.repo)
        self.listing[count] = results
        return results

    def instructions_per_entry(self, count, repo):
        """callgrind's count for one listing, when it is affordable here."""
        if self.per_entry is not None and self.per_entry * count > CALLGRIND_BUDGET[self.mode]:
            self.out(f"\n(callgrind skipped at {entries(count)} entries: about "
                     f"{self.per_entry * count / 1e9:.1f} billion instructions, over this run's budget)")
            return
        argv = [os.path.join(self.bin_dir, INSPECT), f"/reposDirPath:{repo}"]
        total = callgrind_instructions(argv, self.bin_dir, self.work)
        self.per_entry = total / count
        self.out(f"\n{INSPECT}, callgrind: {total:,} instructions for {entries(count)} entries, "
                 f"{self.per_entry:,.0f} per entry (start-up included)")
        if count >= 100000:
            self.verdicts.limit(f"{workload_of(count)} listing {entries(count)}: instructions per entry",
                                self.per_entry, 1500.0, "instructions")

    def listing_targets(self, count, results, name=INSPECT):
        label = f"{workload_of(count)} listing {entries(count)}" + (" lived-in" if name != INSPECT else "")
        self.verdicts.limit(f"{label} vs sqlite3 -A -tv", results.ratio("list", name, "sqlite3 -A -tv"), 1.0)
        self.verdicts.limit(f"{label} peak memory", results.peak("list", name) / KIB, 16.0, "MiB")

    def fold(self, count, tool, log, work):
        """The add that folds the change records, once log has filled them
        up to it; its time spread over the adds from one fold to the next.
        Filling them takes thousands of adds: --quick leaves it out."""
        if not self.rounds["fold"]:
            return
        log.fill_before_fold()
        times, peak = fold_cost(self.runner, tool, log, work, self.rounds["fold"])
        per_fold = log.entries_per_fold()
        median = statistics.median(times)
        self.folds.append([entries(count), f"{log.record_size}", f"{per_fold:,}", fmt_ms(median),
                           f"{peak / KIB:.1f}", f"{median * 1000 / per_fold:.3f}"])

    # -----------------------------------------------------------------------

    def w1(self):
        work = self.folder("w1")
        stores = build_stores(self.runner, self.builder, work, 1000, "w1")
        w1 = self.small_entries(1000, work, stores, label="W1: ")
        for op in ("addFile", "modifyFile", "deleteFile"):
            self.verdicts.limit(f"W1 {op} vs sqlite3 -A", w1.ratio(op, "zarnrepo", "sqlite3 -A"), 1.0)
        self.verdicts.limit("W1 getFile vs cp", w1.ratio("getFile", "zarnrepo", "cp"), 1.5)
        self.listings(1000, work, stores)
        self.discard(work)

    def w2(self):
        work = self.folder("w2")
        rounds = self.rounds["W2"]
        w2, names = large_file_workload(self.runner, self.bin_dir, work, self.big_size, rounds)
        print_table(f"W2: one {self.big_size // MIB} MiB incompressible file, empty store ({rounds} rounds)", w2,
                    ("addFile", "getFile"), names, ["cp", "dd conv=fsync", Floor.name, "zip -0"],
                    self.out)
        self.out(f"\n({Floor.name}: getFile is dd bs=SIZE iflag=fullblock, one buffer, one read, one write; "
                 "addFile is the same with conv=fsync, then cp of the stored copy, the backup the tool makes)")
        for op in ("addFile", "getFile"):
            self.verdicts.limit(f"W2 {op} vs {Floor.name}", w2.ratio(op, "zarnrepo", Floor.name), 1.15)
        memory_bound = (self.big_size + 8 * MIB) / MIB
        for op in ("addFile", "getFile"):
            self.verdicts.limit(f"W2 {op} peak memory", w2.peak(op, "zarnrepo") / KIB, memory_bound, "MiB")
        remove(work)

    def w3(self):
        work = self.folder("w3")
        count = 100000
        stores = build_stores(self.runner, self.builder, work, count, "w3")
        lived = self.lived_in_repository(work, count)
        self.out(f"\n(W3 stores built in bulk: {stores.describe()}; {lived.describe()})")
        extra = [(LIVED_IN, lived.stores.repo)]
        w3 = self.small_entries(count, work, stores, extra, label="W3: ")
        for name, label in (("zarnrepo", "W3"), (LIVED_IN, "W3 lived-in")):
            self.large_store_targets(label, w3, name, 1.2)
        listing = self.listings(count, work, stores, extra)
        if listing:
            self.verdicts.limit("W3 listing 100,000 entries", listing.median("list", INSPECT) * 1000, 500.0, "ms")
            self.listing_targets(count, listing)
            self.listing_targets(count, listing, INSPECT_LIVED_IN)
        tool = Zarnrepo(self.runner, work, self.bin_dir, lived.stores.repo, LIVED_IN)
        self.fold(count, tool, lived.log, work)
        self.discard(work)

    def lived_in_repository(self, work, count):
        """A repository of count bulk entries whose index then took tool
        changes until its change records fill half the fold limit."""
        lived = LivedIn()
        started = time.perf_counter()
        lived.stores = build_stores(self.runner, self.builder, self.folder("lived-in", work), count, "w3",
                                    peers=False)
        source = os.path.join(work, "lived-in-source.dat")
        write_file(source, random_bytes(KIB, "lived-in"))
        lived.log = ChangeLog(self.runner, self.changer, self.bin_dir, lived.stores, source)
        lived.log.fill_to(FOLD_LIMIT // 2)
        lived.log.check_added()
        lived.seconds = time.perf_counter() - started
        return lived

    def large_store_targets(self, label, results, name, get_bound):
        w1 = self.small.get(1000)
        if w1 is not None:
            self.verdicts.limit(f"{label} getFile vs its W1 time",
                                results.median("getFile", name) / w1.median("getFile", "zarnrepo"), get_bound)
        for op in ("addFile", "modifyFile", "deleteFile"):
            self.verdicts.limit(f"{label} {op} vs sqlite3 -A", results.ratio(op, name, "sqlite3 -A"), 3.0)
            self.verdicts.limit(f"{label} {op} vs zip -0 addFile",
                                results.median(op, name) / results.median("addFile", "zip -0"), 0.1)

    def w4(self):
        work = self.folder("w4")
        count = self.w4_entries
        stores = build_stores(self.runner, self.builder, work, count, "w4")
        self.out(f"\n(W4 stores built in bulk: {stores.describe()})")
        w4 = self.small_entries(count, work, stores, label="W4: ")
        w1 = self.small.get(1000)
        if w1 is not None:
            self.verdicts.limit("W4 getFile vs its W1 time",
                                w4.median("getFile", "zarnrepo") / w1.median("getFile", "zarnrepo"), 1.3)
        listing = self.listings(count, work, stores)
        if listing:
            self.listing_targets(count, listing)
        source = os.path.join(work, "changes-source.dat")
        write_file(source, random_bytes(KIB, "w4-changes"))
        tool = Zarnrepo(self.runner, work, self.bin_dir, stores.repo)
        self.fold(count, tool, ChangeLog(self.runner, self.changer, self.bin_dir, stores, source), work)
        self.discard(work)

    def w5(self):
        work = self.folder("w5")
        rounds = self.rounds["W5"]
        results, names = writers_workload(self.runner, self.builder, self.bin_dir, work, rounds)
        self.out(f"\n### W5: 4 writers at once, each adding 250 distinct 1 KiB files to a store of 1,000 entries "
                 f"({rounds} rounds)\n")
        rows = []
        for name in names:
            seconds = results.median("4 writers", name)
            ratio = results.ratio("4 writers", name, "sqlite3 -A")
            rows.append([name, f"{seconds:.2f}", f"{1000 / seconds:.0f}",
                         "" if name == "sqlite3 -A" else f"{ratio:.2f}x"])
        print_rows(["system", "median wall s", "changes per s", "vs sqlite3 -A"], rows, self.out)
        self.out("\n(every writer exited 0; every entry checked exact afterwards. sqlite3 -A as "
                 "sqlite3 -bail -cmd '.timeout 60000' ARCHIVE 'BEGIN IMMEDIATE' '.archive -u FILE' COMMIT: "
                 "plain -A -u fails with 'database is locked' under a busy timeout, and exits 0)")
        self.verdicts.limit("W5 4 writers vs sqlite3 -A", results.ratio("4 writers", "zarnrepo", "sqlite3 -A"), 1.0)
        self.discard(work)

    def xfs(self):
        reason = unavailable_reason("xfs")
        sizes = [1000, 100000] + ([self.w4_entries] if self.rounds["W4"] else [])
        if reason:
            self.out(f"\n(XFS part skipped: {reason})")
            return
        try:
            with scratch_fs("xfs", self.work, self.image_size(max(sizes))) as mount_point:
                self.xfs_workloads(mount_point, sizes)
        except OSError as error:
            self.out(f"\n(XFS part skipped: {error})")

    def xfs_workloads(self, mount_point, sizes):
        self.out(f"\n### On a loop-mounted XFS with reflinks (zarnrepo alone; {self.rounds['xfs']} rounds each)\n")
        results = {}
        for count in sizes:
            work = self.folder(f"xfs-{count}", mount_point)
            started = time.perf_counter()
            stores = build_stores(self.runner, self.builder, work, count, "xfs", peers=False)
            built = time.perf_counter() - started
            tool = Zarnrepo(self.runner, work, self.bin_dir, stores.repo)
            results[count] = small_entries_workload(self.runner, [tool], work, self.rounds["xfs"], f"xfs{count}")
            self.out(f"({entries(count)} entries: repository built in {built:.1f} s)")
        growth_table("XFS: median ms by entries in the store", [(entries(c), results[c]) for c in sizes], OPS,
                     ["zarnrepo"], self.out)
        if len(sizes) > 2:
            for op in ("addFile", "modifyFile"):
                self.verdicts.limit(f"XFS {entries(sizes[-1])} {op} vs its XFS W1 time",
                                    results[sizes[-1]].median(op, "zarnrepo") / results[1000].median(op, "zarnrepo"),
                                    1.5)

    def growth(self):
        sizes = sorted(self.small)
        if len(sizes) < 2:
            return
        systems = ["zarnrepo", "cp", "sqlite3 -A", "zip -0"]
        growth_table(f"Growth from {entries(sizes[0])} to {entries(sizes[-1])} entries (median ms)",
                     [(entries(c), self.small[c]) for c in sizes], OPS, systems, self.out)
        listed = sorted(self.listing)
        if len(listed) > 1:
            growth_table(f"Listing growth from {entries(listed[0])} to {entries(listed[-1])} entries (median ms)",
                         [(entries(c), self.listing[c]) for c in listed], ("list",), [INSPECT] + LIST_PEERS,
                         self.out)

    def fold_table(self):
        if not self.rounds["fold"]:
            self.out("\n(the add that folds the change records is measured in the full run only)")
        if not self.folds:
            return
        self.out(f"\n### Folding the change records into a new index (limit {FOLD_LIMIT // KIB} KiB; "
                 f"{self.rounds['fold']} rounds)\n")
        print_rows(["entries", "change record bytes", "adds per fold", "folding add ms", "peak RSS MiB",
                    "fold ms per change"], self.folds, self.out)


class LivedIn:
    def describe(self):
        return (f"lived-in repository {self.seconds:.1f} s (bulk, then {self.log.next_number:,} adds through "
                f"the library, {self.log.changes_size():,} bytes of change records)")


def workload_of(count):
    return "W1" if count <= 1000 else "W3" if count <= 100000 else "W4"


def stop_on_signal(number, _frame):
    # Turns a termination into an exit, so that every finally block runs:
    # the scratch XFS is unmounted and its image removed.
    raise SystemExit(128 + number)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="folder holding zarnrepo and KVDFiles.dll")
    parser.add_argument("--builder", required=True, help="the bulk repository builder")
    parser.add_argument("--changer", required=True, help="the maker of changes through the library")
    parser.add_argument("--spawn", required=True, help="the launcher that times one command")
    parser.add_argument("--quick", action="store_true", help="fewer rounds, a smaller large file, no W4, no fold")
    parser.add_argument("--workdir", help="where the stores go (default: a new temporary folder)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the stores afterwards (then they are not put on a file system made for the run)")
    parser.add_argument("--only", default="W1,W2,W3,W4,W5,XFS", help="comma-separated workloads to run")
    parser.add_argument("--w4-entries", type=int, default=1000000,
                        help="W4's store size (smaller ones check the harness quickly)")
    args = parser.parse_args()
    for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(number, stop_on_signal)

    bench = Bench(args)
    started = time.perf_counter()
    steps = [("W1", bench.w1), ("W2", bench.w2), ("W3", bench.w3), ("W4", bench.w4), ("XFS", bench.xfs),
             ("W5", bench.w5)]
    try:
        bench.out("Each command is one process, timed from spawn to exit; ratios are medians of per-round ratios "
                  "of interleaved runs.")
        with bench.stores_place():
            for name, step in steps:
                if name not in bench.only:
                    continue
                if name == "W4" and not bench.rounds["W4"]:
                    bench.out("\n(W4, a million entries, is skipped in --quick)")
                    continue
                step_started = time.perf_counter()
                step()
                print(f"({name} took {time.perf_counter() - step_started:.0f} s)", flush=True)
        bench.growth()
        bench.fold_table()
        bench.out("\n### Targets\n")
        bench.verdicts.print(bench.out)
        bench.out(f"\nTotal time {time.perf_counter() - started:.0f} s.")
    except Failure as failure:
        print(f"bench: {failure}", file=sys.stderr)
        print(f"bench: the run's folder is kept: {bench.work}", file=sys.stderr)
        return 1
    if args.keep:
        print(f"stores kept in {bench.work}")
    else:
        remove(bench.work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
