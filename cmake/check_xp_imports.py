#!/usr/bin/env python3
"""Refuses a 32-bit Windows binary that imports a function Windows XP SP3 lacks.

Every function the binary imports from a DLL must be named in the list
(cmake/xp_sp3_imports.txt): there, each Windows DLL with the functions of it
that XP SP3 exports and ours may call, and each library that ships beside
the player with "*".  A function or DLL missing from the list fails the
build (exit code 1), the binary is left as it is.  A function new to the
binaries is added to the list once XP SP3 is known to export it; one that
XP SP3 lacks is looked up at run time with GetProcAddress instead.

  check_xp_imports.py LIST FILE
"""
import struct
import sys

from clear_tls_directory import PE32_MAGIC, Refused, file_offset, section_table

IMPORT_DIRECTORY = 1
DESCRIPTOR_SIZE = 20
BY_ORDINAL = 0x80000000


def read_list(path):
    allowed = {}
    with open(path) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words:
                dll, name = words
                allowed.setdefault(dll.lower(), set()).add(name)
    return allowed


def text_at(image, offset):
    return image[offset:image.index(b"\0", offset)].decode("ascii")


def imports(image):
    """Yields (DLL, function) for every import; by ordinal as "#n"."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise Refused("not a PE image")
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != PE32_MAGIC:
        raise Refused("not a 32-bit image")
    count, = struct.unpack_from("<H", image, pe + 6)
    optional_size, = struct.unpack_from("<H", image, pe + 20)
    sections = section_table(image, pe, count, optional_size)
    rva = struct.unpack_from("<I", image, optional + 96 + IMPORT_DIRECTORY * 8)[0]
    if rva == 0:
        return
    descriptor = file_offset(sections, rva)
    while True:
        names, _, _, dll_rva, addresses = struct.unpack_from("<IIIII", image, descriptor)
        if dll_rva == 0:
            return
        dll = text_at(image, file_offset(sections, dll_rva))
        thunk = file_offset(sections, names or addresses)
        while True:
            entry, = struct.unpack_from("<I", image, thunk)
            if entry == 0:
                break
            if entry & BY_ORDINAL:
                yield dll, "#%d" % (entry & 0xFFFF)
            else:
                yield dll, text_at(image, file_offset(sections, entry) + 2)
            thunk += 4
        descriptor += DESCRIPTOR_SIZE


def check(list_path, path):
    allowed = read_list(list_path)
    with open(path, "rb") as f:
        image = f.read()
    try:
        missing = [(dll, name) for dll, name in imports(image)
                   if not allowed.get(dll.lower(), set()) & {"*", name}]
    except Refused as refusal:
        sys.exit("%s: %s" % (path, refusal))
    if missing:
        print("%s imports what is not known to be in Windows XP SP3 (%s):" % (path, list_path),
              file=sys.stderr)
        for dll, name in missing:
            print("  %s %s" % (dll, name), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    check(sys.argv[1], sys.argv[2])
