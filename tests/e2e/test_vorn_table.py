#!/usr/bin/env python3
"""End-to-end tests of vorn-table, with the conventions of harness.py.

Usage: test_vorn_table.py --vorn-table PATH --system-table PATH
                          [--system-table-name NAME] --vorn PATH
                          (--locales DIR | --wine PATH) [unittest arguments]

--locales names a folder holding the code page 932 locale ja_JP.SJIS (the
test suite builds it there).

With --wine the same tests run the Windows programs through Wine: the
runner's locale (ja_JP.UTF-8) gives them the ANSI code page 932, and with
output to a pipe and no console they write their characters in it, as the
Linux programs do in the ja_JP.SJIS locale.  Tests of POSIX-only behaviour
skip there, and the tests of a console's code page run only there.
"""
import os
import resource
import shutil
import subprocess
import unicodedata

import harness
from harness import (ONE_BYTE_CHARACTERS, OPTIONS, SJIS, STANDARD, TABLE, UTF8, cp,
                     run_on_console, substituted, table_values)


def decode_euc(value):
    try:
        return value.decode("euc_jp")
    except UnicodeDecodeError:
        return value.decode("euc_jis_2004")


def list_pairs(listing):
    """{source: replacement} of a code page 932 list of four-byte lines."""
    lines = listing.split(b"\r\n")
    assert lines[-1] == b"", listing[-10:]
    pairs = {}
    for line in lines[:-1]:
        assert len(line) == 4, line
        pairs[int.from_bytes(line[:2], "big")] = int.from_bytes(line[2:], "big")
    return pairs


def expected_suggestions(table):
    """{source: replacement} that suggest should find, worked out with
    Python's cp932 codec and unicodedata: for each unmapped two-byte code
    outside F040-F9FC, the lowest mapped two-byte code of the same
    character, else of its NFKC form (ASCII as full-width)."""
    def character(code):
        try:
            return code.to_bytes(2, "big").decode("cp932")
        except UnicodeDecodeError:
            return None

    values = table_values(table)
    lowest = {}
    for code in sorted(values):
        if code > 0xFF and values[code] != b"\0\0" and character(code):
            lowest.setdefault(character(code), code)
    pairs = {}
    for code in sorted(values):
        if code <= 0xFF or values[code] != b"\0\0" or 0xF040 <= code <= 0xF9FC:
            continue
        found = character(code) and lowest.get(character(code))
        normal = unicodedata.normalize("NFKC", character(code) or "")
        if not found and len(normal) == 1:
            if 0x21 <= ord(normal) <= 0x7E:
                normal = chr(ord(normal) + 0xFEE0)
            found = lowest.get(normal)
        if found:
            pairs[code] = found
    return pairs


def one_byte_records(overrides=None):
    """The 158 one-byte records of the standard table's shape."""
    overrides = overrides or {}
    records = b""
    for byte in ONE_BYTE_CHARACTERS:
        value = bytes([byte, 0]) if byte < 0x80 else bytes([0x8E, byte])
        records += bytes([byte, 0]) + overrides.get(byte, value)
    return records


# Two small tables: A, and B with 0x41 and 8740 changed, 889F dropped and
# 88A0 added.  7E and 8160 are unmapped in A.
TABLE_A = one_byte_records({0x7E: b"\0\0"}) + bytes.fromhex(
    "8740ADA1" "8250A3B1" "8151A1B2" "81600000" "889FB0A1")
TABLE_B = one_byte_records({0x7E: b"\0\0", 0x41: b"B\0"}) + bytes.fromhex(
    "8740A3B1" "8250A3B1" "8151A1B2" "81600000" "88A0B0A2")


class VornTableTest(harness.TestCase):
    def run_table(self, args, locale=UTF8, **kwargs):
        """Runs vorn-table in `locale`.  Under Wine every run is in code page
        932, the ja_JP.SJIS locale's charset: see shown()."""
        return self.run_program(OPTIONS.vorn_table, *args, locale=locale, **kwargs)

    @staticmethod
    def shown(text):
        """The bytes that stand for `text` in the lines of a run in the
        default locale, C.UTF-8: UTF-8, or under Wine code page 932."""
        return text.encode("cp932") if OPTIONS.wine else text.encode()

    def assert_run(self, args, stdout, stderr=b"", status=0, **kwargs):
        result = self.run_table(args, **kwargs)
        self.assertEqual((result.status, result.stdout, result.stderr),
                         (status, stdout, stderr), args)
        return result

    def vorn(self, *args, stdout=b""):
        """Runs vorn in the folder, where it reads MS932~EUC-JP.bin (its
        installed table is never there); it must succeed."""
        result = self.run_program(OPTIONS.vorn, *args, locale=UTF8)
        self.assertEqual((result.status, result.stdout, result.stderr), (0, stdout, b""), args)

    def unmapped_count(self, table):
        result = self.run_table(["unmapped", "--table", table])
        self.assertEqual((result.status, result.stderr), (0, b""))
        return int(result.stdout.splitlines()[-1].split()[0])


