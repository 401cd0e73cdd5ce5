"""The workloads: each runs its systems in interleaved rounds, checks every
result outside the timed span and returns the times."""
import os
import shlex
import subprocess
import time

from systems import (KIB, PlainFolder, SqliteArchive, ZipArchive, Zarnrepo, check, make_big_file,
                     random_bytes, remove, same_file, write_file)
from stores import build_stores
from tables import Results


def rotated(items, round_number):
    shift = round_number % len(items)
    return items[shift:] + items[:shift]


def timed(runner, results, op, system, argv_cwd, record):
    argv, cwd = argv_cwd
    seconds, rss = runner.must(argv, cwd)
    if record:
        results.add(op, system.name, seconds, rss)


def make_systems(runner, work, bin_dir, stores):
    return [Zarnrepo(runner, work, bin_dir, stores.repo), PlainFolder(runner, work, stores.folder),
            SqliteArchive(runner, work, stores.archive), ZipArchive(runner, work, stores.zipped)]


def small_entries_workload(runner, systems, work, rounds, tag, warm_up=True):
    """addFile, getFile, modifyFile, deleteFile of a 1 KiB file per round,
    on stores that hold the bulk entries; the store is back to its size after
    each round. With warm_up, a round 0 warms the caches and is not counted."""
    results = Results()
    first = random_bytes(KIB, f"{tag}-first")
    second = random_bytes(KIB, f"{tag}-second")
    stage_add = os.path.join(work, "stage-add")
    stage_modify = os.path.join(work, "stage-modify")
    outputs = os.path.join(work, "out")
    os.makedirs(os.path.join(outputs, "d"), exist_ok=True)
    first_counted = 1 if warm_up else 0
    for number in range(rounds + first_counted):
        record = number >= first_counted
        key = f"n{number:04d}"
        member = f"d/{key}.dat"
        write_file(os.path.join(stage_add, member), first)
        write_file(os.path.join(stage_modify, member), second)
        order = rotated(systems, number)

        def source_of(system, stage):
            return stage if system.takes_stage else os.path.join(stage, member)

        for system in order:
            timed(runner, results, "addFile", system, system.add(key, source_of(system, stage_add)), record)
            check(system.holds(key, expected=first), f"{system.name} addFile stored the content")

        for system in order:
            target_file = os.path.join(outputs, member)
            remove(target_file)
            target = outputs if system.takes_stage else target_file
            timed(runner, results, "getFile", system, system.get(key, target), record)
            check(same_file(target_file, expected=first), f"{system.name} getFile wrote the content")

        for system in order:
            timed(runner, results, "modifyFile", system, system.modify(key, source_of(system, stage_modify)), record)
            check(system.holds(key, expected=second), f"{system.name} modifyFile stored the content")

        for system in order:
            timed(runner, results, "deleteFile", system, system.delete(key), record)
            check(system.lacks(key), f"{system.name} deleteFile removed the entry")
        remove(os.path.join(stage_add, member))
        remove(os.path.join(stage_modify, member))
    return results


# ---------------------------------------------------------------------------
# Listing


def listers(bin_dir, stores, work, repositories):
    """The listing commands: zarnrepo-inspect of each (name, repository), and
    the peers' listings with sizes and times."""
    inspect = os.path.join(bin_dir, "zarnrepo-inspect")
    commands = {name: ([inspect, f"/reposDirPath:{repo}"], bin_dir) for name, repo in repositories}
    commands["ls -l"] = (["ls", "-l", os.path.join(stores.folder, "d")], work)
    commands["sqlite3 -A -tv"] = (["sqlite3", stores.archive, "-A", "-tv"], work)
    commands["unzip -l"] = (["unzip", "-l", stores.zipped], work)
    return commands


def listing_workload(runner, commands, rounds, count):
    """Each store listed whole; each listing must name the first and the
    last bulk entry."""
    results = Results()
    names = list(commands)
    first, last = b"e000000", f"e{count - 1:06d}".encode()
    for number in range(rounds + 1):
        for name in rotated(names, number):
            argv, cwd = commands[name]
            seconds, rss = runner.must(argv, cwd)
            if number > 0:
                results.add("list", name, seconds, rss)
            listing = runner.output_bytes()
            check(first in listing and last in listing, f"{name} listed every entry")
    return results, names


def callgrind_instructions(argv, cwd, work):
    """Instructions the whole process ran, as valgrind's callgrind counts them."""
    out_file = os.path.join(work, "callgrind.out")
    with open(os.devnull, "wb") as sink:
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}", *argv], cwd=cwd,
                       stdin=subprocess.DEVNULL, stdout=sink, stderr=subprocess.DEVNULL, check=True)
    with open(out_file) as profile:
        for line in profile:
            if line.startswith(("summary:", "totals:")):
                instructions = int(line.split()[1])
                break
        else:
            instructions = None
    remove(out_file)
    return instructions


