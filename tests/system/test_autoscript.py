"""AutoScript on the bench rig: a CD (a directory mapped as E:) that carries
Halcyra.inf is noticed by the poll, its script runs behind the progress
dialog, copies media onto D:, opens the tray and logs its run; a Cancel
keeps the earlier media file; a full disk fails the copy as a whole; a
script that changes chapter 0 has the boards stopped first and reloads it
after."""
import os
import re
import shutil
import time
import unittest

from player import IDCANCEL, PlayerTest, mkmpeg, read_file, write_file
from rig import wait_until, windows_path

POLL_S = 10
NOTICE_S = POLL_S + 5  # one poll period, and a margin for a loaded machine
TEMP_NAME = re.compile(r"^~hrx[0-9A-F]{8}\.tmp$")
ANY_STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d(\.\d\d\d)? - ")
OPENING = "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr"


class AutoScript(PlayerTest):
    def setUp(self):
        super().setUp()
        p = self.player
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": p.trace_path})
        self.cd = p.rig.drive_dir("e")
        shutil.rmtree(self.cd, ignore_errors=True)
        os.makedirs(os.path.join(self.cd, "Media"))
        p.rig.unmap_drive("e")
        self.movie = self.empty_movie()
        open(p.rig.mci_log, "w").close()

    def tearDown(self):
        super().tearDown()
        self.player.rig.unmap_drive("e")

    # -- helpers ---------------------------------------------------------------
    def assert_cr_lf(self):
        text = self.player.trace_raw().decode("latin-1")
        self.assertNotIn("\n", text.replace("\r\n", ""), "every line ends in CR LF")

    def autoscript_log(self):
        self.assert_cr_lf()
        return self.player.autoscript_log()

    def wait_log(self, message, count=1):
        self.player.wait_autoscript_log(message, NOTICE_S, count)
        self.assert_cr_lf()

    def insert_cd(self, script):
        write_file(os.path.join(self.cd, "Halcyra.inf"), script)
        self.player.rig.map_drive("e")
        return time.monotonic()

    def temp_files(self, directory):
        return [name for name in os.listdir(directory) if TEMP_NAME.match(name)]

    # -- cases -----------------------------------------------------------------
    def test_cd_script_copies_media_opens_tray_and_runs_once_per_appearance(self):
        p = self.player
        media = {"a.mpg": os.urandom(300000), "b.mpg": os.urandom(5000)}
        for name, data in media.items():
            write_file(os.path.join(self.cd, "Media", name), data)
        write_file(os.path.join(self.cd, "Media", "notes.txt"), b"not media")
        self.start_traced()

        inserted = self.insert_cd(b'; media update\r\nCOPY "~:\\Media\\*.mpg" D:\\Movie\\\r\nEJECT\r\n')
        self.wait_log("AutoScript started")
        self.assertLess(time.monotonic() - inserted, NOTICE_S)
        self.wait_log("AutoScript completed")
        for name, data in media.items():
            self.assertEqual(read_file(os.path.join(self.movie, name)), data, name)
        self.assertEqual(sorted(os.listdir(self.movie)), ["a.mpg", "b.mpg"])
        self.assertEqual(p.rig.wait_tray(["open", "set door open", "close"])[-3:], ["open", "set door open", "close"])

        log = self.autoscript_log()
        self.assertEqual(log[0], "AutoScript started")
        self.assertEqual(log[-1], "AutoScript completed")
        self.assertEqual(sorted(log[1:-1]), sorted([
            "Copying file 'E:\\Media\\a.mpg' to 'D:\\Movie\\a.mpg'", "293.0 KB copied",
            "Copying file 'E:\\Media\\b.mpg' to 'D:\\Movie\\b.mpg'", "4.9 KB copied"]))
        self.assertEqual(log.index("293.0 KB copied") - log.index(
            "Copying file 'E:\\Media\\a.mpg' to 'D:\\Movie\\a.mpg'"), 1)
        self.assertEqual(p.trace().count("AutoScript started"), 0, "no milliseconds in the AutoScript lines")

        time.sleep(POLL_S + 2)
        self.assertEqual(self.autoscript_log().count("AutoScript started"), 1, "the same CD left in place")

        p.rig.unmap_drive("e")
        time.sleep(POLL_S + 1)
        inserted = self.insert_cd(read_file(os.path.join(self.cd, "Halcyra.inf")))
        self.wait_log("AutoScript started", count=2)
        self.assertLess(time.monotonic() - inserted, NOTICE_S)
        self.wait_log("AutoScript completed", count=2)
        self.assertEqual(p.close(), 0)

    def test_cancel_during_copy_keeps_the_earlier_media_file(self):
        """The source is a pipe that the test feeds: 10 MB go through, the
        operator presses Cancel, and what comes after is never copied."""
        p = self.player
        earlier = os.urandom(100000)
        write_file(os.path.join(self.movie, "big.mpg"), earlier)
        source = os.path.join(self.cd, "Media", "big.mpg")
        os.mkfifo(source)
        feed = os.open(source, os.O_RDWR | os.O_NONBLOCK)
        try:
            self.start_traced()
            self.insert_cd(b'COPY "~:\\Media\\big.mpg" D:\\Movie\\\r\nEJECT\r\n')
            self.wait_log("Copying file 'E:\\Media\\big.mpg' to 'D:\\Movie\\big.mpg'")
            fed = self.feed(feed, 10 * 1024 * 1024)
            self.wait_copied(fed)
            progress = p.dialog("Copying...").wait(5)
            self.assertEqual(progress.text(1008), "big.mpg")
            self.assertEqual(progress.text(1009), "From 'E:\\Media\\' to 'D:\\Movie\\'")
            self.assertEqual(read_file(os.path.join(self.movie, "big.mpg")), earlier)

            progress.press(IDCANCEL)
            self.assertTrue(progress.gone(5))
            after = self.feed(feed, 10 * 1024 * 1024, stop_when_full=True)
            self.wait_log("AutoScript completed")
            self.assertLess(after, 10 * 1024 * 1024, "the copy no longer reads its source")
        finally:
            os.close(feed)
        log = self.autoscript_log()
        self.assertEqual(log, ["AutoScript started", "Copying file 'E:\\Media\\big.mpg' to 'D:\\Movie\\big.mpg'",
                               "10.00 MB copied", "AutoScript completed"])
        self.assertEqual(read_file(os.path.join(self.movie, "big.mpg")), earlier)
        self.assertEqual(os.listdir(self.movie), ["big.mpg"], "no partial file is left")
        self.assertNotIn("set door open", p.rig.mci_requests(), "no line after the Cancel runs")
        self.assertEqual(p.close(), 0)

    def test_full_disk_fails_the_copy_and_keeps_the_earlier_media_file(self):
        p = self.player
        small_disk = self.small_disk("f", "size=1m")
        earlier = os.urandom(200000)
        write_file(os.path.join(small_disk, "Movie", "big.mpg"), earlier)
        write_file(os.path.join(self.cd, "Media", "big.mpg"), os.urandom(2 * 1024 * 1024))
        self.start_traced()
        self.insert_cd(b'COPY "~:\\Media\\big.mpg" F:\\Movie\\\r\n')
        self.wait_log("AutoScript completed")
        log = self.autoscript_log()
        self.assertEqual(log[:3], ["AutoScript started", "Copying file 'E:\\Media\\big.mpg' to 'F:\\Movie\\big.mpg'",
                                   "FileCopy Failed - F:\\Movie\\big.mpg"])
        self.assertRegex(log[3], r"^\d+\.\d+ (KB|MB) copied$")
        self.assertEqual(log[4:], ["AutoScript completed"])
        self.assertEqual(read_file(os.path.join(small_disk, "Movie", "big.mpg")), earlier)
        self.assertEqual(os.listdir(os.path.join(small_disk, "Movie")), ["big.mpg"])
        self.assertEqual(p.close(), 0)

    def test_a_script_that_changes_chapter_zero_stops_the_boards_first_and_reloads_it_after(self):
        """Chapter 0 is open on every board from start-up, which on Windows
        refuses its replacement: the boards stop behind the opening image
        before the first COPY, and the chapters are read again after the
        script.  The CD's upper-case name leaves chapter 0 its own, and
        x.mpg2 is no chapter."""
        p = self.player
        p.set_settings(self.own_chapters([25, 25]))
        movie = os.path.join(p.work, "Movie")
        write_file(os.path.join(movie, "x.mpg2"), b"not a chapter")
        mkmpeg.write_stream(os.path.join(self.cd, "Media", "CHAPTER0.MPG"), 50)
        new_zero = read_file(os.path.join(self.cd, "Media", "CHAPTER0.MPG"))
        zero, one = windows_path(os.path.join(movie, "chapter0.mpg")), windows_path(os.path.join(movie, "chapter1.mpg"))
        self.start_acknowledged()
        self.insert_cd(b'COPY "~:\\Media\\*.mpg" ' + windows_path(movie).encode() + b"\\\r\nDEL " + one.encode()
                       + b"\r\n")
        self.wait_log("AutoScript completed")
        p.wait_trace("00 - Opening MPEG file " + zero, count=2)
        self.assertEqual(sorted(os.listdir(movie)), ["chapter0.mpg", "x.mpg2"])
        self.assertEqual(read_file(os.path.join(movie, "chapter0.mpg")), new_zero)

        lines = [ANY_STAMP.sub("", line) for line in p.trace_raw().decode("latin-1").split("\r\n")]
        started, completed = lines.index("AutoScript started"), lines.index("AutoScript completed")
        self.assertEqual(lines[started + 1:completed], [
            "00 - Displaying opening image <%s>" % OPENING, "01 - Displaying opening image <%s>" % OPENING,
            "Copying file 'E:\\Media\\CHAPTER0.MPG' to '%s'" % zero, "%.1f KB copied" % (len(new_zero) / 1024),
            "Deleting file '%s'" % one])
        self.assertEqual(lines[completed + 1:completed + 3], ["CHP 0 - " + zero, "00 - Opening MPEG file " + zero])
        self.assertEqual(p.close(), 0)

    # -- the pipe ----------------------------------------------------------------
    def feed(self, fd, size, stop_when_full=False):
        """Writes size bytes into the pipe as the reader takes them; with
        stop_when_full, stops once the pipe stays full for a second."""
        block = os.urandom(65536)
        written, full_since = 0, None
        deadline = time.monotonic() + 60
        while written < size and time.monotonic() < deadline:
            try:
                written += os.write(fd, block[:min(len(block), size - written)])
                full_since = None
            except BlockingIOError:
                now = time.monotonic()
                full_since = full_since or now
                if stop_when_full and now - full_since > 1:
                    break
                time.sleep(0.005)
        return written

    def wait_copied(self, size, timeout=30):
        """Waits until the reader has taken everything from the pipe and the
        copy's temporary file holds it."""
        def copied():
            temps = self.temp_files(self.movie)
            return temps and os.path.getsize(os.path.join(self.movie, temps[0])) == size
        if not wait_until(copied, timeout):
            self.fail("the copy never took the %d bytes fed to it" % size)


if __name__ == "__main__":
    unittest.main()
