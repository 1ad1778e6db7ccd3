"""The main job end to end: a show controller on the serial line drives
chapters on bench decoder boards through the real KSmpeg.dll and OSmpeg.dll,
seen only from outside (the line, the trace log, the decoder's journal, the
tray log and the registry)."""
import os
import re
import time
import unittest

from controller import (ACK, CHPENQ, COMPLETION, ENTER, FPLAY, MOTORON, NAK, REPEAT, SADDRENQ, SEARCH,
                        SETCHPMODE, SETFRMMODE, STILL)
from player import PlayerTest, mkmpeg
from rig import wait_until, windows_path

MOVIE = "D:\\Movie\\"
OPENING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr"
CLOSING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"

# Chapter 0 to 3 in sorted order.
CHAPTERS = [("Attract.mpg", 2), ("Boarding.mpg", 3), ("Chase.mpg", 60), ("Departure.mpg", 2)]


class Show(PlayerTest):
    boards = 2
    board_type = None

    def setUp(self):
        super().setUp()
        p = self.player
        self.movie = self.empty_movie()
        for name, seconds in CHAPTERS:
            mkmpeg.write_stream(os.path.join(self.movie, name), seconds * mkmpeg.FRAMES_PER_SECOND)
        settings = {"Debug\\TraceFile": windows_path(p.trace_path)}
        if self.board_type:
            settings["Control\\BoardType"] = str(self.board_type)
        p.set_settings(settings)
        open(p.rig.mci_log, "w").close()

    def start(self, **waits):
        self.start_acknowledged(extra_env={"RTDSIM_BOARDS": str(self.boards), "RTDSIM_JOURNAL": self.journal},
                                **waits)

    def send(self, command, answer_length, timeout=5.0):
        """Sends command bytes one by one, collecting answer_length bytes."""
        p = self.player
        for byte in command:
            p.line.write(bytes([byte]))
        return p.line.read(answer_length, timeout=timeout)

    def quiet(self):
        """Nothing more arrives on the line."""
        self.assertEqual(self.player.line.read_quiet(0.3), b"")

    def wait_journal(self, line, count=1, timeout=15):
        if not wait_until(lambda: self.journal_lines().count(line) >= count, timeout):
            self.fail("journal never showed %r %d times" % (line, count))


