"""Hostile settings in the registry: every value absent, empty, 255, 256 and
300 characters long, a REG_DWORD, and REG_BINARY of 255 and 256 bytes
without a terminator, all values of one kind at once.  The player starts
and answers; each field takes the value its loading rules give, as the
boards (the recording TRmpeg.dll or the bench decoder), the trace log, the
serial line, the processor time of the idle loop and the values written
back at shut-down show; nothing overruns (Wine checks the heap)."""
import os
import time
import unittest

from controller import CHPENQ, NATIVE_ANSWER
from player import PlayerTest
from rig import windows_path

CONTROL, DEBUG, HRX = "Control", "Debug", ".hrx"
OPENING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr"
CLOSING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"
MOVIE = "D:\\Movie\\"
# The text a DWORD of 0x34333231 holds, read as bytes: "1234", no terminator.
DWORD_TEXT = "1234"
# Processor time per second of the player's loop: the idle loop spins (it
# shares the processor with the wineserver it asks for messages), the
# ordinary loop sleeps between its 5 ms timer ticks.
IDLE_CPU_SHARE = 0.15
CPU_SAMPLE_S = 2


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def after_the_port(trace):
    """The lines after the serial port's opening ones."""
    for i, line in enumerate(trace):
        if line.startswith("Started CommWatchThread ID "):
            return trace[i + 1:]
    raise AssertionError("the port was never opened:\n" + "\n".join(trace))


class Texts:
    """The text of each value at a given length: numbers padded with zeros
    in front, words that are no word the loader knows, and paths."""

    def __init__(self, player, length):
        self.length = length
        trace_folder = windows_path(player.work) + "\\"
        self.values = {
            (CONTROL, "SyncMode"): "x" * length,
            (CONTROL, "BoardType"): self.number(1),
            (CONTROL, "VideoMode"): "x" * length,
            (CONTROL, "StreamType"): "x" * length,
            (CONTROL, "StartUpImage"): self.path("C:\\Stills\\", "o", ".ybr"),
            (CONTROL, "CloseDnImage"): self.path("C:\\Stills\\", "c", ".ybr"),
            (CONTROL, "ScreenX"): self.number(7),
            (CONTROL, "ScreenY"): self.number(9),
            (CONTROL, "FIFOLimit"): self.number(5),
            (CONTROL, "OutputStd"): "x" * length,
            (CONTROL, "IdleProcessing"): "x" * length,
            (DEBUG, "TraceSize"): self.number(500),
            (DEBUG, "TraceFile"): self.path(trace_folder, "t", ".txt"),
            (HRX, "ComID"): self.number(3),
            (HRX, "DefaultMPEG"): self.path(MOVIE, "m", ".mpg"),
            (HRX, "Protocol"): "x" * length,
        }

    def number(self, value):
        text = str(value)
        return "0" * (self.length - len(text)) + text

    def path(self, folder, letter, extension):
        return folder + letter * (self.length - len(folder) - len(extension)) + extension


# The fields as SaveSettings writes them back, when every value is absent.
DEFAULTS = {
    (CONTROL, "BoardType"): "3", (CONTROL, "SyncMode"): "Int", (CONTROL, "VideoMode"): "PAL_443",
    (CONTROL, "StreamType"): "System", (CONTROL, "StartUpImage"): OPENING, (CONTROL, "CloseDnImage"): CLOSING,
    (CONTROL, "ScreenX"): "0", (CONTROL, "ScreenY"): "0", (CONTROL, "FIFOLimit"): "2048",
    (CONTROL, "OutputStd"): "YUV", (DEBUG, "TraceSize"): "1000", (DEBUG, "TraceFile"): "Trace.txt",
    (HRX, "ComID"): "2", (HRX, "DefaultMPEG"): MOVIE + "*.mpg", (HRX, "Protocol"): "Sony LDP",
}
# What every other text than a known word gives.
OTHER_WORDS = {
    (CONTROL, "SyncMode"): "Int", (CONTROL, "VideoMode"): "PAL_443", (CONTROL, "StreamType"): "System",
    (CONTROL, "OutputStd"): "YUV", (HRX, "Protocol"): "Halcyra",
}


