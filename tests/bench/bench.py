#!/usr/bin/env python3
"""The performance bench (make bench): the real hrx.exe with KSmpeg.dll and
two bench decoder boards that loop chapters under repeat, on a bench rig of
its own (BUILD/bench-rig), measured in one run:

  1. reply latency of 10,000 LDP commands sent one at a time by a native
     controller (ldpbench) on the pty master;
  2. no loss: 20,000 STILL bytes in one burst, and 20,000 at the 9600-baud
     line rate, each answered by exactly one ACK;
  3. idle cost: the player's CPU time while both boards play and the line
     is silent, and the playback watcher's period from the bench decoder's
     time-stamped journal;
  4. TrimFile of a 100,000-line log to 1,000 lines against tail;
  5. a 100 MB AutoScript COPY against cp (the AutoScript copy bench);
  6. screen boards (board type 4) on an Xvfb of the bench's own, Wine's X11
     driver drawing: 1, 4, 8 and 16 boards each playing a 352x288 MPEG-1
     file at 25 pictures a second for 60 s, with the pictures shown late
     (the library's picture journal), the player's CPU per board and the
     reply latency of SRCENQ (which changes nothing a board does) while they
     play; 100 frame searches to random pictures of a one-hour file, timed
     from the search's ENTER to the picture on screen; and FFmpeg decoding
     the same file natively (ffmpeg -benchmark, one thread) for the ratio;
     and sound with pictures: one board plays a file with a beep at every
     whole second for 10 minutes into a PulseAudio null sink, whose
     recording gives when each beep was heard, against when the picture of
     the same second came on screen (the journal).

Two references put the player's figures in proportion: a native echo on a
pty (what this machine's ptys cost) and serial_floor.exe, which answers the
line through the same Win32 calls and threads as the player with none of
its work (what Wine costs).  serial_floor.exe runs a second time waiting
with WaitCommEvent, as the player used to, so the pending read's gain
shows.  Each STILL's latency is also cut in two at its
board call, from the decoder's journal.

Prints one table of figures, targets and ratios and writes BUILD/bench.json.
The test files of 6 are made once with ffmpeg into BUILD/bench-media.

  bench.py BUILD_DIR            everything
  bench.py BUILD_DIR screens    the screen boards (6) alone
"""
import array
import bisect
import json
import math
import os
import glob
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
for folder in ("tests/rig", "tests/system", "tests/unit/autoscript", "tools"):
    sys.path.insert(0, os.path.join(REPO, folder))

import copy_bench  # noqa: E402
import mkmpeg  # noqa: E402
from controller import (ACK, COMPLETION, ENTER, FPLAY, REPEAT, SEARCH, SETCHPMODE, SETFRMMODE,  # noqa: E402
                        SETSCRMODE, STILL)
from player import Player, journal_calls, read_file  # noqa: E402
from rig import (XVFB_SCREEN, PixelRig, Rig, record_sound, start_sound_device, stop_process, wait_until,  # noqa: E402
                 windows_path)

PLAYER_COM = 2
BOARDS = 2
# Chapter n lasts 2 + n % 4 seconds: a looping board starts its file again
# every few seconds.
CHAPTERS = 12
LOOPING_CHAPTERS = (1, 2)  # played under repeat by boards 0 and 1
LATENCY_COMMANDS = 10000
STREAM_BYTES = 20000
LINE_RATE = 960  # bytes a second on a 9600-baud line, 10 bits a byte
IDLE_SECONDS = 30
# The references: a native echo, and serial_floor.exe under Wine.
FLOOR_COMMANDS, FLOOR_IDLE_SECONDS, FLOOR_STREAM_BYTES = 3000, 10, 5000
TRIM_LINES, TRIM_KEEP, TRIM_RUNS = 100000, 1000, 5

BYTE_TIME_MS = 10 * 1000 / 9600
LDP1000A_ACK_MS = 1.2
DEADLINE_MS = 9.0
IDLE_CPU_TARGET_PERCENT = 1.0
WINDOWS_TIMER_MINIMUM_MS = 10.0
PLAYBACK_TIMER_MS = 5.0

# Screen boards.
SCREEN_BOARD_COUNTS = (1, 4, 8, 16)
SCREEN_PLAY_SECONDS = 60
SCREEN_FILE_SECONDS = SCREEN_PLAY_SECONDS + 15
SCREEN_SETTLE_SECONDS = 3
SCREEN_ENQUIRIES = 3000
SEARCH_FILE_SECONDS = 3600
SEARCHES = 100
SEARCH_SEED = 22
FRAME_MS = 40.0
PICTURES_PER_SECOND = 25
SEARCH_TARGET_MS = 150.0
# Sound with pictures: how long the board plays, the recording's rate, and
# the beeps of the file (10 ms of 1 kHz at each whole second but those of a
# whole minute, whose gaps name the beeps around them).
DRIFT_SECONDS = 600
DRIFT_FILE_SECONDS = DRIFT_SECONDS + 20
# The drift: the offsets of the last 30 s against those of seconds 10 to 40.
DRIFT_WINDOW_SECONDS, DRIFT_FIRST_SECOND = 30, 10
DRIFT_TARGET_MS = 40.0
DRIFT_RATE = 8000
RECORDING_WATCH_SECONDS = 0.25
DRIFT_SETTLE_SECONDS = 5
BEEP_LEVEL = 2000  # sample value a beep rises above
BEEP_QUIET_SAMPLES = DRIFT_RATE // 2  # the quiet before a beep
MINUTE = 60
TONE = "sine=frequency=440:duration=%d"
BEEPS = ("aevalsrc=exprs=0.5*sin(2*PI*1000*t)*lt(mod(t\\,1)\\,0.01)*gte(t\\,1)*gt(mod(floor(t)\\,%d)\\,0)"
         ":s=44100:d=%%d" % MINUTE)
