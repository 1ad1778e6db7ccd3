"""Drives hrx.exe on the bench rig from outside, as a show controller and an
operator would: its settings in the registry, its serial line, its trace log
and its window; and the base class of the system tests."""
import os
import re
import shutil
import subprocess
import sys
import unittest

from controller import ACK
from rig import Rig, wait_until, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tools"))
import mkmpeg  # noqa: E402

SETTINGS_KEY = "HKCU\\SOFTWARE\\Calloway Software\\Halcyra\\V2.00"
WINDOW_CLASS = "Halcyra.hrx"
WM_CLOSE = 0x0010
WM_KEYDOWN = 0x0100
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
VK_ESCAPE = 0x1B
IDOK, IDCANCEL = 1, 2
IDM_EXIT, IDM_VIEW_LOG, IDM_PROPERTIES, IDM_HELP_TOPICS, IDM_ABOUT = 40001, 40002, 40003, 40004, 40005
PSM_SETCURSEL = 0x0400 + 101
PSM_PRESSBUTTON = 0x0400 + 113
PSBTN_OK, PSBTN_CANCEL = 3, 5
STARTED = "Halcyra.hrx Ver 1.25 Rev B started"
TRACE_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d - ")
STAMPED_LINE = re.compile(r"^\d\d/\d\d/\d\d (\d\d):(\d\d):(\d\d)\.(\d\d\d) - (.*)$")
AUTOSCRIPT_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d - ")
HEAP_REPORT = re.compile(r"^[0-9a-f]+:(?:err|warn):heap:.*$", re.M)


def empty_directory(path):
    """Removes the files of a directory (a drive's chapter folder between
    tests)."""
    for name in os.listdir(path):
        os.unlink(os.path.join(path, name))


def write_chapters(directory, frame_counts):
    """Makes the directory with chapter0.mpg, chapter1.mpg, ... of the given
    numbers of frames."""
    os.makedirs(directory)
    for number, frames in enumerate(frame_counts):
        mkmpeg.write_stream(os.path.join(directory, "chapter%d.mpg" % number), frames)


def journal_calls(path, offset):
    """(time in ms, call, board) of each line after offset of a journal
    that the bench decoder keeps with times (RTDSIM_JOURNAL_TIMES)."""
    calls = []
    with open(path, "rb") as f:
        f.seek(offset)
        for line in f.read().decode("latin-1").splitlines():
            words = line.split()
            if len(words) >= 3:
                calls.append((float(words[0]), words[1], words[2]))
    return calls


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


