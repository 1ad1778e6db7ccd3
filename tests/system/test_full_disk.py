"""Full disks: small tmpfs drives mapped as drive letters.  With the trace
log on a full drive the player drops whole lines and nothing else breaks:
every command is answered, and once there is room again the lines come
whole.  A COPY onto a drive without room fails as the copy rules say,
whether the room or the file entries ran out, and the old destination
stays as it was; so does the log when a trim finds no room.  Mounting needs root; without it the tests are skipped."""
import os
import re
import shutil
import unittest

from controller import NAK
from player import STARTED, PlayerTest, read_file, write_file
from rig import windows_path

DISK_OPTIONS = "size=256k,mode=0777"
TRACE_LINE = re.compile(rb"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d(\.\d\d\d)? - [^\r\n]*$")
COMMANDS = 300
POLL_S = 10


def fill(directory):
    """Writes into a file until the disk has no room left; returns its path."""
    path = os.path.join(directory, "filler")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT)
    try:
        while True:
            os.write(fd, b"f" * 512)
    except OSError:
        pass
    finally:
        os.close(fd)
    return path


def use_up_entries(directory):
    """Creates empty files until the disk has no file entry left."""
    number = 0
    while True:
        try:
            open(os.path.join(directory, "entry%d" % number), "w").close()
        except OSError:
            return
        number += 1


class FullDisk(PlayerTest):
    def assert_whole_lines(self, data):
        self.assertTrue(data.endswith(b"\r\n"), "the log ends with a whole line")
        for line in data[:-2].split(b"\r\n"):
            if line:
                self.assertRegex(line, TRACE_LINE, "a whole trace line")

    def test_trace_on_a_full_drive_drops_whole_lines_and_the_player_goes_on(self):
        p = self.player
        disk = self.small_disk("t", DISK_OPTIONS)
        trace = os.path.join(disk, "Trace.txt")
        p.set_settings({"Debug\\TraceFile": "T:\\Trace.txt", ".hrx\\ComID": "2", "Control\\BoardType": "0"})
        self.start_acknowledged()
        p.wait_trace("Starting garbage collection interval at 12:00:00.00", path=trace)

        # The trace's last block has room for a few lines; then none.
        filler = fill(disk)
        for _ in range(COMMANDS):
            p.line.write(b"A")
            self.assertEqual(p.line.read(1, timeout=10), NAK)
        full = read_file(trace)
        self.assert_whole_lines(full)
        unknown = full.count(b"Unknown command A 0x41")
        self.assertLess(unknown, COMMANDS, "lines were dropped")
        print("%d of %d lines kept on the full drive" % (unknown, COMMANDS), flush=True)

        os.unlink(filler)
        p.line.write(b"v")
        self.assertEqual(p.line.read(2, timeout=10), b"00")
        self.assertEqual(p.close(), 0)
        after = read_file(trace)
        self.assertTrue(after.startswith(full), "the kept lines stay")
        self.assert_whole_lines(after)
        self.assertEqual(p.trace(trace)[-6:], ["LDP - CHPENQ", "Closing RS232 Port", "Free MPEG system",
                                               "Halcyra Remote Closed", "", ""])
        self.assertEqual(p.registry_text(".hrx").get("ComID"), "2", "the settings were saved")

    def test_trim_on_a_full_drive_leaves_the_log_as_it_was(self):
        p = self.player
        disk = self.small_disk("t", DISK_OPTIONS)
        trace = os.path.join(disk, "Trace.txt")
        old = b"".join(b"%02d/01/26 10:00:00.000 - old line %04d\r\n" % (i % 28 + 1, i) for i in range(2000))
        write_file(trace, old)
        # Room for a few more lines, not for the 1,000 that the trim keeps.
        filler = fill(disk)
        os.truncate(filler, max(os.path.getsize(filler) - 20 * 1024, 0))
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": "T:\\Trace.txt", "Debug\\TraceSize": "1000"})
        p.start()
        p.wait_window()
        p.wait_trace(STARTED, path=trace)
        self.assertEqual(p.close(), 0)
        kept = read_file(trace)
        self.assertTrue(kept.startswith(old), "the log is as it was, and the new lines follow it")
        self.assert_whole_lines(kept)
        self.assertEqual(sorted(os.listdir(disk)), ["Trace.txt", "filler"], "no temporary file is left")

        # With room the trim goes through the same way and leaves the last lines.
        os.unlink(filler)
        p.start()
        p.wait_window()
        p.wait_trace(STARTED, path=trace, count=2)
        self.assertEqual(p.close(), 0)
        lines = read_file(trace).split(b"\r\n")
        before = kept.split(b"\r\n")[:-1]
        self.assertEqual(lines[:1000], before[-1000:])
        self.assertEqual(os.listdir(disk), ["Trace.txt"])

    def test_copy_onto_full_drives_fails_and_keeps_the_old_destinations(self):
        p = self.player
        no_room = self.small_disk("t", DISK_OPTIONS)
        no_entries = self.small_disk("u", DISK_OPTIONS + ",nr_inodes=16")
        old_big, old_small = os.urandom(100000), os.urandom(3000)
        write_file(os.path.join(no_room, "Movie", "big.mpg"), old_big)
        write_file(os.path.join(no_entries, "Movie", "small.mpg"), old_small)
        fill(no_room)
        use_up_entries(no_entries)

        cd = p.rig.drive_dir("e")
        shutil.rmtree(cd, ignore_errors=True)
        write_file(os.path.join(cd, "Media", "big.mpg"), os.urandom(200000))
        write_file(os.path.join(cd, "Media", "small.mpg"), os.urandom(2000))
        write_file(os.path.join(cd, "Halcyra.inf"), b'COPY "~:\\Media\\big.mpg" T:\\Movie\\\r\n'
                                                    b'COPY "~:\\Media\\small.mpg" U:\\Movie\\\r\nEJECT\r\n')
        open(p.rig.mci_log, "w").close()
        p.rig.remove_line(2)
        p.set_settings({"Debug\\TraceFile": windows_path(p.trace_path)})
        p.start()
        p.wait_window()
        p.rig.map_drive("e")
        self.addCleanup(p.rig.unmap_drive, "e")
        p.wait_autoscript_log("AutoScript completed", timeout=POLL_S + 15)

        log = p.autoscript_log()
        self.assertEqual(log[:3], ["AutoScript started", "Copying file 'E:\\Media\\big.mpg' to 'T:\\Movie\\big.mpg'",
                                   "FileCopy Failed - T:\\Movie\\big.mpg"])
        self.assertRegex(log[3], r"^\d+\.\d (KB|MB) copied$")
        self.assertEqual(log[4:], ["Copying file 'E:\\Media\\small.mpg' to 'U:\\Movie\\small.mpg'",
                                   "Unable to open output file 'U:\\Movie\\small.mpg'", "AutoScript completed"])
        self.assertEqual(p.rig.wait_tray(["open", "set door open", "close"])[-3:], ["open", "set door open", "close"],
                         "the script went on")
        self.assertEqual(read_file(os.path.join(no_room, "Movie", "big.mpg")), old_big)
        self.assertEqual(read_file(os.path.join(no_entries, "Movie", "small.mpg")), old_small)
        self.assertEqual(os.listdir(os.path.join(no_room, "Movie")), ["big.mpg"], "no partial file is left")
        self.assertEqual(os.listdir(os.path.join(no_entries, "Movie")), ["small.mpg"])
        self.assertEqual(p.close(), 0)


if __name__ == "__main__":
    unittest.main()
