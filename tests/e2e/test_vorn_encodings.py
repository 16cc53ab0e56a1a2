#!/usr/bin/env python3
"""End-to-end tests of vorn under the user's locale, with the conventions of
harness.py.  Runs go under LC_ALL=C.UTF-8 (a locale whose charset is not
code page 932), LC_ALL=C (no locale, taken as UTF-8) and ja_JP.SJIS (a code
page 932 locale, where vorn converts nothing; built by the test suite into
the folder --locales names); a pseudo-terminal stands in for a user's
terminal.

Usage: test_vorn_encodings.py --vorn PATH --locales DIR [unittest arguments]
"""

import harness
from harness import (CRLF, OPTIONS, SJIS, STANDARD, TABLE, UTF8, bars, cp, environment,
                     read_terminal, start_on_terminal, substituted)
from test_vorn import COMMENTED, VERSION, VornTestCase

BOM = b"\xef\xbb\xbf"

COMMENTED_CP932 = [cp(line) for line in COMMENTED]
LISTING_V = VERSION + b"".join(line[:21] + CRLF for line in COMMENTED_CP932)
LISTING_VC = VERSION + b"".join(line + CRLF for line in COMMENTED_CP932)


class EncodingTestCase(VornTestCase):
    def run_in(self, locale, *args):
        """Runs vorn with its output to a pipe under LC_ALL=locale."""
        return self.vorn(*args, locale=locale)

    def run_on_terminal(self, locale, *args):
        """Runs vorn with a pseudo-terminal as its standard output (and
        error); returns what the terminal received and the exit status.
        The terminal is in raw mode, so the bytes are the program's own
        (no LF to CR LF translation)."""
        return read_terminal(*start_on_terminal(self.command(OPTIONS.vorn, args), self.dir,
                                                environment(locale), raw=True))


class CharacterOptions(EncodingTestCase):
    def test_typed_characters_mean_what_raw_cp932_means(self):
        # Each case: what a UTF-8 user types, the raw code page 932 form
        # that must give the same run, and the code line both print.
        cases = [
            (["-s①", "-e１"], [b"-s" + cp("①"), b"-e" + cp("１")], b"8740 \x81\xcb 8250"),
            (["-kﾅ", "-aN"], [b"-k" + cp("ﾅ"), b"-aN"], b"00C5 \x81\xcb 004E"),
            # Bytes are counted in the converted text: -k takes the lead
            # byte 87 of ①, -s the first character of ①１.
            (["-k①", "-e１"], [b"-k\x87", b"-e" + cp("１")], b"10087 \x81\xcb 8250"),
            (["-s①１", "-a＿"], [b"-s" + cp("①"), b"-a\x81"], b"8740 \x81\xcb 10081"),
        ]
        for typed, raw, line in cases:
            with self.case(typed=typed):
                self.write(TABLE, STANDARD)
                self.assertRun(self.run_in(SJIS, *raw, "raw.bin"), line + CRLF)
                self.assertRun(self.run_in(UTF8, *typed, "typed.bin"), line + CRLF)
                # Without a locale the typed characters are UTF-8 too.
                self.assertRun(self.run_in("C", *typed, "typed-c.bin"), line + CRLF)
                # Raw code page 932 still works in the UTF-8 locales.
                self.assertRun(self.run_in(UTF8, *raw, "raw-utf8.bin"), line + CRLF)
                self.assertRun(self.run_in("C", *raw, "raw-c.bin"), line + CRLF)
                for name in ("typed.bin", "typed-c.bin", "raw-utf8.bin", "raw-c.bin"):
                    self.assertEqual(self.read(name), self.read("raw.bin"), name)
        self.write(TABLE, STANDARD)
        self.run_in(UTF8, "-s①", "-e１")
        self.assertEqual(self.read(TABLE), substituted(STANDARD, [(0x8740, 0x8250)]))

    def test_what_does_not_convert_is_taken_as_given(self):
        self.write(TABLE, STANDARD)
        cases = [
            # In a code page 932 locale nothing is converted: ① is the
            # bytes E2 91 A0.
            (SJIS, ["-s①", "-e１"], b"E291 \x81\xcb EFBC"),
            # A UTF-8 sequence cut short is no character of the locale.
            (UTF8, [b"-s\xe2\x91", b"-e\xef\xbc"], b"E291 \x81\xcb EFBC"),
            # A character code page 932 lacks (U+1F600) keeps its bytes.
            (UTF8, ["-s\U0001F600", "-e１"], b"F09F \x81\xcb 8250"),
        ]
        for locale, args, line in cases:
            with self.subTest(locale=locale, args=args):
                self.assertRun(self.run_in(locale, *args, "out.bin"), line + CRLF)

    def test_raw_katakana_that_form_utf8(self):
        # Two half-width katakana ﾂｧ are the bytes C2 A7, which are also §
        # in UTF-8 (81 98 in code page 932).  A UTF-8 locale converts them;
        # a code page 932 locale or -k keeps the raw character ﾂ (C2).
        self.write(TABLE, STANDARD)
        cases = [
            (UTF8, [b"-s\xc2\xa7", "-e１"], b"8198 \x81\xcb 8250"),
            ("C", [b"-s\xc2\xa7", "-e１"], b"8198 \x81\xcb 8250"),
            (SJIS, [b"-s\xc2\xa7", b"-e\x82\x50"], b"00C2 \x81\xcb 8250"),
            ("C", [b"-k\xc2", "-e１"], b"00C2 \x81\xcb 8250"),
        ]
        for locale, args, line in cases:
            with self.subTest(locale=locale, args=args):
                self.assertRun(self.run_in(locale, *args, "out.bin"), line + CRLF)

    def test_file_names_are_never_converted(self):
        self.write(TABLE, STANDARD)
        self.write("①.txt", bars("①１"))
        self.assertRun(self.run_in(UTF8, "-f", "①.txt", "１.bin"))
        self.assertEqual(self.read("１.bin"), substituted(STANDARD, [(0x8740, 0x8250)]))
        self.assertEqual(sorted(self.folder()), sorted([TABLE, "①.txt", "１.bin"]))