# The test files: a moving test picture with a tone, as the tests' own.
SCREEN_ENCODING = ["-c:v", "mpeg1video", "-b:v", "1000k", "-g", "12", "-bf", "2", "-c:a", "mp2", "-f", "mpeg"]


class BenchError(Exception):
    pass


def percentile(values, p):
    """Nearest-rank percentile."""
    ordered = sorted(values)
    return ordered[max(1, math.ceil(p * len(ordered))) - 1]


# -- the show ---------------------------------------------------------------------


def write_chapters(rig):
    movie = os.path.join(rig.drive_dir("d"), "Movie")
    for n in range(CHAPTERS):
        mkmpeg.write_stream(os.path.join(movie, "Chapter%02d.mpg" % n), (2 + n % 4) * mkmpeg.FRAMES_PER_SECOND)


def command(line, data, answer):
    """Sends the bytes one at a time, as a controller does, and checks the
    answers they get."""
    got = b""
    for i in range(len(data)):
        line.write(data[i:i + 1])
        got += line.read(1 if i < len(data) - 1 else len(answer) - len(got), timeout=5)
    if got != answer:
        raise BenchError("%r was answered %r, not %r" % (data, got, answer))


def select_board(line, board):
    digits = str(board).encode()
    command(line, SETSCRMODE + digits + ENTER, ACK * (len(digits) + 2) + COMPLETION)


def loop_chapters(line):
    """Chapter mode; on each board a chapter searched, played and repeated;
    board 0 selected again."""
    command(line, SETCHPMODE, ACK)
    for board, chapter in zip(range(BOARDS), LOOPING_CHAPTERS):
        select_board(line, board)
        command(line, SEARCH + str(chapter).encode() + ENTER, ACK * 3 + COMPLETION)
        command(line, FPLAY, ACK)
        command(line, REPEAT, ACK)
    select_board(line, 0)


def start_player(rig):
    player = Player("show", rig)
    player.clear_settings()
    player.set_settings({
        "Control\\BoardType": "3",
        "Control\\IdleProcessing": "NO",
        "Debug\\TraceFile": windows_path(player.trace_path),
        ".hrx\\ComID": str(PLAYER_COM),
        ".hrx\\Protocol": "Sony LDP",
        ".hrx\\DefaultMPEG": "D:\\Movie\\*.mpg",
    })
    player.journal_path = os.path.join(player.work, "journal.txt")
    player.start(com=PLAYER_COM, extra_env={
        "RTDSIM_BOARDS": str(BOARDS),
        "RTDSIM_JOURNAL": windows_path(player.journal_path),
        "RTDSIM_JOURNAL_TIMES": "1",
    })
    if player.line.read(1, timeout=30) != ACK:
        raise BenchError("no start-up acknowledgement; see %s" % player.trace_path)
    return player


# -- CPU and the watcher ----------------------------------------------------------------


def cpu_ticks(stat_path):
    """utime + stime of a process or thread, in clock ticks."""
    try:
        with open(stat_path) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0
    return int(fields[11]) + int(fields[12])


def cpu_sample(rig, pid):
    server = rig.programs("wineserver")
    others = [p for p in rig.programs("") if p != pid and p not in server]
    return {"process": cpu_ticks("/proc/%d/stat" % pid),
            "main thread": cpu_ticks("/proc/%d/task/%d/stat" % (pid, pid)),
            "wineserver": sum(cpu_ticks("/proc/%d/stat" % p) for p in server),
            "other Wine processes": sum(cpu_ticks("/proc/%d/stat" % p) for p in others)}


def idle_cost(rig, program, seconds):
    """Shares of one core that a silent program, its main thread, the other
    threads (the receive thread and Wine's wait on the port), the
    wineserver and the prefix's other processes take in `seconds`."""
    (pid,) = rig.programs(program)
    before, started = cpu_sample(rig, pid), time.monotonic()
    time.sleep(seconds)
    after, elapsed = cpu_sample(rig, pid), time.monotonic() - started
    ticks_per_second = os.sysconf("SC_CLK_TCK")
    share = {name: 100.0 * (after[name] - before[name]) / ticks_per_second / elapsed for name in after}
    share["other threads"] = share["process"] - share["main thread"]
    return {"seconds": elapsed, "cpu_percent": share}


def watcher_periods(player, offset):
    """Intervals between the service calls (rtdContinue) of each board, and
    the files queued on it, in the journal after offset."""
    calls = journal_calls(player.journal_path, offset)
    periods = {}
    for board in range(BOARDS):
        stamps = [t for t, call, b in calls if call == "rtdContinue" and b == str(board)]
        gaps = [b - a for a, b in zip(stamps, stamps[1:])]
        if not gaps:
            raise BenchError("board %d was not serviced" % board)
        periods["board %d" % board] = {
            "services": len(stamps), "mean_ms": statistics.mean(gaps), "p99_ms": percentile(gaps, 0.99),
            "max_ms": max(gaps), "files_queued": sum(1 for _, call, b in calls if call == "rtdOpen" and b == str(board))}
    return periods


def measure_idle(rig, player):
    offset = os.path.getsize(player.journal_path)
    figures = idle_cost(rig, "hrx.exe", IDLE_SECONDS)
    figures["watcher"] = watcher_periods(player, offset)
    for board, w in figures["watcher"].items():
        if w["files_queued"] == 0:
            raise BenchError("%s did not loop its chapter while the line was silent" % board)
    return figures


