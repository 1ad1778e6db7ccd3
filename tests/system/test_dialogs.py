"""The splash window, the About box and the AutoScript progress dialog, seen
and worked from outside: how long the splash lives, what the About box lists
and how it closes, how the progress dialog's close box cancels a run, and
screenshots of the splash and the About box in their own colours."""
import os
import struct
import time
import unittest

from player import IDM_ABOUT, IDOK, SC_CLOSE, VK_ESCAPE, WM_KEYDOWN, WM_SYSCOMMAND, PlayerTest
from rig import PixelRig, artifacts_dir

SPLASH_MS = 3500
SPLASH_SIZE = (311, 179)
ABOUT_TITLE = "About Halcyra.hrx"
ABOUT_CLIENT = (341, 362)   # 227 x 223 dialog units in "MS Sans Serif" 8
IDC_ABOUT_LIST = 1040


def splash_bitmap_path():
    """The picture the build put into the program."""
    return os.path.join(os.path.dirname(os.environ.get("HRX_BIN", "")), "ui", "splash.bmp")


def read_bitmap8(path):
    """Rows, top first, of (r, g, b) of an 8-bit uncompressed .bmp file."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bits, compression, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data, 14)
    assert bits == 8 and compression == 0, "not an 8-bit picture"
    table = data[14 + size:14 + size + 4 * used]
    colours = [(table[i + 2], table[i + 1], table[i]) for i in range(0, len(table), 4)]
    stride = (width + 3) & ~3
    rows = []
    for y in range(height):
        row = data[offset + y * stride:offset + y * stride + width]
        rows.append([colours[index] for index in row])
    rows.reverse()
    return rows


def matching_share(image, left, top, rows, step=1):
    """The share of the picture's pixels the image shows at (left, top)."""
    same = total = 0
    for y in range(0, len(rows), step):
        for x in range(0, len(rows[0]), step):
            total += 1
            px, py = left + x, top + y
            if 0 <= px < image.width and 0 <= py < image.height and image.pixel(px, py) == rows[y][x]:
                same += 1
    return same / total


class DialogTest(PlayerTest):
    close_timeout = 30

    def start_player(self, port_wait_ms=0):
        """The player on COM2, and when it was started."""
        started = time.monotonic()
        self.player.start(com=2, port_wait_ms=port_wait_ms)
        return self.player, started


class Splash(DialogTest):
    def test_shown_at_start_up_and_gone_after_its_timer(self):
        p, started = self.start_player()
        splash = p.dialog("").wait(10)
        (left, top, right, bottom), _ = splash.rect()
        self.assertEqual((right - left, bottom - top), SPLASH_SIZE)
        self.assertTrue(splash.gone(SPLASH_MS / 1000 + 10))
        lived = time.monotonic() - started
        self.assertGreaterEqual(lived, SPLASH_MS / 1000)
        self.assertLess(lived, SPLASH_MS / 1000 + 6)
        p.wait_window()

    def test_stays_until_the_message_loop_runs(self):
        """The serial link's wait holds start-up before the message loop, so
        the timer is served only after it."""
        wait_ms = 6000
        p, started = self.start_player(port_wait_ms=wait_ms)
        splash = p.dialog("").wait(10)
        time.sleep(max(0, started + (SPLASH_MS + 1000) / 1000 - time.monotonic()))
        self.assertTrue(splash.exists(), "the splash closed before the message loop ran")
        self.assertTrue(splash.gone(wait_ms / 1000 + 10))
        self.assertGreaterEqual(time.monotonic() - started, wait_ms / 1000)


class AboutBox(DialogTest):
    def test_lists_its_lines_and_closes_three_ways_without_a_trace_line(self):
        p, _ = self.start_player()
        # The splash closes once start-up has reached the message loop.
        self.assertTrue(p.dialog("").wait(10).gone(15))
        before = p.trace()
        closings = [
            ("OK", lambda about: about.press(IDOK)),
            ("Esc", lambda about: about.post(WM_KEYDOWN, VK_ESCAPE, 0)),
            ("close box", lambda about: about.post(WM_SYSCOMMAND, SC_CLOSE, 0)),
        ]
        for name, close in closings:
            with self.subTest(closing=name):
                p.menu(IDM_ABOUT)
                about = p.dialog(ABOUT_TITLE).wait()
                lines = about.items(IDC_ABOUT_LIST)
                self.assertEqual(lines[:2], ["Halcyra.hrx", "Ver 1.25 Rev B"])
                self.assertRegex(lines[2], r"^[A-Z][a-z]{2} [ \d]\d \d{4}$")
                self.assertRegex(lines[3], r"^\d\d:\d\d:\d\d$")
                self.assertEqual(lines[4], "")
                sections = "\n".join(lines[5:]).split("\n\n")
                self.assertGreaterEqual(len(sections), 3)
                for section in sections:
                    heading, *entries = section.split("\n")
                    self.assertTrue(heading and not heading.startswith(" "), section)
                    self.assertTrue(entries and all(e.startswith(" ") for e in entries), section)
                close(about)
                self.assertTrue(about.gone(5), "the About box stayed open after %s" % name)
        self.assertEqual(p.trace(), before)


