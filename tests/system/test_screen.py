"""Screen boards (board type 4) with the real hrx.exe and SWmpeg.dll, driven
from the serial line: every picture a board puts on screen is compared with
FFmpeg's own decode of the same file (the library's picture journal against
`ffmpeg -f framecrc`).  The property sheet's "Screens" page places the
board windows through SWmpeg.ini."""
import configparser
import glob
import math
import os
import shutil
import statistics
import array
import subprocess
import tempfile
import time
import unittest

from controller import (ACK, AUDIOOFF, AUDIOON, COMPLETION, ENTER, FFAST, FPLAY, FSLOW, FSTEP, REPEAT,
                        SADDRENQ, SEARCH, SETCHPMODE, SETFRMMODE, SETSCRMODE, STILL, STOP, VIDEOOFF, VIDEOON)
from player import PlayerTest, read_file
from rig import (XVFB_SCREEN, PixelRig, artifacts_dir, record_sound, start_sound_device, stop_process,
                 wait_until, windows_path)

MEDIA = os.environ.get("HRX_MEDIA", "")
FRAME_MS = 40
LONG_PICTURES, SHORT_PICTURES = 1000, 75
PICTURE_ASPECT = 352 / 288
MIN_PSNR_DB = 35


def reference(name):
    """The Adler-32 of each picture of a test stream, in display order, as
    `ffmpeg -f framecrc` gave them."""
    with open(os.path.join(MEDIA, name + ".crc")) as f:
        return [int(row.split(",")[-1], 16) for row in f if row.startswith("0,")]


def fit(client, aspect):
    """The rectangle a board paints its picture in: the largest of the
    picture's shape centred in the client area."""
    left, top, right, bottom = client
    width, height = right - left, bottom - top
    if width > height * aspect:
        fitted = int(height * aspect + 0.5)
        left += (width - fitted) // 2
        return left, top, left + fitted, bottom
    fitted = int(width / aspect + 0.5)
    top += (height - fitted) // 2
    return left, top, right, top + fitted


def psnr(shown, expected):
    """Peak signal-to-noise ratio of two RGB pictures of one size, in dB."""
    squares = sum((a - b) * (a - b) for a, b in zip(shown, expected))
    return 99.0 if squares == 0 else 10 * math.log10(255 * 255 * len(expected) / squares)