# -- the controller's measurements -------------------------------------------------------


def ldpbench(build, fd, *args, samples=None):
    """Runs the native controller on the pty master fd; its figures."""
    program = os.path.join(build, "tests", "bench", "ldpbench")
    env = dict(os.environ, LDPBENCH_SAMPLES=samples or "")
    proc = subprocess.run([program, args[0], str(fd)] + [str(a) for a in args[1:]], pass_fds=(fd,), env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=300)
    if not proc.stdout.strip():
        raise BenchError("ldpbench %s gave no figures (exit code %d)" % (args[0], proc.returncode))
    figures = json.loads(proc.stdout)
    figures["ok"] = proc.returncode == 0
    return figures


def still_split(player, figures, samples, offset):
    """Each STILL's latency cut in two at its board call (rtdPause in the
    journal, on the same clock): the way in (Wine's wait on the line, the
    receive thread, the post to the main thread, the trace line) and the
    way out (the answer's write and the line)."""
    pauses = [t for t, call, b in journal_calls(player.journal_path, offset) if call == "rtdPause" and b == "0"]
    way_in, way_out = [], []
    with open(samples) as f:
        for row in f:
            sent, ms, name = row.split()
            if name != "STILL":
                continue
            sent = figures["start_raw_ms"] + float(sent)
            i = bisect.bisect_left(pauses, sent)
            if i < len(pauses) and pauses[i] <= sent + float(ms):
                way_in.append(pauses[i] - sent)
                way_out.append(sent + float(ms) - pauses[i])
    if not way_in:
        raise BenchError("no STILL of the latency run is in the decoder's journal")
    return {name: {"count": len(v), "median_ms": statistics.median(v), "p99_ms": percentile(v, 0.99),
                   "max_ms": max(v)} for name, v in (("in", way_in), ("out", way_out))}


def measure_latency(build, player):
    offset = os.path.getsize(player.journal_path)
    samples = os.path.join(player.work, "latency-samples.txt")
    figures = ldpbench(build, player.line.master, "latency", LATENCY_COMMANDS, CHAPTERS, samples=samples)
    figures["watcher"] = watcher_periods(player, offset)
    figures["still_split"] = still_split(player, figures, samples, offset)
    return figures


def measure_stream(build, player, *args):
    offset = os.path.getsize(player.journal_path)
    figures = ldpbench(build, player.line.master, *args)
    figures["watcher"] = watcher_periods(player, offset)
    return figures


def measure_native(build):
    """ldpbench against a native echo: the machine's own share."""
    program = os.path.join(build, "tests", "bench", "ldpbench")
    proc = subprocess.run([program, "native", str(FLOOR_COMMANDS)], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, timeout=120)
    figures = json.loads(proc.stdout)
    figures["ok"] = proc.returncode == 0
    return figures


def measure_floor(rig, build, *wait):
    """serial_floor.exe on the player's line: Wine's own share of the
    latency and of the idle cost.  wait: () for the player's pending read,
    ("event",) for WaitCommEvent."""
    log = os.path.join(rig.dir, "logs", "serial_floor.out")
    if os.path.exists(log):
        os.unlink(log)
    line = rig.open_line(PLAYER_COM)
    proc = rig.start([os.path.join(rig.bin, "serial_floor.exe"), "COM%d" % PLAYER_COM] + list(wait),
                     log_name="serial_floor.out")
    try:
        def ready():
            return os.path.exists(log) and b"ready" in read_file(log)
        wait_until(lambda: ready() or proc.poll() is not None, 30)
        if not ready():
            raise BenchError("serial_floor.exe did not start; see %s" % log)
        time.sleep(1)
        figures = {"idle": idle_cost(rig, "serial_floor.exe", FLOOR_IDLE_SECONDS),
                   "latency": ldpbench(build, line.master, "still", FLOOR_COMMANDS),
                   "paced": ldpbench(build, line.master, "paced", FLOOR_STREAM_BYTES, LINE_RATE)}
    finally:
        proc.kill()
        proc.wait()
        line.close()
    return figures


# -- TrimFile and copy ---------------------------------------------------------------


