#!/usr/bin/env python3
"""A small disk for the AutoScript tests: a tmpfs of 256 KB with 8 inodes,
so a copy onto it runs out of room and a file cannot be created once it is
filled.  Mounting needs root; without it the tests that need the disk are
skipped and say so.

  small_disk.py mount DIR     mounts it at DIR (again if it is mounted)
  small_disk.py unmount DIR   unmounts it
"""
import os
import subprocess
import sys


def unmount(directory):
    if os.path.ismount(directory):
        subprocess.run(["umount", directory], check=True)


def mount(directory):
    unmount(directory)
    os.makedirs(directory, exist_ok=True)
    if os.geteuid() != 0:
        print("not root: no small disk is mounted at %s" % directory)
        return 0
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k,nr_inodes=8,mode=0777", "tmpfs", directory])
    if result.returncode != 0:
        print("mount failed: no small disk is mounted at %s" % directory)
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "mount":
        return mount(argv[2])
    if len(argv) == 3 and argv[1] == "unmount":
        unmount(argv[2])
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