# ---------------------------------------------------------------------------
# The large file


class Floor:
    """The same design as the tool's, done by the simplest program: one
    buffer of the file's size, one read, one write (dd bs=SIZE); an add
    flushes the copy and then copies the stored file, as the tool makes its
    backup."""

    name = "dd floor"

    def __init__(self, folder, size):
        self.stored = os.path.join(folder, "d", "big.dat")
        self.size = size

    def dd(self, source, target, *flags):
        return ["dd", f"if={source}", f"of={target}", f"bs={self.size}", "iflag=fullblock", *flags, "status=none"]

    def add_steps(self, source):
        return [self.dd(source, self.stored, "conv=fsync"), ["cp", self.stored, self.stored + ".bak"]]

    def get_steps(self, target):
        return [self.dd(self.stored, target)]


def run_steps(runner, steps, cwd):
    """Runs the commands one after the other; their summed time and peak."""
    total, peak = 0.0, 0
    for argv in steps:
        seconds, rss = runner.must(argv, cwd)
        total += seconds
        peak = max(peak, rss)
    return total, peak


def large_file_workload(runner, bin_dir, work, size, rounds):
    """addFile of one large file into an empty store, then getFile out of it.
    dd with conv=fsync stands beside cp as the price of a durable copy, and
    the dd floor as the tool's design at its cheapest."""
    results = Results()
    stage = os.path.join(work, "stage")
    source = os.path.join(stage, "d", "big.dat")
    make_big_file(source, size, "w2")
    outputs = os.path.join(work, "out")
    target_file = os.path.join(outputs, "d", "big.dat")
    # sqlite3 -A is left out here: it takes 13 s and 1.5 GiB to add 512 MiB.
    names = ["zarnrepo", "cp", "dd conv=fsync", Floor.name, "zip -0"]
    for number in range(rounds + 1):
        record = number > 0
        stores = os.path.join(work, "stores")
        repo = os.path.join(stores, "repository")
        folder = os.path.join(stores, "folder")
        durable = os.path.join(stores, "durable")
        for path in (repo, os.path.join(folder, "d"), os.path.join(durable, "d")):
            os.makedirs(path)
        floor = Floor(os.path.join(stores, "floor"), size)
        os.makedirs(os.path.dirname(floor.stored))
        tool = Zarnrepo(runner, work, bin_dir, repo)
        zipped = ZipArchive(runner, work, os.path.join(stores, "a.zip"))
        adds = {
            "zarnrepo": ([tool.add("big", source)[0]], lambda: tool.holds("big", expected_path=source)),
            "cp": ([["cp", source, os.path.join(folder, "d", "big.dat")]],
                   lambda: same_file(os.path.join(folder, "d", "big.dat"), source)),
            "dd conv=fsync": ([["dd", f"if={source}", f"of={os.path.join(durable, 'd', 'big.dat')}", "bs=4M",
                                "conv=fsync", "status=none"]],
                              lambda: same_file(os.path.join(durable, "d", "big.dat"), source)),
            Floor.name: (floor.add_steps(source),
                         lambda: same_file(floor.stored, source) and same_file(floor.stored + ".bak", source)),
            "zip -0": ([["zip", "-0", "-q", zipped.archive, "d/big.dat"]],
                       lambda: zipped.holds("big", expected_path=source)),
        }
        gets = {
            "zarnrepo": [tool.get("big", target_file)[0]],
            "cp": [["cp", os.path.join(folder, "d", "big.dat"), target_file]],
            Floor.name: floor.get_steps(target_file),
            "zip -0": [zipped.get("big", outputs)[0]],
        }
        # Each command runs where its paths start: the tool beside its
        # library, zip in the staging folder, the rest anywhere.
        add_cwd = {"zarnrepo": bin_dir, "zip -0": stage}
        get_cwd = {"zarnrepo": bin_dir}
        order = rotated(names, number)
        for name in order:
            steps, stored = adds[name]
            seconds, rss = run_steps(runner, steps, add_cwd.get(name, work))
            if record:
                results.add("addFile", name, seconds, rss)
            check(stored(), f"{name} addFile stored the content")
        for name in order:
            if name not in gets:
                continue
            remove(target_file)
            os.makedirs(os.path.dirname(target_file), exist_ok=True)
            seconds, rss = run_steps(runner, gets[name], get_cwd.get(name, work))
            if record:
                results.add("getFile", name, seconds, rss)
            check(same_file(target_file, source), f"{name} getFile wrote the content")
        remove(stores)
        remove(target_file)
    return results, names


