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

from controller import walk_every_command
from player import PlayerTest
from rig import windows_path

CHAPTERS = 3
NO_FRAME = b"-0000"   # the wrappers' -1 when no library answers the enquiry
CLOSING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"


class MissingParts(PlayerTest):
    def setUp(self):
        super().setUp()
        p = self.player
        self.settings = self.own_chapters([50] * CHAPTERS)
        self.built = os.path.dirname(p.rig.bin)
        # hrx.exe in a directory of its own: only the libraries a case puts
        # beside it can be loaded (the working directory holds none).
        self.scratch_bin = os.path.join(p.work, "bin")
        os.makedirs(self.scratch_bin)
        shutil.copy(os.path.join(p.rig.bin, "hrx.exe"), self.scratch_bin)

    def place(self, *paths):
        for path in paths:
            shutil.copy(os.path.join(self.built, path), self.scratch_bin)

    def start(self, settings=None, extra_env=None):
        p = self.player
        p.set_settings(dict(self.settings, **(settings or {})))
        p.rig.bin = self.scratch_bin
        self.start_acknowledged(extra_env=extra_env)

    def walk(self, boards, kind, frame_answer=NO_FRAME):
        """Checks the trace from the board kind (if any) to the last board
        brought up, walks every command, closes the player and checks that
        it took every board down."""
        p = self.player
        trace = p.trace()
        found = trace.index("Found %d MPEG Board(s)" % boards)
        if kind:
            self.assertEqual(trace[found - 1], "Initialising %s Board(s)" % kind)
        self.assertEqual(trace[found + 2 * boards + 1], "Starting garbage collection interval at 12:00:00.00")
        for board in range(boards):
            self.assertEqual(trace[found + 1 + 2 * board], "Initialising MPEG Board %d" % board)
        walk_every_command(self, p.line, boards, CHAPTERS, frame_answer)
        self.assertEqual(p.close(), 0)
        expected = []
        for board in range(boards):
            expected += ["%02d - Displaying closing image <%s>" % (board, CLOSING), "Free MPEG Board %d" % board]
        expected += ["Free MPEG system", "Halcyra Remote Closed", "", ""]
        self.assertEqual(p.trace()[-len(expected):], expected)

    def test_without_ksmpeg(self):
        self.place("bin/RtdSdk.dll")
        self.start()
        self.walk(0, "VideoQuest")

    def test_without_the_decoder_sdk(self):
        self.place("bin/KSmpeg.dll")
        self.start()
        self.walk(0, "VideoQuest")

    def test_ksmpeg_lacking_entry_points(self):
        self.place("fakes/ksmpeg-partial/KSmpeg.dll", "bin/RtdSdk.dll")
        self.start(extra_env={"RTDSIM_BOARDS": "2", "RTDSIM_JOURNAL": windows_path(self.journal)})
        self.walk(2, "VideoQuest")
        calls = self.journal_lines()
        self.assertTrue([call for call in calls if call.startswith("rtdInitBoard 1 ")], "board 1 brought up")
        self.assertFalse([call for call in calls if call.startswith(("rtdOpen", "rtdPlay", "rtdContinue"))],
                         "the entry points it lacks are never reached")

    def test_trmpeg_lacking_entry_points(self):
        self.place("fakes/trmpeg-partial/TRmpeg.dll")
        self.start({"Control\\BoardType": "1"}, {"TRMPEG_BOARDS": "2", "TRMPEG_JOURNAL": windows_path(self.journal)})
        self.walk(2, None)
        self.assertEqual(self.journal_lines(), ["TRInitMPEG unset=18"], "its only entry point, once")

    def test_bench_decoder_reporting_no_board(self):
        self.place("bin/KSmpeg.dll", "bin/RtdSdk.dll")
        self.start(extra_env={"RTDSIM_BOARDS": "0"})
        # The library reads the frame of board 0 from a decoder that has
        # none, and is given 0.
        self.walk(0, "VideoQuest", b"00000")

    def test_library_reporting_17_boards_drives_16(self):
        self.place("fakes/trmpeg/TRmpeg.dll")
        self.start({"Control\\BoardType": "1"}, {"TRMPEG_BOARDS": "17", "TRMPEG_JOURNAL": windows_path(self.journal)})
        self.walk(16, None, frame_answer=None)
        calls = self.journal_lines()
        self.assertIn("TRFreeBoardMPEG 15", calls)
        self.assertFalse([call for call in calls if re.match(r"^TR\w+MPEG 16( |$)", call)],
                         "no call for a seventeenth board")


if __name__ == "__main__":
    unittest.main()