class HostileSettings(PlayerTest):
    def setUp(self):
        super().setUp()
        self.movie = self.empty_movie()

    # -- one run -----------------------------------------------------------
    def write_values(self, values):
        """values: {(sub-key, name): (type, data)}; type "sz" takes a text,
        "dword" a number, "binary" bytes."""
        self.player.set_settings({sub + "\\" + name: (kind, data.hex() if kind == "binary" else data)
                                  for (sub, name), (kind, data) in values.items()})

    def run_player(self, values, com, trace_path, protocol):
        """Starts the player on the values, checks that it starts, answers
        a command and shuts down; returns the trace, the share of the
        processor its loop took, and the registry afterwards."""
        p = self.player
        self.write_values(values)
        for path in (trace_path or p.trace_path, self.journal):
            if os.path.exists(path):
                os.unlink(path)
        self.start_acknowledged(com, extra_env={"WINEDEBUG": "warn+heap", "RTDSIM_BOARDS": "2",
                                                "TRMPEG_BOARDS": "2", "TRMPEG_JOURNAL": windows_path(self.journal)})
        if protocol == "Sony LDP":
            p.line.write(CHPENQ)
            self.assertEqual(p.line.read(2, timeout=10), b"00")
        else:
            p.line.write(b"CO\r")
            self.assertEqual(p.line.read(2, timeout=10), NATIVE_ANSWER)
        (pid,) = p.rig.programs("hrx.exe")
        before = cpu_seconds(pid)
        time.sleep(CPU_SAMPLE_S)
        loop_cpu = (cpu_seconds(pid) - before) / CPU_SAMPLE_S
        self.assertEqual(p.close(), 0)
        self.assertEqual(p.heap_reports(), [], "Wine's heap checks")
        trace = p.trace(trace_path)
        self.assertEqual(trace[0], "Halcyra.hrx Ver 1.25 Rev B started", "the trace of this run")
        self.assertEqual(trace[-3:], ["Halcyra Remote Closed", "", ""])
        saved = {}
        for sub in (CONTROL, DEBUG, HRX):
            for name, (kind, data) in p.registry(sub).items():
                saved[(sub, name)] = (kind, data)
        return trace, loop_cpu, saved

    def check_saved(self, saved, fields, idle_value):
        """Every field written back as text; IdleProcessing left as it was."""
        for key, text in fields.items():
            self.assertEqual(saved.get(key), ("sz", text.encode("latin-1") + b"\0"), "%s\\%s" % key)
        self.assertEqual(saved.get((CONTROL, "IdleProcessing")), idle_value, "IdleProcessing is never written")

    def check_idle_loop(self, loop_cpu, idle):
        if idle:
            self.assertGreater(loop_cpu, IDLE_CPU_SHARE, "the idle loop spins")
        else:
            self.assertLess(loop_cpu, IDLE_CPU_SHARE, "the ordinary loop waits for messages")

    def default_run(self, values):
        """A run in which every value gives its default."""
        trace, loop_cpu, saved = self.run_player(values, 2, None, "Sony LDP")
        self.assertEqual(after_the_port(trace)[:4], ["Initialising VideoQuest Board(s)", "Found 2 MPEG Board(s)",
                                                     "Initialising MPEG Board 0",
                                                     "00 - Displaying opening image <%s>" % OPENING])
        self.assertIn("01 - Displaying closing image <%s>" % CLOSING, trace)
        self.check_idle_loop(loop_cpu, False)
        return saved

    def long_run(self, values, texts):
        """A run in which every value is 255 characters long and taken."""
        long_chapter = texts.values[(HRX, "DefaultMPEG")]
        open(os.path.join(self.movie, long_chapter[len(MOVIE):]), "w").close()
        self.place_trmpeg()
        trace_path = os.path.join(self.player.work, texts.values[(DEBUG, "TraceFile")].rsplit("\\", 1)[1])
        trace, loop_cpu, saved = self.run_player(values, 3, trace_path, "Halcyra")
        self.assertIn("CHP 0 - " + long_chapter, trace)
        self.assertEqual([line for line in self.journal_lines() if not line.startswith("TRCheckMPEG")], [
            "TRInitMPEG unset=18",
            "TRInitBoardMPEG 0 video=16 sync=1 stream=4", "TRSetVideoOutputMPEG 0 1",
            "TRDisplayImageMPEG 0 " + texts.values[(CONTROL, "StartUpImage")],
            "TRInitBoardMPEG 1 video=16 sync=1 stream=4", "TRSetVideoOutputMPEG 1 1",
            "TRDisplayImageMPEG 1 " + texts.values[(CONTROL, "StartUpImage")],
            "TROpenMPEG 0 " + long_chapter, "TROpenMPEG 1 " + long_chapter,
            "TRDisplayImageMPEG 0 " + texts.values[(CONTROL, "CloseDnImage")], "TRFreeBoardMPEG 0",
            "TRDisplayImageMPEG 1 " + texts.values[(CONTROL, "CloseDnImage")], "TRFreeBoardMPEG 1",
            "TRFreeMPEG",
        ])
        self.check_idle_loop(loop_cpu, True)
        fields = dict((key, text) for key, text in texts.values.items())
        fields.update(OTHER_WORDS)
        fields.update({(CONTROL, "BoardType"): "1", (CONTROL, "ScreenX"): "7", (CONTROL, "ScreenY"): "9",
                       (CONTROL, "FIFOLimit"): "5", (DEBUG, "TraceSize"): "500", (HRX, "ComID"): "3"})
        del fields[(CONTROL, "IdleProcessing")]
        return saved, fields

    # -- the kinds of value ----------------------------------------------------
    def test_absent(self):
        saved = self.default_run({})
        self.check_saved(saved, DEFAULTS, None)

    def test_empty(self):
        values = dict((key, ("sz", "")) for key in Texts(self.player, 0).values)
        trace, loop_cpu, saved = self.run_player(values, 1, None, "Halcyra")
        self.assertEqual(after_the_port(trace)[0], "Found 0 MPEG Board(s)", "board type 0 loads no library")
        self.assertFalse([line for line in trace if line.startswith("CHP ")], "no chapter pattern, no table")
        self.check_idle_loop(loop_cpu, True)
        fields = dict(OTHER_WORDS)
        fields.update({(CONTROL, "BoardType"): "0", (CONTROL, "StartUpImage"): "", (CONTROL, "CloseDnImage"): "",
                       (CONTROL, "ScreenX"): "0", (CONTROL, "ScreenY"): "0", (CONTROL, "FIFOLimit"): "2048",
                       (DEBUG, "TraceSize"): "0", (DEBUG, "TraceFile"): "Trace.txt", (HRX, "ComID"): "1",
                       (HRX, "DefaultMPEG"): ""})
        self.check_saved(saved, fields, ("sz", b"\0"))

    def test_255_characters(self):
        texts = Texts(self.player, 255)
        values = dict((key, ("sz", text)) for key, text in texts.values.items())
        saved, fields = self.long_run(values, texts)
        self.check_saved(saved, fields, ("sz", texts.values[(CONTROL, "IdleProcessing")].encode() + b"\0"))

    def test_256_and_300_characters(self):
        for length in (256, 300):
            with self.subTest(length=length):
                texts = Texts(self.player, length)
                values = dict((key, ("sz", text)) for key, text in texts.values.items())
                try:
                    saved = self.default_run(values)
                finally:
                    self.player.kill()
                self.check_saved(saved, DEFAULTS, ("sz", texts.values[(CONTROL, "IdleProcessing")].encode() + b"\0"))
                self.player.clear_settings()

    def test_dword(self):
        values = dict((key, ("dword", "0x34333231")) for key in Texts(self.player, 0).values)
        # ComID's DWORD holds "12" and two terminators: a port above 4 is
        # opened ("1234" would be COM256, beyond the rig's ports).
        values[(HRX, "ComID")] = ("dword", "0x00003231")
        trace_path = os.path.join(self.player.work, DWORD_TEXT)
        trace, loop_cpu, saved = self.run_player(values, 12, trace_path, "Halcyra")
        self.assertEqual(after_the_port(trace)[0], "Found 0 MPEG Board(s)", "board type 1234 loads no library")
        self.check_idle_loop(loop_cpu, True)
        fields = dict(OTHER_WORDS)
        fields.update({(CONTROL, "BoardType"): DWORD_TEXT, (CONTROL, "StartUpImage"): DWORD_TEXT,
                       (CONTROL, "CloseDnImage"): DWORD_TEXT, (CONTROL, "ScreenX"): DWORD_TEXT,
                       (CONTROL, "ScreenY"): DWORD_TEXT, (CONTROL, "FIFOLimit"): DWORD_TEXT,
                       (DEBUG, "TraceSize"): DWORD_TEXT, (DEBUG, "TraceFile"): DWORD_TEXT, (HRX, "ComID"): "12",
                       (HRX, "DefaultMPEG"): DWORD_TEXT})
        self.check_saved(saved, fields, ("dword", DWORD_TEXT.encode()))

    def test_binary_without_a_terminator(self):
        texts = Texts(self.player, 255)
        values = dict((key, ("binary", text.encode())) for key, text in texts.values.items())
        saved, fields = self.long_run(values, texts)
        self.check_saved(saved, fields, ("binary", texts.values[(CONTROL, "IdleProcessing")].encode()))

        self.player.clear_settings()
        texts = Texts(self.player, 256)
        values = dict((key, ("binary", text.encode())) for key, text in texts.values.items())
        saved = self.default_run(values)
        self.check_saved(saved, DEFAULTS, ("binary", texts.values[(CONTROL, "IdleProcessing")].encode()))

    def test_trace_file_naming_a_device(self):
        """The trace file names the player's own serial port, another port
        (whose line the test holds, as a device that never sends), or a
        printer: no trace line reaches a device, the trimmer does not wait
        on one, and the player starts and answers at its usual pace."""
        p = self.player
        other_port = p.rig.open_line(3)
        self.addCleanup(other_port.close)
        for trace_file in ("COM2", "\\\\.\\COM3", "C:\\LPT1.txt"):
            with self.subTest(trace_file=trace_file):
                p.clear_settings()
                p.set_settings({"Debug\\TraceFile": trace_file, "Control\\BoardType": "0"})
                try:
                    self.start_acknowledged(timeout=30)
                    started = time.monotonic()
                    for _ in range(5):
                        p.line.write(CHPENQ)
                        self.assertEqual(p.line.read(2, timeout=10), b"00")
                    self.assertLess(time.monotonic() - started, 2, "five answers without a wait on the trace")
                    self.assertEqual(p.line.read_quiet(0.3), b"", "nothing but answers on the line")
                    self.assertEqual(p.close(), 0)
                finally:
                    p.kill()
                self.assertEqual(other_port.read_quiet(0.1), b"", "nothing written to COM3")
                self.assertEqual(p.registry_text(DEBUG).get("TraceFile"), trace_file, "saved as stored")


if __name__ == "__main__":
    unittest.main()
