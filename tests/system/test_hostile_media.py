"""Hostile media: a chapter directory of 5,000 files (a drive of its own,
M:) whose names hold spaces, commas and bytes above 0x7F, or run to 250
characters and beyond.  The chapter table is built in byte order and is
searchable from the serial line to its last chapter; a path too long for
the 255 characters a board is given is left out of it, never cut."""
import os
import random
import time
import unittest

from controller import ACK, CHPENQ, COMPLETION, ENTER, MOTORON, NOT_TARGET, SEARCH, SETCHPMODE, seed_of
from player import PlayerTest
from rig import wait_until, windows_path

FILES = 5000
FOLDER = "M:\\"
PATH_MAX = 255
LONG_NAMES = [250, 251, 252, 253, 254, 255]   # characters; the last three make paths too long
SEARCHES = 25


def media_names():
    """FILES names, in the ANSI code page of the player (1252)."""
    names = []
    for length in LONG_NAMES:
        names.append(("L%d" % length).ljust(length - 4, "x") + ".mpg")
    accented = ["café", "Müller", "naïve", "€uro", "Ångström", "ÿ", "œuvre", "Straße", "Œ", "¿qué?"]
    number = 0
    while len(names) < FILES:
        kind = number % 4
        if kind == 0:
            names.append("%04d clip, take %d.mpg" % (number, number % 7))
        elif kind == 1:
            names.append("%s %04d.mpg" % (accented[number % len(accented)].replace("?", ""), number))
        elif kind == 2:
            names.append("scene %04d, part two.mpg" % number)
        else:
            names.append("%04d.mpg" % number)
        number += 1
    return names


class HostileMedia(PlayerTest):
    def setUp(self):
        super().setUp()
        p = self.player
        self.media = os.path.join(p.work, "media")
        os.makedirs(self.media)
        p.rig.map_drive("m", self.media)
        self.addCleanup(p.rig.unmap_drive, "m")

    def trace_bytes(self):
        return [line for line in self.player.trace_raw().split(b"\r\n")]

    def chapter_lines(self):
        """The paths of the "CHP n - path" lines, in order, as bytes."""
        paths = []
        for line in self.trace_bytes():
            message = line[24:]
            if message.startswith(b"CHP "):
                number, _, path = message[4:].partition(b" - ")
                self.assertEqual(int(number), len(paths) % self.expected_count, "chapters counted from 0")
                paths.append(path)
        return paths

    def opened(self):
        """The last file opened on board 0."""
        with open(self.journal, "rb") as f:
            opens = [line for line in f.read().split(b"\n") if line.startswith(b"TROpenMPEG 0 ")]
        return opens[-1][len(b"TROpenMPEG 0 "):]

    def search(self, number):
        p = self.player
        command = SEARCH + str(number).encode() + ENTER
        for byte in command:
            p.line.write(bytes([byte]))
        return p.line.read(len(command) + 1, timeout=10)

    def test_five_thousand_files_built_searchable_and_too_long_paths_left_out(self):
        seed = seed_of(self)
        p = self.player
        names = media_names()
        for name in names:
            open(os.path.join(self.media, name), "w").close()
        paths = [(FOLDER + name).encode("cp1252") for name in names]
        expected = sorted(path for path in paths if len(path) <= PATH_MAX)
        self.expected_count = len(expected)
        self.assertEqual(len(paths) - len(expected), 3, "three paths run past 255 characters")

        p.set_settings({
            "Control\\BoardType": "1",
            "Debug\\TraceFile": windows_path(p.trace_path),
            ".hrx\\ComID": "2",
            ".hrx\\DefaultMPEG": FOLDER + "*.mpg",
        })
        self.place_trmpeg()
        started = time.monotonic()
        p.start(com=2, extra_env={"TRMPEG_BOARDS": "2", "TRMPEG_JOURNAL": windows_path(self.journal)})
        self.assertEqual(p.line.read(1, timeout=120), ACK, "the start-up acknowledgement")
        print("%d files: started in %.1f s" % (FILES, time.monotonic() - started), flush=True)
        self.assertEqual(self.chapter_lines(), expected, "every path that fits, in byte order, none cut")
        self.assertEqual(self.opened(), expected[0], "chapter 0 opened")

        p.line.write(SETCHPMODE)
        self.assertEqual(p.line.read(1, timeout=10), ACK)
        picks = [0, len(expected) - 1] + [i for i, path in enumerate(expected) if len(path) >= 250 or
                                          any(b > 0x7F for b in path)][:10]
        picks += random.Random(seed).sample(range(len(expected)), SEARCHES)
        for number in picks:
            digits = str(number).encode()
            self.assertEqual(self.search(number), ACK * (len(digits) + 2) + COMPLETION, "chapter %d" % number)
            self.assertEqual(self.opened(), expected[number], "chapter %d" % number)
            p.line.write(CHPENQ)
            self.assertEqual(p.line.read(2, timeout=10), b"%02d" % number if number < 100 else digits[:2])
        self.assertEqual(self.search(len(expected)), ACK * (len(str(len(expected))) + 2) + NOT_TARGET)

        # New media: the table is read again, the same (its lines follow
        # the answer).
        p.line.write(MOTORON)
        self.assertEqual(p.line.read(1, timeout=60), ACK)
        wait_until(lambda: len(self.chapter_lines()) >= 2 * len(expected), 30)
        self.assertEqual(self.chapter_lines(), expected + expected)
        self.assertEqual(self.search(len(expected) - 1), ACK * (len(str(len(expected) - 1)) + 2) + COMPLETION)
        self.assertEqual(self.opened(), expected[-1])
        self.assertEqual(p.close(), 0)
        self.assertEqual(p.trace()[-3:], ["Halcyra Remote Closed", "", ""])


if __name__ == "__main__":
    unittest.main()
