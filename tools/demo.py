#!/usr/bin/env python3
"""A scripted show on the bench rig: the player on one end of a virtual
serial line, ldpctl on the other, two bench decoder boards and a handful of
chapter files; then the same show on two screen boards (board type 4),
whose windows appear on the X display at hand ($DISPLAY) or else on an Xvfb
of the demo's own, and a picture of that screen is saved as
BUILD/demo/screens.png before the player shuts down.

  tools/demo.py BUILD_DIR [--interactive | --screens]

--interactive runs the bench boards' show only, leaves the player running
and hands the controller's end to an interactive ldpctl session (type
commands such as "chapter-mode", "search 2", "play", "chpenq"; "help" lists
them; "quit" or Ctrl-D Enter ends it and shuts the player down).
--screens runs the screen boards' show only.
"""
import os
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path[:0] = [HERE, os.path.join(REPO, "tests", "rig"), os.path.join(REPO, "tests", "system")]

import mkmpeg  # noqa: E402
from player import Player  # noqa: E402
from rig import PixelRig, Rig, relay, wait_until, windows_path  # noqa: E402

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
# On screen boards the show ends with both boards showing pictures: board 0
# paused on frame 750 of chapter 2, board 1 playing chapter 1.
SCREEN_SHOW = SHOW.replace("srcenq\nmotor-on\n", "chapter-mode\nsearch 1\nplay\nwait 2000\nsrcenq\n")


def banner(text):
    print("\n== %s ==" % text, flush=True)


def run_ldpctl(rig, work, interactive, show):
    """The show from a script, or an interactive session."""
    ldpctl = ["/usr/lib/wine/wine", os.path.join(rig.bin, "ldpctl.exe"), "-p", "COM%d" % CONTROLLER_COM]
    if interactive:
        # The player starts in frame mode, where "search 1" seeks frame 1.
        banner("Interactive ldpctl on COM%d: try 'chapter-mode', 'search 1', 'play', 'chpenq'; "
               "'help' lists the commands; 'quit' or Ctrl-D Enter ends" % CONTROLLER_COM)
        subprocess.run(ldpctl, env=rig.env())
    else:
        banner("The show, as the controller sees it (ldpctl on COM%d)" % CONTROLLER_COM)
        script = os.path.join(work, "show.ldp")
        with open(script, "w") as f:
            f.write(show)
        subprocess.run(ldpctl + ["-f", windows_path(script)], env=rig.env(), stdin=subprocess.DEVNULL)


def write_chapters(movie, screens):
    """The chapter files: for bench boards the generator's streams, whose
    pictures do not decode; for screen boards real pictures and sound,
    made with ffmpeg."""
    os.makedirs(movie, exist_ok=True)
    for name, seconds in CHAPTERS:
        path = os.path.join(movie, name)
        if not screens:
            mkmpeg.write_stream(path, seconds * mkmpeg.FRAMES_PER_SECOND)
            continue
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "testsrc=size=352x288:rate=25:duration=%d" % seconds, "-f", "lavfi", "-i",
                        "sine=frequency=440:duration=%d" % seconds, "-c:v", "mpeg1video", "-b:v", "1000k",
                        "-c:a", "mp2", "-f", "mpeg", path], check=True, stdin=subprocess.DEVNULL)
    print("chapters on D:\\Movie: %s" % ", ".join(name for name, _ in CHAPTERS))


def start_rig(build, screens):
    """The bench rig; for screen boards one that draws on the X display at
    hand, or on an Xvfb of its own."""
    if not screens:
        banner("Bench rig")
        rig = Rig()
        rig.setup()
    elif os.environ.get("DISPLAY"):
        banner("Bench rig on the display %s" % os.environ["DISPLAY"])
        rig = PixelRig(os.path.join(build, "demo-screens"))
        rig.display = os.environ["DISPLAY"]
        rig.setup()
    else:
        banner("Bench rig with a screen (Xvfb)")
        rig = PixelRig(os.path.join(build, "demo-screens"))
        rig.setup_pixels()
    rig.bin = os.path.join(build, "bin")
    return rig


def stop_rig(rig):
    if isinstance(rig, PixelRig) and not os.environ.get("DISPLAY"):
        rig.teardown_pixels()
    else:
        rig.teardown()


def main(argv):
    build = os.path.abspath(argv[1] if len(argv) > 1 and not argv[1].startswith("--") else
                            os.path.join(REPO, "build"))
    interactive = "--interactive" in argv
    os.environ["RIG_DIR"] = os.path.join(build, "rig")
    os.environ["TEST_WORK_DIR"] = build   # the player's folder is BUILD/demo
    shows = [True] if "--screens" in argv else [False] if interactive else [False, True]
    for screens in shows:
        show(build, screens, interactive)
    if not interactive:
        print("Run your own commands against the same bench: python3 tools/demo.py %s --interactive" % build)
    return 0


def show(build, screens, interactive):
    rig = start_rig(build, screens)
    write_chapters(os.path.join(rig.drive_dir("d"), "Movie"), screens)
    player = Player("demo", rig)
    settings = {"Debug\\TraceFile": windows_path(player.trace_path), ".hrx\\ComID": str(PLAYER_COM)}
    if screens:
        settings["Control\\BoardType"] = "4"
    player.set_settings(settings)

    controller_line = rig.open_line(CONTROLLER_COM)
    banner("Starting hrx.exe on COM%d (two %s boards)" % (PLAYER_COM, "screen" if screens else "bench"))
    player.start(com=PLAYER_COM, port_wait_ms=1000, board_wait_ms=500, extra_env={"RTDSIM_BOARDS": "2"})
    stop = threading.Event()
    joined = threading.Thread(target=relay, args=(player.line.master, controller_line.master, stop), daemon=True)
    joined.start()
    try:
        try:
            wait_until(lambda: b"Opening MPEG file" in player.trace_raw(), 30)
            time.sleep(0.5)
            run_ldpctl(rig, player.work, interactive, SCREEN_SHOW if screens else SHOW)
            if screens:
                picture = os.path.join(player.work, "screens.png")
                rig.screenshot().save_png(picture)
                banner("The board windows: %s" % picture)
        finally:
            stop.set()
            joined.join()
            controller_line.close()
        player.close()
    finally:
        player.kill()
    banner("The player's trace log (%s)" % player.trace_path)
    sys.stdout.write(player.trace_raw().decode("latin-1").replace("\r\n", "\n"))
    stop_rig(rig)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
