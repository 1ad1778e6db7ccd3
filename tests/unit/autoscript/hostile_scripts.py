#!/usr/bin/env python3
"""2,000 random AutoScript files on a scratch drive: maps S: to a directory
of the test's own, runs hostile_scripts_tests.exe there with Wine's heap
checks on, and checks that nothing outside the scratch drive changed: not
the bench rig's drives D: to H:, not the test's own directory (files that
scripts commonly name wait there), not the prefix's drive C:.  The run's log
and tray requests go to a directory of their own, the only one outside the
scratch drive that may change.  HRX_SEED chooses another seed.

  hostile_scripts.py PROGRAM
"""
import os
import re
import shutil
import sys

from rig import Rig, windows_path

HEAP_REPORT = re.compile(r"^[0-9a-f]+:(?:err|warn):heap:.*$", re.M)
SENTINELS = ["Halcyra.inf", "a.mpg", "notes.txt", "Media/a.mpg", "Media/b.mpg", "Movie/a.mpg", "sub/deeper/a.mpg"]


def snapshot(roots, skip):
    """{path: (size, modification time, mode)} of every file and directory
    under the roots, except those under a path in skip."""
    seen = {}
    for root in roots:
        for directory, subdirectories, files in os.walk(root):
            subdirectories[:] = [d for d in subdirectories if os.path.join(directory, d) not in skip]
            for name in subdirectories + files:
                path = os.path.join(directory, name)
                status = os.lstat(path)
                seen[path] = (status.st_size, status.st_mtime_ns, status.st_mode)
    return seen


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    program = argv[1]
    rig = Rig()
    work = os.environ.get("TEST_WORK_DIR") or os.getcwd()
    scratch, output = os.path.join(work, "scratch"), os.path.join(work, "output")
    for directory in (scratch, output):
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
    for name in SENTINELS:
        path = os.path.join(work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("outside the scratch drive: " + name)

    roots = [rig.drives, work, os.path.join(rig.prefix, "drive_c")]
    skip = {scratch, output}
    before = snapshot(roots, skip)
    rig.map_drive("s", scratch)
    try:
        code, out = rig.wine([program], timeout=900, cwd=work, extra_env={
            "WINEDEBUG": "warn+heap",
            "HOSTILE_OUTSIDE": windows_path(output),
            "HALCYRA_RIG_MCI_LOG": windows_path(os.path.join(output, "tray.log")),
        })
    finally:
        rig.unmap_drive("s")
    print(out)
    after = snapshot(roots, skip)

    faults = []
    if code != 0:
        faults.append("the program failed (%d)" % code)
    faults += ["Wine's heap checks: " + line for line in HEAP_REPORT.findall(out)[:5]]
    for path in sorted(set(before) | set(after)):
        if before.get(path) != after.get(path):
            faults.append("changed outside the scratch drive: %s" % path)
    for fault in faults[:20]:
        print("FAULT: " + fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
