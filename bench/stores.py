"""The stores the workloads run on, made in bulk, and the change records a
repository gathers through the tool's life."""
import concurrent.futures
import os
import shutil
import sqlite3
import subprocess
import time
import zipfile

from systems import KIB, check, remove, same_file

# Up to this many entries each peer's store is made by its own bulk command.
# Beyond it those take long on a small machine (here, at 100,000 entries
# sqlite3 -A -c took 25 s, zlib trying every file; at 1,000,000 entries cp -r
# took 3.3 min, sqlite3 -A -c 4.5 to 8 min, zip -0 -r 1.9 min), so the folder
# is made of hard links to the repository's stored copies (no command ever
# writes those), and the archives are written by Python's own sqlite3 and
# zipfile modules, one pass over the files each: the table sqlite3 -A makes,
# and a zip file of stored members. The three run side by side.
BULK_COMMAND_LIMIT = 10000

# The index's change records are folded into a new base once they pass this
# size (the library's limit).
FOLD_LIMIT = 256 * KIB
INDEX = "ZarnRepository.bin"


class Stores:
    """A repository and the same files in a folder, an SQLite archive and a
    zip file; built[name] says how long each took and how it was made."""

    def __init__(self, repo, folder=None, archive=None, zipped=None):
        self.repo = repo
        self.folder = folder
        self.archive = archive
        self.zipped = zipped
        self.built = {}
        # The index's size as built: a base and no change records.
        self.base_size = os.path.getsize(os.path.join(repo, INDEX))

    def describe(self):
        return ", ".join(f"{name} {seconds:.1f} s ({how})" for name, (seconds, how) in self.built.items())


def timed_step(stores, name, how, step):
    started = time.perf_counter()
    step()
    stores.built[name] = (time.perf_counter() - started, how)


def build_stores(runner, builder, work, count, tag, peers=True):
    """A repository of count entries in one pass and, with peers, the same
    files in a plain folder, an SQLite archive and a zip file."""
    os.makedirs(work, exist_ok=True)
    repo = os.path.join(work, f"{tag}-repository")
    started = time.perf_counter()
    runner.must([builder, repo, str(count)], work, sync_first=False)
    stores = Stores(repo)
    stores.built["repository"] = (time.perf_counter() - started, "zarnrepo-bench-build")
    if not peers:
        os.sync()
        return stores
    source = os.path.join(repo, "d")
    stores.folder = os.path.join(work, f"{tag}-folder")
    stores.archive = os.path.join(work, f"{tag}.sqlar")
    stores.zipped = os.path.join(work, f"{tag}.zip")
    os.makedirs(stores.folder)
    folder_d = os.path.join(stores.folder, "d")
    if count <= BULK_COMMAND_LIMIT:
        timed_step(stores, "folder", "cp -r", lambda: runner.must(["cp", "-r", source, folder_d], work, False))
        timed_step(stores, "sqlite3 -A", "sqlite3 -A -c",
                   lambda: runner.must(["sqlite3", stores.archive, "-A", "-c", "d"], stores.folder, False))
        timed_step(stores, "zip -0", "zip -0 -r",
                   lambda: runner.must(["zip", "-0", "-q", "-r", stores.zipped, "d"], stores.folder, False))
    else:
        timed_step(stores, "folder and archives", "at once: cp -al, hard links; Python's sqlite3; Python's zipfile",
                   lambda: make_peers_at_once(stores, repo))
    os.sync()
    return stores


def make_peers_at_once(stores, repo):
    """The folder of hard links, the SQLite archive and the zip file, each
    one pass over the repository's stored copies, side by side."""
    folder_d = os.path.join(stores.folder, "d")
    with concurrent.futures.ProcessPoolExecutor(max_workers=3) as pool:
        jobs = [pool.submit(subprocess.run, ["cp", "-al", os.path.join(repo, "d"), folder_d], check=True),
                pool.submit(write_sqlar, stores.archive, repo), pool.submit(write_zip, stores.zipped, repo)]
        for job in jobs:
            job.result()


def members(parent):
    """Each file below parent/d as its member name, its status and content."""
    files = os.path.join(parent, "d")
    for name in sorted(os.listdir(files)):
        path = os.path.join(files, name)
        with open(path, "rb") as f:
            yield f"d/{name}", os.fstat(f.fileno()), f.read()


