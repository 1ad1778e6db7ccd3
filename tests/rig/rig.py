#!/usr/bin/env python3
"""Bench rig: a Wine prefix that stands for the show PC.

The rig directory (RIG_DIR, normally build/rig) holds what the build made for
it (ptyshim.so, fakecd.drv, rigtool.exe) and, while a test run lasts:
  prefix/           the 32-bit Wine prefix, with a persistent wineserver
  drives/<letter>/  directories that dosdevices links map as drive letters
  lines/comN        symlinks to the pty slaves that stand for COMn
  modem/ptsN        the modem lines the shim saw the player set on /dev/pts/N
  mci.log           the fake CD driver's log of tray requests

Tests that look at pixels use a second prefix, RIG_DIR-pixels, whose Wine
draws with its X11 driver on an Xvfb of the test run (PixelRig); the main
prefix keeps the null driver.  Both prefixes get Wine's own fonts, so that
dialogs get the bitmap "MS Sans Serif" of a Windows PC and their usual sizes.
Screenshots are kept as artefacts under build/artifacts (artifacts_dir()).

Command line:
  rig.py setup                 fresh prefix for a test run (CTest fixture)
  rig.py teardown              stop this prefix's wineserver, remove it
  rig.py pixels-setup          start the run's Xvfb and the pixel prefix
  rig.py pixels-teardown       remove the pixel prefix, stop that Xvfb
  rig.py with-lines P:C ... -- CMD...
                               runs CMD with COM<P> and COM<C> joined like a
                               null-modem cable (P is the player's port, C the
                               controller's), for Windows programs that need
                               both ends of the show controller's line.
"""
import glob
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import tty
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
COM_PORTS = 16
CD_LETTERS = "efgh"
WINE_FONTS = "/usr/share/wine/fonts"
XVFB_SCREEN = "1024x768x24"


def rig_dir():
    return os.environ.get("RIG_DIR") or os.path.join(REPO, "build", "rig")


def pixel_rig_dir():
    return rig_dir() + "-pixels"


def artifacts_dir():
    """Where a test run keeps its screenshots: build/artifacts."""
    path = os.environ.get("HRX_ARTIFACTS") or os.path.join(os.path.dirname(rig_dir()), "artifacts")
    os.makedirs(path, exist_ok=True)
    return path