class MakeTest(VornTableTest):
    def test_standard_table_agrees_with_pythons_codecs(self):
        table = STANDARD
        records = len(table) // 4
        mapped = sum(table[i + 2:i + 4] != b"\0\0" for i in range(0, len(table), 4))
        summary = "MS932~EUC-JP.bin: %d records, %d mapped, %d left as 00 00\n" % (
            records, mapped, records - mapped)
        self.assert_run(["make"], summary.encode())
        made = self.read("MS932~EUC-JP.bin")
        self.assertEqual(len(made), len(table))
        for offset in range(0, len(table), 4):
            self.assertEqual(made[offset:offset + 4].hex(), table[offset:offset + 4].hex(),
                             "record %d" % (offset // 4 + 1))
        # The eight codes of the six symbols (81CA, EEF9 and FA54 are all ￢).
        for record in ["8160A1C1", "8161A1C2", "817CA1DD", "8191A1F1", "8192A1F2",
                       "81CAA2CC", "EEF9A2CC", "FA54A2CC"]:
            self.assertIn(bytes.fromhex(record), made)

    def test_euc_jp_ms_adds_what_euc_jp_lacks(self):
        self.assert_run(["make", "std.bin"],
                        b"std.bin: 9762 records, 7049 mapped, 2713 left as 00 00\n")
        self.assert_run(["make", "--to", "EUC-JP-MS", "ms.bin"],
                        b"ms.bin: 9762 records, 8076 mapped, 1686 left as 00 00\n")
        standard, ms = self.read("std.bin"), self.read("ms.bin")
        self.assertEqual(len(standard), len(ms))
        for offset in range(0, len(standard), 4):
            record, ms_record = standard[offset:offset + 4], ms[offset:offset + 4]
            self.assertEqual(record[:2], ms_record[:2])
            if record[2:] != b"\0\0":
                self.assertEqual(record, ms_record)
        # NEC's circled digits exist in EUC-JP-MS only.
        self.assertIn(bytes.fromhex("8740ADA1"), ms)
        self.assertIn(bytes.fromhex("87400000"), standard)

    def test_refuses_to_overwrite_without_force(self):
        self.write("MS932~EUC-JP.bin", b"keep")
        os.mkdir(self.path("folder.bin"))
        for name in ["MS932~EUC-JP.bin", "folder.bin"]:
            args = ["make"] if name == "MS932~EUC-JP.bin" else ["make", name]
            self.assert_run(args, b"", b"vorn-table: %s: already exists (--force replaces it)\n"
                            % name.encode(), 2)
        self.assertEqual(self.read("MS932~EUC-JP.bin"), b"keep")
        self.assertEqual(sorted(os.listdir(self.dir)), ["MS932~EUC-JP.bin", "folder.bin"])

        self.assert_run(["make", "--force"],
                        b"MS932~EUC-JP.bin: 9762 records, 7049 mapped, 2713 left as 00 00\n")
        self.assertEqual(len(self.read("MS932~EUC-JP.bin")), 9762 * 4)

    def test_a_link_to_a_missing_file_exists(self):
        self.requirePosix("symbolic links")
        os.symlink("nowhere.bin", self.path("dangling.bin"))
        self.assert_run(["make", "dangling.bin"], b"",
                        b"vorn-table: dangling.bin: already exists (--force replaces it)\n", 2)
        self.assertEqual(os.listdir(self.dir), ["dangling.bin"])
        # --force writes the file the link names, and the link stays.
        self.assert_run(["make", "--force", "dangling.bin"],
                        b"dangling.bin: 9762 records, 7049 mapped, 2713 left as 00 00\n")
        self.assertEqual(self.read("nowhere.bin"), STANDARD)
        self.assertEqual(os.readlink(self.path("dangling.bin")), "nowhere.bin")

    def test_failed_write_leaves_the_old_file_whole(self):
        self.requirePosix("a file size limit (Wine is ended by its signal)")
        self.write("MS932~EUC-JP.bin", b"keep")

        def small_file_limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        self.assert_run(["make", "--force"], b"", b"vorn-table: MS932~EUC-JP.bin: Disk Full\n",
                        2, preexec_fn=small_file_limit)
        self.assertEqual(self.read("MS932~EUC-JP.bin"), b"keep")
        self.assertEqual(os.listdir(self.dir), ["MS932~EUC-JP.bin"])

    def test_full_disk_leaves_the_old_file_whole(self):
        # A file system with room for less than a table.
        if os.geteuid() != 0:
            self.skipTest("needs root to mount a file system")
        small = self.path("small")
        os.mkdir(small)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", small],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.decode(errors="replace"))
        self.addCleanup(subprocess.run, ["umount", small])
        self.write("small/MS932~EUC-JP.bin", b"keep")
        self.assert_run(["make", "--force", "small/MS932~EUC-JP.bin"], b"",
                        b"vorn-table: small/MS932~EUC-JP.bin: Disk Full\n", 2)
        self.assertEqual(self.read("small/MS932~EUC-JP.bin"), b"keep")
        self.assertEqual(os.listdir(small), ["MS932~EUC-JP.bin"])


class ShowTest(VornTableTest):
    def setUp(self):
        super().setUp()
        self.write("a.bin", TABLE_A)
        self.write("b.bin", TABLE_B)

    def test_asked_characters_in_every_form(self):
        args = ["show", "--table", "a.bin", "8740", "0x8250", "U+FF3F", "①", "A", "ｱ", "0x7E",
                "8160", "889F", "829F"]
        self.assert_run(args, self.shown("8740 ① AD A1 ①\n"
                                         "8250 １ A3 B1 １\n"
                                         "8151 ＿ A1 B2 ＿\n"
                                         "8740 ① AD A1 ①\n"
                                         "0041 A 41 00 A\n"
                                         "00B1 ｱ 8E B1 ｱ\n"
                                         "007E ~ 00 00 unmapped\n"
                                         "8160 ～ 00 00 unmapped\n"
                                         "889F 亜 B0 A1 亜\n"
                                         "829F ぁ no record\n"))

    def test_raw_cp932_in_a_cp932_locale(self):
        # In a code page 932 locale characters are code page 932 bytes, as
        # vorn's are.
        self.assert_run(["show", "--table=a.bin", b"\x87\x40", "U+FF71"],
                        b"8740 \x87\x40 AD A1 \x87\x40\n00B1 \xb1 8E B1 \xb1\n", locale=SJIS)

    def test_every_record_without_characters(self):
        # Each record in file order, with its characters by Python's codecs.
        # Python's euc_jp lacks NEC's row 13 (AD A1 is (1) in EUC-JP-MS);
        # euc_jis_2004 has the same characters there.
        expected = ""
        for offset in range(0, len(TABLE_A), 4):
            key, value = TABLE_A[offset:offset + 2], TABLE_A[offset + 2:offset + 4]
            code = key[:1] if offset < 158 * 4 else key
            euc = value[:1] if value[1] == 0 else value
            shown = "unmapped" if value == b"\0\0" else decode_euc(euc)
            expected += "%04X %s %s %s\n" % (int.from_bytes(code, "big"), code.decode("cp932"),
                                             value.hex(" ").upper(), shown)
        self.assert_run(["show", "--table", "a.bin"], self.shown(expected))

    def test_unmapped(self):
        self.assert_run(["unmapped", "--table", "a.bin"],
                        self.shown("007E ~\n8160 ～\n2 unmapped of 163 records\n"))

    def test_diff(self):
        self.assert_run(["diff", "a.bin", "b.bin"],
                        self.shown("0041 A: 41 00 A | 42 00 B\n"
                                   "8740 ①: AD A1 ① | A3 B1 １\n"
                                   "889F 亜: B0 A1 亜 | no record\n"
                                   "88A0 唖: no record | B0 A2 唖\n"
                                   "4 codes differ\n"), status=1)
        self.assert_run(["diff", "a.bin", "a.bin"], b"0 codes differ\n")
        self.write("c.bin", TABLE_A.replace(bytes.fromhex("8740ADA1"), bytes.fromhex("8740A3B1")))
        self.assert_run(["diff", "a.bin", "c.bin"],
                        self.shown("8740 ①: AD A1 ① | A3 B1 １\n1 code differs\n"), status=1)

    def test_finds_the_table_as_vorn_does(self):
        self.clear_system_table()
        os.remove(self.path("b.bin"))
        self.assert_run(["show", "8740"], b"",
                        ("vorn-table: MS932~EUC-JP.bin: not found as %s nor in the current "
                         "folder\n" % OPTIONS.system_table_name).encode(), 2)

        os.rename(self.path("a.bin"), self.path("MS932~EUC-JP.bin"))
        self.assert_run(["show", "8740"], self.shown("8740 ① AD A1 ①\n"))

        self.install_system_table(TABLE_B)
        self.assert_run(["show", "8740"], self.shown("8740 ① A3 B1 １\n"))
        self.assert_run(["unmapped"], self.shown("007E ~\n8160 ～\n2 unmapped of 163 records\n"))


SUMMARY = b"vorn-table: 66 suggested, 767 left without a replacement\n"
SUMMARY_FILLED = b"vorn-table: 66 suggested, 767 filled, 0 left without a replacement\n"
GETA = "\u3013".encode("cp932")  # 〓, 81 AC


class SuggestTest(VornTableTest):
    def setUp(self):
        super().setUp()
        self.standard = STANDARD
        self.write(TABLE, self.standard)

    def test_standard_table_list_applies_through_vorn(self):
        expected = expected_suggestions(self.standard)
        self.assertEqual(len(expected), 66)
        listing = b"".join(code.to_bytes(2, "big") + expected[code].to_bytes(2, "big") + b"\r\n"
                           for code in sorted(expected))
        self.assert_run(["suggest", "--table", TABLE], listing, SUMMARY)
        for pair in ((0x8740, 0x8250), (0x8785, 0x8FE3), (0xFA4A, 0x8268), (0xED80, 0x92CB)):
            self.assertEqual(expected[pair[0]], pair[1])  # ① ㊤ IBM's Ⅰ and 塚

        self.write("fixes.txt", listing)
        self.vorn("-f", "fixes.txt", "out.bin")
        self.assertEqual(self.read("out.bin"), substituted(self.standard, expected.items()))
        self.assertEqual(self.unmapped_count("out.bin"), 2713 - 66)
        # Nothing is left to suggest on the result.
        self.assert_run(["suggest", "--table", "out.bin"], b"",
                        b"vorn-table: 0 suggested, 767 left without a replacement\n")

    def test_fill_gives_the_rest_one_character(self):
        result = self.run_table(["suggest", "--table=" + TABLE, "--fill", "\u3013"])
        self.assertEqual((result.status, result.stderr), (0, SUMMARY_FILLED))
        pairs = list_pairs(result.stdout)
        self.assertEqual(len(pairs), 833)
        suggested = expected_suggestions(self.standard)
        for code, replacement in pairs.items():
            self.assertEqual(replacement, suggested.get(code, 0x81AC), hex(code))
        # The same CHAR as a code, as raw code page 932 in a CP932 locale.
        for args, locale in ((["--fill=81AC"], "C.UTF-8"), (["--fill", GETA], SJIS)):
            self.assert_run(["suggest", "--table", TABLE] + args, result.stdout,
                            SUMMARY_FILLED, locale=locale)
        self.write("fixes.txt", result.stdout)
        self.vorn("-f", "fixes.txt", "out.bin")
        # Only the user-defined area is left.
        self.assertEqual(self.unmapped_count("out.bin"), 1880)

    def test_utf8_list_round_trips_through_vorn(self):
        cp932 = self.run_table(["suggest", "--table", TABLE]).stdout
        pairs = list_pairs(cp932)
        result = self.run_table(["suggest", "--table", TABLE, "--utf8"])
        self.assertEqual(result.status, 0)
        self.assertEqual(result.stderr,
                         b"vorn-table: 26 lines left out: their UTF-8 cannot tell their codes "
                         b"from other codes of the same character (the code page 932 list has "
                         b"them all)\n" + SUMMARY)
        self.assertTrue(result.stdout.startswith(b"\xef\xbb\xbf"))
        lines = result.stdout[3:].decode("utf-8").split("\r\n")
        self.assertEqual(lines[-1], "")
        self.assertEqual(len(lines) - 1, 66 - 26)
        # Each line is one of the code page 932 list's, as characters.
        as_text = {code.to_bytes(2, "big").decode("cp932"):
                   replacement.to_bytes(2, "big").decode("cp932")
                   for code, replacement in pairs.items()}
        for line in lines[:-1]:
            self.assertEqual(len(line), 2, line)
            self.assertEqual(as_text.get(line[0]), line[1], line)

        # vorn applies each line to the very code the CP932 list names.
        self.write("fixes.txt", result.stdout)
        self.vorn("-f", "fixes.txt", "out.bin")
        out = table_values(self.read("out.bin"))
        standard = table_values(self.standard)
        changed = {code for code in standard if out[code] != standard[code]}
        self.assertEqual(len(changed), 40)
        for code in changed:
            self.assertEqual(out[code], standard[pairs[code]], hex(code))

    def test_a_list_vorn_cannot_read_whole_comes_in_rounds(self):
        # 1000 kanji unmapped: the fill makes more lines than vorn reads.
        table = bytearray(self.standard)
        for index in range(158 + 1500, 158 + 2500):
            table[4 * index + 2:4 * index + 4] = b"\0\0"
        self.write(TABLE, bytes(table))
        suggested = expected_suggestions(bytes(table))
        self.assertEqual(len(suggested), 49)  # some replacements are gone too
        result = self.run_table(["suggest", "--table", TABLE, "--fill", "81AC"])
        self.assertEqual(result.status, 0)
        self.assertEqual(result.stderr,
                         b"vorn-table: 927 more lines left out: vorn reads 906 lines at most "
                         b"(apply these, then run suggest on the result)\n"
                         b"vorn-table: 49 suggested, 1784 filled, 0 left without a replacement\n")
        pairs = list_pairs(result.stdout)
        self.assertEqual(len(pairs), 906)
        for code, replacement in pairs.items():
            self.assertEqual(replacement, suggested.get(code, 0x81AC), hex(code))
        # vorn's output replaces the table in the folder: each round starts
        # from the last one's table.
        self.write("fixes.txt", result.stdout)
        self.vorn("-f", "fixes.txt")
        for beyond in (21, 0):
            result = self.run_table(["suggest", "--table", TABLE, "--fill", "81AC"])
            self.assertEqual(result.status, 0)
            if beyond:
                self.assertIn(b"vorn-table: %d more lines left out" % beyond, result.stderr)
            else:
                self.assertNotIn(b"more lines left out", result.stderr)
            self.write("fixes.txt", result.stdout)
            self.vorn("-f", "fixes.txt")
        self.assertEqual(self.unmapped_count(TABLE), 1880)


class CheckTest(VornTableTest):
    def test_lists_and_their_warnings(self):
        """Each list as vorn reads it against table A (① AD A1, １ A3 B1,
        ＿ A1 B2, ～ unmapped, 亜), with its exit status: 1 for any warning."""
        self.write("a.bin", TABLE_A)
        one_two = "1: 8740 ① -> 8250 １\n"
        cases = [
            ("a list that does what it says", cp("①１\r\nAB\r\n"),
             one_two + "2: 0041 A -> 0042 B\n2 lines, none with warnings\n", 0),
            ("a three-byte and a five-byte line", cp("①1\r\n① １"),
             "1: 10087 (lone byte 87) -> 0040 @\n"
             "  warning: 3 bytes, not 4: vorn reads two one-byte characters\n"
             "  warning: the table has no record of the source: nothing changes\n"
             "2: 10087 (lone byte 87) -> 0040 @\n"
             "  warning: 5 bytes, not 4: vorn reads two one-byte characters\n"
             "  warning: the table has no record of the source: nothing changes\n"
             "2 lines, 2 with warnings\n", 1),
            ("UTF-8 without its byte-order mark", "①１\n".encode("utf-8"),
             "warning: the list looks like UTF-8 without a byte-order mark, which vorn reads "
             "as code page 932 bytes: save it as UTF-8 with BOM, or as code page 932 "
             "(Shift_JIS)\n"
             "1: 100E2 (lone byte E2) -> 10091 (lone byte 91)\n"
             "  warning: 6 bytes, not 4: vorn reads two one-byte characters\n"
             "  warning: the table has no record of the source: nothing changes\n"
             "1 line, 1 with warnings\n", 1),
            ("UTF-8 with its byte-order mark", b"\xef\xbb\xbf" + "①１\n".encode("utf-8"),
             one_two + "1 line, none with warnings\n", 0),
            ("a source taken twice, a replacement left unmapped, no record",
             cp("①１\r\n①＿\r\n１～\r\nぁあ\r\n"),
             one_two +
             "2: 8740 ① -> 8151 ＿\n"
             "  warning: never applied: line 1 already takes the source's record\n"
             "3: 8250 １ -> 8160 ～\n"
             "  warning: the table leaves the replacement unmapped: the record becomes 00 00\n"
             "4: 829F ぁ -> 82A0 あ\n"
             "  warning: the table has no record of the source: nothing changes\n"
             "4 lines, 3 with warnings\n", 1),
            ("a Ctrl-Z", cp("①１\r\n\x1aAB\r\n"),
             one_two + "warning: a Ctrl-Z ends the list after line 1: vorn reads nothing "
             "after it\n1 line, none with warnings\n", 1),
        ]
        for name, listing, stdout, status in cases:
            with self.subTest(name):
                self.write("list.txt", listing)
                self.assert_run(["check", "list.txt", "--table", "a.bin"], self.shown(stdout),
                                status=status)

    def test_lines_after_the_last_one_vorn_reads(self):
        self.write("a.bin", TABLE_A)
        # Every line after the first takes a record already taken.
        self.write("list.txt", b"AB\r\n" * 907)
        result = self.run_table(["check", "--table=a.bin", "list.txt"])
        self.assertEqual((result.status, result.stderr), (1, b""))
        self.assertEqual(result.stdout.splitlines()[-4:],
                         [b"906: 0041 A -> 0042 B",
                          b"  warning: never applied: line 1 already takes the source's record",
                          b"warning: more lines follow line 906: vorn never reads them",
                          b"906 lines, 905 with warnings"])


class ConvertTest(VornTableTest):
    def setUp(self):
        super().setUp()
        self.write(TABLE, STANDARD)
        # ① takes １'s bytes; ② stays unmapped, and 髙 (FBFC).
        self.vorn("-s①", "-e１", "custom.bin", stdout=b"8740 \x81\xcb 8250\r\n")

    def test_text_with_a_customised_table(self):
        # 髙 as FBFC, IBM's code (Python's codec writes NEC's EEE0).
        text = "①ｱA\r\n②と".encode("cp932") + b"\xfb\xfc" + "と②\n\tz\x1a".encode("cp932")
        converted = ("１ｱA\r\n?と?と?\n\tz\x1a".encode("euc_jp"))
        report = self.shown("vorn-table: 3 characters unmapped, written as \"?\":\n"
                            "  8741 ②: 2\n"
                            "  FBFC ") + (b"\xfb\xfc" if OPTIONS.wine else "髙".encode()) + b": 1\n"
        self.write("letter.txt", text)
        self.assert_run(["convert", "--table", "custom.bin", "letter.txt", "letter.euc"], b"",
                        report, 1)
        self.assertEqual(self.read("letter.euc"), converted)
        # Standard input to standard output, also named "-".
        for args in ([], ["-"], ["-", "-"]):
            self.assert_run(["convert", "--table", "custom.bin"] + args, converted, report, 1,
                            input=text)
        # Everything mapped: status 0 and nothing on standard error.
        self.assert_run(["convert", "--table", "custom.bin"], "１ｱA\r\n".encode("euc_jp"),
                        input="①ｱA\r\n".encode("cp932"))

    def test_trouble(self):
        self.write("letter.txt", b"A")
        cases = [
            (["letter.txt", "out.txt", "more.txt"], b"convert: INPUT and OUTPUT at most"),
            (["missing.txt"], b"missing.txt: File not found"),
            (["letter.txt", "no/such/folder.txt"], b"no/such/folder.txt: Invalid filename"),
        ]
        if not OPTIONS.wine:  # Windows has no device that is always full
            cases.append((["letter.txt", "/dev/full"], b"/dev/full: Disk Full"))
        for args, why in cases:
            self.assert_run(["convert", "--table", "custom.bin"] + args, b"",
                            b"vorn-table: " + why + b"\n", 2)
        self.assertEqual(sorted(os.listdir(self.dir)), [TABLE, "custom.bin", "letter.txt"])


class NoLocaleTest(VornTableTest):
    def test_quick_start_without_a_locale(self):
        self.requirePosix("the C locale (Wine's runs take their code page from the runner's)")
        program = OPTIONS.vorn_table  # its installed table is never there
        runs = [
            (program, ["make"],
             b"MS932~EUC-JP.bin: 9762 records, 7049 mapped, 2713 left as 00 00\n"),
            (program, ["show", "①"], "8740 ① 00 00 unmapped\n".encode()),
            # A pipe gets vorn's line as code page 932 bytes.
            (OPTIONS.vorn, ["-s①", "-e１"], b"8740 \x81\xcb 8250\r\n"),
            (program, ["show", "①"], "8740 ① A3 B1 １\n".encode()),
        ]
        for path, args, stdout in runs:
            # No environment at all, as in a fresh container: no LANG, no
            # LC_*, not even PATH.
            result = self.run_program(path, *args, env={})
            self.assertEqual((result.status, result.stdout, result.stderr), (0, stdout, b""),
                             args)


README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
WORKFLOW_HEADING = "### From the to-do list to a finished table\n"


def readme_example(heading):
    """The commands of the first example block after `heading` in the
    README, each with the output lines that follow it."""
    with open(README, encoding="utf-8") as f:
        text = f.read()
    block = text[text.index(heading):].split("```\n")[1]
    steps = []
    for line in block.splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        else:
            steps[-1][1].append(line)
    return steps


class WorkflowTest(VornTableTest):
    def test_readme_example_runs_as_written(self):
        self.requirePosix("the README's example is a shell session on Linux")
        # vorn and vorn-table as the README names them, run by a shell with
        # no locale; neither finds an installed table.
        bin_folder = self.path("bin")
        work = self.path("work")
        os.mkdir(bin_folder)
        os.mkdir(work)
        os.symlink(OPTIONS.vorn, os.path.join(bin_folder, "vorn"))
        os.symlink(OPTIONS.vorn_table, os.path.join(bin_folder, "vorn-table"))
        steps = readme_example(WORKFLOW_HEADING)
        self.assertGreater(len(steps), 5)
        for command, output in steps:
            result = subprocess.run(["/bin/sh", "-c", command], cwd=work,
                                    env={"PATH": bin_folder + ":/usr/bin:/bin"},
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            shown = result.stdout.replace(b"\r\n", b"\n").decode("utf-8")
            self.assertEqual(shown.splitlines(), output, command)


class ChartTest(VornTableTest):
    """The chart command's files and failures; what the page shows is
    tested in a browser by test_chart_browser.py."""

    def setUp(self):
        super().setUp()
        self.write("a.bin", TABLE_A)
        self.write("b.bin", TABLE_B)

    def test_same_page_to_standard_output_or_a_file(self):
        result = self.run_table(["chart", "--table", "b.bin", "--against", "a.bin"])
        self.assertEqual((result.status, result.stderr), (0, b""))
        page = result.stdout
        self.assertTrue(page.startswith(b"<!DOCTYPE html>\n"))
        self.assertIn(b"<h1>Code chart of <code>b.bin</code></h1>", page)
        self.assertIn(b"Compared with <code>a.bin</code>.", page)
        self.assertIn(b"<b>4</b> changed</a>", page)
        self.assert_run(["chart", "--table=b.bin", "--against=a.bin", "-o", "-"], page)

        self.write("out.html", b"old")
        self.assert_run(["chart", "--against", "a.bin", "-o=out.html", "--table", "b.bin"], b"")
        self.assertEqual(self.read("out.html"), page)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.bin", "b.bin", "out.html"])

    def test_names_the_table_it_found(self):
        self.clear_system_table()
        self.write("MS932~EUC-JP.bin", TABLE_A)
        page = self.run_table(["chart"]).stdout
        self.assertIn(b"<title>MS932~EUC-JP.bin \xe2\x80\x93 code chart</title>", page)
        self.assertNotIn(b"Compared with", page)

        self.install_system_table(TABLE_B)
        page = self.run_table(["chart"]).stdout
        self.assertIn(
            b"<h1>Code chart of <code>%s</code></h1>" % OPTIONS.system_table_name.encode(), page)

    def test_failed_write_to_a_file_is_reported(self):
        self.requirePosix("a file size limit (Wine is ended by its signal)")
        self.write("out.html", b"keep")

        def small_file_limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        self.assert_run(["chart", "--table", "a.bin", "-o", "out.html"], b"",
                        b"vorn-table: out.html: Disk Full\n", 2, preexec_fn=small_file_limit)
        self.assertEqual(self.read("out.html"), b"keep")
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.bin", "b.bin", "out.html"])

    def test_failed_write_to_standard_output_is_reported(self):
        with open("/dev/full", "wb") as full:
            result = self.run_table(["chart", "--table", "a.bin"], stdout=full)
        self.assertEqual((result.status, result.stderr),
                         (2, b"vorn-table: standard output: write failed\n"))


class ConsoleTest(VornTableTest):
    def test_characters_in_the_console_code_page(self):
        """With a console, characters go in its output code page (set by
        cmd's chcp), also where standard output is redirected to a file, as
        vorn's lines do."""
        self.requireWindows()
        # ① and °, of which code page 437 has only the degree sign.
        self.write("a.bin", TABLE_A + bytes.fromhex("818BA1EB"))
        shutil.copy(OPTIONS.vorn_table, self.path("vorn-table.exe"))
        show = "vorn-table.exe show --table a.bin 8740 818B"
        cases = [
            (932, "cp932", ["8740 ① AD A1 ①", "818B ° A1 EB °"]),
            (65001, "utf-8", ["8740 ① AD A1 ①", "818B ° A1 EB °"]),
            (437, "cp437", ["8740 ? AD A1 ?", "818B ° A1 EB °"]),
        ]
        for code_page, charset, lines in cases:
            with self.subTest(code_page=code_page):
                command = "chcp %d >NUL & %s" % (code_page, show)
                self.assertEqual(run_on_console(self.dir, command), (lines, 0))
                self.assertEqual(run_on_console(self.dir, command + " > out.txt"),
                                 ([], 0))
                self.assertEqual(self.read("out.txt"), "".join(line + "\n" for line in lines)
                                 .encode(charset))
        # Standard error too, with a file name in code page 932.
        self.assertEqual(run_on_console(self.dir, "vorn-table.exe show --table ①.bin"),
                         (["vorn-table: ①.bin: File not found"], 2))


class ArgumentsTest(VornTableTest):
    def test_bad_arguments_give_one_error_line_and_status_2(self):
        self.write("a.bin", TABLE_A)
        not_a_character = b"not one character of code page 932, a code (8740, 0x8740) or U+XXXX"
        cases = [
            ([], b"missing command: try vorn-table --help"),
            (["frob"], b"frob: unknown command (make, show, unmapped, diff, suggest, check, "
             b"convert or chart)"),
            (["make", "--to", "SJIS"], b"--to: EUC-JP or EUC-JP-MS, not SJIS"),
            (["make", "--to"], b"--to: missing value"),
            (["make", "--to="], b"--to: empty value"),
            (["make", "x.bin", "y.bin"], b"make: one FILE at most"),
            (["make", ""], b"make: empty file name"),
            (["make", "--table", "a.bin"], b"--table: unknown option for make"),
            (["make", "no/such/folder.bin"], b"no/such/folder.bin: Invalid filename"),
            (["show", "--force"], b"--force: unknown option for show"),
            (["show", "--table", "a.bin", "xyz"], b"xyz: " + not_a_character),
            (["show", "--table", "a.bin", "0x12345"],
             b"0x12345: a code has 1 to 4 hex digits after 0x"),
            (["show", "--table", "a.bin", "U+1F600"],
             b"U+1F600: no such character in code page 932"),
            (["show", "--table", "missing.bin"], b"missing.bin: File not found"),
            (["unmapped", "--table", "a.bin", "8740"], b"8740: unexpected argument"),
            (["diff", "a.bin"], b"diff: two table files expected"),
            (["diff", "a.bin", "a.bin", "a.bin"], b"diff: two table files expected"),
            (["diff", "a.bin", "missing/b.bin"], b"missing/b.bin: Invalid filename"),
            (["suggest", "--table", "a.bin", "extra"], b"extra: unexpected argument"),
            (["suggest", "--to", "EUC-JP"], b"--to: unknown option for suggest"),
            (["suggest", "--utf8=yes"], b"--utf8=yes: unknown option for suggest"),
            # A one-byte fill would make three-byte lines that vorn misreads.
            (["suggest", "--table", "a.bin", "--fill", "A"],
             b"A: not a two-byte character (a list line holds two of them)"),
            (["suggest", "--table", "a.bin", "--fill", "8160"], b"8160: the table leaves it unmapped"),
            (["suggest", "--table", "a.bin", "--fill", "U+3013"],
             b"U+3013: the table has no record for it"),
            (["suggest", "--table", "a.bin", "--fill", "xyz"], b"xyz: " + not_a_character),
            (["suggest", "--table", "missing.bin"], b"missing.bin: File not found"),
            (["check"], b"check: one LIST expected"),
            (["check", "a.txt", "b.txt"], b"check: one LIST expected"),
            (["check", "missing.txt"], b"missing.txt: File not found"),
            (["check", "--fill", "A", "a.bin"], b"--fill: unknown option for check"),
            (["convert", "--fill", "A"], b"--fill: unknown option for convert"),
            (["convert", "--table", "missing.bin"], b"missing.bin: File not found"),
            (["chart", "--table", "a.bin", "x.html"], b"x.html: unexpected argument"),
            (["chart", "--force"], b"--force: unknown option for chart"),
            (["chart", "--table", "a.bin", "-o"], b"-o: missing value"),
            (["chart", "--table", "a.bin", "--against="], b"--against: empty value"),
            (["chart", "--table", "a.bin", "--against", "missing.bin"],
             b"missing.bin: File not found"),
            (["chart", "--table", "a.bin", "-o", "no/such/folder.html"],
             b"no/such/folder.html: Invalid filename"),
            (["show", "-o", "x.html"], b"-o: unknown option for show"),
        ]
        for args, why in cases:
            self.assert_run(args, b"", b"vorn-table: " + why + b"\n", 2)
        self.assertEqual(os.listdir(self.dir), ["a.bin"])

    def test_a_full_standard_output_is_trouble(self):
        # show fails while it prints; suggest writes its list in one call
        # past the buffer, so that nothing is left for the final flush.
        self.write(TABLE, STANDARD)
        for args in (["show", "--table", TABLE], ["suggest", "--table", TABLE, "--fill", "81AC"]):
            with open("/dev/full", "wb") as full:
                result = self.run_table(args, stdout=full)
            self.assertEqual(result.status, 2, args)
            self.assertTrue(result.stderr.endswith(
                b"vorn-table: standard output: write failed\n"), result.stderr)

    def test_help_and_version(self):
        for args in (["--help"], ["make", "--help"], ["show", "8740", "--help"]):
            result = self.run_table(args)
            self.assertEqual((result.status, result.stderr), (0, b""))
            self.assertTrue(result.stdout.startswith(b"Usage: vorn-table COMMAND"))
            for synopsis in (b"make [--to EUC-JP|EUC-JP-MS] [--force] [FILE]",
                             b"suggest [--table FILE] [--fill CHAR] [--utf8]",
                             b"convert [--table FILE] [INPUT [OUTPUT]]"):
                self.assertIn(b"\n  " + synopsis + b"\n", result.stdout)
            # Its characters as the terminal shows them.
            self.assertIn(self.shown("(① takes １'s)"), result.stdout)
        result = self.run_table(["--help"], locale=SJIS)
        self.assertIn(b"(\x87\x40 takes \x82\x50's)", result.stdout)
        self.assert_run(["--version"], b"vorn-table 1.01\n")
        self.assertEqual(os.listdir(self.dir), [])


if __name__ == "__main__":
    harness.main("vorn", "vorn_table", "system_table", "locales")
