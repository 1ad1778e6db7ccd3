#!/usr/bin/env python3
"""Clears the thread-local storage directory of a 32-bit Windows DLL.

The MinGW runtime gives every DLL a TLS directory, although the libraries
loaded at run time (the board drivers, the bench decoder, the rig's CD
driver) keep no thread-local data.  Wine 8 walks its list of threads for
each such DLL it loads, and that list can hold a thread that has already
ended (the serial port's wait threads): the load then never returns.
Without the directory a load does not touch the thread list.  The runtime
calls its own thread-local set-up from the DLL's entry point either way.

A DLL that keeps thread-local data of its own needs the directory: the
loader allocates its template for every thread, and its callbacks set up
and free the per-thread copies of the compiler's emulated thread-locals.
Such a DLL is refused (exit code 1) and left as it is: the build fails
rather than ship a library that breaks on its second thread.

  clear_tls_directory.py FILE
"""
import struct
import sys

TLS_DIRECTORY = 9
PE32_MAGIC = 0x10B
# The runtime's own template: the markers at its start and end.
RUNTIME_TEMPLATE_BYTES = 4
# Control variables of the compiler's emulated thread-locals (the COFF
# symbol table keeps them; i686 adds a leading underscore).
EMULATED_TLS_PREFIX = b"___emutls_v."
SYMBOL_SIZE = 18


class Refused(Exception):
    pass


def file_offset(sections, rva):
    for virtual_address, virtual_size, raw_offset in sections:
        if virtual_address <= rva < virtual_address + virtual_size:
            return raw_offset + rva - virtual_address
    raise Refused("TLS directory outside every section")


def section_table(image, pe, count, optional_size):
    first = pe + 24 + optional_size
    table = []
    for i in range(count):
        entry = first + 40 * i
        virtual_size, virtual_address, _, raw_offset = struct.unpack_from("<IIII", image, entry + 8)
        table.append((virtual_address, virtual_size, raw_offset))
    return table


def symbol_names(image, pe):
    table, count = struct.unpack_from("<II", image, pe + 12)
    if table == 0 or count == 0:
        raise Refused("no symbol table to look for emulated thread-locals in")
    strings = table + count * SYMBOL_SIZE
    for i in range(count):
        entry = table + i * SYMBOL_SIZE
        short = image[entry:entry + 8]
        if short[:4] == b"\0\0\0\0":
            start = strings + struct.unpack_from("<I", short, 4)[0]
            yield image[start:image.index(b"\0", start)]
        else:
            yield short.rstrip(b"\0")


def check_no_own_data(image, pe, directory_rva):
    count, = struct.unpack_from("<H", image, pe + 6)
    optional_size, = struct.unpack_from("<H", image, pe + 20)
    sections = section_table(image, pe, count, optional_size)
    tls = file_offset(sections, directory_rva)
    start, end, _, _, zero_fill = struct.unpack_from("<IIIII", image, tls)
    template = end - start + zero_fill
    if template > RUNTIME_TEMPLATE_BYTES:
        raise Refused("a thread-local template of %d bytes" % template)
    for name in symbol_names(image, pe):
        if name.startswith(EMULATED_TLS_PREFIX):
            raise Refused("the thread-local %s" % name[len(EMULATED_TLS_PREFIX):].decode(errors="replace"))


def clear(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("%s: not a PE image" % path)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_MAGIC:
        sys.exit("%s: not a 32-bit image" % path)
    entry = optional + 96 + TLS_DIRECTORY * 8
    rva = struct.unpack_from("<I", image, entry)[0]
    if rva == 0:
        return
    try:
        check_no_own_data(image, pe, rva)
    except Refused as refusal:
        print("%s: keeps thread-local data of its own (%s); its TLS directory stays" % (path, refusal),
              file=sys.stderr)
        sys.exit(1)
    struct.pack_into("<II", image, entry, 0, 0)
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    clear(sys.argv[1])