def ffmpeg_picture(name, number, width, height):
    """Picture number of a test stream as FFmpeg decodes it, scaled to the
    size, as RGB rows."""
    return subprocess.run(["ffmpeg", "-v", "error", "-flags", "+bitexact", "-idct", "simple", "-i",
                           os.path.join(MEDIA, name + ".mpg"), "-vf",
                           "select=eq(n\\,%d),scale=%d:%d:flags=bicubic" % (number, width, height),
                           "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, check=True).stdout


class ScreenTest(PlayerTest):
    def setUp(self):
        super().setUp()
        p = self.player
        movie = os.path.join(p.work, "Movie")
        os.makedirs(movie)
        # Chapter 0 is the long stream, chapter 1 the short one.
        shutil.copy(os.path.join(MEDIA, "count40.mpg"), os.path.join(movie, "a-long.mpg"))
        shutil.copy(os.path.join(MEDIA, "count3.mpg"), os.path.join(movie, "b-short.mpg"))
        self.opening = windows_path(os.path.join(MEDIA, "opening.bmp"))
        self.closing = windows_path(os.path.join(MEDIA, "closing.png"))
        p.set_settings({"Control\\BoardType": "4", "Control\\StartUpImage": self.opening,
                        "Control\\CloseDnImage": self.closing, "Debug\\TraceFile": windows_path(p.trace_path),
                        ".hrx\\ComID": "2", ".hrx\\DefaultMPEG": windows_path(movie) + "\\*.mpg"})
        self.prepare()
        self.start_acknowledged(extra_env=self.environment())

    def prepare(self):
        """What a test class does before the player starts."""

    def environment(self):
        """The player's own environment variables."""
        return {"SWMPEG_JOURNAL": windows_path(self.journal)}

    def send(self, command, answer):
        p = self.player
        for byte in command:
            p.line.write(bytes([byte]))
        self.assertEqual(p.line.read(len(answer), timeout=5), answer, "answer to %r" % command)

    def frame_enquiry(self):
        self.player.line.write(SADDRENQ)
        return self.player.line.read(5, timeout=5)

    def shown(self, board=0):
        """What the journal says the board put on screen: (kind, fields) rows."""
        rows = []
        with open(self.journal, encoding="latin-1") as f:
            for line in f:
                words = line.split()
                if len(words) >= 3 and words[0] == str(board):
                    rows.append((words[1], words[2:]))
        return rows

    def pictures(self, board=0):
        """(picture number, milliseconds, checksum) of each picture put on screen."""
        return [(int(w[0]), float(w[1]), int(w[2], 16)) for kind, w in self.shown(board) if kind == "P"]

    def wait_shown(self, condition, what, timeout=10):
        if not wait_until(lambda: condition(self.shown()), timeout):
            self.fail("%s never came; the board showed:\n%s" % (what, "\n".join(map(str, self.shown()[-20:]))))

    def play_loops(self, loops):
        """Plays the short chapter under repeat until it has begun loops + 1
        times; the pictures of its first loops and the first of the next, in
        order and at their pace, and the gaps between them."""
        self.send(SETCHPMODE, ACK)
        self.send(SEARCH + b"1" + ENTER, ACK * 3 + COMPLETION)
        self.send(REPEAT + FPLAY, ACK * 2)
        self.wait_shown(lambda rows: sum(1 for kind, w in rows if kind == "P" and w[0] == "0") > loops,
                        "%d loops" % loops, timeout=30)
        pictures = self.pictures()
        start = [i for i, (number, _, _) in enumerate(pictures) if number == 0][0]
        played = pictures[start:start + loops * SHORT_PICTURES + 1]
        self.assertEqual([number for number, _, _ in played],
                         list(range(SHORT_PICTURES)) * loops + [0], "the pictures, in order, none twice")
        gaps = [b[1] - a[1] for a, b in zip(played, played[1:])]
        self.assertAlmostEqual(statistics.median(gaps), FRAME_MS, delta=4)
        wraps = [gap for (number, _, _), gap in zip(played, gaps) if number == SHORT_PICTURES - 1]
        self.assertLess(max(wraps), 2 * FRAME_MS, "the first picture follows the last within a frame time")
        return played, gaps


class ScreenBoards(ScreenTest):
    def test_frame_search_shows_exactly_the_picture_asked_for(self):
        p = self.player
        self.assertIn("Initialising Screen Board(s)", p.trace())
        self.assertIn("Found 2 MPEG Board(s)", p.trace())
        for board in (0, 1):
            kind, fields = self.shown(board)[0]
            self.assertEqual((kind, fields[1:]), ("I", [self.opening]), "board %d's opening image" % board)
        long_ref = reference("count40")
        self.assertEqual(len(long_ref), LONG_PICTURES)
        for target in (750, 0, 999, 123):
            self.send(SETFRMMODE, ACK)
            digits = str(target).encode()
            self.send(SEARCH + digits + ENTER, ACK * (len(digits) + 2) + COMPLETION)
            self.assertEqual(self.frame_enquiry(), b"%05d" % target)
            self.wait_shown(lambda rows: rows[-1][0] == "P" and int(rows[-1][1][0]) == target,
                            "picture %d" % target)
            self.assertEqual(self.pictures()[-1][2], long_ref[target], "picture %d's checksum" % target)
        # A step moves one picture on; STILL keeps it; blanking hides it.
        self.send(FSTEP, ACK)
        self.wait_shown(lambda rows: rows[-1][0] == "P" and int(rows[-1][1][0]) == 124, "picture 124")
        self.assertEqual(self.pictures()[-1][2], long_ref[124])
        self.assertEqual(self.frame_enquiry(), b"00124")
        self.send(STILL + VIDEOOFF, ACK * 2)
        self.wait_shown(lambda rows: rows[-1][0] == "B", "black")
        self.send(VIDEOON, ACK)
        self.wait_shown(lambda rows: rows[-1][0] == "V", "the picture again")
        self.assertEqual(self.pictures()[-1][0], 124)
        p.close()
        for board in (0, 1):
            self.assertEqual(self.shown(board)[-1][1][1:], [self.closing], "board %d's closing image" % board)

    def test_a_chapter_under_repeat_loops_without_a_gap(self):
        short_ref = reference("count3")
        self.assertEqual(len(short_ref), SHORT_PICTURES)
        loops = 3
        played, _ = self.play_loops(loops)
        self.assertEqual([crc for _, _, crc in played], (short_ref * loops + short_ref[:1]))
        # STILL holds the picture the enquiry (in frame mode) names; nothing
        # follows it.
        self.send(STILL + SETFRMMODE, ACK * 2)
        held = int(self.frame_enquiry())
        count = len(self.pictures())
        self.assertFalse(wait_until(lambda: len(self.pictures()) > count, 0.5), "a picture after STILL")
        self.assertEqual(self.pictures()[-1][0], held)



class ScreenPictures(ScreenTest):
    """Two board windows on the run's X server, as a person sees them."""

    def setUp(self):
        self.rig = PixelRig()
        self.assertTrue(self.rig.display, "the pixel rig is not set up (rig.py pixels-setup)")
        super().setUp()

    def test_two_board_windows_show_ffmpegs_pictures(self):
        pictures = {0: 750, 1: 100}
        for board, number in pictures.items():
            digits = str(number).encode()
            self.send(SETSCRMODE + str(board).encode() + ENTER, ACK * 3 + COMPLETION)
            self.send(SETFRMMODE + SEARCH + digits + ENTER, ACK * (len(digits) + 3) + COMPLETION)
            if not wait_until(lambda: self.pictures(board) and self.pictures(board)[-1][0] == number, 10):
                self.fail("board %d never showed picture %d" % (board, number))
        shot = self.rig.screenshot()
        shot.save_png(os.path.join(artifacts_dir(), "screen-boards.png"))
        for board, number in pictures.items():
            _, client = self.player.ask(["window-rect", "Board %d" % board])[0]
            left, top, right, bottom = fit(tuple(int(v) for v in client.split()), PICTURE_ASPECT)
            shown = shot.crop(left, top, right, bottom).rgb
            expected = ffmpeg_picture("count40", number, right - left, bottom - top)
            self.assertGreaterEqual(psnr(shown, expected), MIN_PSNR_DB, "board %d's picture" % board)

# The property sheet's "Screens" page, its tab control and the messages
# that work it.
SCREENS_PAGE, TAB_CONTROL = 3, 12320
IDC_BOARD_TYPE = 1015
IDC_SCREEN_BOARDS, IDC_SCREEN_BOARD, IDC_SCREEN_PLACE, IDC_SCREEN_DISPLAY = 1050, 1051, 1052, 1053
IDC_SCREEN_LEFT, IDC_SCREEN_TOP, IDC_SCREEN_WIDTH, IDC_SCREEN_HEIGHT = 1054, 1055, 1056, 1057
IDC_SCREEN_FRAME, IDC_SCREEN_TOPMOST = 1058, 1059
TCM_GETITEMCOUNT, BM_CLICK = 0x1304, 0x00F5


class ScreenPlacement(ScreenTest):
    """hrx.exe and the library in a folder of their own, whose SWmpeg.ini
    the sheet writes; the board windows on the run's X server."""

    def setUp(self):
        self.rig = PixelRig()
        self.assertTrue(self.rig.display, "the pixel rig is not set up (rig.py pixels-setup)")
        super().setUp()

    def prepare(self):
        p = self.player
        program = os.path.join(p.work, "bin")
        os.makedirs(program)
        for name in ["hrx.exe", "SWmpeg.dll", "SWmpeg.ini"] + [os.path.basename(dll) for dll in
                                                               glob.glob(os.path.join(p.rig.bin, "*-[0-9]*.dll"))]:
            shutil.copy(os.path.join(p.rig.bin, name), program)
        self.setup_file = os.path.join(program, "SWmpeg.ini")
        p.rig.bin = program

    def rects(self, board):
        """((left, top, right, bottom) of the board's window, the same of its client area)."""
        window, client = self.player.ask(["window-rect", "Board %d" % board])[0]
        return tuple(int(v) for v in window.split()), tuple(int(v) for v in client.split())

    def test_the_screens_page_writes_the_settings_file_and_places_the_boards(self):
        p = self.player
        width, height = (int(v) for v in XVFB_SCREEN.split("x")[:2])
        sheet = p.open_properties()
        self.assertEqual(sheet.control_send(TAB_CONTROL, TCM_GETITEMCOUNT), 4)
        sheet.show_page(SCREENS_PAGE)
        self.assertEqual(sheet.selection(IDC_SCREEN_BOARDS), (1, "2"))
        self.assertEqual(sheet.items(IDC_SCREEN_PLACE), ["Tile", "Full screen", "Window"])
        # The page goes with another board type and comes back with screens.
        for board_type, pages in (("VideoQuest", 3), ("Screen", 4)):
            sheet.show_page(0)
            sheet.select(IDC_BOARD_TYPE, board_type)
            self.assertEqual(sheet.control_send(TAB_CONTROL, TCM_GETITEMCOUNT), pages)
        sheet.show_page(SCREENS_PAGE)
        # Board 0 full screen on the one display; board 1 a window without
        # a frame, on top; board 2 full screen on a display not attached.
        sheet.select(IDC_SCREEN_BOARDS, "3")
        for board, place, display in ((0, "Full screen", "1"), (2, "Full screen", "2"), (1, "Window", None)):
            sheet.select(IDC_SCREEN_BOARD, "Board %d" % board)
            sheet.select(IDC_SCREEN_PLACE, place)
            if display:
                sheet.select(IDC_SCREEN_DISPLAY, display)
        for control, value in zip((IDC_SCREEN_LEFT, IDC_SCREEN_TOP, IDC_SCREEN_WIDTH, IDC_SCREEN_HEIGHT),
                                  ("40", "30", "400", "300")):
            sheet.set_text(control, value)
        for box in (IDC_SCREEN_FRAME, IDC_SCREEN_TOPMOST):
            sheet.control_send(box, BM_CLICK)
        count = len(p.trace())
        sheet.ok()
        self.assertEqual(p.line.read(1, timeout=20), ACK, "the acknowledgement after OK")
        written = configparser.ConfigParser(comment_prefixes=(";",))
        written.read(self.setup_file)
        self.assertEqual(written["SWmpeg"]["Boards"], "3")
        self.assertEqual([", ".join("%s=%s" % item for item in written[name].items())
                          for name in written.sections() if name.startswith("Board")],
                         ["place=Display, display=1, window=0,0,640,480, frame=1, topmost=0",
                          "place=Window, display=0, window=40,30,400,300, frame=0, topmost=1",
                          "place=Display, display=2, window=0,0,640,480, frame=1, topmost=0"])
        # The restart brought up three boards where the file places them;
        # the display that is not there shows in nothing but its window.
        p.wait_trace("Found 3 MPEG Board(s)", timeout=10)
        self.assertEqual(self.rects(0), ((0, 0, width, height), (0, 0, width, height)))
        self.assertEqual(self.rects(1), ((40, 30, 440, 330), (40, 30, 440, 330)))
        # Board 2 is the one tile, a framed window over the work area (the
        # whole screen on an X server without a window manager).
        window, client = self.rects(2)
        self.assertEqual(window, (0, 0, width, height))
        self.assertLess(client[3] - client[1], height, "board 2 has a title bar")
        # Board 1, on top, covers board 2: its black bar where board 2 shows
        # its picture.
        shot = self.rig.screenshot()
        shot.save_png(os.path.join(artifacts_dir(), "screen-placement.png"))
        self.assertEqual(shot.pixel(430, 200), (0, 0, 0), "board 1 is on top")
        self.assertNotEqual(shot.pixel(470, 200), (0, 0, 0), "board 2 shows its picture")
        # The restart's lines are those of any start of three screen boards.
        movie = windows_path(os.path.join(p.work, "Movie"))
        restart = p.trace()[count:]
        expected = ["Initialising Screen Board(s)", "Found 3 MPEG Board(s)"]
        for board in range(3):
            expected += ["Initialising MPEG Board %d" % board,
                         "%02d - Displaying opening image <%s>" % (board, self.opening)]
        expected += ["CHP 0 - %s\\a-long.mpg" % movie, "CHP 1 - %s\\b-short.mpg" % movie]
        expected += ["%02d - Opening MPEG file %s\\a-long.mpg" % (board, movie) for board in range(3)]
        self.assertEqual(restart[restart.index(expected[0]):], expected)

        # Cancel writes nothing.
        before = read_file(self.setup_file)
        sheet = p.open_properties()
        sheet.show_page(SCREENS_PAGE)
        self.assertEqual(sheet.selection(IDC_SCREEN_BOARDS), (2, "3"))
        sheet.select(IDC_SCREEN_BOARDS, "1")
        sheet.cancel()
        self.assertTrue(sheet.gone())
        self.assertEqual(read_file(self.setup_file), before)


# The sound every board plays, and the most a gap in it may last: one of
# the library's buffers.
SOUND_RATE, SOUND_CHANNELS, SOUND_BUFFER_FRAMES = 44100, 2, 2048
LOUD, QUIET = 1000, 200  # sample values of the tone, and near its zero crossings


class ScreenSound(ScreenTest):
    """A sound device of the test's own: a PulseAudio server whose null sink
    takes sound at the pace of a real device, played to by Wine's pulse
    driver; a recording of the sink's monitor is what the boards sounded."""

    def prepare(self):
        folder = tempfile.mkdtemp(prefix="hrx-pulse-")
        self.addCleanup(shutil.rmtree, folder, True)
        server, self.pulse_server = start_sound_device(folder, os.path.join(self.player.work, "pulseaudio.log"))
        self.addCleanup(stop_process, server)

    def environment(self):
        return dict(super().environment(), PULSE_SERVER=self.pulse_server)

    def record(self):
        """Starts recording what the boards sound; returns the file."""
        path = os.path.join(self.player.work, "heard.raw")
        recorder = record_sound(self.pulse_server, path, SOUND_RATE, SOUND_CHANNELS)
        self.addCleanup(stop_process, recorder)
        return path, recorder

    def sound_lines(self, since=0):
        """Where the board began (S) and stopped (Z) its sound, after the
        journal's first `since` rows: (row, kind)."""
        return [(i, kind) for i, (kind, _) in enumerate(self.shown()) if i >= since and kind in "SZ"]

    def test_the_board_sounds_only_while_it_plays_at_normal_speed(self):
        self.send(SETCHPMODE, ACK)
        self.send(SEARCH + b"0" + ENTER, ACK * 3 + COMPLETION)
        self.assertEqual(self.sound_lines(), [], "sound before the board plays")
        # Each command and the change it makes to the sound at once (before
        # the board's next two pictures), or none within half a second.
        steps = [(FPLAY, "S"), (AUDIOOFF, "Z"), (VIDEOOFF, None), (AUDIOON, "S"), (VIDEOON, None), (STILL, "Z"),
                 (FPLAY, "S"), (FSLOW, "Z"), (FFAST, None), (FPLAY, "S"), (FSTEP, "Z"), (FPLAY, "S"),
                 (STOP, "Z")]
        for command, change in steps:
            since = len(self.shown())
            self.send(command, ACK)
            if change is None:
                self.assertFalse(wait_until(lambda: self.sound_lines(since), 0.5),
                                 "%r changed the sound: %s" % (command, self.shown()[since:]))
                continue
            self.wait_shown(lambda rows: self.sound_lines(since), "the sound's change after %r" % command)
            (row, kind), = self.sound_lines(since)
            self.assertEqual(kind, change, "after %r" % command)
            pictures_before = [r for r in self.shown()[since:row] if r[0] == "P"]
            self.assertLessEqual(len(pictures_before), 2, "%r took effect late" % command)
            if command == FPLAY:
                time.sleep(0.5)
        # While the sound played, the pictures kept their pace.
        played = self.pictures()
        gaps = [b[1] - a[1] for a, b in zip(played, played[1:]) if b[0] == a[0] + 1]
        self.assertAlmostEqual(statistics.median(gaps), FRAME_MS, delta=4)

    def test_under_repeat_the_sound_loops_without_a_gap(self):
        heard, recorder = self.record()
        # The pictures follow the sound at their pace, none left out.
        _, gaps = self.play_loops(4)
        self.assertLess(max(gaps), 2 * FRAME_MS)
        self.send(STILL, ACK)
        self.wait_shown(lambda rows: rows[-1][0] == "Z", "the sound's end")
        time.sleep(0.5)
        stop_process(recorder)
        self.assertEqual([kind for _, kind in self.sound_lines()], ["S", "Z"], "the sound began once")
        # The sink's monitor hears the device's first second or two late or
        # not at all, and nothing of what STILL cuts off: what it heard must
        # span two of the loops' joins at least, without a gap.
        samples = array.array("h")
        with open(heard, "rb") as f:
            samples.frombytes(f.read())
        left = samples[::SOUND_CHANNELS]
        loud = [i for i, v in enumerate(left) if abs(v) > LOUD]
        self.assertTrue(loud, "nothing was heard")
        sounded = (loud[-1] - loud[0]) / SOUND_RATE
        self.assertGreater(sounded, 2 * SHORT_PICTURES * FRAME_MS / 1000, "the sound lasted %.2f s" % sounded)
        longest = run = 0
        for v in left[loud[0]:loud[-1]]:
            run = run + 1 if abs(v) < QUIET else 0
            longest = max(longest, run)
        self.assertLess(longest, SOUND_BUFFER_FRAMES, "a gap of %.1f ms" % (1000 * longest / SOUND_RATE))


if __name__ == "__main__":
    unittest.main()