class StartUpAndShutDown(Show):
    def test_start_up_brings_both_boards_up_in_order_and_shut_down_frees_them(self):
        p = self.player
        self.start()
        lines = p.trace()
        self.assertEqual(lines, [
            "Halcyra.hrx Ver 1.25 Rev B started",
            "Initialising RS232 Port 2",
            "RS232 Flow Control None",
            lines[3],
            "Initialising VideoQuest Board(s)",
            "Found 2 MPEG Board(s)",
            "Initialising MPEG Board 0",
            "00 - Displaying opening image <%s>" % OPENING,
            "Initialising MPEG Board 1",
            "01 - Displaying opening image <%s>" % OPENING,
            "Starting garbage collection interval at 12:00:00.00",
            "CHP 0 - D:\\Movie\\Attract.mpg",
            "CHP 1 - D:\\Movie\\Boarding.mpg",
            "CHP 2 - D:\\Movie\\Chase.mpg",
            "CHP 3 - D:\\Movie\\Departure.mpg",
            "00 - Opening MPEG file D:\\Movie\\Attract.mpg",
            "01 - Opening MPEG file D:\\Movie\\Attract.mpg",
        ])
        self.assertRegex(lines[3], r"^Started CommWatchThread ID 0x[0-9a-f]+$")
        self.assertEqual(p.rig.wait_tray(["open", "set door closed", "close"]), ["open", "set door closed", "close"])
        self.quiet()

        self.assertEqual(p.close(), 0)
        tail = p.trace()[17:]
        self.assertEqual(tail, [
            "Closing RS232 Port",
            "00 - Displaying closing image <%s>" % CLOSING,
            "Free MPEG Board 0",
            "01 - Displaying closing image <%s>" % CLOSING,
            "Free MPEG Board 1",
            "Free MPEG system",
            "Halcyra Remote Closed",
            "",
            "",
        ])
        control = p.registry_text("Control")
        self.assertEqual((control["ScreenX"], control["ScreenY"]), ("0", "0"))
        journal = self.journal_lines()
        closing = '"%s" -1 5 -> -2' % CLOSING
        self.assertEqual(journal[-7:], ["rtdPause 0 -> 0", "rtdLoadImage 0 " + closing, "rtdFreeBoard 0 -> 0",
                                        "rtdPause 1 -> 0", "rtdLoadImage 1 " + closing, "rtdFreeBoard 1 -> 0",
                                        "rtdFreeSystem -> 0"])

    def test_real_waits_ten_seconds_for_the_port_and_five_per_board(self):
        p = self.player
        started = time.monotonic()
        self.start(port_wait_ms=None, board_wait_ms=None)
        self.assertGreaterEqual(time.monotonic() - started, 19.5)
        stamps = {}
        for at, message in p.stamped_trace():
            stamps.setdefault(re.sub(r"0x[0-9a-f]+$", "", message), at)

        def gap(a, b):
            return (stamps[b] - stamps[a]) / 1000.0

        self.assertAlmostEqual(gap("Initialising RS232 Port 2", "Started CommWatchThread ID "), 10.0, delta=0.5)
        self.assertAlmostEqual(gap("Initialising MPEG Board 0", "Initialising MPEG Board 1"), 5.0, delta=0.5)
        self.assertAlmostEqual(gap("Initialising MPEG Board 1", "Starting garbage collection interval at 12:00:00.00"),
                               5.0, delta=0.5)
        self.assertEqual(p.close(), 0)