class ProgressDialog(DialogTest):
    """Needs the AutoScript run and its file copy."""

    def test_close_box_cancels_the_run(self):
        p, _ = self.start_player()
        p.wait_window()
        cd = p.rig.drive_dir("e")
        big = os.path.join(cd, "big.bin")
        with open(big, "wb") as f:
            f.truncate(256 * 1024 * 1024)
        marker = os.path.join(p.rig.drive_dir("d"), "Movie", "marker.mpg")
        with open(marker, "wb") as f:
            f.write(b"keep")
        copied = os.path.join(p.rig.drive_dir("d"), "Movie", "big.bin")
        script = os.path.join(cd, "Halcyra.inf")
        with open(script, "wb") as f:
            f.write(b"COPY ~:\\big.bin D:\\Movie\\\r\nDEL D:\\Movie\\marker.mpg\r\n")
        for path in (big, marker, script):
            self.addCleanup(lambda path=path: os.path.exists(path) and os.unlink(path))
        self.addCleanup(lambda: os.path.exists(copied) and os.unlink(copied))
        self.addCleanup(p.rig.unmap_drive, "e")
        p.rig.map_drive("e")

        progress = p.dialog("Copying...").wait(25)
        progress.post(WM_SYSCOMMAND, SC_CLOSE, 0)
        self.assertTrue(progress.gone(5))
        p.wait_autoscript_log("AutoScript completed", timeout=20)
        self.assertTrue(os.path.exists(marker), "the line after the cancelled copy ran")
        self.assertFalse(os.path.exists(copied), "the partly copied file was kept")


class Screenshots(DialogTest):
    """The splash and the About box on the run's X server, in the picture's
    own colours; kept under build/artifacts."""

    def setUp(self):
        self.rig = PixelRig()
        self.assertTrue(self.rig.display, "the pixel rig is not set up (rig.py pixels-setup)")
        self.picture = read_bitmap8(splash_bitmap_path())
        self.assertEqual((len(self.picture[0]), len(self.picture)), SPLASH_SIZE)
        super().setUp()

    def test_splash_shows_its_picture(self):
        p, _ = self.start_player()
        splash = p.dialog("").wait(10)
        (left, top, right, bottom), _ = splash.rect()
        self.assertEqual((right - left, bottom - top), SPLASH_SIZE)
        share = 0
        for _ in range(4):
            time.sleep(0.4)
            shot = self.rig.screenshot().crop(left, top, right, bottom)
            share = matching_share(shot, 0, 0, self.picture)
            if share > 0.99:
                break
        shot.save_png(os.path.join(artifacts_dir(), "splash.png"))
        self.assertGreater(share, 0.99, "the splash does not show its picture")
        shown = set(tuple(shot.rgb[i:i + 3]) for i in range(0, len(shot.rgb), 3))
        own = set(colour for row in self.picture for colour in row)
        self.assertEqual(len(own), 236)
        self.assertEqual(own - shown, set(), "colours of the picture missing on the screen")

    def test_about_box_shows_the_picture_and_has_its_size(self):
        p, _ = self.start_player()
        self.assertTrue(p.dialog("").wait(10).gone(15))
        p.menu(IDM_ABOUT)
        about = p.dialog(ABOUT_TITLE).wait()
        time.sleep(0.5)
        window, client = about.rect()
        self.assertEqual((client[2] - client[0], client[3] - client[1]), ABOUT_CLIENT)
        shot = self.rig.screenshot().crop(*window)
        shot.save_png(os.path.join(artifacts_dir(), "about.png"))
        # The picture is centred at its own size in its sunken frame of
        # 213 x 123 dialog units at (7, 7).
        frame_left = client[0] - window[0] + 11
        frame_top = client[1] - window[1] + 11
        centre_x, centre_y = frame_left + (320 - SPLASH_SIZE[0]) // 2, frame_top + (200 - SPLASH_SIZE[1]) // 2
        _, left, top = max((matching_share(shot, x, y, self.picture, step=7), x, y)
                           for x in range(centre_x - 4, centre_x + 5) for y in range(centre_y - 4, centre_y + 5))
        self.assertGreater(matching_share(shot, left, top, self.picture), 0.99,
                           "the About box does not show the picture at its own size")
        about.press(IDOK)
        self.assertTrue(about.gone(5))


if __name__ == "__main__":
    unittest.main()
