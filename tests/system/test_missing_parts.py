"""Missing parts: hrx.exe copied into a directory of its own without
KSmpeg.dll, with KSmpeg.dll but without RtdSdk.dll, with a KSmpeg.dll or a
TRmpeg.dll that lacks entry points, with the bench decoder reporting no
board, and with a library that reports 17 boards (the table has room for
16).  Each time the player starts, traces what it found, answers every LDP
command as the boards it has allow, and shuts down cleanly."""
import os
import re
import shutil
import unittest

from controller import ACK, walk_every_command
from player import Player, write_chapters
from rig import windows_path

CHAPTERS = 3
NO_FRAME = b"-0000"   # the wrappers' -1 when no library answers the enquiry
CLOSING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"


class MissingParts(unittest.TestCase):
    def setUp(self):
        self.player = Player(self.id().rsplit(".", 1)[1])
        p = self.player
        p.clear_settings()
        movie = os.path.join(p.work, "Movie")
        write_chapters(movie, [50] * CHAPTERS)
        self.settings = {
            "Debug\\TraceFile": windows_path(p.trace_path),
            ".hrx\\ComID": "2",
            ".hrx\\DefaultMPEG": windows_path(movie) + "\\*.mpg",
        }
        self.built = os.path.dirname(p.rig.bin)
        # hrx.exe in a directory of its own: only the libraries a case puts
        # beside it can be loaded (the working directory holds none).
        self.scratch_bin = os.path.join(p.work, "bin")
        os.makedirs(self.scratch_bin)
        shutil.copy(os.path.join(p.rig.bin, "hrx.exe"), self.scratch_bin)
        self.journal = os.path.join(p.work, "journal.txt")

    def tearDown(self):
        self.player.kill()

    def place(self, *paths):
        for path in paths:
            shutil.copy(os.path.join(self.built, path), self.scratch_bin)

    def start(self, settings=None, extra_env=None):
        p = self.player
        p.set_settings(dict(self.settings, **(settings or {})))
        p.rig.bin = self.scratch_bin
        p.start(com=2, extra_env=extra_env)
        self.assertEqual(p.line.read(1, timeout=60), ACK, "the start-up acknowledgement")
        p.wait_window()
        return p

    def found(self, trace, boards, kind):
        """The lines from the board kind (if any) to the last board brought up."""
        found = trace.index("Found %d MPEG Board(s)" % boards)
        if kind:
            self.assertEqual(trace[found - 1], "Initialising %s Board(s)" % kind)
        self.assertEqual(trace[found + 2 * boards + 1], "Starting garbage collection interval at 12:00:00.00")
        for board in range(boards):
            self.assertEqual(trace[found + 1 + 2 * board], "Initialising MPEG Board %d" % board)

    def close(self, boards):
        p = self.player
        self.assertEqual(p.close(), 0)
        trace = p.trace()
        expected = []
        for board in range(boards):
            expected += ["%02d - Displaying closing image <%s>" % (board, CLOSING), "Free MPEG Board %d" % board]
        expected += ["Free MPEG system", "Halcyra Remote Closed", "", ""]
        self.assertEqual(trace[-len(expected):], expected)

    def journal_lines(self):
        with open(self.journal, "rb") as f:
            return f.read().decode("latin-1").splitlines()

    def test_without_ksmpeg(self):
        self.place("bin/RtdSdk.dll")
        p = self.start()
        self.found(p.trace(), 0, "VideoQuest")
        walk_every_command(self, p.line, 0, CHAPTERS, NO_FRAME)
        self.close(0)

    def test_without_the_decoder_sdk(self):
        self.place("bin/KSmpeg.dll")
        p = self.start()
        self.found(p.trace(), 0, "VideoQuest")
        walk_every_command(self, p.line, 0, CHAPTERS, NO_FRAME)
        self.close(0)

    def test_ksmpeg_lacking_entry_points(self):
        self.place("fakes/ksmpeg-partial/KSmpeg.dll", "bin/RtdSdk.dll")
        p = self.start(extra_env={"RTDSIM_BOARDS": "2", "RTDSIM_JOURNAL": windows_path(self.journal)})
        self.found(p.trace(), 2, "VideoQuest")
        walk_every_command(self, p.line, 2, CHAPTERS, NO_FRAME)
        self.close(2)
        calls = self.journal_lines()
        self.assertTrue([call for call in calls if call.startswith("rtdInitBoard 1 ")], "board 1 brought up")
        self.assertFalse([call for call in calls if call.startswith(("rtdOpen", "rtdPlay", "rtdContinue"))],
                         "the entry points it lacks are never reached")

    def test_trmpeg_lacking_entry_points(self):
        self.place("fakes/trmpeg-partial/TRmpeg.dll")
        p = self.start({"Control\\BoardType": "1"}, {"TRMPEG_BOARDS": "2",
                                                     "TRMPEG_JOURNAL": windows_path(self.journal)})
        self.found(p.trace(), 2, None)
        walk_every_command(self, p.line, 2, CHAPTERS, NO_FRAME)
        self.close(2)
        self.assertEqual(self.journal_lines(), ["TRInitMPEG unset=18"], "its only entry point, once")

    def test_bench_decoder_reporting_no_board(self):
        self.place("bin/KSmpeg.dll", "bin/RtdSdk.dll")
        p = self.start(extra_env={"RTDSIM_BOARDS": "0"})
        self.found(p.trace(), 0, "VideoQuest")
        # The library reads the frame of board 0 from a decoder that has
        # none, and is given 0.
        walk_every_command(self, p.line, 0, CHAPTERS, b"00000")
        self.close(0)

    def test_library_reporting_17_boards_drives_16(self):
        self.place("fakes/trmpeg/TRmpeg.dll")
        p = self.start({"Control\\BoardType": "1"}, {"TRMPEG_BOARDS": "17",
                                                     "TRMPEG_JOURNAL": windows_path(self.journal)})
        self.found(p.trace(), 16, None)
        walk_every_command(self, p.line, 16, CHAPTERS)
        self.close(16)
        calls = self.journal_lines()
        self.assertIn("TRFreeBoardMPEG 15", calls)
        self.assertFalse([call for call in calls if re.match(r"^TR\w+MPEG 16( |$)", call)],
                         "no call for a seventeenth board")


if __name__ == "__main__":
    unittest.main()
