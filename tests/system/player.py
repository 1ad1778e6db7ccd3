"""Drives hrx.exe on the bench rig from outside, as a show controller and an
operator would: its settings in the registry, its serial line, its trace log
and its window."""
import os
import re
import shutil
import sys

from rig import Rig, wait_until

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
IDM_PROPERTIES = 40003
IDM_ABOUT = 40005
PSM_SETCURSEL = 0x0400 + 101
PSM_PRESSBUTTON = 0x0400 + 113
PSBTN_OK, PSBTN_CANCEL = 3, 5
TRACE_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d - ")
AUTOSCRIPT_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d - ")


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
    def start(self, com=None, port_wait_ms=0, board_wait_ms=0, extra_env=None, args=()):
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
        self.proc = self.rig.start([os.path.join(self.rig.bin, "hrx.exe")] + list(args),
                                   extra_env=env, cwd=self.work, log_name="hrx.out")
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

    def autoscript_log(self):
        """The messages of the AutoScript run's lines in the trace log (their
        time stamps carry no milliseconds)."""
        text = self.trace_raw().decode("latin-1").replace("\r\n", "\n")
        return [AUTOSCRIPT_STAMP.sub("", line) for line in text.split("\n") if AUTOSCRIPT_STAMP.match(line)]

    def wait_autoscript_log(self, message, timeout=20):
        if not wait_until(lambda: message in self.autoscript_log(), timeout):
            raise AssertionError("the AutoScript log never showed %r; the trace holds:\n%s"
                             % (message, "\n".join(self.trace())))

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
