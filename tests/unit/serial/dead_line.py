#!/usr/bin/env python3
"""Runs a command with the bench rig's COM<n> on a line that is hung up as
soon as the program raises DTR on it: the port stays open, but every read on
it fails at once, as when the controller's end of the line goes away.  The
command learns the port from HRX_DEAD_LINE_COM.

    dead_line.py N -- CMD...
"""
import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "rig"))
from rig import Rig, wait_until  # noqa: E402

DTR_WAIT_S = 60


def hang_up_once_dtr_is_raised(line, done):
    wait_until(lambda: line.dtr() == 1 or done.is_set(), DTR_WAIT_S)
    line.close()


def main(argv):
    if len(argv) < 4 or argv[2] != "--":
        print(__doc__)
        return 2
    com = int(argv[1])
    rig = Rig()
    os.makedirs(rig.lines, exist_ok=True)
    line = rig.open_line(com)
    done = threading.Event()
    hang_up = threading.Thread(target=hang_up_once_dtr_is_raised, args=(line, done))
    hang_up.start()
    try:
        env = dict(os.environ, HRX_DEAD_LINE_COM=str(com))
        return subprocess.run(argv[3:], env=env).returncode
    finally:
        done.set()
        hang_up.join()
        os.unlink(rig.line_link(com))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