def wait_until(condition, timeout):
    """Asks condition() every 50 ms until it gives a true value, which it
    returns; gives the last false one when timeout seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def windows_path(unix_path):
    """The name a Windows program in the prefix gives a Linux path."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def start_sound_device(folder, log_path):
    """A sound device for Wine's pulse driver: a PulseAudio server of our
    own in folder (a short path: it holds the socket) whose null sink
    "boards" takes sound at the pace of a real device.  Returns (server
    process, address for PULSE_SERVER)."""
    socket = os.path.join(folder, "socket")
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder, XDG_CONFIG_HOME=folder)
    with open(log_path, "wb") as log:
        server = subprocess.Popen(
            ["pulseaudio", "-n", "-F", "/dev/null", "--daemonize=no", "--exit-idle-time=-1",
             "--disallow-exit", "--use-pid-file=no", "--realtime=no", "--high-priority=no",
             "--load=module-null-sink sink_name=boards",
             "--load=module-native-protocol-unix socket=%s auth-anonymous=1" % socket],
            env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    if not wait_until(lambda: os.path.exists(socket), 10):
        stop_process(server)
        raise RuntimeError("the sound server did not start; see %s" % log_path)
    return server, "unix:" + socket


def record_sound(address, path, rate, channels):
    """Records the null sink's monitor (what was sounded, silence while
    nothing plays) as raw 16-bit samples; returns the recorder once it
    records."""
    recorder = subprocess.Popen(["parec", "--server=" + address, "-d", "boards.monitor", "--raw", "--format=s16le",
                                 "--rate=%d" % rate, "--channels=%d" % channels, path],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 10):
        stop_process(recorder)
        raise RuntimeError("nothing recorded from %s" % address)
    return recorder


def stop_process(process):
    process.terminate()
    process.wait(10)


class Rig:
    """graphics: Wine's graphics driver; display: the X display it draws on.
    tools_dir holds what the build made for the rig (the shim, the fake CD
    driver, rigtool.exe)."""

    def __init__(self, directory=None, graphics="null", display=None, tools_dir=None):
        self.dir = os.path.abspath(directory or rig_dir())
        self.graphics = graphics
        self.display = display
        self.tools_dir = os.path.abspath(tools_dir or self.dir)
        self.prefix = os.path.join(self.dir, "prefix")
        self.drives = os.path.join(self.dir, "drives")
        self.lines = os.path.join(self.dir, "lines")
        self.modem = os.path.join(self.dir, "modem")
        self.mci_log = os.path.join(self.dir, "mci.log")
        self.bin = os.environ.get("HRX_BIN") or os.path.join(os.path.dirname(self.dir), "bin")

    # -- environment -------------------------------------------------------
    def env(self, extra=None):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win32",
            "WINEDEBUG": os.environ.get("WINEDEBUG", "-all"),
            "HALCYRA_RIG_MODEM_DIR": self.modem,
            "HALCYRA_RIG_MCI_LOG": windows_path(self.mci_log),
            "LD_PRELOAD": os.path.join(self.tools_dir, "ptyshim.so"),
        })
        if self.display:
            env["DISPLAY"] = self.display
        if extra:
            env.update(extra)
        return env

    def _log_file(self, name):
        os.makedirs(os.path.join(self.dir, "logs"), exist_ok=True)
        return open(os.path.join(self.dir, "logs", name), "ab")

    def wine(self, args, extra_env=None, timeout=60, cwd=None, check=False, input=None):
        """Runs a Windows program to its end, its standard input the bytes of
        input (or nothing); returns (exit code, output)."""
        out_path = os.path.join(self.dir, "logs", "wine-%d.out" % os.getpid())
        os.makedirs(os.path.dirname(out_path), exist_ok=True)
        stdin = {"stdin": subprocess.DEVNULL} if input is None else {"input": input}
        with open(out_path, "wb") as out:
            proc = subprocess.run(["/usr/lib/wine/wine"] + list(args), env=self.env(extra_env),
                                  stdout=out, stderr=subprocess.STDOUT, timeout=timeout, cwd=cwd, **stdin)
        with open(out_path, "rb") as f:
            text = f.read().decode("latin-1")
        os.unlink(out_path)
        if check and proc.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (args, proc.returncode, text))
        return proc.returncode, text

    def start(self, args, extra_env=None, cwd=None, log_name="start.out"):
        """Starts a Windows program and returns its Popen, output to a log."""
        log = self._log_file(log_name)
        try:
            return subprocess.Popen(["/usr/lib/wine/wine"] + list(args), env=self.env(extra_env),
                                    stdout=log, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL, cwd=cwd)
        finally:
            log.close()

    def programs(self, name):
        """Linux pids of the running Windows programs of this prefix whose
        command line names `name` (for example "hrx.exe")."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode("latin-1")
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            if name.lower() in cmdline.lower() and ("WINEPREFIX=" + self.prefix).encode() in environ:
                pids.append(int(entry))
        return pids

    def kill_programs(self, name, timeout=10):
        """Kills every running copy of a program in this prefix."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            pids = self.programs(name)
            if not pids:
                return
            for pid in pids:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            time.sleep(0.1)

    def wineserver(self, *args):
        subprocess.run(["wineserver"] + list(args), env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # -- prefix --------------------------------------------------------------
    def setup(self):
        self.teardown()
        for d in (self.drives, self.lines, self.modem):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        os.makedirs(os.path.join(self.drives, "d", "Movie"))
        for letter in CD_LETTERS:
            os.makedirs(os.path.join(self.drives, letter))
        open(self.mci_log, "w").close()
        started = time.monotonic()
        env = self.env({"LD_PRELOAD": ""})
        subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self._import_registry(self._rig_registry())
        self.wineserver("-k")
        self._install_driver_files()
        self._install_fonts()
        self.map_drive("d", os.path.join(self.drives, "d"))
        # A persistent server keeps each later program's start near 50 ms;
        # wineboot brings the services up with no test's pipes inherited.
        self.wineserver("-p")
        subprocess.run(["wineboot"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("bench rig ready in %.1f s: %s" % (time.monotonic() - started, self.prefix))

    def _rig_registry(self):
        def esc(s):
            return s.replace("\\", "\\\\").replace('"', '\\"')
        lines = ["REGEDIT4", "",
                 "[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]", '"Graphics"="%s"' % self.graphics, "",
                 "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]", '"Managed"="N"', "",
                 "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]", '"ShowCrashDialog"=dword:00000000', "",
                 "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]"]
        lines += ['"%s:"="cdrom"' % letter for letter in CD_LETTERS]
        lines += ["", "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"]
        lines += ['"COM%d"="%s"' % (n, esc(self.line_link(n))) for n in range(1, COM_PORTS + 1)]
        lines += ["", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\MCI]",
                  '"cdaudio"="fakecd.drv"', ""]
        return "\r\n".join(lines)

    def _import_registry(self, text):
        path = os.path.join(self.dir, "rig.reg")
        with open(path, "w") as f:
            f.write(text)
        self.wine(["regedit", "/S", windows_path(path)], extra_env={"LD_PRELOAD": ""}, check=True)

    def _install_driver_files(self):
        system32 = os.path.join(self.prefix, "drive_c", "windows", "system32")
        shutil.copy(os.path.join(self.tools_dir, "fakecd.drv"), system32)

    def _install_fonts(self):
        """Wine's own fonts, which this Wine does not find by itself: without
        them "MS Sans Serif" falls back to a scalable font one pixel lower, and
        every dialog comes out shorter than on Windows."""
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        for path in glob.glob(os.path.join(WINE_FONTS, "*")):
            shutil.copy(path, fonts)

    def teardown(self):
        if os.path.isdir(self.prefix):
            self.wineserver("-k")
            shutil.rmtree(self.prefix, ignore_errors=True)

    # -- drives ----------------------------------------------------------------
    def drive_dir(self, letter):
        return os.path.join(self.drives, letter.lower())

    def map_drive(self, letter, directory=None):
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.path.abspath(directory or self.drive_dir(letter)), link)

    def unmap_drive(self, letter):
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.unlink(link)

    # -- serial lines ------------------------------------------------------------
    def line_link(self, com):
        return os.path.join(self.lines, "com%d" % com)

    def open_line(self, com):
        return Line(self, com)

    def remove_line(self, com):
        """Makes COM<n> a port that cannot be opened.  Its line points at a
        directory: Wine opens a COM port whose line is missing altogether as
        a device of its own."""
        directory = os.path.join(self.lines, "not-a-port")
        os.makedirs(directory, exist_ok=True)
        link = self.line_link(com)
        os.symlink(directory, link + ".new")
        os.replace(link + ".new", link)

    def mci_requests(self):
        with open(self.mci_log) as f:
            return f.read().splitlines()

    def wait_tray(self, last, timeout=10):
        """The tray's log once it ends with the requests in last, or as it is
        after timeout seconds: the player moves the tray on a thread of its
        own, after it has answered."""
        wait_until(lambda: self.mci_requests()[-len(last):] == last, timeout)
        return self.mci_requests()


class Line:
    """A pty whose slave end is the prefix's COM<n>; the test holds the master
    end as the show controller."""

    def __init__(self, rig, com):
        self.rig = rig
        self.com = com
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        tty.setraw(self.master)
        self.pts = os.ttyname(self.slave)
        link = rig.line_link(com)
        tmp = link + ".new"
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(self.pts, tmp)
        os.replace(tmp, link)

    @property
    def modem_file(self):
        return os.path.join(self.rig.modem, "pts" + self.pts.rsplit("/", 1)[1].replace("pts", ""))

    def dtr(self):
        """1 or 0 as the player last set DTR, None when it never touched it."""
        try:
            with open(self.modem_file) as f:
                return int(f.read().split()[0].split("=")[1])
        except FileNotFoundError:
            return None

    def write(self, data):
        os.write(self.master, data)

    def read(self, count, timeout=2.0):
        """Reads up to count bytes, waiting at most timeout for each."""
        data = b""
        deadline = time.monotonic() + timeout
        while len(data) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.master], [], [], left)
            if not ready:
                break
            try:
                chunk = os.read(self.master, count - len(data))
            except OSError:
                break
            data += chunk
        return data

    def read_quiet(self, quiet=0.2):
        """Reads whatever arrives until the line has been quiet for `quiet` s."""
        data = b""
        while True:
            ready, _, _ = select.select([self.master], [], [], quiet)
            if not ready:
                return data
            try:
                data += os.read(self.master, 4096)
            except OSError:
                return data

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class Image:
    """RGB pixels, top row first, as a screenshot gives them."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, right, bottom):
        left, top = max(left, 0), max(top, 0)
        right, bottom = min(right, self.width), min(bottom, self.height)
        rows = [self.rgb[(y * self.width + left) * 3:(y * self.width + right) * 3] for y in range(top, bottom)]
        return Image(right - left, bottom - top, b"".join(rows))

    def save_png(self, path):
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        stride = self.width * 3
        raw = b"".join(b"\0" + self.rgb[y * stride:(y + 1) * stride] for y in range(self.height))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))


def read_xwd(path):
    """An Image of an xwd dump of a TrueColor screen (24 or 32 bits a pixel)."""
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = ("little" if fields[7] == 0 else "big"), fields[11], fields[12]
    masks, colours = fields[14:17], fields[19]
    if bits_per_pixel not in (24, 32):
        raise ValueError("xwd dump of %d bits a pixel" % bits_per_pixel)
    size = bits_per_pixel // 8
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    offset = header_size + colours * 12
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = offset + y * bytes_per_line
        out = y * width * 3
        for x in range(width):
            value = int.from_bytes(data[row + x * size:row + x * size + size], byte_order)
            i = out + x * 3
            rgb[i] = (value & masks[0]) >> shifts[0]
            rgb[i + 1] = (value & masks[1]) >> shifts[1]
            rgb[i + 2] = (value & masks[2]) >> shifts[2]
    return Image(width, height, bytes(rgb))


class PixelRig(Rig):
    """The prefix for tests that look at pixels: Wine's X11 driver (windows
    unmanaged) on the Xvfb that pixels-setup started for the test run."""

    def __init__(self, directory=None):
        directory = os.path.abspath(directory or pixel_rig_dir())
        display = None
        try:
            with open(os.path.join(directory, "display")) as f:
                display = f.read().strip()
        except FileNotFoundError:
            pass
        super().__init__(directory, graphics="x11", display=display, tools_dir=rig_dir())

    def screenshot(self):
        """The whole screen, as an Image."""
        path = os.path.join(self.dir, "screen.xwd")
        subprocess.run(["xwd", "-root", "-silent", "-display", self.display, "-out", path],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=30)
        return read_xwd(path)

    def setup_pixels(self):
        self.stop_xvfb()
        os.makedirs(self.dir, exist_ok=True)
        self.display = self._start_xvfb()
        with open(os.path.join(self.dir, "display"), "w") as f:
            f.write(self.display)
        self.setup()

    def _start_xvfb(self):
        """Starts Xvfb on a free display, detached from our output; returns
        the display name."""
        read_end, write_end = os.pipe()
        with open(os.path.join(self.dir, "xvfb.log"), "ab") as log:
            proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", XVFB_SCREEN,
                                     "-nolisten", "tcp"],
                                    pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                    start_new_session=True)
        os.close(write_end)
        with open(os.path.join(self.dir, "xvfb.pid"), "w") as f:
            f.write(str(proc.pid))
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start; see %s" % os.path.join(self.dir, "xvfb.log"))
        return ":" + number.decode().strip()

    def stop_xvfb(self):
        pid_path = os.path.join(self.dir, "xvfb.pid")
        try:
            with open(pid_path) as f:
                pid = int(f.read())
        except (FileNotFoundError, ValueError):
            return
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        os.unlink(pid_path)

    def teardown_pixels(self):
        if self.display:
            self.teardown()
        self.stop_xvfb()
        for name in ("display", "screen.xwd"):
            path = os.path.join(self.dir, name)
            if os.path.exists(path):
                os.unlink(path)


def relay(a, b, stop):
    """Copies bytes both ways between two pty masters until stop is set."""
    while not stop.is_set():
        ready, _, _ = select.select([a, b], [], [], 0.05)
        for src in ready:
            dst = b if src == a else a
            try:
                data = os.read(src, 4096)
            except OSError:
                continue
            while data:
                written = os.write(dst, data)
                data = data[written:]


def with_lines(pairs, command):
    rig = Rig()
    lines, threads, extra = [], [], {}
    stop = threading.Event()
    for pair in pairs:
        player_com, controller_com = (int(x) for x in pair.split(":"))
        player, controller = rig.open_line(player_com), rig.open_line(controller_com)
        lines += [player, controller]
        extra["HALCYRA_RIG_MODEM_COM%d" % player_com] = windows_path(player.modem_file)
        t = threading.Thread(target=relay, args=(player.master, controller.master, stop), daemon=True)
        t.start()
        threads.append(t)
    env = dict(os.environ)
    env.update(extra)
    proc = subprocess.run(command, env=env)
    stop.set()
    for t in threads:
        t.join()
    for line in lines:
        line.close()
    return proc.returncode


def main(argv):
    commands = {"setup": lambda: Rig().setup(), "teardown": lambda: Rig().teardown(),
                "pixels-setup": lambda: PixelRig().setup_pixels(),
                "pixels-teardown": lambda: PixelRig().teardown_pixels()}
    if len(argv) >= 2 and argv[1] in commands:
        commands[argv[1]]()
        return 0
    if len(argv) >= 2 and argv[1] == "with-lines" and "--" in argv:
        split = argv.index("--")
        return with_lines(argv[2:split], argv[split + 1:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main(sys.argv))