class Player:
    def __init__(self, test_name, rig=None):
        self.rig = rig or Rig()
        self.work = os.path.join(os.environ.get("TEST_WORK_DIR", os.path.join(self.rig.dir, "work")), test_name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.trace_path = os.path.join(self.work, "Trace.txt")
        self.output_path = os.path.join(self.rig.dir, "logs", "hrx.out")
        self.output_offset = 0
        self.proc = None
        self.line = None

    # -- outside tools -------------------------------------------------------
    def tool(self, *commands, check=True):
        """Runs rigtool.exe; commands are lists of words, joined by ';'."""
        args = [os.path.join(self.rig.tools_dir, "rigtool.exe")]
        for i, command in enumerate(commands):
            if i:
                args.append(";")
            args += [str(word) for word in command]
        code, out = self.rig.wine(args)
        if check and code != 0:
            raise AssertionError("rigtool %s failed (%d): %s" % (commands, code, out))
        return code, out

    def ask(self, *commands):
        """Runs rigtool commands; returns each one's output as a list of lines."""
        code, out = self.tool(*commands)
        answers, lines = [], []
        for line in out.replace("\r\n", "\n").split("\n"):
            if line == "--":
                answers.append(lines)
                lines = []
            else:
                lines.append(line)
        return answers

    def dialog(self, title):
        return Dialog(self, title)

    def clear_settings(self):
        self.tool(["reg-delete-key", SETTINGS_KEY])

    def set_settings(self, values):
        """values: {"Control\\\\BoardType": "3", ...}; a value of None is left out,
        a tuple (type, data) writes another registry type."""
        commands = []
        for name, value in values.items():
            sub, _, val = name.rpartition("\\")
            key = SETTINGS_KEY + "\\" + sub
            if isinstance(value, tuple):
                commands.append(["reg-set", key, val, value[0], value[1]])
            else:
                commands.append(["reg-set", key, val, "sz", value])
        if commands:
            self.tool(*commands)

    def registry(self, sub):
        """{name: (type, bytes)} of a sub-key, or None when it does not exist."""
        code, out = self.tool(["reg-dump", SETTINGS_KEY + "\\" + sub], check=False)
        if code == 2:
            return None
        values = {}
        for row in out.splitlines():
            parts = row.split("\t")
            if len(parts) == 3:
                values[parts[0]] = (parts[1], bytes.fromhex(parts[2]))
        return values

    def registry_text(self, sub):
        return {name: data.rstrip(b"\0").decode("latin-1")
                for name, (kind, data) in (self.registry(sub) or {}).items()}

    # -- the program -----------------------------------------------------------
    def start(self, com=None, port_wait_ms=0, board_wait_ms=0, extra_env=None, args=(), cwd=None, program=None):
        """Starts hrx.exe of the build (or the program, a Windows path) in
        its working folder (or in cwd)."""
        if self.rig.programs("hrx.exe"):
            raise AssertionError("a player of an earlier test still runs")
        if com is not None:
            self.line = self.rig.open_line(com)
        env = {"HALCYRA_PORT_WAIT_MS": str(port_wait_ms), "HALCYRA_BOARD_WAIT_MS": str(board_wait_ms)}
        if port_wait_ms is None:
            del env["HALCYRA_PORT_WAIT_MS"]
        if board_wait_ms is None:
            del env["HALCYRA_BOARD_WAIT_MS"]
        env.update(extra_env or {})
        self.output_offset = os.path.getsize(self.output_path) if os.path.exists(self.output_path) else 0
        self.proc = self.rig.start([program or os.path.join(self.rig.bin, "hrx.exe")] + list(args),
                                   extra_env=env, cwd=cwd or self.work, log_name="hrx.out")
        return self.proc

    def wait_window(self, timeout=20):
        self.tool(["wait-window", WINDOW_CLASS, int(timeout * 1000)])

    def post(self, msg, wparam=0, lparam=0):
        self.tool(["post", WINDOW_CLASS, msg, wparam, lparam])

    def menu(self, command_id):
        self.post(WM_COMMAND, command_id, 0)

    def open_properties(self):
        """File > Properties: posted, since the sheet's modal loop would hold
        a sent command until the sheet closes."""
        self.menu(IDM_PROPERTIES)
        return Sheet(self).wait()

    def modules(self):
        """Names of the modules loaded in the player's process, lower case."""
        return [name.lower() for name in self.ask(["modules", WINDOW_CLASS])[0]]

    def close(self, timeout=30):
        """Closes the main window and returns the exit code."""
        if self.proc and self.proc.poll() is None:
            self.post(WM_CLOSE)
        return self.wait_exit(timeout)

    def wait_exit(self, timeout=30):
        code = self.proc.wait(timeout=timeout)
        if self.line:
            self.line.close()
            self.line = None
        return code

    def kill(self):
        """Ends the player whatever state it is in, and any stray copy."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.rig.kill_programs("hrx.exe")
        if self.line:
            self.line.close()
            self.line = None

    def heap_reports(self):
        """What Wine's heap checks (WINEDEBUG=warn+heap) reported since the
        last start."""
        with open(self.output_path, "rb") as f:
            f.seek(self.output_offset)
            return HEAP_REPORT.findall(f.read().decode("latin-1"))

    # -- the trace log -----------------------------------------------------------
    def trace_raw(self, path=None):
        try:
            with open(path or self.trace_path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def trace(self, path=None):
        """The messages of the trace log (or of another trace file), without
        time stamps."""
        text = self.trace_raw(path).decode("latin-1").replace("\r\n", "\n")
        return [TRACE_STAMP.sub("", line) for line in text.split("\n")[:-1]]

    def stamped_trace(self):
        """(milliseconds of the day, message) of every trace line."""
        lines = []
        for line in self.trace_raw().decode("latin-1").replace("\r\n", "\n").split("\n"):
            m = STAMPED_LINE.match(line)
            if m:
                h, mi, s, ms = (int(g) for g in m.groups()[:4])
                lines.append((((h * 60 + mi) * 60 + s) * 1000 + ms, m.group(5)))
        return lines

    def autoscript_log(self):
        """The messages of the AutoScript run's lines in the trace log (their
        time stamps carry no milliseconds)."""
        text = self.trace_raw().decode("latin-1").replace("\r\n", "\n")
        return [AUTOSCRIPT_STAMP.sub("", line) for line in text.split("\n") if AUTOSCRIPT_STAMP.match(line)]

    def wait_autoscript_log(self, message, timeout=20, count=1):
        if not wait_until(lambda: self.autoscript_log().count(message) >= count, timeout):
            raise AssertionError("the AutoScript log never showed %r %d times; the trace holds:\n%s"
                                 % (message, count, "\n".join(self.trace())))

    def wait_trace(self, message, timeout=20, count=1, path=None):
        if not wait_until(lambda: self.trace(path).count(message) >= count, timeout):
            raise AssertionError("trace never showed %r; it holds:\n%s" % (message, "\n".join(self.trace(path))))


class Dialog:
    """A dialog of the player as an operator works it from outside, found by
    its title ("" for the untitled splash window)."""

    def __init__(self, player, title):
        self.player = player
        self.title = title

    def wait(self, timeout=10):
        code, _ = self.player.tool(["dialog-wait", self.title, int(timeout * 1000)], check=False)
        if code != 0:
            raise AssertionError("no dialog %r within %s s" % (self.title, timeout))
        return self

    def gone(self, timeout=10):
        """True when the dialog has gone within the time."""
        code, _ = self.player.tool(["dialog-gone", self.title, int(timeout * 1000)], check=False)
        return code == 0

    def exists(self):
        return not self.gone(0)

    def rect(self):
        """((left, top, right, bottom) of the window, the same of its client area)."""
        window, client = self.player.ask(["dialog-rect", self.title])[0]
        return tuple(int(v) for v in window.split()), tuple(int(v) for v in client.split())

    def post(self, msg, wparam=0, lparam=0):
        self.player.tool(["dialog-post", self.title, msg, wparam, lparam])

    def send(self, msg, wparam=0, lparam=0):
        return int(self.player.ask(["dialog-send", self.title, msg, wparam, lparam])[0][0])

    def text(self, control):
        return self.player.ask(["ctl-text", self.title, control])[0][0]

    def set_text(self, control, text):
        self.player.tool(["ctl-set-text", self.title, control, text])

    def select(self, control, text):
        """Chooses the entry text of a drop-down list, as a click would."""
        self.player.tool(["ctl-select", self.title, control, text])

    def selection(self, control):
        """(index, text) of the selected entry; (-1, "") when none is."""
        index, _, text = self.player.ask(["ctl-selection", self.title, control])[0][0].partition("\t")
        return int(index), text

    def items(self, control):
        return self.player.ask(["ctl-items", self.title, control])[0]

    def enabled(self, control):
        return self.player.ask(["ctl-enabled", self.title, control])[0][0] == "1"

    def control_rect(self, control):
        return tuple(int(v) for v in self.player.ask(["ctl-rect", self.title, control])[0][0].split())

    def press(self, control):
        self.player.tool(["ctl-press", self.title, control])

    def control_send(self, control, msg, wparam=0, lparam=0):
        return int(self.player.ask(["ctl-send", self.title, control, msg, wparam, lparam])[0][0])


class Sheet(Dialog):
    """The property sheet: its pages exist once they have been shown."""

    def __init__(self, player):
        super().__init__(player, "Properties")

    def show_page(self, index):
        self.send(PSM_SETCURSEL, index, 0)

    def ok(self):
        # Posted: a sent button press does not end the sheet's modal loop.
        self.post(PSM_PRESSBUTTON, PSBTN_OK, 0)

    def cancel(self):
        self.post(PSM_PRESSBUTTON, PSBTN_CANCEL, 0)


class PlayerTest(unittest.TestCase):
    """Each test gets a player of its own, named after the test, with the
    settings cleared.  After the test the player is ended whatever state it
    is in; a class that sets close_timeout first gives it that many seconds
    to close on its own."""

    rig = None   # the Rig; a test that looks at pixels sets a PixelRig before setUp
    close_timeout = None

    def setUp(self):
        self.player = Player(self.id().rsplit(".", 1)[-1], rig=self.rig)
        self.player.clear_settings()
        # Where a test has the bench decoder or a recording library keep
        # its journal of board calls.
        self.journal = os.path.join(self.player.work, "journal.txt")

    def tearDown(self):
        try:
            if self.close_timeout and self.player.proc:
                self.player.close(timeout=self.close_timeout)
        finally:
            self.player.kill()

    def start_acknowledged(self, com=2, timeout=60, **start_args):
        """Starts the player on COMn; waits for the acknowledgement that ends
        its start-up, and for its window."""
        p = self.player
        p.start(com=com, **start_args)
        self.assertEqual(p.line.read(1, timeout=timeout), ACK, "the start-up acknowledgement on COM%d" % com)
        p.wait_window()
        return p

    def start_traced(self, count=1, **start_args):
        """Starts the player; waits for its window and for the count-th
        start-up line in the trace."""
        p = self.player
        p.start(**start_args)
        p.wait_window()
        p.wait_trace(STARTED, count=count)
        return p

    def own_chapters(self, frame_counts):
        """Writes chapter0.mpg, chapter1.mpg, ... of the given numbers of
        frames into the player's own Movie folder; returns the settings of
        a player on COM2 that plays them and keeps its trace log."""
        movie = os.path.join(self.player.work, "Movie")
        write_chapters(movie, frame_counts)
        return {"Debug\\TraceFile": windows_path(self.player.trace_path), ".hrx\\ComID": "2",
                ".hrx\\DefaultMPEG": windows_path(movie) + "\\*.mpg"}

    def small_disk(self, letter, options):
        """Mounts a small tmpfs (mount's options) and maps it as the drive
        letter until the test ends; skips the test where it cannot."""
        directory = os.path.join(self.player.work, "disk-" + letter)
        os.makedirs(directory)
        mount = ["mount", "-t", "tmpfs", "-o", options, "tmpfs", directory]
        if os.geteuid() != 0 or subprocess.run(mount).returncode != 0:
            self.skipTest("a small disk cannot be mounted here (mount needs root)")
        self.addCleanup(subprocess.run, ["umount", directory])
        self.player.rig.map_drive(letter, directory)
        self.addCleanup(self.player.rig.unmap_drive, letter)
        return directory

    def place_trmpeg(self):
        """Puts the recording TRmpeg.dll into the player's working folder
        (it is built beside bin/, never in it: hrx.exe must not find it on
        its own)."""
        shutil.copy(os.path.join(os.path.dirname(self.player.rig.bin), "fakes", "trmpeg", "TRmpeg.dll"),
                    self.player.work)

    def rigtool(self):
        return os.path.join(self.player.rig.dir, "rigtool.exe")

    def start_helper(self, args, name):
        """Starts rigtool with args beside the test (a program that holds a
        file, a pipe or a mutex); returns (process, path of its output)."""
        log_name = "%s-%d.out" % (name, os.getpid())
        output = os.path.join(self.player.rig.dir, "logs", log_name)
        if os.path.exists(output):
            os.unlink(output)
        proc = self.player.rig.start([self.rigtool()] + args, log_name=log_name)
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.wait()))
        return proc, output

    def wait_output(self, output, word, timeout):
        def said():
            try:
                with open(output) as f:
                    return word in f.read()
            except FileNotFoundError:
                return False
        self.assertTrue(wait_until(said, timeout), "the helper never said %r" % word)

    def journal_lines(self):
        return read_file(self.journal).decode("latin-1").splitlines()

    def empty_movie(self):
        """D:\\Movie, emptied now and again after the test: every test finds
        it empty."""
        movie = os.path.join(self.player.rig.drive_dir("d"), "Movie")
        empty_directory(movie)
        self.addCleanup(empty_directory, movie)
        return movie
