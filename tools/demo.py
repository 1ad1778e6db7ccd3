#!/usr/bin/env python3
"""A scripted show on the bench rig: the player on one end of a virtual
serial line, ldpctl on the other, two bench decoder boards and a handful of
chapter files.

  tools/demo.py BUILD_DIR [--interactive]

--interactive leaves the player running and hands the controller's end to
an interactive ldpctl session (type commands such as "search 2", "play",
"chpenq"; Ctrl-D ends it and shuts the player down).
"""
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "rig"))
sys.path.insert(0, HERE)

import mkmpeg  # noqa: E402
from rig import Rig, relay, windows_path  # noqa: E402

PLAYER_COM, CONTROLLER_COM = 2, 12
CHAPTERS = [("Attract.mpg", 4), ("Boarding.mpg", 3), ("Chase.mpg", 60), ("Departure.mpg", 5)]
SHOW = """\
# The scripted show: chapter mode, chapter 2, play, repeat,
# a frame search with an address enquiry, still, board 1, motor on.
chapter-mode
search 2
play
chpenq
repeat
wait 1500
frame-mode
search 750
addrenq
still
board 1
srcenq
motor-on
"""
SETTINGS_KEY = "HKCU\\SOFTWARE\\Calloway Software\\Halcyra\\V2.00"


def banner(text):
    print("\n== %s ==" % text, flush=True)


def main(argv):
    build = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(REPO, "build"))
    interactive = "--interactive" in argv
    os.environ["RIG_DIR"] = os.path.join(build, "rig")
    rig = Rig()
    rig.bin = os.path.join(build, "bin")
    banner("Bench rig")
    rig.setup()
    work = os.path.join(build, "demo")
    os.makedirs(work, exist_ok=True)
    trace = os.path.join(work, "Trace.txt")
    if os.path.exists(trace):
        os.unlink(trace)
    movie = os.path.join(rig.drive_dir("d"), "Movie")
    for name, seconds in CHAPTERS:
        mkmpeg.write_stream(os.path.join(movie, name), seconds * mkmpeg.FRAMES_PER_SECOND)
    print("chapters on D:\\Movie: %s" % ", ".join(name for name, _ in CHAPTERS))
    tool = os.path.join(rig.dir, "rigtool.exe")
    rig.wine([tool, "reg-set", SETTINGS_KEY + "\\Debug", "TraceFile", "sz", windows_path(trace), ";",
              "reg-set", SETTINGS_KEY + "\\.hrx", "ComID", "sz", str(PLAYER_COM)], check=True)

    player_line, controller_line = rig.open_line(PLAYER_COM), rig.open_line(CONTROLLER_COM)
    stop = threading.Event()
    joined = threading.Thread(target=relay, args=(player_line.master, controller_line.master, stop), daemon=True)
    joined.start()
    banner("Starting hrx.exe on COM%d (two bench boards)" % PLAYER_COM)
    env = {"HALCYRA_PORT_WAIT_MS": "1000", "HALCYRA_BOARD_WAIT_MS": "500", "RTDSIM_BOARDS": "2"}
    player = rig.start([os.path.join(rig.bin, "hrx.exe")], extra_env=env, cwd=work, log_name="demo-hrx.out")
    try:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if os.path.exists(trace) and b"Opening MPEG file" in open(trace, "rb").read():
                break
            time.sleep(0.2)
        time.sleep(0.5)
        ldpctl = ["/usr/lib/wine/wine", os.path.join(rig.bin, "ldpctl.exe"), "-p", "COM%d" % CONTROLLER_COM]
        if interactive:
            banner("Interactive ldpctl on COM%d: try 'search 1', 'play', 'chpenq'; Ctrl-D ends" % CONTROLLER_COM)
            subprocess.run(ldpctl, env=rig.env())
        else:
            banner("The show, as the controller sees it (ldpctl on COM%d)" % CONTROLLER_COM)
            script = os.path.join(work, "show.ldp")
            with open(script, "w") as f:
                f.write(SHOW)
            subprocess.run(ldpctl + ["-f", windows_path(script)], env=rig.env(), stdin=subprocess.DEVNULL)
        rig.wine([tool, "post", "Halcyra.hrx", "0x10", "0", "0"])
        player.wait(timeout=30)
    finally:
        if player.poll() is None:
            player.kill()
        stop.set()
        player_line.close()
        controller_line.close()
    banner("The player's trace log (%s)" % trace)
    with open(trace, "rb") as f:
        sys.stdout.write(f.read().decode("latin-1").replace("\r\n", "\n"))
    rig.teardown()
    if not interactive:
        print("Run your own commands against the same bench: python3 tools/demo.py %s --interactive" % build)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
