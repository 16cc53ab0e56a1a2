#!/usr/bin/env python3
"""End-to-end tests of vorn-table: the built program, run in a fresh folder.

Usage: test_vorn_table.py --vorn-table PATH --vorn-table-system-table PATH
                          --system-table PATH [unittest arguments]
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None

ONE_BYTE_CHARACTERS = list(range(0x20, 0x7F)) + list(range(0xA1, 0xE0))


# Microsoft's code points for six JIS X 0208 symbols, and JIS's own.  Python's
# euc_jp, like glibc's EUC-JP, has only JIS's; a Windows user's ～ ∥ － ￠ ￡ ￢
# are those same JIS X 0208 characters, so the standard table maps them.
MICROSOFT_TO_JIS = {"\uff5e": "\u301c", "\u2225": "\u2016", "\uff0d": "\u2212",
                    "\uffe0": "\u00a2", "\uffe1": "\u00a3", "\uffe2": "\u00ac"}


def euc_jp_value(character):
    """The value bytes of a character by Python's own codecs: its EUC-JP
    code, left-aligned and padded with 00, or 00 00 where EUC-JP has no
    code or only a three-byte one."""
    try:
        euc = MICROSOFT_TO_JIS.get(character, character).encode("euc_jp")
    except UnicodeEncodeError:
        return b"\0\0"
    return euc.ljust(2, b"\0") if len(euc) <= 2 else b"\0\0"


def expected_standard_table():
    """The standard table as Python's cp932 and euc_jp codecs make it, and
    its record and mapped counts.

    The table is made from glibc's iconv.  Over every code of code page 932
    glibc's CP932 and Python's cp932 decode to the same characters (checked
    code by code when this test was written), and glibc's EUC-JP and
    Python's euc_jp encode them to the same bytes, once the six symbols
    above are taken as JIS's characters.
    """
    table = bytearray()
    mapped = 0
    for byte in ONE_BYTE_CHARACTERS:
        value = euc_jp_value(bytes([byte]).decode("cp932"))
        table += bytes([byte, 0]) + value
        mapped += value != b"\0\0"
    for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)):
        for trail in range(0x40, 0xFD):
            if trail == 0x7F:
                continue
            try:
                character = bytes([lead, trail]).decode("cp932")
            except UnicodeDecodeError:
                continue
            value = euc_jp_value(character)
            table += bytes([lead, trail]) + value
            mapped += value != b"\0\0"
    return bytes(table), len(table) // 4, mapped


def decode_euc(value):
    try:
        return value.decode("euc_jp")
    except UnicodeDecodeError:
        return value.decode("euc_jis_2004")


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


class VornTableTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vorn-table-test-")
        self.addCleanup(shutil.rmtree, self.folder)

    def write(self, name, data):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def run_table(self, args, locale="C.UTF-8", program=None, **kwargs):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": locale}
        kwargs.setdefault("stdout", subprocess.PIPE)
        return subprocess.run([program or ARGS.vorn_table] + args, cwd=self.folder,
                              env=env, stderr=subprocess.PIPE, **kwargs)

    def remove_system_table(self):
        """Leaves the test build's installed table out; its path."""
        os.makedirs(os.path.dirname(ARGS.system_table), exist_ok=True)
        if os.path.exists(ARGS.system_table):
            os.remove(ARGS.system_table)
        return ARGS.system_table

    def install_system_table(self, data):
        with open(ARGS.system_table, "wb") as f:
            f.write(data)
        self.addCleanup(os.remove, ARGS.system_table)

    def assert_run(self, args, stdout, stderr=b"", status=0, **kwargs):
        result = self.run_table(args, **kwargs)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (status, stdout, stderr), args)
        return result


