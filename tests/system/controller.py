"""The show controller's side of the line: the Sony LDP command and answer
bytes (the one place the system tests, the soak run and the bench take them
from), the answers the protocols allow, a controller that floods the line
while it checks every answer byte, and the exchanges that walk a player
through every command."""
import os
import random
import select
import time

ACK, NAK, COMPLETION, NOT_TARGET = b"\x0a", b"\x0b", b"\x01", b"\x05"
EJECT, CLEARALL, STILL, FPLAY, FSTEP, SEARCH = b"*", b"V", b"O", b":", b"+", b"C"
SETCHPMODE, SETFRMMODE, ENTER, SADDRENQ, CHPENQ, FSLOW = b"i", b"U", b"@", b"`", b"v", b"<"
SETSCRMODE, SRCENQ, STOP, REPEAT, CLEARENTRY, FFAST = b"S", b"T", b"?", b"D", b"A", b";"
VIDEOON, VIDEOOFF, AUDIOON, AUDIOOFF, MOTORON = b"'", b"&", b"%", b"$", b"b"
VIDEO_MPEG, VIDEO_EXTERNAL = b"W", b"X"

# Every byte an LDP answer may hold: the four replies, and the digits and
# the minus sign of an enquiry.
LDP_ANSWER_BYTES = frozenset(ACK + NAK + COMPLETION + NOT_TARGET + b"0123456789-")
# The native protocol answers OP and CO, and nothing else, with "R\n".
NATIVE_ANSWER = b"R\n"

DEFAULT_SEED = 14


def seed_of(test, default=DEFAULT_SEED):
    """The seed of a random run: HRX_SEED when it is set, else the test's
    own; printed, so that a failing run can be repeated byte for byte."""
    seed = int(os.environ.get("HRX_SEED", default))
    print("%s: seed %d" % (test.id(), seed), flush=True)
    return seed


def random_bytes(seed, count):
    return random.Random(seed).randbytes(count)


class Flood:
    """Sends bytes in bursts on a line, reading every answer byte as it
    comes.  At most `window` bytes are sent ahead of the answers the player
    has given (most bytes get one answer byte), so that the player's queue
    of received commands stays short; when the answers pause for `stall`
    seconds (bytes that get no answer, a slow board operation) the next
    burst goes out all the same.  A player that gives no answer at all for
    `hang` seconds while bytes wait has hung."""

    def __init__(self, line, window=2048, burst=512, stall=0.5, hang=60):
        self.line = line
        self.window, self.burst, self.stall, self.hang = window, burst, stall, hang
        self.answers = bytearray()
        self.sent = 0
        self.last_answer = time.monotonic()

    def _read(self, timeout):
        ready, _, _ = select.select([self.line.master], [], [], timeout)
        if not ready:
            self._check_hang()
            return 0
        chunk = os.read(self.line.master, 65536)
        self.answers += chunk
        self.last_answer = time.monotonic()
        return len(chunk)

    def _check_hang(self):
        if time.monotonic() - self.last_answer > self.hang:
            raise AssertionError("no answer for %d s after %d bytes sent" % (self.hang, self.sent))

    def _write_all(self, data):
        while data:
            _, ready, _ = select.select([], [self.line.master], [], 0.05)
            if ready:
                written = os.write(self.line.master, data)
                data = data[written:]
                self.sent += written
            else:
                self._read(0)

    def send(self, data):
        """Sends all of data; returns the seconds it took.  Raises
        AssertionError when the player hangs."""
        started = time.monotonic()
        credit = 0   # bytes that went out without waiting for their answers
        for offset in range(0, len(data), self.burst):
            while self.sent - len(self.answers) - credit > self.window:
                if not self._read(0.05) and time.monotonic() - self.last_answer > self.stall:
                    credit = self.sent - len(self.answers)
            self._write_all(data[offset:offset + self.burst])
            while self._read(0):
                pass
        return time.monotonic() - started

    def drain(self, quiet=1.0):
        """Reads answers until the line has been quiet for `quiet` seconds."""
        self.last_answer = time.monotonic()
        while self._read(quiet):
            pass


def round_trip_ms(line, command, answer_length, timeout=2.0):
    """(answer, milliseconds) of one command."""
    started = time.monotonic()
    line.write(command)
    answer = line.read(answer_length, timeout=timeout)
    return answer, (time.monotonic() - started) * 1000


def every_command(boards, chapters, frame_answer=None):
    """(command bytes, answer) pairs that walk an LDP player, fresh from its
    start, through all 25 commands, number entries, board selections,
    chapter searches and unknown bytes.  The answers are exact, given the
    number of boards and of chapters; the frame enquiry's answer is
    frame_answer, or any five bytes of a frame number when it is None."""
    chapter = 1 if chapters > 1 else 0
    board = 1 if boards > 1 else 0
    found = COMPLETION if chapters > chapter else NOT_TARGET
    return [
        (CLEARALL, ACK),
        (SETCHPMODE, ACK),
        (SEARCH + str(chapter).encode() + ENTER, ACK * 3 + found),
        (CHPENQ, b"%02d" % (chapter if chapters > chapter else 0)),
        (SEARCH + b"%d" % chapters + ENTER, ACK * (2 + len(str(chapters))) + NOT_TARGET),
        (SEARCH + b"9" + CLEARENTRY + STILL + b"0" + ENTER, ACK * 3 + NAK + ACK * 2 + (
            COMPLETION if chapters else NOT_TARGET)),
        (SETSCRMODE + str(board).encode() + ENTER, ACK * 3 + (COMPLETION if boards > board else NOT_TARGET)),
        (SRCENQ, b"%02d" % (board if boards > board else 0)),
        (SETSCRMODE + b"16" + ENTER, ACK * 4 + NOT_TARGET),
        (SETSCRMODE + b"0" + ENTER, ACK * 3 + (COMPLETION if boards else NOT_TARGET)),
        (SETFRMMODE, ACK),
        (SADDRENQ, frame_answer),
        (FPLAY, ACK), (REPEAT, ACK), (STILL, ACK), (FSTEP, ACK), (FSLOW, ACK), (FFAST, ACK),
        (STOP, ACK), (VIDEOOFF, ACK), (VIDEOON, ACK), (AUDIOOFF, ACK), (AUDIOON, ACK),
        (VIDEO_EXTERNAL, ACK), (VIDEO_MPEG, ACK), (EJECT, ACK), (MOTORON, ACK),
        (CLEARENTRY, NAK), (b"\x91", NAK), (b"\x00", NAK),
        (CHPENQ, b"00"),
    ]


def walk_every_command(test, line, boards, chapters, frame_answer=None, timeout=10):
    """Sends the walk of every_command, byte by byte, and checks each answer."""
    for command, expected in every_command(boards, chapters, frame_answer):
        for byte in command:
            line.write(bytes([byte]))
        length = 5 if expected is None else len(expected)
        answer = line.read(length, timeout=timeout)
        if expected is None:
            test.assertRegex(answer, rb"^[-0-9][0-9]{4}$", "frame enquiry")
        else:
            test.assertEqual(answer, expected, "answer to %r" % command)
    test.assertEqual(line.read_quiet(0.3), b"", "no answer beyond the walk's")
