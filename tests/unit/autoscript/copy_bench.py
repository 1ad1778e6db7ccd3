#!/usr/bin/env python3
"""Copy benchmark: a 100 MB file copied by `cp` and by an AutoScript COPY
(CopyFiles in copy_bench.exe under Wine), on the same disk, in one run.

Each copy runs three times, alternately, into a fresh destination; the
medians are printed with their ratio.  `cp` does not make its copy durable,
while CopyFiles writes its copy to the disk before it replaces the
destination, so `cp` followed by an fsync of the copy is printed as well.
The copies are compared byte for byte.  The performance bench (make bench)
takes its figures from measure().

  copy_bench.py WORK-DIRECTORY
"""
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import time

from rig import Rig, windows_path

SIZE = 100 * 1024 * 1024
RUNS = 3


def fresh(directory):
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)


def timed_cp(source, directory, durable):
    fresh(directory)
    target = os.path.join(directory, os.path.basename(source))
    started = time.monotonic()
    subprocess.run(["cp", source, target], check=True)
    if durable:
        fd = os.open(target, os.O_RDONLY)
        os.fsync(fd)
        os.close(fd)
    return time.monotonic() - started, target


def timed_copy_files(rig, source, directory):
    fresh(directory)
    code, out = rig.wine([os.path.join(rig.bin, "copy_bench.exe"), windows_path(source),
                          windows_path(directory) + "\\"], cwd=directory, timeout=600)
    if code != 0 or not out.startswith("CopyFiles "):
        raise RuntimeError("copy_bench failed (%d): %s" % (code, out))
    return float(out.split()[1]), os.path.join(directory, os.path.basename(source)), out


def write_source(path):
    block = os.urandom(1024 * 1024)
    with open(path, "wb") as f:
        for i in range(SIZE // len(block)):
            f.write(block[i % 251:] + block[:i % 251])


def measure(work, rig):
    """Copies a fresh 100 MB file RUNS times each way under work; returns
    the seconds of each run by copier and CopyFiles' own report, or None
    when an AutoScript copy differs from its source."""
    os.makedirs(work, exist_ok=True)
    source = os.path.join(work, "media.mpg")
    write_source(source)
    times = {"cp": [], "cp + fsync": [], "AutoScript COPY": []}
    for _ in range(RUNS):
        times["cp"].append(timed_cp(source, os.path.join(work, "cp"), False)[0])
        times["cp + fsync"].append(timed_cp(source, os.path.join(work, "cp"), True)[0])
        seconds, target, out = timed_copy_files(rig, source, os.path.join(work, "autoscript"))
        times["AutoScript COPY"].append(seconds)
        if not filecmp.cmp(source, target, shallow=False):
            return None
    shutil.rmtree(work, ignore_errors=True)
    return times, out


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    measured = measure(os.path.abspath(argv[1]), Rig())
    if not measured:
        print("the AutoScript copy differs from its source")
        return 1
    times, out = measured
    print(out.rstrip())
    mb = SIZE / 1e6
    for name, runs in times.items():
        median = statistics.median(runs)
        print("%-16s median %.3f s (%.0f MB/s)  runs %s" % (name, median, mb / median,
                                                          " ".join("%.3f" % t for t in runs)))
    copy = statistics.median(times["AutoScript COPY"])
    print("ratio AutoScript COPY / cp:         %.2f" % (copy / statistics.median(times["cp"])))
    print("ratio AutoScript COPY / cp + fsync: %.2f" % (copy / statistics.median(times["cp + fsync"])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
