"""A controller that keeps the line busy: while a burst of commands keeps
the player's message queue full, the playback timer is held off (WM_TIMER
comes only when no other message waits), and yet a board that plays goes on
being serviced.  The bench decoder's time-stamped journal shows every
service call."""
import os
import unittest

from controller import ACK, COMPLETION, STILL
from player import PlayerTest, journal_calls, mkmpeg
from rig import windows_path

BURST = 10000
# The player services a board at least every 20 ms while commands stream in;
# the bound leaves room for a loaded machine.  Without that service the
# board waits for the whole burst, seconds under Wine.
LONGEST_WAIT_MS = 500


class BusyLine(PlayerTest):
    def send(self, data, answer):
        for i in range(len(data)):
            self.player.line.write(data[i:i + 1])
            want = 1 if i < len(data) - 1 else len(answer) - (len(data) - 1)
            self.assertEqual(self.player.line.read(want, timeout=5), answer[i:i + want], "answer to %r" % data)

    def test_playing_board_is_serviced_while_a_burst_is_answered(self):
        p = self.player
        settings = self.own_chapters([3 * mkmpeg.FRAMES_PER_SECOND] * 3)
        p.set_settings(dict(settings, **{"Control\\BoardType": "3", ".hrx\\Protocol": "Sony LDP"}))
        p.start(com=2, extra_env={"RTDSIM_BOARDS": "2", "RTDSIM_JOURNAL": windows_path(self.journal),
                                  "RTDSIM_JOURNAL_TIMES": "1"})
        self.assertEqual(p.line.read(1, timeout=30), ACK, "the start-up acknowledgement")
        # Board 1 plays chapter 1 under repeat; board 0 takes the burst.
        self.send(b"i", ACK)
        self.send(b"S1@", ACK * 3 + COMPLETION)
        self.send(b"C1@", ACK * 3 + COMPLETION)
        self.send(b":", ACK)
        self.send(b"D", ACK)
        self.send(b"S0@", ACK * 3 + COMPLETION)
        offset = os.path.getsize(self.journal)

        p.line.write(STILL * BURST)
        answers = b""
        while len(answers) < BURST:
            chunk = p.line.read(BURST - len(answers), timeout=10)
            if not chunk:
                break
            answers += chunk
        self.assertEqual(answers, ACK * BURST, "one ACK for each STILL")

        calls = journal_calls(self.journal, offset)
        stills = [t for t, call, board in calls if call == "rtdPause" and board == "0"]
        self.assertEqual(len(stills), BURST)
        serviced = [t for t, call, board in calls if call == "rtdContinue" and board == "1"
                    and stills[0] <= t <= stills[-1]]
        marks = [stills[0]] + serviced + [stills[-1]]
        longest = max(b - a for a, b in zip(marks, marks[1:]))
        self.assertLess(longest, LONGEST_WAIT_MS,
                        "board 1 waited %.0f ms for service during a burst of %.0f ms (%d services)"
                        % (longest, stills[-1] - stills[0], len(serviced)))
        self.assertEqual(p.close(), 0)


if __name__ == "__main__":
    unittest.main()
