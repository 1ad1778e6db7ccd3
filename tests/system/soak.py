#!/usr/bin/env python3
"""The long run (make soak): hrx.exe on a bench rig of its own, two bench
decoder boards looping chapters, a show controller sending seeded random
valid Sony LDP commands for SOAK_SECONDS (default one hour), in cues of one
to twenty commands, and checking every answer byte for byte; a
property-sheet restart (OK) and an AutoScript COPY from a CD every
SOAK_EVENT_SECONDS (default ten minutes), each also once in the first
minutes, so that the level measured after five minutes holds what they
take once.

The player's private bytes (its committed private memory, region by region)
and its handle count are measured from outside after five minutes and at
the end.  A reference process (rigtool serial-waits) waits for bytes the
way the player's receive thread does, on a port of its own that gets one
byte for each cue, and the growth of its private bytes is counted apart as
Wine's (Wine 8 kept about 200 bytes of the heap for every overlapped
WaitCommEvent, the player's earlier wait; a pending read keeps none).  The
run passes when no answer was missed and both figures, the player's own,
end within 2 % of their level after five minutes.  A line of figures is
printed every minute.

  soak.py BUILD-DIRECTORY

Environment: SOAK_SECONDS, SOAK_EVENT_SECONDS, SOAK_PAUSE_MS (between cues,
default 100), HRX_SEED.
"""
import os
import random
import re
import shutil
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [HERE, os.path.join(REPO, "tests", "rig"), os.path.join(REPO, "tools")]

import mkmpeg  # noqa: E402
from controller import (ACK, AUDIOOFF, AUDIOON, CHPENQ, CLEARALL, COMPLETION, EJECT, ENTER, FFAST,  # noqa: E402
                        FPLAY, FSLOW, FSTEP, MOTORON, NOT_TARGET, REPEAT, SADDRENQ, SEARCH, SETCHPMODE,
                        SETFRMMODE, SETSCRMODE, SRCENQ, STILL, STOP, VIDEO_EXTERNAL, VIDEO_MPEG, VIDEOOFF,
                        VIDEOON)
from player import Player, WINDOW_CLASS  # noqa: E402
from rig import Rig, windows_path  # noqa: E402

BOARDS = 2
CHAPTERS = [("Attract.mpg", 4), ("Boarding.mpg", 6), ("Chase.mpg", 8), ("Departure.mpg", 5)]
BASELINE_S = 300
TOLERANCE = 0.02
PORT_WAIT_MS = 1000
ANSWER_TIMEOUT_S = 60      # a cue of frame searches holds the player until each frame is reached
LOOP_EVERY_S = 30          # the boards are set looping again this often
FIRST_RESTART_S, FIRST_COPY_S = 60, 150
REPORT_EVERY_S = 60
AUTOSCRIPT_NOTICE_S = 30
LONGEST_CUE = 20
COPIED_CHAPTER = "Boarding.mpg"
REFERENCE_PORT, REFERENCE_CLASS = 9, "RigSerialWaits"
REFERENCE_END = b"\x04"
FRAME_ANSWER = b"(?:[0-9]{5})"


def environment_number(name, default):
    return int(os.environ.get(name, default))