def write_log(path):
    with open(path, "w", newline="") as f:
        for n in range(TRIM_LINES):
            f.write("07/12/26 %02d:%02d:%02d.%03d - %02d - LDP - STILL\r\n"
                    % (n // 360000 % 24, n // 6000 % 60, n // 100 % 60, n % 1000, n % 2))


def measure_trim(rig, work):
    os.makedirs(work, exist_ok=True)
    log, trimmed, tailed = (os.path.join(work, name) for name in ("log.txt", "trimmed.txt", "tailed.txt"))
    write_log(log)
    size = os.path.getsize(log)
    program = os.path.join(rig.bin, "trim_bench.exe")
    trim, trim_process, tail = [], [], []
    for _ in range(TRIM_RUNS):
        shutil.copy(log, trimmed)
        started = time.monotonic()
        code, out = rig.wine([program, windows_path(trimmed), str(TRIM_KEEP)])
        trim_process.append((time.monotonic() - started) * 1000)
        if code != 0 or not out.startswith("TrimFile "):
            raise BenchError("trim_bench failed (%d): %s" % (code, out))
        trim.append(float(out.split()[1]))
        started = time.monotonic()
        with open(tailed, "wb") as f:
            subprocess.run(["tail", "-n", str(TRIM_KEEP), log], stdout=f, check=True)
        tail.append((time.monotonic() - started) * 1000)
        with open(trimmed, "rb") as a, open(tailed, "rb") as b:
            if a.read() != b.read():
                raise BenchError("TrimFile kept other lines than tail")
    shutil.rmtree(work, ignore_errors=True)
    return {"log_bytes": size, "trimfile_ms": statistics.median(trim),
            "trim_bench_process_ms": statistics.median(trim_process), "tail_ms": statistics.median(tail),
            "ratio": statistics.median(trim) / statistics.median(tail),
            "runs": {"trimfile_ms": trim, "tail_ms": tail}}


def measure_copy(rig, work):
    measured = copy_bench.measure(work, rig)
    if not measured:
        raise BenchError("the AutoScript copy differs from its source")
    times, report = measured
    medians = {name: statistics.median(runs) for name, runs in times.items()}
    return {"megabytes": copy_bench.SIZE / 1e6, "median_s": medians, "runs_s": times,
            "ratio_to_cp": medians["AutoScript COPY"] / medians["cp"],
            "ratio_to_cp_fsync": medians["AutoScript COPY"] / medians["cp + fsync"],
            "copyfiles_report": report.splitlines()[0]}


# -- screen boards ---------------------------------------------------------------


def screen_media(build):
    """The 75 s file the boards play, the one-hour file of the frame
    searches and the beeping file of sound with pictures, made once with
    ffmpeg."""
    folder = os.path.join(build, "bench-media")
    os.makedirs(folder, exist_ok=True)
    files = {}
    for name, seconds, sound in (("play", SCREEN_FILE_SECONDS, TONE), ("hour", SEARCH_FILE_SECONDS, TONE),
                                 ("drift", DRIFT_FILE_SECONDS, BEEPS)):
        path = os.path.join(folder, "%s-%ds.mpg" % (name, seconds))
        if not os.path.exists(path):
            print("   making %s (once)" % path, flush=True)
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=352x288:rate=%d:duration=%d" % (PICTURES_PER_SECOND, seconds),
                            "-f", "lavfi", "-i", sound % seconds]
                           + SCREEN_ENCODING + [path + ".part"], stdin=subprocess.DEVNULL, check=True)
            os.rename(path + ".part", path)
        files[name] = path
    return files


def screen_program(build, folder):
    """hrx.exe, SWmpeg.dll and FFmpeg's DLLs in a folder of their own, whose
    SWmpeg.ini each run writes."""
    bin_dir = os.path.join(build, "bin")
    os.makedirs(folder, exist_ok=True)
    for path in [os.path.join(bin_dir, "hrx.exe"), os.path.join(bin_dir, "SWmpeg.dll")] + \
            glob.glob(os.path.join(bin_dir, "*-[0-9]*.dll")):
        shutil.copy(path, folder)
    return folder


def start_screen_player(rig, name, boards, chapter, extra_env=None):
    """The player with `boards` screen boards and one chapter, the file
    linked into D:\\Movie; waits for its start-up."""
    with open(os.path.join(rig.bin, "SWmpeg.ini"), "w") as f:
        f.write("[SWmpeg]\r\nBoards=%d\r\n" % boards)
    movie = os.path.join(rig.drive_dir("d"), "Movie")
    for old in os.listdir(movie):
        os.unlink(os.path.join(movie, old))
    os.symlink(chapter, os.path.join(movie, "chapter.mpg"))
    player = Player(name, rig)
    player.clear_settings()
    player.set_settings({
        "Control\\BoardType": "4",
        "Debug\\TraceFile": windows_path(player.trace_path),
        ".hrx\\ComID": str(PLAYER_COM),
        ".hrx\\Protocol": "Sony LDP",
        ".hrx\\DefaultMPEG": "D:\\Movie\\*.mpg",
    })
    player.journal_path = os.path.join(player.work, "pictures.txt")
    player.start(com=PLAYER_COM, extra_env=dict(extra_env or {}, SWMPEG_JOURNAL=windows_path(player.journal_path)))
    if player.line.read(1, timeout=60) != ACK:
        raise BenchError("no start-up acknowledgement; see %s" % player.trace_path)
    return player


def journal_pictures(path, offset=0):
    """(board, picture, ms) of each picture put on screen after offset."""
    pictures = []
    with open(path, "rb") as f:
        f.seek(offset)
        for line in f.read().decode("latin-1").splitlines():
            words = line.split()
            if len(words) >= 4 and words[1] == "P":
                pictures.append((int(words[0]), int(words[2]), float(words[3])))
    return pictures


def late_pictures(pictures, boards):
    """Per board, the pictures shown more than a frame time after their
    time on the board's first picture's schedule, and the latest."""
    late, latest, shown = 0, 0.0, 0
    for board in range(boards):
        mine = [(n, ms) for b, n, ms in pictures if b == board]
        if not mine:
            raise BenchError("board %d showed no picture" % board)
        n0, ms0 = mine[0]
        lateness = [ms - (ms0 + (n - n0) * FRAME_MS) for n, ms in mine]
        late += sum(1 for v in lateness if v > FRAME_MS)
        latest = max(latest, max(lateness))
        shown += len(mine)
    return {"pictures": shown, "late": late, "latest_ms": latest}


def process_ticks(pid):
    return cpu_ticks("/proc/%d/stat" % pid)


