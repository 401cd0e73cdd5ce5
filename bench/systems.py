"""The benchmark's runner of one command, its content and checks, and the
systems it compares: zarnrepo, cp into a plain folder, SQLite's archive mode
and zip -0."""
import os
import random
import shutil
import sqlite3
import subprocess
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

    def output_bytes(self):
        with open(self.log_path, "rb") as log:
            return log.read()

    def output(self):
        return self.output_bytes().decode("utf-8", "replace").strip()

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
    return random.Random(seed).randbytes(size)


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def make_big_file(path, size, seed):
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
    # Whether add and modify take the staging folder (which holds the source
    # as "d/NAME.dat") instead of the source file itself.
    takes_stage = False

    def __init__(self, runner, work):
        self.runner = runner
        self.work = work

    def member(self, key):
        return f"d/{key}.dat"


class Zarnrepo(System):
    def __init__(self, runner, work, bin_dir, repo, name="zarnrepo"):
        super().__init__(runner, work)
        self.name = name
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
    takes_stage = True

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
    takes_stage = True

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


