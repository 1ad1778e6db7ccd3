"""The serial link of hrx.exe on the bench rig, seen from the show
controller's end of the line and from the trace log: the wait before the port
opens, DTR, the single start-up byte, commands reaching the player, closing,
a port that cannot be opened (with the real ten-second wait), and one that
comes late or comes back."""
import re
import unittest

from controller import ACK, NAK, STILL
from player import WM_CLOSE, PlayerTest

STARTED = re.compile(r"^Started CommWatchThread ID 0x[0-9a-f]+$")
LOST = re.compile(r"^Unable To Read RS232 Port CE-\d+$")
RETRY_S = 5 + 10  # the retry's period, and a margin for a loaded machine
FOUND_BOARDS = re.compile(r"^Found \d+ MPEG Board\(s\)$")


def time_of(lines, predicate):
    for at, message in lines:
        if predicate(message):
            return at
    raise AssertionError("no such line in:\n" + "\n".join(m for _, m in lines))


class SerialLink(PlayerTest):
    def start(self, settings=None, **start_args):
        self.player.set_settings(settings or {})
        self.player.start(**start_args)
        return self.player

    def close_watching_dtr(self, player):
        """Closes the player; returns (exit code, DTR as the line saw it after)."""
        player.post(WM_CLOSE)
        code = player.proc.wait(timeout=30)
        dtr = player.line.dtr()
        player.wait_exit()
        return code, dtr

    def test_start_up_opens_com2_raises_dtr_and_sends_one_ack(self):
        p = self.start(com=2, port_wait_ms=1500)
        self.assertEqual(p.line.read(1, timeout=30), ACK)
        self.assertEqual(p.line.read_quiet(0.5), b"", "a single unsolicited byte")
        self.assertEqual(p.line.dtr(), 1)
        p.wait_window()

        messages = p.trace()
        self.assertEqual(messages[0], "Halcyra.hrx Ver 1.25 Rev B started")
        self.assertEqual(messages[1], "Initialising RS232 Port 2")
        self.assertEqual(messages[2], "RS232 Flow Control None")
        self.assertRegex(messages[3], STARTED)
        self.assertTrue(any(FOUND_BOARDS.match(m) for m in messages[4:]), messages)
        lines = p.stamped_trace()
        waited = time_of(lines, STARTED.match) - time_of(lines, lambda m: m == "Initialising RS232 Port 2")
        self.assertGreaterEqual(waited, 1500, "HALCYRA_PORT_WAIT_MS replaces the wait")
        self.assertLess(waited, 9000)

        # A received byte reaches the LDP interpreter, whose answer comes back.
        p.line.write(b"A")
        self.assertEqual(p.line.read(1, timeout=10), NAK)

        code, dtr = self.close_watching_dtr(p)
        self.assertEqual(code, 0)
        self.assertEqual(dtr, 0, "DTR is lowered when the port closes")
        messages = p.trace()
        closing = messages.index("Closing RS232 Port")
        self.assertLess(closing, messages.index("Free MPEG system"))
        self.assertEqual(messages[-3:], ["Halcyra Remote Closed", "", ""])

    def test_native_protocol_lines_are_traced_as_received(self):
        p = self.start({".hrx\\Protocol": "Halcyra"}, com=2)
        self.assertEqual(p.line.read(1, timeout=30), ACK)
        p.line.write(b"PL\r\n")
        p.wait_trace("Received cmd <PL>")
        p.line.write(b"\n")
        p.wait_trace("Received cmd <>")
        code, _ = self.close_watching_dtr(p)
        self.assertEqual(code, 0)
        received = [m for m in p.trace() if m.startswith("Received cmd")]
        self.assertEqual(received, ["Received cmd <PL>", "Received cmd <>"])

    def test_port_that_cannot_be_opened_is_tried_after_ten_seconds(self):
        self.player.rig.remove_line(4)
        p = self.start({".hrx\\ComID": "4"}, port_wait_ms=None)
        p.wait_trace("Unable To Open RS232 Port", timeout=60)
        p.wait_window()
        lines = p.stamped_trace()
        waited = time_of(lines, lambda m: m == "Unable To Open RS232 Port") - \
            time_of(lines, lambda m: m == "Initialising RS232 Port 4")
        self.assertGreaterEqual(waited, 10000)
        self.assertEqual(p.close(), 0)
        messages = p.trace()
        self.assertFalse([m for m in messages if FOUND_BOARDS.match(m)], "no board is brought up")
        self.assertNotIn("Starting garbage collection interval at 12:00:00.00", messages)
        self.assertIn("Closing RS232 Port", messages)
        self.assertEqual(messages[-3:], ["Halcyra Remote Closed", "", ""])

    def test_a_port_that_comes_late_or_comes_back_brings_the_show_up(self):
        """A USB adapter that enumerates after start-up, then is pulled out
        and plugged in again: the failure is traced once, the port tried
        every five seconds, and each time it opens the show comes up as at
        start-up and acknowledges."""
        p = self.player
        p.rig.remove_line(2)
        p.start()
        p.wait_trace("Unable To Open RS232 Port")
        p.wait_window()
        p.line = p.rig.open_line(2)
        self.assertEqual(p.line.read(1, timeout=RETRY_S), ACK, "the show comes up once the port is there")
        self.assertEqual(p.line.dtr(), 1)

        p.line.close()
        p.wait_trace("Closing RS232 Port", timeout=10)
        p.line = p.rig.open_line(2)
        self.assertEqual(p.line.read(1, timeout=RETRY_S), ACK, "the show comes up again with the port")
        p.line.write(STILL)
        self.assertEqual(p.line.read(1, timeout=5), ACK)
        self.assertEqual(p.close(), 0)

        messages = p.trace()
        self.assertEqual(messages.count("Unable To Open RS232 Port"), 1, "the failure is traced once")
        lost = [i for i, m in enumerate(messages) if LOST.match(m)]
        self.assertEqual(len(lost), 1, messages)
        self.assertEqual(messages[lost[0] + 1], "Closing RS232 Port")
        self.assertEqual(messages[lost[0] + 2], "Initialising RS232 Port 2", "the retries trace nothing")
        found = [i for i, m in enumerate(messages) if FOUND_BOARDS.match(m)]
        self.assertEqual(len(found), 2, messages)
        self.assertLess(lost[0], messages.index("Free MPEG system"), "the boards went on without the line")
        self.assertLess(messages.index("Free MPEG system"), found[1], "and are brought up anew with it")


if __name__ == "__main__":
    unittest.main()
