#!/usr/bin/env python3
"""Runs a command with the bench rig's COM<n> pointing at a pty master: the
port opens, but every wait on it fails at once, as on a line that has been
hung up.  The command learns the port from HRX_DEAD_LINE_COM.

    dead_line.py N -- CMD...
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "rig"))
from rig import Rig  # noqa: E402


def main(argv):
    if len(argv) < 4 or argv[2] != "--":
        print(__doc__)
        return 2
    com = int(argv[1])
    link = Rig().line_link(com)
    os.makedirs(os.path.dirname(link), exist_ok=True)
    tmp = link + ".new"
    if os.path.lexists(tmp):
        os.unlink(tmp)
    os.symlink("/dev/ptmx", tmp)
    os.replace(tmp, link)
    try:
        env = dict(os.environ, HRX_DEAD_LINE_COM=str(com))
        return subprocess.run(argv[3:], env=env).returncode
    finally:
        os.unlink(link)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