class MakeTest(VornTableTest):
    def test_standard_table_agrees_with_pythons_codecs(self):
        table, records, mapped = expected_standard_table()
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
        os.symlink("nowhere.bin", os.path.join(self.folder, "dangling.bin"))
        for name in ["MS932~EUC-JP.bin", "dangling.bin"]:
            args = ["make"] if name == "MS932~EUC-JP.bin" else ["make", name]
            self.assert_run(args, b"", b"vorn-table: %s: already exists (--force replaces it)\n"
                            % name.encode(), 2)
        self.assertEqual(self.read("MS932~EUC-JP.bin"), b"keep")
        self.assertEqual(sorted(os.listdir(self.folder)), ["MS932~EUC-JP.bin", "dangling.bin"])

        self.assert_run(["make", "--force"],
                        b"MS932~EUC-JP.bin: 9762 records, 7049 mapped, 2713 left as 00 00\n")
        self.assertEqual(len(self.read("MS932~EUC-JP.bin")), 9762 * 4)

    def test_failed_write_leaves_the_old_file_whole(self):
        self.write("MS932~EUC-JP.bin", b"keep")

        def small_file_limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        self.assert_run(["make", "--force"], b"", b"vorn-table: MS932~EUC-JP.bin: Disk Full\n",
                        2, preexec_fn=small_file_limit)
        self.assertEqual(self.read("MS932~EUC-JP.bin"), b"keep")
        self.assertEqual(os.listdir(self.folder), ["MS932~EUC-JP.bin"])


class ShowTest(VornTableTest):
    def setUp(self):
        super().setUp()
        self.write("a.bin", TABLE_A)
        self.write("b.bin", TABLE_B)

    def test_asked_characters_in_every_form(self):
        args = ["show", "--table", "a.bin", "8740", "0x8250", "U+FF3F", "①", "A", "ｱ", "0x7E",
                "8160", "889F", "829F"]
        self.assert_run(args, "8740 ① AD A1 ①\n"
                              "8250 １ A3 B1 １\n"
                              "8151 ＿ A1 B2 ＿\n"
                              "8740 ① AD A1 ①\n"
                              "0041 A 41 00 A\n"
                              "00B1 ｱ 8E B1 ｱ\n"
                              "007E ~ 00 00 unmapped\n"
                              "8160 ～ 00 00 unmapped\n"
                              "889F 亜 B0 A1 亜\n"
                              "829F ぁ no record\n".encode())

    def test_raw_cp932_in_a_byte_locale(self):
        # In the C locale characters are code page 932 bytes, as vorn's are.
        self.assert_run(["show", "--table=a.bin", b"\x87\x40", "U+FF71"],
                        b"8740 \x87\x40 AD A1 \x87\x40\n00B1 \xb1 8E B1 \xb1\n", locale="C")

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
        self.assert_run(["show", "--table", "a.bin"], expected.encode())

    def test_unmapped(self):
        self.assert_run(["unmapped", "--table", "a.bin"],
                        "007E ~\n8160 ～\n2 unmapped of 163 records\n".encode())

    def test_diff(self):
        self.assert_run(["diff", "a.bin", "b.bin"],
                        "0041 A: 41 00 A | 42 00 B\n"
                        "8740 ①: AD A1 ① | A3 B1 １\n"
                        "889F 亜: B0 A1 亜 | no record\n"
                        "88A0 唖: no record | B0 A2 唖\n"
                        "4 codes differ\n".encode(), status=1)
        self.assert_run(["diff", "a.bin", "a.bin"], b"0 codes differ\n")
        self.write("c.bin", TABLE_A.replace(bytes.fromhex("8740ADA1"), bytes.fromhex("8740A3B1")))
        self.assert_run(["diff", "a.bin", "c.bin"],
                        "8740 ①: AD A1 ① | A3 B1 １\n1 code differs\n".encode(), status=1)

    def test_finds_the_table_as_vorn_does(self):
        program = ARGS.vorn_table_system_table
        system_table = self.remove_system_table()
        os.remove(os.path.join(self.folder, "b.bin"))
        self.assert_run(["show", "8740"], b"",
                        ("vorn-table: MS932~EUC-JP.bin: not found as %s nor in the current "
                         "folder\n" % system_table).encode(), 2, program=program)

        os.rename(os.path.join(self.folder, "a.bin"),
                  os.path.join(self.folder, "MS932~EUC-JP.bin"))
        self.assert_run(["show", "8740"], "8740 ① AD A1 ①\n".encode(), program=program)

        self.install_system_table(TABLE_B)
        self.assert_run(["show", "8740"], "8740 ① A3 B1 １\n".encode(), program=program)
        self.assert_run(["unmapped"], "007E ~\n8160 ～\n2 unmapped of 163 records\n".encode(),
                        program=program)


