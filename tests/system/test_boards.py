"""Board type 1 on the bench rig: hrx.exe with the recording TRmpeg.dll in its
working directory brings two boards up, carries the show controller's LDP
bytes out on them, keeps a repeating file going, and takes the boards down
at shut-down; without the library it finds no board and still answers."""
import os
import unittest

from controller import ACK, COMPLETION, NAK, NOT_TARGET
from player import PlayerTest
from rig import wait_until, windows_path

OPEN_IMAGE = "C:\\Stills\\open.ybr"
CLOSE_IMAGE = "C:\\Stills\\close.ybr"


class BoardTypeOne(PlayerTest):
    def start(self, with_library):
        p = self.player
        self.movie = windows_path(os.path.join(p.work, "Movie"))
        os.makedirs(os.path.join(p.work, "Movie"))
        for chapter in ("b.mpg", "c.mpg", "a.mpg"):
            with open(os.path.join(p.work, "Movie", chapter), "w") as f:
                f.write(chapter)
        p.set_settings({
            "Control\\BoardType": "1",
            "Control\\StartUpImage": OPEN_IMAGE,
            "Control\\CloseDnImage": CLOSE_IMAGE,
            "Debug\\TraceFile": windows_path(p.trace_path),
            ".hrx\\ComID": "2",
            ".hrx\\DefaultMPEG": self.movie + "\\*.mpg",
            ".hrx\\Protocol": "Sony LDP",
        })
        if with_library:
            self.place_trmpeg()
        self.control_path = os.path.join(p.work, "control.txt")
        return self.start_acknowledged(timeout=30, extra_env={"TRMPEG_BOARDS": "2",
                                                              "TRMPEG_JOURNAL": windows_path(self.journal),
                                                              "TRMPEG_CONTROL": windows_path(self.control_path)})

    def chapter(self, name):
        return self.movie + "\\" + name

    def board_calls(self):
        """The board calls so far, without the watcher's polls."""
        try:
            return [line for line in self.journal_lines() if not line.startswith("TRCheckMPEG")]
        except FileNotFoundError:
            return []

    def polls(self):
        return self.journal_lines().count("TRCheckMPEG 0")

    def report(self, event):
        """Makes the next CheckMPEG of board 0 report the event."""
        temporary = self.control_path + ".new"
        with open(temporary, "w") as f:
            f.write("0 %s\n" % event)
        os.replace(temporary, self.control_path)

    def ask(self, command, count):
        p = self.player
        p.line.write(command)
        return p.line.read(count, timeout=10)

    def test_two_boards_brought_up_driven_and_taken_down(self):
        p = self.start(with_library=True)
        a, b, c = self.chapter("a.mpg"), self.chapter("b.mpg"), self.chapter("c.mpg")
        trace = p.trace()
        found = trace.index("Found 2 MPEG Board(s)")
        self.assertEqual(trace[found:found + 11], [
            "Found 2 MPEG Board(s)",
            "Initialising MPEG Board 0",
            "00 - Displaying opening image <%s>" % OPEN_IMAGE,
            "Initialising MPEG Board 1",
            "01 - Displaying opening image <%s>" % OPEN_IMAGE,
            "Starting garbage collection interval at 12:00:00.00",
            "CHP 0 - " + a,
            "CHP 1 - " + b,
            "CHP 2 - " + c,
            "00 - Opening MPEG file " + a,
            "01 - Opening MPEG file " + a,
        ])
        self.assertFalse([line for line in trace if line.startswith("Initialising") and "Board(s)" in line],
                         "board type 1 names no board kind")
        self.assertEqual(self.board_calls(), [
            "TRInitMPEG unset=18",
            "TRInitBoardMPEG 0 video=16 sync=1 stream=4", "TRSetVideoOutputMPEG 0 1",
            "TRDisplayImageMPEG 0 " + OPEN_IMAGE,
            "TRInitBoardMPEG 1 video=16 sync=1 stream=4", "TRSetVideoOutputMPEG 1 1",
            "TRDisplayImageMPEG 1 " + OPEN_IMAGE,
            "TROpenMPEG 0 " + a, "TROpenMPEG 1 " + a,
        ])
        self.assertEqual(self.polls(), 0, "stopped boards are not polled")

        # Chapter 2 on board 0, played under repeat.
        self.assertEqual(self.ask(b"iC2@", 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.ask(b"v", 2), b"02")
        self.assertEqual(self.ask(b":", 1), ACK)
        self.assertEqual(self.ask(b"D", 1), ACK)
        self.assertEqual(self.board_calls()[9:], [
            "TRStillMPEG 0", "TRStopMPEG 0", "TROpenMPEG 0 " + c,
            "TRBlankMPEG 0 0", "TRPlayMPEG 0 2147483646 999999999 0",
            "TROpenMPEG 0 " + c,
        ])
        wait_until(lambda: self.polls() >= 3, 10)
        self.assertGreaterEqual(self.polls(), 3, "a playing board is serviced by the 5 ms timer")

        self.report("started")
        p.wait_trace("00 - Playing MPEG file " + c, count=2)
        wait_until(lambda: len(self.board_calls()) >= 16, 10)
        self.assertEqual(self.board_calls()[15:], ["TROpenMPEG 0 " + c], "queued behind itself once more")

        self.report("stopped")
        p.wait_trace("00 - Opening MPEG file " + c, count=2)
        wait_until(lambda: len(self.board_calls()) >= 17, 10)
        self.assertEqual(self.board_calls()[16:], ["TROpenMPEG 0 " + c], "the current chapter again")
        self.assertEqual(p.line.read_quiet(0.3), b"", "a file's end is not reported to the controller")

        self.assertEqual(p.close(), 0)
        trace = p.trace()
        closing = trace.index("00 - Displaying closing image <%s>" % CLOSE_IMAGE)
        self.assertEqual(trace[closing:], [
            "00 - Displaying closing image <%s>" % CLOSE_IMAGE, "Free MPEG Board 0",
            "01 - Displaying closing image <%s>" % CLOSE_IMAGE, "Free MPEG Board 1",
            "Free MPEG system", "Halcyra Remote Closed", "", "",
        ])
        self.assertEqual(self.board_calls()[-5:], [
            "TRDisplayImageMPEG 0 " + CLOSE_IMAGE, "TRFreeBoardMPEG 0",
            "TRDisplayImageMPEG 1 " + CLOSE_IMAGE, "TRFreeBoardMPEG 1", "TRFreeMPEG",
        ])

    def test_without_the_library_no_board_is_found_and_every_byte_is_answered(self):
        p = self.start(with_library=False)
        trace = p.trace()
        found = trace.index("Found 0 MPEG Board(s)")
        self.assertEqual(trace[found + 1:found + 5], [
            "Starting garbage collection interval at 12:00:00.00",
            "CHP 0 - " + self.chapter("a.mpg"),
            "CHP 1 - " + self.chapter("b.mpg"),
            "CHP 2 - " + self.chapter("c.mpg"),
        ])
        self.assertFalse([line for line in trace if "MPEG Board " in line or "image <" in line
                          or "Opening MPEG file" in line], "no board lines")
        self.assertEqual(self.ask(b"`", 5), b"-0000")
        self.assertEqual(self.ask(b"iC1@", 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.ask(b"S1@", 4), ACK * 3 + NOT_TARGET)
        self.assertEqual(self.ask(b"A", 1), NAK)
        self.assertEqual(p.close(), 0)
        self.assertEqual(p.trace()[-4:], ["Free MPEG system", "Halcyra Remote Closed", "", ""])
        self.assertFalse(os.path.exists(self.journal), "no library was loaded")


if __name__ == "__main__":
    unittest.main()