class Controller:
    """The show controller: sends cues of valid commands, knows the answer
    each must get from what it has sent before, and counts every miss."""

    def __init__(self, line, seed, reference):
        self.line = line
        self.reference = reference   # gets one byte for every cue
        self.random = random.Random(seed)
        self.commands = 0
        self.cues = 0
        self.missed = []
        self.times = []
        self.cue = []
        self.reset()

    def reset(self):
        """The player's state after start-up and after a restart."""
        self.chapter, self.board, self.in_chapter_mode = 0, 0, False

    # -- building a cue ------------------------------------------------------------
    def add(self, command, answer):
        """answer: the exact bytes, or None for a frame number."""
        self.cue.append((command, answer))

    def search_chapter(self, number):
        found = number < len(CHAPTERS)
        digits = str(number).encode()
        self.add(SEARCH + digits + ENTER, ACK * (len(digits) + 2) + (COMPLETION if found else NOT_TARGET))
        if found:
            self.chapter = number

    def select_board(self, number):
        digits = str(number).encode()
        self.add(SETSCRMODE + digits + ENTER, ACK * 3 + (COMPLETION if number < BOARDS else NOT_TARGET))
        if number < BOARDS:
            self.board = number

    def set_chapter_mode(self, on):
        if self.in_chapter_mode != on:
            self.add(SETCHPMODE if on else SETFRMMODE, ACK)
            self.in_chapter_mode = on

    def loop_boards(self):
        """Every board plays a chapter over and over."""
        for board in range(BOARDS):
            self.select_board(board)
            self.set_chapter_mode(True)
            self.search_chapter(self.random.randrange(len(CHAPTERS)))
            self.add(REPEAT, ACK)
            self.add(FPLAY, ACK)
        self.send()

    def random_command(self):
        r = self.random.random()
        if r < 0.20:
            self.add(CHPENQ, b"%02d" % self.chapter)
        elif r < 0.30:
            self.add(SRCENQ, b"%02d" % self.board)
        elif r < 0.36:
            self.set_chapter_mode(False)
            self.add(SADDRENQ, None)
        elif r < 0.48:
            self.set_chapter_mode(True)
            self.search_chapter(self.random.randrange(len(CHAPTERS) + 1))
        elif r < 0.51:
            self.set_chapter_mode(False)
            digits = str(self.random.randrange(50)).encode()
            self.add(SEARCH + digits + ENTER, ACK * (len(digits) + 2) + COMPLETION)
        elif r < 0.59:
            self.select_board(self.random.randrange(BOARDS + 1))
        elif r < 0.99:
            self.add(self.random.choice([FPLAY, STILL, FSTEP, FSLOW, FFAST, STOP, VIDEOON, VIDEOOFF, AUDIOON,
                                         AUDIOOFF, REPEAT, VIDEO_MPEG, VIDEO_EXTERNAL, VIDEOON, AUDIOON,
                                         FPLAY]), ACK)
        elif r < 0.995:
            self.add(CLEARALL, ACK)
            self.chapter, self.in_chapter_mode = 0, False
        else:
            command = self.random.choice([EJECT, MOTORON])
            self.add(command, ACK)
            if command == MOTORON:
                self.chapter, self.board = 0, 0

    def random_cue(self):
        for _ in range(self.random.randint(1, LONGEST_CUE)):
            self.random_command()
        self.send()

    # -- sending it ------------------------------------------------------------------
    def send(self):
        """Writes the cue's bytes at once and checks the answers, in order."""
        cue, self.cue = self.cue, []
        command = b"".join(c for c, _ in cue)
        pattern = b"".join(FRAME_ANSWER if a is None else re.escape(a) for _, a in cue)
        length = sum(5 if a is None else len(a) for _, a in cue)
        started = time.monotonic()
        self.line.write(command)
        self.reference.write(b"w")
        answer = self.line.read(length, timeout=ANSWER_TIMEOUT_S)
        self.times.append(time.monotonic() - started)
        self.cues += 1
        self.commands += len(cue)
        if not re.fullmatch(pattern, answer):
            self.missed.append((time.strftime("%H:%M:%S"), command, pattern, answer))
            # What is still on its way belongs to this cue.
            self.line.read_quiet(1.0)

    def answer_times_ms(self):
        times = sorted(self.times) or [0]
        self.times = []
        return (statistics.median(times) * 1000, times[int(len(times) * 0.99)] * 1000, times[-1] * 1000)


