#!/usr/bin/env python3
"""Writes an MPEG-1 video stream of a chosen length at 25 frames a second:
a sequence header, groups of pictures whose headers carry running time
codes, a picture header and one slice of filler per picture, and the
sequence end code.  The pictures do not decode; the headers are valid, so a
decoder can tell the stream's length from its group-of-pictures time codes.

Usage:
  mkmpeg.py OUTPUT (--seconds S | --frames N) [--gop N] [--start HH:MM:SS:FF]
            [--picture-bytes N]

--frames 0 writes a stream with no group of pictures (a length of 0).
As a module: write_stream(path, frames, gop=12, start_frame=0,
picture_bytes=16).
"""
import argparse
import sys

FRAMES_PER_SECOND = 25
FRAME_RATE_CODE_25 = 3
ASPECT_SQUARE = 1
WIDTH, HEIGHT = 352, 288
BIT_RATE_400 = 1150000 // 400
VBV_BUFFER_SIZE = 20
PICTURE_TYPE_I = 1
SLICE_QUANTISER = 8
FILLER = 0xFF  # never part of a start code

SEQUENCE_HEADER = b"\x00\x00\x01\xb3"
GOP_HEADER = b"\x00\x00\x01\xb8"
PICTURE_HEADER = b"\x00\x00\x01\x00"
SLICE_1 = b"\x00\x00\x01\x01"
SEQUENCE_END = b"\x00\x00\x01\xb7"


class Bits:
    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, value, width):
        self.value = (self.value << width) | (value & ((1 << width) - 1))
        self.count += width

    def bytes(self):
        pad = -self.count % 8
        return (self.value << pad).to_bytes((self.count + pad) // 8, "big")


def sequence_header():
    bits = Bits()
    bits.put(WIDTH, 12)
    bits.put(HEIGHT, 12)
    bits.put(ASPECT_SQUARE, 4)
    bits.put(FRAME_RATE_CODE_25, 4)
    bits.put(BIT_RATE_400, 18)
    bits.put(1, 1)  # marker
    bits.put(VBV_BUFFER_SIZE, 10)
    bits.put(0, 1)  # constrained parameters
    bits.put(0, 1)  # no intra quantiser matrix
    bits.put(0, 1)  # no non-intra quantiser matrix
    return SEQUENCE_HEADER + bits.bytes()


def time_code(frame):
    seconds, pictures = divmod(frame, FRAMES_PER_SECOND)
    minutes, seconds = divmod(seconds, 60)
    hours, minutes = divmod(minutes, 60)
    return hours % 24, minutes, seconds, pictures


def gop_header(frame, closed):
    hours, minutes, seconds, pictures = time_code(frame)
    bits = Bits()
    bits.put(0, 1)  # drop frame
    bits.put(hours, 5)
    bits.put(minutes, 6)
    bits.put(1, 1)  # marker
    bits.put(seconds, 6)
    bits.put(pictures, 6)
    bits.put(1 if closed else 0, 1)
    bits.put(0, 1)  # broken link
    bits.put(0, 5)
    return GOP_HEADER + bits.bytes()


def picture(temporal_reference, picture_bytes):
    bits = Bits()
    bits.put(temporal_reference, 10)
    bits.put(PICTURE_TYPE_I, 3)
    bits.put(0xFFFF, 16)  # vbv delay: variable rate
    bits.put(0, 1)  # no extra information
    slice_bits = Bits()
    slice_bits.put(SLICE_QUANTISER, 5)
    slice_bits.put(0, 1)  # no extra information
    return PICTURE_HEADER + bits.bytes() + SLICE_1 + slice_bits.bytes() + bytes([FILLER]) * picture_bytes


def stream_bytes(frames, gop=12, start_frame=0, picture_bytes=16):
    if frames < 0 or gop < 1 or start_frame < 0 or picture_bytes < 0:
        raise ValueError("frames, start and picture bytes must not be negative; a group holds a picture or more")
    parts = [sequence_header()]
    for first in range(0, frames, gop):
        parts.append(gop_header(start_frame + first, closed=True))
        for index in range(min(gop, frames - first)):
            parts.append(picture(index, picture_bytes))
    parts.append(SEQUENCE_END)
    return b"".join(parts)


def write_stream(path, frames, gop=12, start_frame=0, picture_bytes=16):
    with open(path, "wb") as f:
        f.write(stream_bytes(frames, gop, start_frame, picture_bytes))


def parse_time_code(text):
    try:
        hours, minutes, seconds, pictures = (int(part) for part in text.split(":"))
    except ValueError:
        raise argparse.ArgumentTypeError("time code must be HH:MM:SS:FF")
    if not (0 <= hours < 24 and 0 <= minutes < 60 and 0 <= seconds < 60 and 0 <= pictures < FRAMES_PER_SECOND):
        raise argparse.ArgumentTypeError("time code out of range: %s" % text)
    return ((hours * 60 + minutes) * 60 + seconds) * FRAMES_PER_SECOND + pictures


def main(argv=None):
    parser = argparse.ArgumentParser(description="Writes an MPEG-1 video stream of a chosen length (25 fps).")
    parser.add_argument("output")
    length = parser.add_mutually_exclusive_group(required=True)
    length.add_argument("--seconds", type=float, help="length in seconds (rounded to whole frames)")
    length.add_argument("--frames", type=int, help="length in frames")
    parser.add_argument("--gop", type=int, default=12, help="pictures per group (default 12)")
    parser.add_argument("--start", type=parse_time_code, default=0,
                        help="time code of the first group, HH:MM:SS:FF (default 00:00:00:00)")
    parser.add_argument("--picture-bytes", type=int, default=16, help="filler bytes per picture (default 16)")
    args = parser.parse_args(argv)
    frames = args.frames if args.frames is not None else int(round(args.seconds * FRAMES_PER_SECOND))
    try:
        write_stream(args.output, frames, args.gop, args.start, args.picture_bytes)
    except ValueError as error:
        parser.error(str(error))
    return 0


if __name__ == "__main__":
    sys.exit(main())