class ChartTest(VornTableTest):
    """The chart command's files and failures; what the page shows is
    tested in a browser by test_chart_browser.py."""

    def setUp(self):
        super().setUp()
        self.write("a.bin", TABLE_A)
        self.write("b.bin", TABLE_B)

    def test_same_page_to_standard_output_or_a_file(self):
        result = self.run_table(["chart", "--table", "b.bin", "--against", "a.bin"])
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        page = result.stdout
        self.assertTrue(page.startswith(b"<!DOCTYPE html>\n"))
        self.assertIn(b"<h1>Code chart of <code>b.bin</code></h1>", page)
        self.assertIn(b"Compared with <code>a.bin</code>.", page)
        self.assertIn(b"<b>4</b> changed</a>", page)
        self.assert_run(["chart", "--table=b.bin", "--against=a.bin", "-o", "-"], page)

        self.write("out.html", b"old")
        self.assert_run(["chart", "--against", "a.bin", "-o=out.html", "--table", "b.bin"], b"")
        self.assertEqual(self.read("out.html"), page)
        self.assertEqual(sorted(os.listdir(self.folder)), ["a.bin", "b.bin", "out.html"])

    def test_names_the_table_it_found(self):
        program = ARGS.vorn_table_system_table
        system_table = self.remove_system_table()
        self.write("MS932~EUC-JP.bin", TABLE_A)
        page = self.run_table(["chart"], program=program).stdout
        self.assertIn(b"<title>MS932~EUC-JP.bin \xe2\x80\x93 code chart</title>", page)
        self.assertNotIn(b"Compared with", page)

        self.install_system_table(TABLE_B)
        page = self.run_table(["chart"], program=program).stdout
        self.assertIn(b"<h1>Code chart of <code>%s</code></h1>" % system_table.encode(), page)

    def test_failed_writes_are_reported(self):
        self.write("out.html", b"keep")

        def small_file_limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        self.assert_run(["chart", "--table", "a.bin", "-o", "out.html"], b"",
                        b"vorn-table: out.html: Disk Full\n", 2, preexec_fn=small_file_limit)
        self.assertEqual(self.read("out.html"), b"keep")
        self.assertEqual(sorted(os.listdir(self.folder)), ["a.bin", "b.bin", "out.html"])

        with open("/dev/full", "wb") as full:
            result = self.run_table(["chart", "--table", "a.bin"], stdout=full)
        self.assertEqual((result.returncode, result.stderr),
                         (2, b"vorn-table: standard output: write failed\n"))


class ArgumentsTest(VornTableTest):
    def test_bad_arguments_give_one_error_line_and_status_2(self):
        self.write("a.bin", TABLE_A)
        not_a_character = b"not one character of code page 932, a code (8740, 0x8740) or U+XXXX"
        cases = [
            ([], b"missing command: try vorn-table --help"),
            (["frob"], b"frob: unknown command (make, show, unmapped, diff or chart)"),
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
        self.assertEqual(os.listdir(self.folder), ["a.bin"])

    def test_help_and_version(self):
        for args in (["--help"], ["make", "--help"], ["show", "8740", "--help"]):
            result = self.run_table(args)
            self.assertEqual((result.returncode, result.stderr), (0, b""))
            self.assertTrue(result.stdout.startswith(b"Usage: vorn-table COMMAND"))
            self.assertIn(b"\n  make [--to EUC-JP|EUC-JP-MS] [--force] [FILE]\n", result.stdout)
        self.assert_run(["--version"], b"vorn-table 1.01\n")
        self.assertEqual(os.listdir(self.folder), [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--vorn-table", required=True)
    parser.add_argument("--vorn-table-system-table", required=True)
    parser.add_argument("--system-table", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