def measure_screen_boards(build, rig, media, boards):
    """`boards` boards playing the file; figures over SCREEN_PLAY_SECONDS."""
    player = start_screen_player(rig, "screens-%d" % boards, boards, media["play"])
    try:
        command(player.line, SETCHPMODE, ACK)
        for board in range(boards):
            select_board(player.line, board)
            command(player.line, SEARCH + b"0" + ENTER, ACK * 3 + COMPLETION)
            command(player.line, FPLAY, ACK)
        select_board(player.line, 0)
        time.sleep(SCREEN_SETTLE_SECONDS)
        (pid,) = rig.programs("hrx.exe")
        with open(os.path.join(rig.dir, "xvfb.pid")) as f:
            xvfb = int(f.read())
        server = rig.programs("wineserver")
        offset = os.path.getsize(player.journal_path)
        ticks = (process_ticks(pid), process_ticks(xvfb), sum(process_ticks(p) for p in server))
        started = time.monotonic()
        latency = ldpbench(build, player.line.master, "enquiry", SCREEN_ENQUIRIES)
        time.sleep(max(0.0, SCREEN_PLAY_SECONDS - (time.monotonic() - started)))
        elapsed = time.monotonic() - started
        after = (process_ticks(pid), process_ticks(xvfb), sum(process_ticks(p) for p in server))
        figures = late_pictures(journal_pictures(player.journal_path, offset), boards)
        per_second = os.sysconf("SC_CLK_TCK") * elapsed
        share = [100.0 * (b - a) / per_second for a, b in zip(ticks, after)]
        figures.update({"boards": boards, "seconds": elapsed, "expected_pictures": boards * elapsed * 1000 / FRAME_MS,
                        "cpu_percent": {"player": share[0], "player_per_board": share[0] / boards,
                                        "xvfb": share[1], "wineserver": share[2]},
                        "latency": latency})
        if player.close() != 0:
            raise BenchError("the player with %d screen boards did not close cleanly" % boards)
        return figures
    finally:
        player.kill()


def wait_for_picture(path, offset, picture, timeout=5.0):
    """Polls the journal from offset for picture on board 0; the journal's
    size then, or None."""
    deadline = time.monotonic() + timeout
    with open(path, "rb") as f:
        while time.monotonic() < deadline:
            f.seek(offset)
            for line in f.read().decode("latin-1").splitlines():
                words = line.split()
                if len(words) >= 4 and words[0] == "0" and words[1] == "P" and int(words[2]) == picture:
                    return True
            time.sleep(0.0005)
    return False


def measure_frame_search(rig, media):
    """SEARCHES frame searches to random pictures of the one-hour file: the
    COMPLETION, and the picture on screen (the journal), from the ENTER."""
    player = start_screen_player(rig, "search", 1, media["hour"])
    pictures = SEARCH_FILE_SECONDS * PICTURES_PER_SECOND
    answered, shown = [], []
    try:
        command(player.line, SETFRMMODE, ACK)
        targets = random.Random(SEARCH_SEED).sample(range(pictures), SEARCHES)
        for target in targets:
            command(player.line, SEARCH + str(target).encode(), ACK * (1 + len(str(target))))
            offset = os.path.getsize(player.journal_path)
            sent = time.monotonic()
            player.line.write(ENTER)
            if player.line.read(2, timeout=5) != ACK + COMPLETION:
                raise BenchError("search %d was not completed" % target)
            answered.append((time.monotonic() - sent) * 1000)
            if not wait_for_picture(player.journal_path, offset, target):
                raise BenchError("picture %d never came on screen" % target)
            shown.append((time.monotonic() - sent) * 1000)
        if player.close() != 0:
            raise BenchError("the player of the frame searches did not close cleanly")
    finally:
        player.kill()

    def spread(values):
        return {"median_ms": statistics.median(values), "p99_ms": percentile(values, 0.99), "max_ms": max(values)}
    return {"searches": SEARCHES, "pictures": pictures, "completion": spread(answered), "on_screen": spread(shown)}


def measure_native_decode(media):
    """FFmpeg's own decoding of the boards' file (its pictures only, one
    thread, the boards' flags): CPU seconds per second of the file."""
    proc = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-benchmark", "-threads", "1", "-flags", "+bitexact",
                           "-idct", "simple", "-i", media["play"], "-map", "0:v", "-f", "null", "-"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    found = re.search(r"bench: utime=([\d.]+)s stime=([\d.]+)s rtime=([\d.]+)s", proc.stderr.decode())
    if not found:
        raise BenchError("ffmpeg -benchmark gave no figures")
    utime, stime, rtime = (float(v) for v in found.groups())
    return {"cpu_seconds": utime + stime, "real_seconds": rtime, "file_seconds": SCREEN_FILE_SECONDS,
            "cpu_percent_of_playing": 100.0 * (utime + stime) / SCREEN_FILE_SECONDS}


def beep_onsets(path):
    """The sample at which each beep of a mono recording begins."""
    samples = array.array("h")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    onsets, quiet = [], 0
    for i, value in enumerate(samples):
        if abs(value) > BEEP_LEVEL:
            if quiet >= BEEP_QUIET_SAMPLES:
                onsets.append(i)
            quiet = 0
        else:
            quiet += 1
    return onsets


def name_beeps(onsets):
    """{second of the file: onset}: the first two-second gap is the file's
    first whole minute left out; every other gap must be whole seconds."""
    gaps = [round((b - a) / DRIFT_RATE) for a, b in zip(onsets, onsets[1:])]
    for a, b in zip(onsets, onsets[1:]):
        if abs(b - a - DRIFT_RATE * round((b - a) / DRIFT_RATE)) > DRIFT_RATE / 10:
            raise BenchError("beeps %d samples apart at %.1f s of the recording" % (b - a, a / DRIFT_RATE))
    if 2 not in gaps:
        raise BenchError("no minute's beep was left out in the recording")
    second = MINUTE - 1 - sum(gaps[:gaps.index(2)])
    named = {second: onsets[0]}
    for gap, onset in zip(gaps, onsets[1:]):
        second += gap
        named[second] = onset
    return named


