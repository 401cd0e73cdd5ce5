"""A loop-mounted file system made for one part of a run and taken down on
every way out: the image file is sparse, inside the benchmark's own folder,
and is removed with the mount, and with it every file made there (removing a
million files one by one takes minutes).

XFS is made with reflinks; ext4 with an inode for every 4 KiB, enough for a
million files of 1 KiB."""
import contextlib
import os
import shutil
import subprocess

MKFS = {
    "xfs": ["mkfs.xfs", "-q", "-m", "reflink=1"],
    "ext4": ["mkfs.ext4", "-q", "-F", "-i", "4096", "-E", "lazy_itable_init=0,lazy_journal_init=0"],
}
PACKAGES = {"xfs": "xfsprogs", "ext4": "e2fsprogs"}


def unavailable_reason(kind):
    """Why no such file system can be made here, or None when it can."""
    if os.geteuid() != 0:
        return "not run as root (mounting a loop device needs root)"
    mkfs = MKFS[kind][0]
    if shutil.which(mkfs) is None:
        return f"{mkfs} is not installed (Debian package {PACKAGES[kind]})"
    with open("/proc/filesystems") as kinds:
        if not any(line.split()[-1:] == [kind] for line in kinds):
            return f"this kernel has no {kind}"
    return None


@contextlib.contextmanager
def scratch_fs(kind, work, size_bytes):
    """Yields the mount point of a new file system of this kind on a loop
    device, or raises OSError with why it could not be made."""
    image = os.path.join(work, f"{kind}.img")
    mount_point = os.path.join(work, kind)
    mounted = False
    try:
        with open(image, "wb") as out:
            out.truncate(size_bytes)
        os.makedirs(mount_point)
        run(MKFS[kind] + [image])
        run(["mount", "-o", "loop", image, mount_point])
        mounted = True
        yield mount_point
    finally:
        if mounted:
            unmount(mount_point)
        if os.path.lexists(image):
            os.unlink(image)
        if os.path.isdir(mount_point) and not os.path.ismount(mount_point):
            os.rmdir(mount_point)


def run(argv):
    done = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if done.returncode != 0:
        raise OSError(f"{' '.join(argv)}: {done.stderr.strip()}")


def unmount(mount_point):
    # Should a file there still be open, the lazy unmount detaches the file
    # system anyway, and the loop device goes with its last user.
    if subprocess.run(["umount", mount_point], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", mount_point], capture_output=True)