def write_sqlar(archive, parent):
    """The table and rows sqlite3 -A -c makes: the folder, then each file,
    its content stored as it is, since compressing random bytes would not
    make it smaller."""
    with sqlite3.connect(archive) as db:
        db.execute("PRAGMA cache_size = -262144")
        db.execute("CREATE TABLE sqlar(name TEXT PRIMARY KEY, mode INT, mtime INT, sz INT, data BLOB)")
        info = os.stat(os.path.join(parent, "d"))
        db.execute("INSERT INTO sqlar VALUES ('d', ?, ?, 0, NULL)", (info.st_mode, int(info.st_mtime)))
        db.executemany("INSERT INTO sqlar VALUES (?, ?, ?, ?, ?)",
                       ((member, info.st_mode, int(info.st_mtime), info.st_size, data)
                        for member, info, data in members(parent)))
    db.close()


def write_zip(zipped, parent):
    """A zip file of the same files, stored."""
    with zipfile.ZipFile(zipped, "w", zipfile.ZIP_STORED) as zip_file:
        for member, info, data in members(parent):
            entry = zipfile.ZipInfo(member, time.localtime(info.st_mtime)[:6])
            entry.external_attr = info.st_mode << 16
            zip_file.writestr(entry, data)


# ---------------------------------------------------------------------------
# Change records


class ChangeLog:
    """Fills a repository's index with the change records that tool runs
    leave, through zarnrepo-bench-changes (each of its adds is the library
    call sequence of one addFile). Entries "f0000000", "f0000001"... at
    "d/f<n>.dat", 1 KiB each."""

    def __init__(self, runner, changer, bin_dir, stores, source):
        self.runner = runner
        self.changer = changer
        self.library = os.path.join(bin_dir, "KVDFiles.dll")
        self.stores = stores
        self.source = source
        self.next_number = 0
        self.record_size = None

    def index_path(self):
        return os.path.join(self.stores.repo, INDEX)

    def changes_size(self):
        """Bytes of change records after the base; valid until a fold."""
        return os.path.getsize(self.index_path()) - self.stores.base_size

    def add(self, count):
        before = os.path.getsize(self.index_path())
        # eatmydata turns the library's flushes into nothing: the bytes it
        # writes stay the same, and one sync afterwards puts them on disk.
        unflushed = ["eatmydata"] if shutil.which("eatmydata") else []
        self.runner.must(unflushed + [self.changer, self.library, self.stores.repo, self.source, "f",
                                      str(self.next_number), str(count)], self.stores.repo, sync_first=False)
        os.sync()
        self.next_number += count
        grown = os.path.getsize(self.index_path()) - before
        check(grown > 0, "the changes were appended to the index, not folded into a new one")
        self.record_size = grown // count
        check(self.record_size * count == grown, "every add appended a change record of one size")

    def fill_to(self, size):
        """Adds entries until the change records reach size bytes."""
        if self.record_size is None:
            self.add(16)
        missing = size - self.changes_size()
        if missing > 0:
            self.add(-(-missing // self.record_size))

    def fill_before_fold(self):
        """Adds entries until one more add of the same size would fold."""
        if self.record_size is None:
            self.add(16)
        room = (FOLD_LIMIT - self.changes_size()) // self.record_size
        if room > 0:
            self.add(room)
        check(self.changes_size() + self.record_size > FOLD_LIMIT, "the next add folds the change records")

    def entries_per_fold(self):
        """Adds of this size from one fold to the next, the folding one too."""
        return FOLD_LIMIT // self.record_size + 1

    def check_added(self):
        for number in (0, self.next_number - 1):
            check(same_file(os.path.join(self.stores.repo, "d", f"f{number:07d}.dat"), self.source),
                  "zarnrepo-bench-changes stored its content")


def fold_cost(runner, tool, log, work, rounds):
    """Times the add that folds the change records into a new index: each
    round starts from the same index (a copy taken just before the fold), so
    every round folds. Returns the times in seconds and the peak RSS."""
    index = log.index_path()
    snapshot = os.path.join(work, "index-before-fold")
    shutil.copyfile(index, snapshot)
    source = log.source
    times, peak = [], 0
    for number in range(rounds + 1):
        key = f"g{number:07d}"
        argv, cwd = tool.add(key, source)
        appended_to = os.stat(index).st_ino
        seconds, rss = runner.must(argv, cwd)
        # A fold writes a new index file and renames it into place.
        check(os.stat(index).st_ino != appended_to, "the add folded the change records into a new index")
        check(tool.holds(key, expected_path=source), "the folding add stored its content")
        if number > 0:
            times.append(seconds)
            peak = max(peak, rss)
        for leftover in (tool.stored_path(key), tool.stored_path(key) + ".bak"):
            remove(leftover)
        staged = index + ".restore"
        shutil.copyfile(snapshot, staged)
        os.replace(staged, index)
    remove(snapshot)
    return times, peak