class ConsoleLines(EncodingTestCase):
    def test_pipes_get_code_page_932_bytes(self):
        for locale in (UTF8, "C", SJIS):
            with self.case(locale=locale):
                self.write(TABLE, STANDARD)
                self.assertRun(self.run_in(locale, "-VC"), LISTING_VC, status=1)
                self.assertRun(self.run_in(locale, b"-s" + cp("①"), b"-e" + cp("１"), "-w"),
                               b"MS932~EUC-JP.bin is primarily accessible to vorn.\r\n"
                               b"8740 \x81\xcb 8250\r\n")

    def test_terminal_gets_its_own_charset(self):
        self.write(TABLE, STANDARD)
        self.assertEqual(self.run_on_terminal(UTF8, "-s①", "-e１", "out.bin"),
                         ("8740 ⇒ 8250\r\n".encode(), 0))
        self.assertEqual(self.read("out.bin"), substituted(STANDARD, [(0x8740, 0x8250)]))
        listing = "vorn Version 1.01\r\n\r\n" + "".join(line + "\r\n" for line in COMMENTED)
        # Without a locale the terminal is taken as UTF-8; a code page 932
        # locale's terminal gets the bytes as they are.
        for locale, shown in ((UTF8, listing.encode()), ("C", listing.encode()),
                              (SJIS, LISTING_VC)):
            with self.subTest(locale=locale):
                self.assertEqual(self.run_on_terminal(locale, "-VC"), (shown, 1))

    def test_assembled_lines_on_a_terminal(self):
        # The -w line, and a code line for the lone lead byte 87 that -k①
        # leaves.
        self.write(TABLE, STANDARD)
        self.assertEqual(self.run_on_terminal(UTF8, "-w", "-k①", "out.bin"),
                         ("MS932~EUC-JP.bin is primarily accessible to vorn.\r\n"
                          "10087 ⇒ 8151\r\n".encode(), 0))


class Utf8Lists(EncodingTestCase):
    def test_list_with_byte_order_mark_is_utf8(self):
        expected = substituted(STANDARD, [(0x8740, 0x8250), (0xC5, 0x4E)])
        lists = {
            "cp932.txt": bars("①１", "ﾅN"),
            "utf8.txt": BOM + "①１\r\nﾅN\r\n".encode(),
            # A line that does not convert keeps its code page 932 bytes.
            "mixed.txt": BOM + cp("①１") + b"\n" + "ﾅN".encode() + b"\n",
        }
        for locale in (UTF8, "C"):
            for name, listing in lists.items():
                with self.case(locale=locale, list=name):
                    self.write(TABLE, STANDARD)
                    self.write(name, listing)
                    self.assertRun(self.run_in(locale, "-f", name, "out.bin"))
                    self.assertEqual(self.read("out.bin"), expected)

    def test_utf8_without_the_mark_is_code_page_932(self):
        # ①１ in UTF-8 is six bytes: two one-byte characters, E2 and 91;
        # the lone lead byte E2 names no record, so the copy is exact.
        self.write(TABLE, STANDARD)
        self.write("bars.txt", "①１\n".encode())
        self.assertRun(self.run_in(UTF8, "-f", "bars.txt", "out.bin"))
        self.assertEqual(self.read("out.bin"), STANDARD)


class LongOptions(EncodingTestCase):
    def test_help_and_version_exit_0_and_touch_nothing(self):
        cases = [
            (["--help"], LISTING_VC),
            (["--version"], LISTING_V),
            (["-w", "-s①", "--help", "-f", "bars.txt", "out.bin"], LISTING_VC),
            (["out.bin", "--version", "-V"], LISTING_V),
        ]
        for locale in (UTF8, "C"):
            for args, listing in cases:
                with self.case(locale=locale, args=args):
                    self.write(TABLE, STANDARD)
                    self.write("bars.txt", bars("①１"))
                    before = self.folder()
                    self.assertRun(self.run_in(locale, *args), listing)
                    self.assertEqual(self.folder(), before)
        # With no table anywhere they still answer.
        self.fresh_folder()
        self.assertRun(self.run_in(UTF8, "--help"), LISTING_VC)
        self.assertEqual(self.folder(), {})


if __name__ == "__main__":
    harness.main("vorn", "locales")
