"""The controller's side of the line: ldpctl commissioning a player over the
rig's joined COM ports, ldpctl's prompt as a newcomer meets it, and the
native line protocol opening and playing a chapter file by name."""
import os
import threading
import unittest

from player import PlayerTest, mkmpeg
from rig import relay, wait_until, windows_path

CONTROLLER_COM = 12


class Consoles(PlayerTest):
    def setUp(self):
        super().setUp()
        p = self.player
        movie = self.empty_movie()
        for name in ("clip one.mpg", "intro.mpg", "loop.mpg"):
            mkmpeg.write_stream(os.path.join(movie, name), 50)
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        self.stop = None

    def tearDown(self):
        if self.stop:
            self.stop.set()
        super().tearDown()

    def start(self):
        self.start_acknowledged(extra_env={"RTDSIM_BOARDS": "2", "RTDSIM_JOURNAL": self.journal})

    def test_ldpctl_sends_commands_by_name_and_prints_each_answer(self):
        p = self.player
        self.start()
        controller = p.rig.open_line(CONTROLLER_COM)
        self.stop = threading.Event()
        threading.Thread(target=relay, args=(p.line.master, controller.master, self.stop), daemon=True).start()
        script = os.path.join(p.work, "commission.ldp")
        with open(script, "w") as f:
            f.write("# chapter 1, then a few enquiries\nchapter-mode\nsearch 1; chpenq\n0x91\nsearch 9\nboard 1; srcenq\n")
        code, out = p.rig.wine([os.path.join(p.rig.bin, "ldpctl.exe"), "-p", "COM%d" % CONTROLLER_COM,
                                "-f", windows_path(script)], timeout=60)
        controller.close()
        self.assertEqual(code, 3, out)
        self.assertEqual(out.replace("\r\n", "\n").splitlines(), [
            "ldpctl on COM12",
            "-> 0x69 SETCHPMODE", "  <- 0x0A ACK",
            "-> 0x43 SEARCH", "  <- 0x0A ACK",
            "-> 0x31 digit", "  <- 0x0A ACK",
            "-> 0x40 ENTER", "  <- 0x0A ACK", "  <- 0x01 COMPLETION",
            "-> 0x76 CHPENQ", '  <- "01"',
            "-> 0x91 unknown", "  <- 0x0B NAK",
            "-> 0x43 SEARCH", "  <- 0x0A ACK",
            "-> 0x39 digit", "  <- 0x0A ACK",
            "-> 0x40 ENTER", "  <- 0x0A ACK", "  <- 0x05 NOT-TARGET",
            "-> 0x53 SETSCRMODE", "  <- 0x0A ACK",
            "-> 0x31 digit", "  <- 0x0A ACK",
            "-> 0x40 ENTER", "  <- 0x0A ACK", "  <- 0x01 COMPLETION",
            "-> 0x54 SRCENQ", '  <- "01"',
            "1 command(s) got NAK or no answer",
        ])
        self.assertEqual(p.close(), 0)

    def test_ldpctl_at_its_prompt_lists_its_commands_and_ends_as_asked(self):
        p = self.player
        controller = p.rig.open_line(CONTROLLER_COM)
        self.addCleanup(controller.close)
        ldpctl = [os.path.join(p.rig.bin, "ldpctl.exe"), "-p", "COM%d" % CONTROLLER_COM]
        _, usage = p.rig.wine([ldpctl[0], "-h"])
        usage = usage.replace("\r\n", "\n").splitlines()
        commands = usage[usage.index("Commands (any case; several on one line separated by ';'):"):]
        for typed, helps in [
            (b"help\n?\nquit\nplay\n", 2),
            (b"HELP; exit; play\n", 1),
            (b"\x04\nplay\n", 0),          # Ctrl-D as a terminal under Wine passes it on
            (b"\x1a\r\nplay\n", 0),       # Ctrl-Z Enter
            (b"", 0),
        ]:
            code, out = p.rig.wine(ldpctl, input=typed, timeout=60)
            self.assertEqual((code, out.replace("\r\n", "\n").splitlines()),
                             (0, ["ldpctl on COM%d" % CONTROLLER_COM] + commands * helps), typed)
            self.assertEqual(controller.read_quiet(0.2), b"", "%r: nothing sent" % typed)

    def test_native_lines_open_and_play_a_file_by_name_and_the_watcher_keeps_it_going(self):
        p = self.player
        p.set_settings({".hrx\\Protocol": "Halcyra"})
        self.start()
        p.line.write(b'SA "D:\\Movie\\clip one.mpg" 1\r\n')
        p.wait_trace("01 - Opening MPEG file D:\\Movie\\clip one.mpg")
        p.line.write(b"pl\r\n")
        p.wait_trace("Received cmd <pl>")
        wait_until(lambda: "rtdContinue 1 -> 258" in self.journal_lines(), 10)
        journal = self.journal_lines()
        self.assertIn('rtdOpen 1 "D:\\Movie\\clip one.mpg" 0 -> 0', journal)
        self.assertIn("rtdPlay 1 0 2147483647 3 -> 0", journal)
        played = journal.index("rtdPlay 1 0 2147483647 3 -> 0")
        self.assertGreater(journal[played:].count("rtdContinue 1 -> 0"), 20, "the watcher services the board")
        self.assertIn("rtdContinue 1 -> 258", journal[played:])
        # The file has ended: the board waits on the current chapter, 0,
        # which is the same file here.
        p.wait_trace("01 - Opening MPEG file D:\\Movie\\clip one.mpg", count=2)
        p.line.write(b"OP, now\r\n")
        self.assertEqual(p.line.read(2, timeout=5), b"R\n")
        opened = ["open", "set door open", "close"]
        self.assertEqual(p.rig.wait_tray(opened)[-3:], opened)
        p.line.write(b"OPEN\r\nSA x.mpg 7\r\n")
        p.wait_trace("Unable to open MPEG file x.mpg")
        self.assertEqual(p.line.read_quiet(0.3), b"")
        self.assertEqual(p.close(), 0)


if __name__ == "__main__":
    unittest.main()
