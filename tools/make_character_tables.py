#!/usr/bin/env python3
"""Writes tools/vorn_table/character_tables.cc: the character data vorn-table
works from, so that it needs no converter at run time and gives the same
bytes on every platform.

The data come from glibc's iconv (code page 932 as glibc's CP932, EUC-JP and
EUC-JP-MS) and from Python's unicodedata (NFKC).  Run it on a glibc system:

    tools/make_character_tables.py [OUTPUT]

Without OUTPUT it writes the checked-in file.  The test suite runs it into
the build tree and compares, so the checked-in data always are what this
script makes.
"""

import ctypes
import os
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.join(HERE, "vorn_table", "character_tables.cc")

LEAD_BYTES = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAIL_BYTES = range(0x40, 0xFD)
ENTRIES_PER_LINE = 6


class Iconv:
    """One glibc iconv conversion, called through ctypes."""

    _libc = None

    def __init__(self, to, source):
        if Iconv._libc is None:
            libc = ctypes.CDLL(None, use_errno=True)
            libc.iconv_open.restype = ctypes.c_void_p
            libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
            libc.iconv.restype = ctypes.c_size_t
            libc.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
            Iconv._libc = libc
        self.cd = Iconv._libc.iconv_open(to.encode(), source.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            sys.exit("make_character_tables.py: iconv cannot convert %s to %s" % (source, to))

    def __call__(self, data):
        """The converted bytes, or None where any of `data` does not convert."""
        libc = Iconv._libc
        failed = ctypes.c_size_t(-1).value
        libc.iconv(self.cd, None, None, None, None)
        source = ctypes.create_string_buffer(data, len(data))
        target = ctypes.create_string_buffer(64)
        in_ptr = ctypes.c_void_p(ctypes.addressof(source))
        in_left = ctypes.c_size_t(len(data))
        out_ptr = ctypes.c_void_p(ctypes.addressof(target))
        out_left = ctypes.c_size_t(len(target))
        if libc.iconv(self.cd, ctypes.byref(in_ptr), ctypes.byref(in_left),
                      ctypes.byref(out_ptr), ctypes.byref(out_left)) == failed:
            return None
        if libc.iconv(self.cd, None, None, ctypes.byref(out_ptr),
                      ctypes.byref(out_left)) == failed:
            return None
        return target.raw[:len(target) - out_left.value]


def code_bytes(code):
    return bytes([code]) if code < 0x100 else bytes([code >> 8, code & 0xFF])


def scalar_of(utf32):
    """The one character of UTF-32LE bytes, or None."""
    if utf32 is None or len(utf32) != 4:
        return None
    return int.from_bytes(utf32, "little")


def utf32(scalar):
    return scalar.to_bytes(4, "little")


def value_bytes(euc):
    """EUC-JP bytes as a table record's value bytes (first byte high), or 0
    where there are none or more than two."""
    if euc is None or not 1 <= len(euc) <= 2:
        return 0
    euc = euc.ljust(2, b"\0")
    return euc[0] << 8 | euc[1]


def full_width(scalar):
    """An ASCII character's full-width form; any other character as it is."""
    if 0x21 <= scalar <= 0x7E:
        return scalar + 0xFEE0
    if scalar == 0x20:
        return 0x3000
    return scalar


def nfkc_of(scalar):
    """The character's NFKC form when that is one other character (ASCII as
    its full-width form), else 0."""
    normal = unicodedata.normalize("NFKC", chr(scalar))
    if len(normal) != 1:
        return 0
    target = full_width(ord(normal))
    return target if target != scalar else 0


def code_page_characters():
    """(code, scalar) for every code glibc's CP932 decodes to one character."""
    decode = Iconv("UTF-32LE", "CP932")
    codes = [(byte,) for byte in range(0x100)]
    codes += [(lead, trail) for lead in LEAD_BYTES for trail in TRAIL_BYTES]
    found = []
    for key in codes:
        scalar = scalar_of(decode(bytes(key)))
        if scalar is not None:
            found.append((int.from_bytes(bytes(key), "big"), scalar))
    return found


def entries(characters):
    to_euc = Iconv("EUC-JP", "UTF-32LE")
    to_euc_ms = Iconv("EUC-JP-MS", "UTF-32LE")
    from_euc = Iconv("UTF-32LE", "EUC-JP")
    rows = []
    for code, scalar in characters:
        euc = to_euc(utf32(scalar))
        euc_ms = to_euc_ms(utf32(scalar))
        standard = value_bytes(euc)
        # glibc's EUC-JP converts through Unicode, where Microsoft's code
        # points for a few JIS X 0208 symbols (～ ∥ － ￠ ￡ ￢) differ from
        # JIS's own: EUC-JP-MS knows them, and where plain EUC-JP reads the
        # bytes EUC-JP-MS gives, they are the JIS X 0208 character.
        if standard == 0 and value_bytes(euc_ms) != 0 and from_euc(euc_ms) is not None:
            standard = value_bytes(euc_ms)
        rows.append((code, scalar, standard, value_bytes(euc_ms), nfkc_of(scalar)))
    return rows


def encodings():
    """(scalar, code) for every BMP character glibc's CP932 encodes as one
    character, by scalar."""
    encode = Iconv("CP932", "UTF-32LE")
    found = []
    for scalar in range(0x10000):
        if 0xD800 <= scalar <= 0xDFFF:
            continue
        cp932 = encode(utf32(scalar))
        if cp932 is None or not 1 <= len(cp932) <= 2:
            continue
        found.append((scalar, int.from_bytes(cp932, "big")))
    return found


def euc_characters():
    """(value bytes, scalar) for every two-byte EUC-JP code that glibc's
    EUC-JP, or else its EUC-JP-MS, decodes to one character."""
    decoders = [Iconv("UTF-32LE", "EUC-JP"), Iconv("UTF-32LE", "EUC-JP-MS")]
    found = []
    for first in range(0x80, 0x100):
        for second in range(0x80, 0x100):
            for decode in decoders:
                scalar = scalar_of(decode(bytes([first, second])))
                if scalar is not None:
                    found.append((first << 8 | second, scalar))
                    break
    return found


def table_lines(name, kind, rows):
    items = ["{%s}" % ",".join("0x%X" % value if value else "0" for value in row)
             for row in rows]
    lines = ["const %s %s[] = {" % (kind, name)]
    for i in range(0, len(items), ENTRIES_PER_LINE):
        lines.append("    " + ",".join(items[i:i + ENTRIES_PER_LINE]) + ",")
    lines.append("};")
    lines.append("const std::size_t %sSize = sizeof %s / sizeof %s[0];" % (name, name, name))
    return lines


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUTPUT
    lines = [
        "// Generated by tools/make_character_tables.py from glibc's iconv and",
        "// Python's unicodedata %s.  Do not edit: run the script." % unicodedata.unidata_version,
        '#include "tools/vorn_table/characters.h"',
        "",
        "namespace vorn {",
        "",
        "// clang-format off",
    ]
    lines += table_lines("kCodePage932", "CodePageCharacter",
                         entries(code_page_characters()))
    lines.append("")
    lines += table_lines("kEncodings", "Encoding", encodings())
    lines.append("")
    lines += table_lines("kEucCharacters", "EucCharacter", euc_characters())
    lines += ["// clang-format on", "", "}  // namespace vorn", ""]
    with open(output, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