class Soak:
    def __init__(self, build):
        self.duration = environment_number("SOAK_SECONDS", 3600)
        self.period = environment_number("SOAK_EVENT_SECONDS", 600)
        self.pause = environment_number("SOAK_PAUSE_MS", 100) / 1000
        self.seed = environment_number("HRX_SEED", 14)
        self.baseline_at = min(BASELINE_S, self.duration // 2)
        build = os.path.abspath(build)
        os.environ.setdefault("HRX_BIN", os.path.join(build, "bin"))
        os.environ["TEST_WORK_DIR"] = os.path.join(build, "soak")
        self.rig = Rig(os.path.join(build, "rig-soak"), tools_dir=os.path.join(build, "rig"))
        self.player = None
        self.events = self.schedule()

    def schedule(self):
        """(second, event) pairs: one of each early, then every period."""
        events = {(FIRST_RESTART_S, "restart"), (FIRST_COPY_S, "copy")}
        at = self.period
        while at < self.duration:
            events.add((at, "restart"))
            events.add((at + self.period // 2, "copy"))
            at += self.period
        return sorted(e for e in events if e[0] < self.duration)

    # -- the rig and the player ---------------------------------------------------
    def start_reference(self):
        """The reference process that makes Wine's serial waits alone."""
        self.reference_line = self.rig.open_line(REFERENCE_PORT)
        self.reference = self.rig.start([os.path.join(self.rig.tools_dir, "rigtool.exe"), "serial-waits",
                                         "COM%d" % REFERENCE_PORT], log_name="serial-waits.out")

    def stop_reference(self):
        if not getattr(self, "reference", None):
            return
        self.reference_line.write(REFERENCE_END)
        try:
            self.reference.wait(timeout=10)
        except Exception:
            self.reference.kill()
        self.reference_line.close()

    def set_up(self):
        self.rig.setup()
        self.start_reference()
        self.player = Player("soak", rig=self.rig)
        p = self.player
        p.tool(["wait-window", REFERENCE_CLASS, 20000])
        p.clear_settings()
        movie = os.path.join(self.rig.drive_dir("d"), "Movie")
        for name, seconds in CHAPTERS:
            mkmpeg.write_stream(os.path.join(movie, name), seconds * mkmpeg.FRAMES_PER_SECOND)
        self.cd = self.rig.drive_dir("e")
        os.makedirs(os.path.join(self.cd, "Media"), exist_ok=True)
        shutil.copy(os.path.join(movie, COPIED_CHAPTER), os.path.join(self.cd, "Media", COPIED_CHAPTER))
        with open(os.path.join(self.cd, "Halcyra.inf"), "wb") as f:
            f.write(b'; media update\r\nCOPY "~:\\Media\\*.mpg" D:\\Movie\\\r\n')
        self.rig.unmap_drive("e")
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path), ".hrx\\ComID": "2"})
        p.start(com=2, port_wait_ms=PORT_WAIT_MS, extra_env={"RTDSIM_BOARDS": str(BOARDS)})
        if p.line.read(1, timeout=60) != ACK:
            raise RuntimeError("no start-up acknowledgement")
        p.wait_window()
        self.controller = Controller(p.line, self.seed, self.reference_line)

    def usage(self):
        """(private bytes, handles) of the player and (private bytes,
        handles) of the reference process."""
        player, reference = self.player.ask(["process-usage", WINDOW_CLASS], ["process-usage", REFERENCE_CLASS])
        return tuple(int(v) for v in player[0].split()), tuple(int(v) for v in reference[0].split())

    def restart(self):
        """File > Properties, OK: everything restarts, then the player
        acknowledges once."""
        sheet = self.player.open_properties()
        sheet.ok()
        if self.player.line.read(1, timeout=60) != ACK:
            self.controller.missed.append((time.strftime("%H:%M:%S"), b"(restart)", ACK, b""))
        self.controller.reset()
        self.controller.loop_boards()

    @staticmethod
    def trace_since(path, offset):
        with open(path, "rb") as f:
            f.seek(offset)
            return f.read()

    def copy(self):
        """A CD with a script that copies a chapter onto D: is inserted, the
        run is waited for while cues go on, and the CD is taken out."""
        trace = self.player.trace_path
        start = os.path.getsize(trace)
        self.rig.map_drive("e", self.cd)
        deadline = time.monotonic() + AUTOSCRIPT_NOTICE_S
        while b" - AutoScript completed\r\n" not in self.trace_since(trace, start):
            if time.monotonic() > deadline:
                self.controller.missed.append((time.strftime("%H:%M:%S"), b"(AutoScript COPY)", b"completed", b""))
                break
            for _ in range(5):
                self.controller.random_cue()
                time.sleep(self.pause)
        self.rig.unmap_drive("e")

    # -- the run ------------------------------------------------------------------------
    def report(self, elapsed):
        (private, handles), (reference, _) = self.usage()
        c = self.controller
        median, p99, worst = c.answer_times_ms()
        print("soak: %5d s %7d commands in %6d cues, %d missed; %d private bytes, %d handles; reference %d"
              " private bytes; a cue answered in %.1f ms (median), %.1f ms (99 %%), %.1f ms (most)"
              % (elapsed, c.commands, c.cues, len(c.missed), private, handles, reference, median, p99, worst),
              flush=True)

    def run(self):
        print("soak: %d s, events every %d s, seed %d" % (self.duration, self.period, self.seed), flush=True)
        print("soak: " + ", ".join("%s at %d s" % (name, at) for at, name in self.events), flush=True)
        self.set_up()
        c = self.controller
        c.loop_boards()
        started = time.monotonic()
        next_loop, next_report = LOOP_EVERY_S, REPORT_EVERY_S
        baseline = None
        events = list(self.events)
        while True:
            elapsed = time.monotonic() - started
            if elapsed >= self.duration:
                break
            if events and elapsed >= events[0][0]:
                name = events.pop(0)[1]
                print("soak: %5d s %s" % (elapsed, name), flush=True)
                if name == "restart":
                    self.restart()
                else:
                    self.copy()
            elif baseline is None and elapsed >= self.baseline_at:
                baseline = self.usage()
                print("soak: %5d s level: %d private bytes, %d handles; reference %d private bytes"
                      % (elapsed, baseline[0][0], baseline[0][1], baseline[1][0]), flush=True)
            elif elapsed >= next_loop:
                c.loop_boards()
                next_loop += LOOP_EVERY_S
            elif elapsed >= next_report:
                self.report(elapsed)
                next_report += REPORT_EVERY_S
            else:
                c.random_cue()
                time.sleep(self.pause)
        return baseline, self.usage()

    def finish(self, baseline, end):
        p = self.player
        c = self.controller
        code = p.close(timeout=60)
        trace_end = p.trace()[-3:]
        faults = ["%s: %r expected %r, got %r" % missed for missed in c.missed[:20]]
        if code != 0 or trace_end != ["Halcyra Remote Closed", "", ""]:
            faults.append("shut-down: exit code %s, trace ends %r" % (code, trace_end))
        print("soak: %d commands in %d cues, %d cues missed" % (c.commands, c.cues, len(c.missed)))
        (first_private, first_handles), (first_reference, _) = baseline
        (last_private, last_handles), (last_reference, _) = end
        wine = last_reference - first_reference
        own = last_private - wine
        print("soak: private bytes after %d s: %d; at the end: %d, of which %d the reference's growth for"
              " Wine's serial waits: the player's own %d (%+.2f %%)"
              % (self.baseline_at, first_private, last_private, wine, own,
                 (own - first_private) * 100 / first_private))
        print("soak: handles after %d s: %d; at the end: %d (%+.2f %%)"
              % (self.baseline_at, first_handles, last_handles, (last_handles - first_handles) * 100 / first_handles))
        for name, first, last in (("private bytes", first_private, own), ("handles", first_handles, last_handles)):
            if abs(last - first) > TOLERANCE * first:
                faults.append("%s changed by %+.2f %%" % (name, (last - first) * 100 / first))
        for fault in faults:
            print("soak: FAULT " + fault)
        print("soak: %s" % ("passed" if not faults else "FAILED"), flush=True)
        return 0 if not faults else 1

    def tear_down(self):
        if self.player:
            self.player.kill()
        self.stop_reference()
        self.rig.unmap_drive("e")
        self.rig.teardown()


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    soak = Soak(argv[1])
    try:
        baseline, end = soak.run()
        return soak.finish(baseline, end)
    finally:
        soak.tear_down()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
