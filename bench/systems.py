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
import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

KIB = 1024
MIB = 1024 * KIB
OPS = ("addFile", "getFile", "modifyFile", "deleteFile")


class Failure(Exception):
    pass


# ---------------------------------------------------------------------------
# Running one command


class Runner:
    def __init__(self, spawn, work):
        self.spawn = spawn
        self.log_path = os.path.join(work, "last-command-output.txt")
        self.report_path = os.path.join(work, "last-command-report.txt")
        self.paths = {}

    def resolve(self, program):
        if program not in self.paths:
            found = program if os.path.isabs(program) else shutil.which(program)
            if not found:
                raise Failure(f"{program} is not installed")
            self.paths[program] = found
        return self.paths[program]

    def run(self, argv, cwd, sync_first=True):
        """Runs argv in cwd; returns (seconds, peak RSS in KiB, exit code)."""
        path = self.resolve(argv[0])
        if sync_first:
            # Dirty pages of the previous command must not be written back
            # during this one.
            os.sync()
        with open(self.log_path, "wb") as log:
            # The launcher times the command from its fork to its exit.
            subprocess.run([self.spawn, self.report_path, path, *argv[1:]], cwd=cwd, stdin=subprocess.DEVNULL,
                           stdout=log, stderr=subprocess.STDOUT, check=True)
        with open(self.report_path) as report:
            nanoseconds, rss, code = (int(field) for field in report.read().split())
        return nanoseconds / 1e9, rss, code

    def output(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", "replace").strip()

    def must(self, argv, cwd, sync_first=True):
        seconds, rss, code = self.run(argv, cwd, sync_first)
        if code != 0:
            raise Failure(f"exit code {code} from {' '.join(argv)} in {cwd}: {self.output()}")
        return seconds, rss


# ---------------------------------------------------------------------------
# Content and checks


def random_bytes(size, seed):
    # Incompressible and reproducible; os.urandom would do as well, but a
    # failed check is easier to chase with content that can be made again.
    import random

    return random.Random(seed).randbytes(size)


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def make_big_file(path, size, seed):
    import random

    generator = random.Random(seed)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left:
            chunk = min(left, 8 * MIB)
            out.write(generator.randbytes(chunk))
            left -= chunk


def same_file(path, expected_path=None, expected=None):
    """True when the file at path holds exactly the expected bytes."""
    if not os.path.isfile(path):
        return False
    if expected is not None:
        with open(path, "rb") as f:
            return f.read() == expected
    if os.path.getsize(path) != os.path.getsize(expected_path):
        return False
    with open(path, "rb") as a, open(expected_path, "rb") as b:
        while True:
            x = a.read(4 * MIB)
            y = b.read(4 * MIB)
            if x != y:
                return False
            if not x:
                return True


def check(condition, what):
    if not condition:
        raise Failure(f"check failed: {what}")


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        # rm is several times faster than shutil.rmtree on 100,000 files.
        subprocess.run(["rm", "-rf", "--", path], check=True)
    elif os.path.lexists(path):
        os.unlink(path)


# ---------------------------------------------------------------------------
# The systems: each knows how to do the four commands on its own store and
# how to read back what it holds. A member is named "d/NAME.dat" everywhere.


class System:
    name = ""

    def __init__(self, runner, work):
        self.runner = runner
        self.work = work

    def member(self, key):
        return f"d/{key}.dat"


class Zarnrepo(System):
    name = "zarnrepo"

    def __init__(self, runner, work, bin_dir, repo):
        super().__init__(runner, work)
        self.bin_dir = bin_dir
        self.repo = repo
        self.tool = os.path.join(bin_dir, "zarnrepo")

    # The tool loads KVDFiles.dll from the folder current at its start.
    def _run(self, *options):
        return [self.tool, *options, f"/reposDirPath:{self.repo}"]

    def add(self, key, source):
        return self._run("/command:addFile", f"/fileId:{key}", "/fileDesc:benchmark entry",
                         "/fileVersion:1", "/filePermissions:3", f"/sourceFilePath:{source}",
                         f"/targetFilePath:{self.member(key)}"), self.bin_dir

    def get(self, key, target):
        return self._run("/command:getFile", f"/fileId:{key}", f"/targetFilePath:{target}"), self.bin_dir

    def modify(self, key, source):
        return self._run("/command:modifyFile", f"/fileId:{key}", f"/sourceFilePath:{source}"), self.bin_dir

    def delete(self, key):
        return self._run("/command:deleteFile", f"/fileId:{key}"), self.bin_dir

    def stored_path(self, key):
        return os.path.join(self.repo, self.member(key))

    def holds(self, key, expected=None, expected_path=None):
        return same_file(self.stored_path(key), expected_path, expected)

    def lacks(self, key):
        probe = os.path.join(self.work, "probe.dat")
        argv, cwd = self.get(key, probe)
        _, _, code = self.runner.run(argv, cwd, sync_first=False)
        remove(probe)
        return code == 1 and not os.path.lexists(self.stored_path(key))


class PlainFolder(System):
    """cp into a plain folder: no index, no durability."""

    name = "cp"

    def __init__(self, runner, work, folder):
        super().__init__(runner, work)
        self.folder = folder

    def add(self, key, source):
        return ["cp", source, os.path.join(self.folder, self.member(key))], self.work

    def get(self, key, target):
        return ["cp", os.path.join(self.folder, self.member(key)), target], self.work

    def modify(self, key, source):
        return self.add(key, source)

    def delete(self, key):
        return ["rm", os.path.join(self.folder, self.member(key))], self.work

    def holds(self, key, expected=None, expected_path=None):
        return same_file(os.path.join(self.folder, self.member(key)), expected_path, expected)

    def lacks(self, key):
        return not os.path.lexists(os.path.join(self.folder, self.member(key)))


class SqliteArchive(System):
    """SQLite's archive mode: each change one transaction, flushed to disk."""

    name = "sqlite3 -A"

    def __init__(self, runner, work, archive):
        super().__init__(runner, work)
        self.archive = archive

    # Sources are staged as STAGE/d/KEY.dat so that the member gets its name.
    def add(self, key, staged_dir):
        return ["sqlite3", self.archive, "-A", "-u", self.member(key)], staged_dir

    def get(self, key, target_dir):
        return ["sqlite3", self.archive, "-A", "-x", "-C", target_dir, self.member(key)], self.work

    def modify(self, key, staged_dir):
        # -i replaces whatever the modification time says.
        return ["sqlite3", self.archive, "-A", "-i", self.member(key)], staged_dir

    def delete(self, key):
        return ["sqlite3", self.archive, "-A", "-r", self.member(key)], self.work

    def _row(self, key):
        with sqlite3.connect(f"file:{self.archive}?mode=ro", uri=True) as db:
            return db.execute("SELECT sz, data FROM sqlar WHERE name = ?", (self.member(key),)).fetchone()

    def holds(self, key, expected=None, expected_path=None):
        row = self._row(key)
        if row is None:
            return False
        size, data = row
        if len(data) != size:
            data = zlib.decompress(data)
        if expected is None:
            with open(expected_path, "rb") as f:
                expected = f.read()
        return data == expected

    def lacks(self, key):
        return self._row(key) is None


class ZipArchive(System):
    """zip -0 (stored, no compression) and unzip; no flush to disk."""

    name = "zip -0"

    def __init__(self, runner, work, archive):
        super().__init__(runner, work)
        self.archive = archive

    def add(self, key, staged_dir):
        return ["zip", "-0", "-q", self.archive, self.member(key)], staged_dir

    def get(self, key, target_dir):
        return ["unzip", "-o", "-q", self.archive, self.member(key), "-d", target_dir], self.work

    def modify(self, key, staged_dir):
        return self.add(key, staged_dir)

    def delete(self, key):
        return ["zip", "-q", "-d", self.archive, self.member(key)], self.work

    def holds(self, key, expected=None, expected_path=None):
        with zipfile.ZipFile(self.archive) as archive:
            try:
                info = archive.getinfo(self.member(key))
            except KeyError:
                return False
            if expected is None:
                return same_stream(archive.open(info), expected_path)
            return archive.read(info) == expected

    def lacks(self, key):
        with zipfile.ZipFile(self.archive) as archive:
            return self.member(key) not in archive.namelist()


def same_stream(stream, expected_path):
    with stream, open(expected_path, "rb") as b:
        while True:
            x = stream.read(4 * MIB)
            y = b.read(4 * MIB)
            if x != y:
                return False
            if not x:
                return True


# ---------------------------------------------------------------------------
# Results


class Results:
    """Times and peak memory per (command, system), in round order."""

    def __init__(self):
        self.seconds = {}
        self.rss = {}

    def add(self, op, system, seconds, rss):
        self.seconds.setdefault((op, system), []).append(seconds)
        self.rss.setdefault((op, system), []).append(rss)

    def median(self, op, system):
        values = self.seconds.get((op, system))
        return statistics.median(values) if values else None

    def peak(self, op, system):
        values = self.rss.get((op, system))
        return max(values) if values else None

    def ratio(self, op, system, peer):
        """Median of the per-round ratios of two systems' times."""
        a = self.seconds.get((op, system))
        b = self.seconds.get((op, peer))
        if not a or not b:
            return None
        return statistics.median(x / y for x, y in zip(a, b))


def fmt_ms(seconds):
    if seconds is None:
        return "-"
    ms = seconds * 1000
    return f"{ms:.2f}" if ms < 10 else f"{ms:.1f}" if ms < 1000 else f"{ms:.0f}"


def fmt_ratio(value):
    return "-" if value is None else f"{value:.2f}x"


def print_table(title, results, ops, systems, peers, out):
    out(f"\n### {title}\n")
    header = ["command", "system", "median ms", "peak RSS MiB"] + [f"vs {p}" for p in peers]
    rows = []
    for op in ops:
        for system in systems:
            median = results.median(op, system)
            if median is None:
                continue
            row = [op, system, fmt_ms(median), f"{results.peak(op, system) / KIB:.1f}"]
            for peer in peers:
                row.append("" if peer == system else fmt_ratio(results.ratio(op, system, peer)))
            rows.append(row)
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
    out(line(header))
    out("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        out(line(row))


# ---------------------------------------------------------------------------
# Workloads


def rotated(items, round_number):
    shift = round_number % len(items)
    return items[shift:] + items[:shift]


def timed(runner, results, op, system, argv_cwd, record):
    argv, cwd = argv_cwd
    seconds, rss = runner.must(argv, cwd)
    if record:
        results.add(op, system.name, seconds, rss)


def small_entries_workload(runner, systems, work, rounds, tag):
    """addFile, getFile, modifyFile, deleteFile of a 1 KiB file per round,
    on stores that hold the bulk entries; the store is back to its size after
    each round. Round 0 warms the caches and is not counted."""
    results = Results()
    first = random_bytes(KIB, f"{tag}-first")
    second = random_bytes(KIB, f"{tag}-second")
    stage_add = os.path.join(work, "stage-add")
    stage_modify = os.path.join(work, "stage-modify")
    outputs = os.path.join(work, "out")
    os.makedirs(os.path.join(outputs, "d"), exist_ok=True)
    for number in range(rounds + 1):
        record = number > 0
        key = f"n{number:04d}"
        member = f"d/{key}.dat"
        write_file(os.path.join(stage_add, member), first)
        write_file(os.path.join(stage_modify, member), second)
        order = rotated(systems, number)

        for system in order:
            source = os.path.join(stage_add, member)
            argv_cwd = system.add(key, stage_add if isinstance(system, (SqliteArchive, ZipArchive)) else source)
            timed(runner, results, "addFile", system, argv_cwd, record)
            check(system.holds(key, expected=first), f"{system.name} addFile stored the content")

        for system in order:
            target_file = os.path.join(outputs, member)
            remove(target_file)
            target = outputs if isinstance(system, (SqliteArchive, ZipArchive)) else target_file
            timed(runner, results, "getFile", system, system.get(key, target), record)
            check(same_file(target_file, expected=first), f"{system.name} getFile wrote the content")

        for system in order:
            source = os.path.join(stage_modify, member)
            argv_cwd = system.modify(key, stage_modify if isinstance(system, (SqliteArchive, ZipArchive)) else source)
            timed(runner, results, "modifyFile", system, argv_cwd, record)
            check(system.holds(key, expected=second), f"{system.name} modifyFile stored the content")

        for system in order:
            timed(runner, results, "deleteFile", system, system.delete(key), record)
            check(system.lacks(key), f"{system.name} deleteFile removed the entry")
        remove(os.path.join(stage_add, member))
        remove(os.path.join(stage_modify, member))
    return results


def listing_workload(runner, systems, bin_dir, rounds, count):
    """Each store listed whole: zarnrepo-inspect, ls -l, sqlite3 -A -t and
    unzip -l; each listing must name the first and the last bulk entry."""
    results = Results()
    tool, folder, archive, zipped = systems
    commands = {
        "zarnrepo-inspect": ([os.path.join(bin_dir, "zarnrepo-inspect"), f"/reposDirPath:{tool.repo}"], bin_dir),
        "ls -l": (["ls", "-l", os.path.join(folder.folder, "d")], folder.work),
        "sqlite3 -A": (["sqlite3", archive.archive, "-A", "-t"], archive.work),
        "unzip -l": (["unzip", "-l", zipped.archive], zipped.work),
    }
    names = list(commands)
    for number in range(rounds + 1):
        for name in rotated(names, number):
            argv, cwd = commands[name]
            seconds, rss = runner.must(argv, cwd)
            if number > 0:
                results.add("list", name, seconds, rss)
            listing = runner.output()
            check("e000000" in listing and f"e{count - 1:06d}" in listing, f"{name} listed every entry")
    return results, names


def build_stores(runner, builder, work, count, tag):
    """A repository of count entries in one pass, and the same files in a
    plain folder, an SQLite archive and a zip file, each made in bulk."""
    started = time.perf_counter()
    repo = os.path.join(work, f"{tag}-repository")
    runner.must([builder, repo, str(count)], work, sync_first=False)
    folder = os.path.join(work, f"{tag}-folder")
    os.makedirs(folder)
    runner.must(["cp", "-r", os.path.join(repo, "d"), os.path.join(folder, "d")], work, sync_first=False)
    archive = os.path.join(work, f"{tag}.sqlar")
    runner.must(["sqlite3", archive, "-A", "-c", "d"], folder, sync_first=False)
    zipped = os.path.join(work, f"{tag}.zip")
    runner.must(["zip", "-0", "-q", "-r", zipped, "d"], folder, sync_first=False)
    os.sync()
    return repo, folder, archive, zipped, time.perf_counter() - started


def make_systems(runner, work, bin_dir, stores):
    repo, folder, archive, zipped, _ = stores
    return [Zarnrepo(runner, work, bin_dir, repo), PlainFolder(runner, work, folder),
            SqliteArchive(runner, work, archive), ZipArchive(runner, work, zipped)]


def large_file_workload(runner, bin_dir, work, size, rounds):
    """addFile of one large file into an empty store, then getFile out of it.
    dd with conv=fsync stands beside cp as the price of a durable copy."""
    results = Results()
    stage = os.path.join(work, "stage")
    source = os.path.join(stage, "d", "big.dat")
    make_big_file(source, size, "w2")
    outputs = os.path.join(work, "out")
    target_file = os.path.join(outputs, "d", "big.dat")
    names = ["zarnrepo", "cp", "dd conv=fsync", "sqlite3 -A", "zip -0"]
    for number in range(rounds + 1):
        record = number > 0
        stores = os.path.join(work, "stores")
        os.makedirs(stores)
        repo = os.path.join(stores, "repository")
        os.makedirs(repo)
        folder = os.path.join(stores, "folder")
        durable = os.path.join(stores, "durable")
        os.makedirs(os.path.join(folder, "d"))
        os.makedirs(os.path.join(durable, "d"))
        tool = Zarnrepo(runner, work, bin_dir, repo)
        archive = SqliteArchive(runner, work, os.path.join(stores, "a.sqlar"))
        zipped = ZipArchive(runner, work, os.path.join(stores, "a.zip"))
        adds = {
            "zarnrepo": (tool.add("big", source), lambda: tool.holds("big", expected_path=source)),
            "cp": ((["cp", source, os.path.join(folder, "d", "big.dat")], work),
                   lambda: same_file(os.path.join(folder, "d", "big.dat"), source)),
            "dd conv=fsync": ((["dd", f"if={source}", f"of={os.path.join(durable, 'd', 'big.dat')}", "bs=4M",
                                "conv=fsync", "status=none"], work),
                              lambda: same_file(os.path.join(durable, "d", "big.dat"), source)),
            "sqlite3 -A": ((["sqlite3", archive.archive, "-A", "-c", "d/big.dat"], stage),
                           lambda: archive.holds("big", expected_path=source)),
            "zip -0": ((["zip", "-0", "-q", zipped.archive, "d/big.dat"], stage),
                       lambda: zipped.holds("big", expected_path=source)),
        }
        gets = {
            "zarnrepo": tool.get("big", target_file),
            "cp": (["cp", os.path.join(folder, "d", "big.dat"), target_file], work),
            "sqlite3 -A": archive.get("big", outputs),
            "zip -0": zipped.get("big", outputs),
        }
        order = rotated(names, number)
        for name in order:
            argv, cwd = adds[name][0]
            seconds, rss = runner.must(argv, cwd)
            if record:
                results.add("addFile", name, seconds, rss)
            check(adds[name][1](), f"{name} addFile stored the content")
        for name in order:
            if name not in gets:
                continue
            remove(target_file)
            os.makedirs(os.path.dirname(target_file), exist_ok=True)
            argv, cwd = gets[name]
            seconds, rss = runner.must(argv, cwd)
            if record:
                results.add("getFile", name, seconds, rss)
            check(same_file(target_file, source), f"{name} getFile wrote the content")
        remove(stores)
        remove(target_file)
    return results, names


# ---------------------------------------------------------------------------
# Targets


class Verdicts:
    def __init__(self):
        self.rows = []

    def limit(self, what, value, bound, unit="x"):
        if value is None:
            self.rows.append((what, "-", f"<= {bound}{unit}", "not measured"))
            return
        met = value <= bound
        shown = f"{value:.2f}{unit}" if unit == "x" else f"{value:.1f} {unit}"
        slack = f"met ({bound / value:.2f}x headroom)" if met else f"NOT met ({value / bound:.2f}x over)"
        bound_shown = f"{bound}{unit}" if unit == "x" else f"{bound:.1f} {unit}"
        self.rows.append((what, shown, f"<= {bound_shown}", slack))

    def note(self, what, text):
        self.rows.append((what, "-", "-", text))

    def print(self, out):
        header = ("target", "measured", "bound", "verdict")
        widths = [max(len(r[i]) for r in self.rows + [header]) for i in range(4)]
        line = lambda cells: "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"
        out(line(header))
        out("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for row in self.rows:
            out(line(row))


def growth_table(small, large, systems, out):
    out("\n### Growth from 1,000 to 100,000 entries (median time at 100,000 / at 1,000)\n")
    header = ["command"] + systems
    rows = []
    for op in OPS:
        row = [op]
        for system in systems:
            a = small.median(op, system)
            b = large.median(op, system)
            row.append("-" if a is None or b is None else f"{fmt_ms(a)} -> {fmt_ms(b)} ms ({b / a:.2f}x)")
        rows.append(row)
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    line = lambda cells: "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"
    out(line(header))
    out("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        out(line(row))


# ---------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="folder holding zarnrepo and KVDFiles.dll")
    parser.add_argument("--builder", required=True, help="the bulk repository builder")
    parser.add_argument("--spawn", required=True, help="the launcher that times one command")
    parser.add_argument("--quick", action="store_true", help="fewer rounds and a smaller large file")
    parser.add_argument("--workdir", help="where the stores go (default: a new temporary folder)")
    parser.add_argument("--keep", action="store_true", help="keep the stores afterwards")
    parser.add_argument("--only", default="W1,W2,W3", help="comma-separated workloads to run")
    args = parser.parse_args()

    if args.quick:
        rounds = {"W1": 7, "W2": 2, "W3": 3}
        big_size = 128 * MIB
    else:
        rounds = {"W1": 31, "W2": 5, "W3": 15}
        big_size = 512 * MIB
    only = set(args.only.split(","))
    bin_dir = os.path.abspath(args.bin)
    builder = os.path.abspath(args.builder)
    work = tempfile.mkdtemp(prefix="zarnrepo-bench-", dir=args.workdir)
    runner = Runner(os.path.abspath(args.spawn), work)
    lines = []

    def out(text=""):
        print(text, flush=True)
        lines.append(text)

    started = time.perf_counter()
    verdicts = Verdicts()
    w1 = w3 = None
    try:
        out(f"Stores in {work}; each command is one process, timed from spawn to exit; "
            f"ratios are medians of per-round ratios of interleaved runs.")
        if "W1" in only or "W3" in only:
            w1_work = os.path.join(work, "w1")
            os.makedirs(w1_work)
            stores = build_stores(runner, builder, w1_work, 1000, "w1")
            w1 = small_entries_workload(runner, make_systems(runner, w1_work, bin_dir, stores), w1_work,
                                        rounds["W1"], "w1")
            print_table(f"W1: 1 KiB file, stores holding 1,000 entries ({rounds['W1']} rounds)", w1, OPS,
                        ["zarnrepo", "cp", "sqlite3 -A", "zip -0"], ["cp", "sqlite3 -A", "zip -0"], out)
            for op in ("addFile", "modifyFile", "deleteFile"):
                verdicts.limit(f"W1 {op} vs sqlite3 -A", w1.ratio(op, "zarnrepo", "sqlite3 -A"), 1.0)
            verdicts.limit("W1 getFile vs cp", w1.ratio("getFile", "zarnrepo", "cp"), 1.5)
            remove(w1_work)

        if "W2" in only:
            w2_work = os.path.join(work, "w2")
            os.makedirs(w2_work)
            w2, names = large_file_workload(runner, bin_dir, w2_work, big_size, rounds["W2"])
            print_table(f"W2: one {big_size // MIB} MiB incompressible file, empty store ({rounds['W2']} rounds)",
                        w2, ("addFile", "getFile"), names, ["cp", "dd conv=fsync", "sqlite3 -A", "zip -0"], out)
            verdicts.limit("W2 getFile vs cp", w2.ratio("getFile", "zarnrepo", "cp"), 1.5)
            verdicts.limit("W2 addFile vs cp", w2.ratio("addFile", "zarnrepo", "cp"), 4.0)
            verdicts.limit("W2 addFile vs zip -0", w2.ratio("addFile", "zarnrepo", "zip -0"), 0.5)
            memory_bound = (big_size + 8 * MIB) / MIB
            for op in ("addFile", "getFile"):
                verdicts.limit(f"W2 {op} peak memory", w2.peak(op, "zarnrepo") / KIB, memory_bound, "MiB")
            remove(w2_work)

        if "W3" in only:
            w3_work = os.path.join(work, "w3")
            os.makedirs(w3_work)
            stores = build_stores(runner, builder, w3_work, 100000, "w3")
            out(f"\n(W3 stores built in bulk in {stores[4]:.1f} s: repository by zarnrepo-bench-build, "
                "folder by one cp -r, archives by one sqlite3 -A -c and one zip -0 -r)")
            w3 = small_entries_workload(runner, make_systems(runner, w3_work, bin_dir, stores), w3_work,
                                        rounds["W3"], "w3")
            print_table(f"W3: 1 KiB file, stores holding 100,000 entries ({rounds['W3']} rounds)", w3, OPS,
                        ["zarnrepo", "cp", "sqlite3 -A", "zip -0"], ["cp", "sqlite3 -A", "zip -0"], out)
            if w1 is not None:
                small = w1.median("getFile", "zarnrepo")
                verdicts.limit("W3 getFile vs its W1 time", w3.median("getFile", "zarnrepo") / small, 1.2)
            for op in ("addFile", "modifyFile", "deleteFile"):
                verdicts.limit(f"W3 {op} vs sqlite3 -A", w3.ratio(op, "zarnrepo", "sqlite3 -A"), 3.0)
                verdicts.limit(f"W3 {op} vs zip -0 addFile", w3.median(op, "zarnrepo") / w3.median("addFile", "zip -0"),
                               0.1)
            if os.path.exists(os.path.join(bin_dir, "zarnrepo-inspect")):
                listing, names = listing_workload(runner, make_systems(runner, w3_work, bin_dir, stores), bin_dir,
                                                  rounds["W3"], 100000)
                print_table(f"W3: listing 100,000 entries ({rounds['W3']} rounds)", listing, ("list",), names,
                            names[1:], out)
                verdicts.limit("W3 listing 100,000 entries", listing.median("list", "zarnrepo-inspect") * 1000,
                               500.0, "ms")
            else:
                verdicts.note("W3 listing 100,000 entries < 0.5 s", "no zarnrepo-inspect in this build")
            remove(w3_work)
            if w1 is not None:
                growth_table(w1, w3, ["zarnrepo", "cp", "sqlite3 -A", "zip -0"], out)

        out("\n### Targets\n")
        verdicts.print(out)
        out(f"\nTotal time {time.perf_counter() - started:.0f} s.")
    except Failure as failure:
        print(f"bench: {failure}", file=sys.stderr)
        print(f"bench: stores kept in {work}", file=sys.stderr)
        return 1
    if args.keep:
        print(f"stores kept in {work}")
    else:
        remove(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