def watch_recording(path, seconds):
    """Watches the recording grow for `seconds`: a line through (samples
    recorded, raw monotonic ms), fitted by least squares, as (ms at sample
    0, ms a sample).  The null sink does not keep exactly to its rate; the
    journal counts on the raw clock (Wine's performance counter)."""
    points = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        points.append((os.path.getsize(path) // 2, time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000))
        time.sleep(RECORDING_WATCH_SECONDS)
    mean_s = statistics.fmean(s for s, _ in points)
    mean_t = statistics.fmean(t for _, t in points)
    slope = sum((s - mean_s) * (t - mean_t) for s, t in points) / sum((s - mean_s) ** 2 for s, _ in points)
    return mean_t - slope * mean_s, slope


def measure_drift(build, rig, media):
    """One board plays the beeping file with sound for DRIFT_SECONDS; each
    beep heard against its second's picture on screen: the offset's change
    from the first minute to the last."""
    folder = tempfile.mkdtemp(prefix="hrx-pulse-")
    heard = os.path.join(rig.dir, "drift-heard.raw")
    server, address = start_sound_device(folder, os.path.join(rig.dir, "pulseaudio.log"))
    try:
        recorder = record_sound(address, heard, DRIFT_RATE, 1)
        try:
            player = start_screen_player(rig, "drift", 1, media["drift"], {"PULSE_SERVER": address})
            try:
                command(player.line, SETCHPMODE, ACK)
                command(player.line, SEARCH + b"0" + ENTER, ACK * 3 + COMPLETION)
                command(player.line, FPLAY, ACK)
                # The sink's first seconds of a stream are not heard as they play.
                time.sleep(DRIFT_SETTLE_SECONDS)
                watched = DRIFT_SECONDS + DRIFT_WINDOW_SECONDS / 2 - DRIFT_SETTLE_SECONDS
                origin, ms_a_sample = watch_recording(heard, watched)
                command(player.line, STILL, ACK)
                time.sleep(1)
                if player.close() != 0:
                    raise BenchError("the player of sound with pictures did not close cleanly")
            finally:
                player.kill()
        finally:
            stop_process(recorder)
    finally:
        stop_process(server)
        shutil.rmtree(folder, True)
    shown = {n: ms for _, n, ms in journal_pictures(player.journal_path)}
    offsets = {second: origin + onset * ms_a_sample - shown[second * PICTURES_PER_SECOND]
               for second, onset in name_beeps(beep_onsets(heard)).items()
               if second * PICTURES_PER_SECOND in shown and second <= DRIFT_SECONDS}

    def window(first):
        values = [v for second, v in offsets.items() if first <= second < first + DRIFT_WINDOW_SECONDS]
        if len(values) < DRIFT_WINDOW_SECONDS // 2:
            raise BenchError("%d beeps heard from second %d" % (len(values), first))
        return statistics.median(values)
    start = window(DRIFT_FIRST_SECOND)
    return {"seconds": DRIFT_SECONDS, "beeps": len(offsets),
            "sink_rate_ppm": (1000.0 / DRIFT_RATE / ms_a_sample - 1) * 1e6,
            "drift_ms": window(DRIFT_SECONDS - DRIFT_WINDOW_SECONDS) - start,
            "widest_ms": max(abs(v - start) for v in offsets.values())}


def measure_screens(build):
    """Every screen board figure, on a rig with an Xvfb of its own."""
    media = screen_media(build)
    rig = PixelRig(os.path.join(build, "bench-screens"))
    rig.tools_dir = os.path.join(build, "rig")
    rig.bin = screen_program(build, os.path.join(rig.dir, "program"))
    rig.setup_pixels()
    try:
        figures = {"screen": XVFB_SCREEN, "runs": [], "native": measure_native_decode(media)}
        for boards in SCREEN_BOARD_COUNTS:
            print("   %d board(s)" % boards, flush=True)
            figures["runs"].append(measure_screen_boards(build, rig, media, boards))
        print("   frame searches", flush=True)
        figures["search"] = measure_frame_search(rig, media)
        print("   sound with pictures, %d s" % DRIFT_SECONDS, flush=True)
        figures["drift"] = measure_drift(build, rig, media)
    finally:
        rig.teardown_pixels()
    return figures


def screen_rows(s, floor_p99):
    """The screen boards' rows of the table; floor_p99: the Wine floor's
    STILL p99 when it was measured in the same run."""
    native = s["native"]["cpu_percent_of_playing"]
    rows = []
    for run in s["runs"]:
        c, lat = run["cpu_percent"], run["latency"]["all"]
        target = "p99 <= %.2f ms" % BYTE_TIME_MS
        ratio = "p99 / byte time %.2f" % (lat["p99_ms"] / BYTE_TIME_MS)
        if floor_p99:
            ratio += ", / 2 x floor %.2f" % (lat["p99_ms"] / (2 * floor_p99))
        rows += [
            ("6 %d screen board(s), %.0f s" % (run["boards"], run["seconds"]),
             "%d of %d pictures late (> 1 frame), latest %.0f ms"
             % (run["late"], run["pictures"], run["latest_ms"]), "none late",
             "shown / due %.3f" % (run["pictures"] / run["expected_pictures"])),
            ("    CPU", "%.1f %% a board (player %.1f %%, Xvfb %.1f %%, wineserver %.1f %%)"
             % (c["player_per_board"], c["player"], c["xvfb"], c["wineserver"]), "",
             "a board / ffmpeg -benchmark %.1fx" % (c["player_per_board"] / native)),
            ("    SRCENQ latency, %d" % lat["count"], latency_figure(run["latency"]), target, ratio),
        ]
    search = s["search"]
    for key, label in (("on_screen", "on screen"), ("completion", "COMPLETION")):
        f = search[key]
        rows.append(("6 frame search, %d, 1 h file: %s" % (search["searches"], label),
                     "median %.1f  p99 %.1f  max %.1f ms" % (f["median_ms"], f["p99_ms"], f["max_ms"]),
                     "p99 <= %.0f ms" % SEARCH_TARGET_MS if key == "on_screen" else "",
                     "p99 / target %.2f" % (f["p99_ms"] / SEARCH_TARGET_MS) if key == "on_screen" else ""))
    drift = s["drift"]
    rows.append(("6 sound with pictures, %d min, %d beeps" % (drift["seconds"] / MINUTE, drift["beeps"]),
                 "drift %+.1f ms at the end (widest %.1f ms; the sink ran %+.0f ppm)"
                 % (drift["drift_ms"], drift["widest_ms"], drift["sink_rate_ppm"]),
                 "|drift| <= %.0f ms" % DRIFT_TARGET_MS,
                 "drift / target %.2f" % (abs(drift["drift_ms"]) / DRIFT_TARGET_MS)))
    rows.append(("    ffmpeg -benchmark, same file", "%.2f %% of a core while playing (%.2f s CPU for %d s)"
                 % (native, s["native"]["cpu_seconds"], s["native"]["file_seconds"]), "", ""))
    return rows


# -- report ---------------------------------------------------------------------------


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for row in f:
            if row.startswith("model name"):
                model = row.split(":", 1)[1].strip()
                break
    wine = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL).stdout.decode().strip()
    with open("/proc/loadavg") as f:
        load = f.read().split()[0]
    return {"cpus": os.cpu_count(), "cpu": model, "kernel": platform.release(), "wine": wine,
            "load_at_start": float(load)}


def latency_figure(figures):
    a = figures["all"]
    return "min %.2f  median %.2f  p99 %.2f  max %.2f ms" % (a["min_ms"], a["median_ms"], a["p99_ms"], a["max_ms"])


def stream_figure(s):
    return "%d ACK, %d lost, %d other; %.2f s" % (s["acks"], s["sent"] - s["acks"], s["others"], s["seconds"])


def lag_figure(s):
    lag = s["lag"]
    return "median %.2f  p99 %.2f  max %.2f ms" % (lag["median_ms"], lag["p99_ms"], lag["max_ms"])


def period_figure(w):
    return "mean %.2f  p99 %.2f  max %.1f ms" % (w["mean_ms"], w["p99_ms"], w["max_ms"])


def cpu_figure(idle):
    c = idle["cpu_percent"]
    return "%.2f %% (main thread %.2f, other threads %.2f)" % (c["process"], c["main thread"], c["other threads"])


def serial_rows(r):
    """The rows of 1 to 5: measurement, figure, target, ratio."""
    lat, floor, event_floor, native = r["latency"], r["floor"], r["event_floor"], r["native"]
    p99, worst = lat["all"]["p99_ms"], lat["all"]["max_ms"]
    rows = [("1 reply latency, %d commands" % lat["all"]["count"], latency_figure(lat),
             "p99 <= %.2f ms" % BYTE_TIME_MS,
             "p99 / byte time %.2f, p99 / LDP-1000A %.2f" % (p99 / BYTE_TIME_MS, p99 / LDP1000A_ACK_MS)),
            ("", "", "max <= %.0f ms" % DEADLINE_MS, "max / deadline %.2f" % (worst / DEADLINE_MS))]
    for name, c in lat["by_command"].items():
        if c["count"]:
            rows.append(("    %s (%d)" % (name, c["count"]),
                         "median %.2f  p99 %.2f  max %.2f ms" % (c["median_ms"], c["p99_ms"], c["max_ms"]), "", ""))
    for way, label in (("in", "line to board call"), ("out", "board call to answer")):
        c = lat["still_split"][way]
        rows.append(("      STILL, %s" % label,
                     "median %.2f  p99 %.2f  max %.2f ms" % (c["median_ms"], c["p99_ms"], c["max_ms"]), "", ""))
    rows += [
        ("    native echo, %d STILL" % native["all"]["count"], latency_figure(native), "", ""),
        ("    Wine floor, %d STILL" % floor["latency"]["all"]["count"], latency_figure(floor["latency"]), "",
         "player p99 / floor p99 %.2f (STILL alone %.2f)"
         % (p99 / floor["latency"]["all"]["p99_ms"],
            lat["by_command"]["STILL"]["p99_ms"] / floor["latency"]["all"]["p99_ms"])),
        ("    Wine floor, WaitCommEvent, %d STILL" % event_floor["latency"]["all"]["count"],
         latency_figure(event_floor["latency"]), "", ""),
        ("2 burst of %d STILL" % r["burst"]["sent"], stream_figure(r["burst"]), "one ACK each",
         "%.1fx line rate" % (r["burst"]["sent"] / LINE_RATE / r["burst"]["seconds"])),
        ("2 %d STILL at %d B/s" % (r["paced"]["sent"], LINE_RATE), stream_figure(r["paced"]), "one ACK each", ""),
        ("    lag", lag_figure(r["paced"]), "", ""),
        ("    Wine floor, %d STILL, lag" % floor["paced"]["sent"], lag_figure(floor["paced"]), "", ""),
        ("    Wine floor, WaitCommEvent, %d STILL, lag" % event_floor["paced"]["sent"],
         lag_figure(event_floor["paced"]), "", ""),
    ]
    idle = r["idle"]
    c = idle["cpu_percent"]
    rows += [
        ("3 idle CPU, %.0f s" % idle["seconds"], cpu_figure(idle), "<= %.0f %%" % IDLE_CPU_TARGET_PERCENT,
         "%.2fx" % (c["process"] / IDLE_CPU_TARGET_PERCENT)),
        ("    wineserver, other Wine", "%.2f %%, %.2f %%" % (c["wineserver"], c["other Wine processes"]), "", ""),
        ("    Wine floor, %.0f s" % floor["idle"]["seconds"], cpu_figure(floor["idle"]), "",
         "wineserver %.2f %%" % floor["idle"]["cpu_percent"]["wineserver"]),
        ("    Wine floor, WaitCommEvent, %.0f s" % event_floor["idle"]["seconds"], cpu_figure(event_floor["idle"]),
         "", "wineserver %.2f %%" % event_floor["idle"]["cpu_percent"]["wineserver"]),
    ]
    # Board 1 loops its chapter all along; the commands address board 0.
    for label, key in (("silent line", "idle"), ("commands", "latency"), ("burst", "burst"), ("line rate", "paced")):
        w = r[key]["watcher"]["board 1"]
        rows.append(("3 watcher period, %s" % label, period_figure(w),
                     ">= %.0f ms (Windows)" % WINDOWS_TIMER_MINIMUM_MS,
                     "mean / 5 ms timer %.2f" % (w["mean_ms"] / PLAYBACK_TIMER_MS)))
    t, cp = r["trim"], r["copy"]
    m = cp["median_s"]
    rows += [
        ("4 TrimFile %d -> %d lines" % (TRIM_LINES, TRIM_KEEP),
         "%.1f ms (tail -n %d: %.1f ms)" % (t["trimfile_ms"], TRIM_KEEP, t["tail_ms"]), "",
         "%.1fx tail" % t["ratio"]),
        ("5 AutoScript COPY, %.0f MiB" % (cp["megabytes"] * 1e6 / 2 ** 20),
         "%.2f s (cp %.2f s, cp + fsync %.2f s)" % (m["AutoScript COPY"], m["cp"], m["cp + fsync"]), "",
         "%.2fx cp, %.2fx cp + fsync" % (cp["ratio_to_cp"], cp["ratio_to_cp_fsync"])),
    ]
    return rows


def table(r):
    """The figures as rows: measurement, figure, target, ratio."""
    rows = [("measurement", "figure", "target", "ratio")]
    if "latency" in r:
        rows += serial_rows(r)
    if "screens" in r:
        rows += screen_rows(r["screens"], r["floor"]["latency"]["all"]["p99_ms"] if "floor" in r else None)
    widths = [max(len(row[i]) for row in rows) for i in range(4)]
    lines = ["  ".join(cell.ljust(w) for cell, w in zip(row, widths)).rstrip() for row in rows]
    lines.insert(1, "-" * max(len(line) for line in lines))
    return "\n".join(lines)


def answered(results):
    """Every measured command got its right answer."""
    runs = [results[name] for name in ("latency", "burst", "paced", "native") if name in results]
    for floor in ("floor", "event_floor"):
        if floor in results:
            runs += [results[floor]["latency"], results[floor]["paced"]]
    if "screens" in results:
        runs += [run["latency"] for run in results["screens"]["runs"]]
    return all(figures["ok"] for figures in runs)


def main(argv):
    if len(argv) not in (2, 3) or argv[2:] not in ([], ["screens"]):
        print(__doc__)
        return 2
    build = os.path.abspath(argv[1])
    screens_only = argv[2:] == ["screens"]
    started = time.monotonic()
    rig = Rig(os.path.join(build, "bench-rig"), tools_dir=os.path.join(build, "rig"))
    rig.bin = os.path.join(build, "bin")
    results = {"date": time.strftime("%Y-%m-%d"), "machine": machine()}
    phases = {}

    def phase(name, function, *args):
        print("-- %s" % name, flush=True)
        began = time.monotonic()
        results[name] = function(*args)
        phases[name] = round(time.monotonic() - began, 1)

    player = None
    try:
        if not screens_only:
            rig.setup()
            phase("native", measure_native, build)
            phase("floor", measure_floor, rig, build)
            phase("event_floor", measure_floor, rig, build, "event")
            write_chapters(rig)
            player = start_player(rig)
            loop_chapters(player.line)
            time.sleep(1)
            phase("idle", measure_idle, rig, player)
            phase("latency", measure_latency, build, player)
            phase("burst", measure_stream, build, player, "burst", STREAM_BYTES)
            phase("paced", measure_stream, build, player, "paced", STREAM_BYTES, LINE_RATE)
            if player.close() != 0:
                raise BenchError("the player did not close cleanly")
            player = None
            phase("trim", measure_trim, rig, os.path.join(rig.dir, "work", "trim"))
            phase("copy", measure_copy, rig, os.path.join(rig.dir, "work", "copy"))
            rig.teardown()
        phase("screens", measure_screens, build)
    except BenchError as e:
        print("bench failed: %s" % e)
        return 1
    finally:
        if player:
            player.kill()
        rig.teardown()
    with open("/proc/loadavg") as f:
        results["machine"]["load_at_end"] = float(f.read().split()[0])
    results["phase_seconds"] = phases
    results["total_seconds"] = round(time.monotonic() - started, 1)
    figures = os.path.join(build, "bench-screens.json" if screens_only else "bench.json")
    with open(figures, "w") as f:
        json.dump(results, f, indent=2)
    m = results["machine"]
    print("\nhrx bench, %s: %d x %s, %s, load %.2f -> %.2f, %.0f s"
          % (results["date"], m["cpus"], m["cpu"], m["wine"], m["load_at_start"], m["load_at_end"],
             results["total_seconds"]))
    print(table(results))
    print("figures in %s" % figures)
    return 0 if answered(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
