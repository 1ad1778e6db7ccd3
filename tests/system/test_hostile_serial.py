"""Hostile bytes on the serial line: a million seeded random bytes in the
Sony LDP protocol and 200,000 in the native protocol, sent as fast as the
player takes them, with Wine checking the heap on every allocation and free.
The player neither crashes nor hangs, every byte it answers is one the
protocol allows, a valid command is answered within 10 ms afterwards, and
WM_CLOSE shuts it down cleanly."""
import statistics
import unittest

from controller import (ACK, CHPENQ, CLEARALL, LDP_ANSWER_BYTES, NATIVE_ANSWER, Flood, random_bytes,
                        round_trip_ms, seed_of)
from player import PlayerTest

LDP_BYTES = 1000000
NATIVE_BYTES = 200000
BOARDS = 2
# Chapters of one to three seconds; the bench decoder runs 100 times faster
# than the clock, so that a frame search in the flood takes milliseconds.
CHAPTER_FRAMES = [25, 50, 75]
TIME_SCALE = 100
ANSWER_MS = 10
TIMED_COMMANDS = 10


class HostileSerial(PlayerTest):
    def setUp(self):
        super().setUp()
        self.settings = self.own_chapters(CHAPTER_FRAMES)

    def start(self, protocol):
        self.player.set_settings(dict(self.settings, **{".hrx\\Protocol": protocol}))
        self.start_acknowledged(extra_env={"WINEDEBUG": "warn+heap", "RTDSIM_BOARDS": str(BOARDS),
                                           "RTDSIM_TIME_SCALE": str(TIME_SCALE)})

    def flood(self, seed, count):
        data = random_bytes(seed, count)
        flood = Flood(self.player.line)
        seconds = flood.send(data)
        flood.drain(quiet=3.0)
        print("%d bytes in %.1f s, %d answer bytes" % (count, seconds, len(flood.answers)), flush=True)
        self.assertTrue(self.player.proc.poll() is None, "the player is still running")
        return bytes(flood.answers)

    def assert_answered_in_time(self, command, answer):
        times = []
        for _ in range(TIMED_COMMANDS):
            got, ms = round_trip_ms(self.player.line, command, len(answer))
            self.assertEqual(got, answer, "answer to %r" % command)
            times.append(ms)
        print("answered in " + " ".join("%.1f" % ms for ms in times) + " ms", flush=True)
        self.assertLessEqual(statistics.median(times), ANSWER_MS)

    def assert_closes_cleanly(self):
        p = self.player
        self.assertEqual(p.close(timeout=60), 0)
        self.assertEqual(p.trace()[-3:], ["Halcyra Remote Closed", "", ""])
        self.assertEqual(p.heap_reports(), [], "Wine's heap checks found nothing")

    def test_a_million_random_bytes_in_sony_ldp(self):
        seed = seed_of(self)
        self.start("Sony LDP")
        answers = self.flood(seed, LDP_BYTES)
        strays = sorted(set(answers) - LDP_ANSWER_BYTES)
        self.assertEqual(strays, [], "answer bytes no LDP answer holds")
        self.assertGreater(len(answers), LDP_BYTES // 2, "the player answered the flood")

        # CLEARALL ends whatever number entry the flood left open.
        self.player.line.write(CLEARALL)
        self.assertEqual(self.player.line.read(1, timeout=10), ACK)
        self.assert_answered_in_time(CHPENQ, b"00")
        self.assert_closes_cleanly()

    def test_two_hundred_thousand_random_bytes_in_the_native_protocol(self):
        seed = seed_of(self, default=1400)
        self.start("Halcyra")
        answers = self.flood(seed, NATIVE_BYTES)
        pairs = len(answers) // len(NATIVE_ANSWER)
        self.assertEqual(answers, NATIVE_ANSWER * pairs, "only whole \"R\\n\" answers")
        self.assertGreater(pairs, 0, "the flood held tray commands")

        # A line end first: it ends whatever line the flood left unfinished.
        self.player.line.write(b"\r")
        self.assert_answered_in_time(b"CO\r", NATIVE_ANSWER)
        self.assert_closes_cleanly()


if __name__ == "__main__":
    unittest.main()
