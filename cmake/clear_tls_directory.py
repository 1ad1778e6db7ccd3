#!/usr/bin/env python3
"""Clears the thread-local storage directory of a 32-bit Windows DLL.

The MinGW runtime gives every DLL a TLS directory, although the libraries
loaded at run time (the board drivers, the bench decoder, the rig's CD
driver) keep no thread-local data.  Wine 8 walks its list of threads for
each such DLL it loads, and that list can hold a thread that has already
ended (the serial port's wait threads): the load then never returns.
Without the directory a load does not touch the thread list.  The runtime
calls its own thread-local set-up from the DLL's entry point either way.

  clear_tls_directory.py FILE
"""
import struct
import sys

TLS_DIRECTORY = 9
PE32_MAGIC = 0x10B


def clear(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("%s: not a PE image" % path)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_MAGIC:
        sys.exit("%s: not a 32-bit image" % path)
    directories = optional + 96
    struct.pack_into("<II", image, directories + TLS_DIRECTORY * 8, 0, 0)
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    clear(sys.argv[1])