# ---------------------------------------------------------------------------
# Writers at once


WRITERS = 4
ADDS_PER_WRITER = 250


def writer_keys(writer):
    return [f"w{writer}k{index:03d}" for index in range(ADDS_PER_WRITER)]


def writer_scripts(system, stage):
    """One shell script per writer: its adds one after the other, stopping
    at the first that fails."""
    scripts = []
    for writer in range(WRITERS):
        lines = ["set -e"]
        for key in writer_keys(writer):
            argv, cwd = writer_command(system, key, stage)
            lines.append(f"cd {shlex.quote(cwd)} && {shlex.join(argv)}")
        scripts.append("\n".join(lines) + "\n")
    return scripts


def writer_command(system, key, stage):
    member = system.member(key)
    if isinstance(system, SqliteArchive):
        # sqlite3 -A -u opens a deferred transaction: a writer that read the
        # table before another took the write lock fails at once with
        # "database is locked", busy timeout or not, and exits 0. An
        # immediate transaction takes the write lock first, waiting for it.
        return ["sqlite3", "-bail", "-cmd", ".timeout 60000", system.archive, "BEGIN IMMEDIATE",
                f".archive -u {member}", "COMMIT"], stage
    return system.add(key, os.path.join(stage, member))


def writers_workload(runner, builder, bin_dir, work, rounds):
    """Four writers at once, each adding 250 distinct 1 KiB files into one
    store holding 1,000 entries: zarnrepo, sqlite3 -A and cp. Every writer
    must exit 0, and every entry must be there, exact, afterwards."""
    results = Results()
    stage = os.path.join(work, "stage")
    contents = {}
    for writer in range(WRITERS):
        for key in writer_keys(writer):
            contents[key] = random_bytes(KIB, f"w5-{key}")
            write_file(os.path.join(stage, "d", f"{key}.dat"), contents[key])
    names = ["zarnrepo", "sqlite3 -A", "cp"]
    # A thousand changes per system and round warm the caches themselves: no
    # round goes uncounted.
    for number in range(rounds):
        stores = build_stores(runner, builder, os.path.join(work, f"round{number}"), 1000, "w5")
        tool, folder, archive, _ = make_systems(runner, work, bin_dir, stores)
        systems = {"zarnrepo": tool, "sqlite3 -A": archive, "cp": folder}
        for name in rotated(names, number):
            system = systems[name]
            seconds = run_writers(writer_scripts(system, stage), work)
            results.add("4 writers", name, seconds, 0)
            check_writers(system, contents, bin_dir, runner)
        remove(os.path.join(work, f"round{number}"))
    return results, names


def run_writers(scripts, work):
    """Starts every writer at once; the wall time until the last one ends."""
    paths = []
    for index, script in enumerate(scripts):
        path = os.path.join(work, f"writer{index}.sh")
        with open(path, "w") as out:
            out.write(script)
        paths.append(path)
    os.sync()
    logs = [open(path + ".log", "wb") for path in paths]
    started = time.perf_counter()
    writers = [subprocess.Popen(["sh", path], stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
               for path, log in zip(paths, logs)]
    codes = [writer.wait() for writer in writers]
    seconds = time.perf_counter() - started
    for log in logs:
        log.close()
    for path, code in zip(paths, codes):
        with open(path + ".log", "rb") as log:
            check(code == 0, f"writer {path} exited 0: {log.read().decode('utf-8', 'replace')[-500:]}")
    return seconds


def check_writers(system, contents, bin_dir, runner):
    for key, data in contents.items():
        check(system.holds(key, expected=data), f"{system.name} holds {key} exactly")
    if isinstance(system, Zarnrepo):
        check_index_names(system, list(contents) + ["e000000", "e000999"], bin_dir, runner)


def check_index_names(tool, keys, bin_dir, runner):
    """That the index holds every key: one listing, or a getFile of each
    where the build has no zarnrepo-inspect."""
    inspect = os.path.join(bin_dir, "zarnrepo-inspect")
    if os.path.exists(inspect):
        runner.must([inspect, f"/reposDirPath:{tool.repo}"], bin_dir, sync_first=False)
        listing = runner.output_bytes()
        for key in keys:
            check(f"{key}\t".encode() in listing, f"the index lists {key}")
        return
    probe = os.path.join(tool.work, "probe.dat")
    for key in keys:
        runner.must(*tool.get(key, probe), sync_first=False)
        remove(probe)
