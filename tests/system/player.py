"""Drives hrx.exe on the bench rig from outside, as a show controller and an
operator would: its settings in the registry, its serial line, its trace log
and its window."""
import os
import re
import shutil
import time

from rig import Rig, windows_path

SETTINGS_KEY = "HKCU\\SOFTWARE\\Calloway Software\\Halcyra\\V2.00"
WINDOW_CLASS = "Halcyra.hrx"
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
TRACE_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d - ")


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
        args = [os.path.join(self.rig.dir, "rigtool.exe")]
        for i, command in enumerate(commands):
            if i:
                args.append(";")
            args += [str(word) for word in command]
        code, out = self.rig.wine(args)
        if check and code != 0:
            raise AssertionError("rigtool %s failed (%d): %s" % (commands, code, out))
        return code, out

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
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.line:
            self.line.close()
            self.line = None

    # -- the trace log -----------------------------------------------------------
    def trace_raw(self):
        try:
            with open(self.trace_path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def trace(self):
        """The messages of the trace log, without time stamps."""
        text = self.trace_raw().decode("latin-1").replace("\r\n", "\n")
        return [TRACE_STAMP.sub("", line) for line in text.split("\n")[:-1]]

    def wait_trace(self, message, timeout=20, count=1):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.trace().count(message) >= count:
                return
            time.sleep(0.05)
        raise AssertionError("trace never showed %r; it holds:\n%s" % (message, "\n".join(self.trace())))