class ChapterPlay(Show):
    def test_search_play_and_repeat_loop_a_two_second_chapter(self):
        p = self.player
        self.start()
        self.assertEqual(self.send(SETCHPMODE, 1), ACK)
        self.assertEqual(self.send(SEARCH + b"3" + ENTER, 4), ACK + ACK + ACK + COMPLETION)
        self.assertEqual(self.send(CHPENQ, 2), b"03")
        self.assertEqual(self.send(FPLAY, 1), ACK)
        self.assertEqual(self.send(REPEAT, 1), ACK)
        self.quiet()
        chapter = MOVIE + "Departure.mpg"
        playing = "00 - Playing MPEG file " + chapter
        p.wait_trace(playing)
        # Under repeat the queued copy starts each time the file ends.
        p.wait_trace(playing, count=4, timeout=12)
        self.assertGreaterEqual(self.journal_lines().count("rtdContinue 0 -> 257"), 3)
        lines = p.trace()
        first = lines.index("00 - LDP - FPLAY")
        self.assertEqual(lines[first:first + 3], ["00 - LDP - FPLAY", playing, "00 - LDP - REPEAT"])
        self.assertNotIn("00 - Opening MPEG file " + chapter, lines[first:], "a repeating board never stops")
        self.assertEqual(p.close(), 0)

    def test_a_chapter_that_ends_without_repeat_is_opened_again_and_waits(self):
        p = self.player
        self.start()
        self.assertEqual(self.send(SETCHPMODE + SEARCH + b"0" + ENTER, 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.send(FPLAY, 1), ACK)
        chapter = MOVIE + "Attract.mpg"
        self.wait_journal("rtdContinue 0 -> 258")
        p.wait_trace("00 - Opening MPEG file " + chapter, count=3)
        time.sleep(2.5)
        journal = self.journal_lines()
        ended = journal.index("rtdContinue 0 -> 258")
        after = journal[ended + 1:]
        self.assertIn('rtdOpen 0 "%s" 0 -> 0' % chapter, after)
        self.assertFalse([line for line in after if line.startswith("rtdPlay 0")], "the board waits stopped")
        self.assertFalse([line for line in after if line.startswith("rtdContinue 0")], "a stopped board is not polled")
        self.quiet()
        self.assertEqual(p.close(), 0)

    def test_frame_search_of_frame_750_answers_completion_and_the_address(self):
        self.start()
        self.assertEqual(self.send(SETCHPMODE + SEARCH + b"2" + ENTER, 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.send(FPLAY, 1), ACK)
        self.assertEqual(self.send(SETFRMMODE + SEARCH + b"750" + ENTER, 7, timeout=30), ACK * 6 + COMPLETION)
        self.assertEqual(self.send(SADDRENQ, 5), b"00750")
        self.assertEqual(self.send(STILL + SADDRENQ, 6), ACK + b"00750")
        self.assertEqual(self.player.close(), 0)

    def test_motor_on_reads_chapters_added_to_the_disk(self):
        p = self.player
        self.start()
        mkmpeg.write_stream(os.path.join(self.movie, "Encore.mpg"), 50)
        mkmpeg.write_stream(os.path.join(self.movie, "Finale.mpg"), 50)
        self.assertEqual(self.send(MOTORON, 1), ACK)
        p.wait_trace("CHP 5 - D:\\Movie\\Finale.mpg")
        lines = p.trace()
        motor = lines.index("LDP - MOTORON")
        self.assertEqual(lines[motor + 1:motor + 7], ["CHP %d - D:\\Movie\\%s" % (i, name) for i, name in enumerate(
            ["Attract.mpg", "Boarding.mpg", "Chase.mpg", "Departure.mpg", "Encore.mpg", "Finale.mpg"])])
        closed = ["open", "set door closed", "close"]
        self.assertEqual(p.rig.wait_tray(closed)[-3:], closed)
        self.assertEqual(self.send(SETCHPMODE + SEARCH + b"5" + ENTER, 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.send(CHPENQ, 2), b"05")
        self.assertEqual(p.close(), 0)


class VideoPlexShow(Show):
    board_type = 2

    def test_videoplex_boards_run_the_same_show_on_osmpeg(self):
        p = self.player
        self.start()
        self.assertIn("osmpeg.dll", p.modules())
        self.assertNotIn("ksmpeg.dll", p.modules())
        lines = p.trace()
        self.assertEqual(lines[4:6], ["Initialising VideoPlex Board(s)", "Found 2 MPEG Board(s)"])
        self.assertEqual(self.send(SETCHPMODE + SEARCH + b"3" + ENTER, 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.send(FPLAY + REPEAT, 2), ACK + ACK)
        p.wait_trace("00 - Playing MPEG file D:\\Movie\\Departure.mpg", count=2, timeout=10)
        self.assertEqual(self.send(CHPENQ, 2), b"03")
        self.assertEqual(p.close(), 0)


class ThirdBoardTypeWithoutLibrary(Show):
    board_type = 1

    def test_board_type_one_without_trmpeg_runs_with_no_boards_and_still_answers(self):
        p = self.player
        self.start()
        lines = p.trace()
        self.assertEqual(lines[4], "Found 0 MPEG Board(s)")
        self.assertFalse([line for line in lines if "Board(s)" in line and "Initialising" in line])
        self.assertEqual(self.send(SETCHPMODE + SEARCH + b"1" + ENTER, 5), ACK * 4 + COMPLETION)
        self.assertEqual(self.send(FPLAY + STILL + CHPENQ, 4), ACK + ACK + b"01")
        self.assertEqual(self.send(SETFRMMODE + SADDRENQ, 6), ACK + b"-0000")
        self.assertEqual(self.send(b"\x91", 1), NAK)
        self.assertEqual(p.close(), 0)
        self.assertFalse(os.path.exists(self.journal), "no board library touched the bench decoder")


if __name__ == "__main__":
    unittest.main()
