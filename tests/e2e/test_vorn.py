#!/usr/bin/env python3
"""End-to-end tests of the vorn binary, with the conventions of harness.py.

The failure report's locations depend on the build, so they are the only
bytes compared by shape.  With --wine the same tests run the Windows build
(vorn.exe) through Wine; tests of POSIX-only behaviour skip there, and a
few tests of Windows-only behaviour run only there.
"""

import os
import re
import resource
import shutil
import subprocess

import harness
from harness import (CRLF, MIB, NOBODY, OPTIONS, STANDARD, TABLE, as_nobody, bars, cp,
                     read_terminal, record_index, repeated, run_on_console, start_on_terminal,
                     substituted)

ARROW = b" \x81\xcb "


def host_name(name):
    """The name a file named by the CP932 bytes `name` has on the host."""
    return name.decode("cp932") if OPTIONS.wine else os.fsdecode(name)


REPORT = re.compile(
    rb"An unhandled exception occurred at \$[0-9A-F]{8}:\r\n"
    rb"(E[A-Za-z]+: [^\r\n]*)\r\n"
    rb"(?:  \$[0-9A-F]{8}\r\n)+"
    rb"\r\n\Z")


class VornTestCase(harness.TestCase):
    def vorn(self, *args, locale="C", timeout=60, **kwargs):
        """Runs vorn in the test folder (see harness.TestCase.run_program)."""
        return self.run_program(OPTIONS.vorn, *args, locale=locale, timeout=timeout, **kwargs)

    def assertRun(self, result, stdout=b"", status=0):
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.stdout, stdout)
        self.assertEqual(result.status, status)

    def assertReport(self, result, message, stdout=b"", kind=b"EInOutError"):
        match = REPORT.match(result.stderr)
        self.assertIsNotNone(match, result.stderr)
        self.assertEqual(match.group(1), kind + b": " + message)
        self.assertEqual(result.stdout, stdout)
        self.assertEqual(result.status, 217)


def code_line(source, replacement):
    return b"%04X" % source + ARROW + b"%04X" % replacement + CRLF


class SingleSubstitution(VornTestCase):
    def test_typical_run_rewrites_the_table(self):
        self.write(TABLE, STANDARD)
        result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"))
        self.assertRun(result, b"8740 \x81\xcb 8250\r\n")
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        self.assertNotEqual(expected, STANDARD)
        self.assertEqual(self.folder(), {TABLE: expected})

    def test_substitutions(self):
        cases = [
            ("defaults", [], 0x8740, 0x8151),
            ("one-byte forms", [b"-k" + cp("ﾅ"), b"-aN"], 0xC5, 0x4E),
            ("two one-byte characters", [b"-s" + cp("ﾅN"), b"-e" + cp("Aｱ")], 0xC5, 0x41),
            ("later options win", [b"-kA", b"-s" + cp("②"), b"-aB", b"-e" + cp("２")],
             0x8741, 0x8251),
        ]
        for name, args, source, replacement in cases:
            with self.subTest(name):
                self.write(TABLE, STANDARD)
                self.assertRun(self.vorn(*args), code_line(source, replacement))
                self.assertEqual(self.folder(),
                                 {TABLE: substituted(STANDARD, [(source, replacement)])})

    def test_codes_naming_no_record(self):
        cases = [
            # A lone lead byte names no record: nothing is substituted.
            ("source of no character", [b"-k" + cp("①"), b"-aN"], b"10087", b"004E",
             STANDARD),
            # A replacement no record names gives 00 00.
            ("replacement of no character", [b"-s" + cp("１"), b"-e"], b"8250", b"10000",
             substituted(STANDARD, [])[:record_index(STANDARD, 0x8250) * 4] +
             b"\x82\x50\0\0" + STANDARD[record_index(STANDARD, 0x8250) * 4 + 4:]),
        ]
        for name, args, source, replacement, expected in cases:
            with self.subTest(name):
                self.write(TABLE, STANDARD)
                self.assertRun(self.vorn(*args), source + ARROW + replacement + CRLF)
                self.assertEqual(self.read(TABLE), expected)

    def test_show_table_line_comes_first(self):
        self.write(TABLE, STANDARD)
        self.assertRun(self.vorn("-w"),
                       b"MS932~EUC-JP.bin is primarily accessible to vorn.\r\n" +
                       code_line(0x8740, 0x8151))

    def test_output_names(self):
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            ("before the options", ["out.bin", b"-s" + cp("①"), b"-e" + cp("１")], "out.bin"),
            ("after the options", [b"-s" + cp("①"), b"-e" + cp("１"), "out.bin"], "out.bin"),
            ("the last one counts", ["a.bin", b"-s" + cp("①"), b"-e" + cp("１"), "b.bin"],
             "b.bin"),
            ("in a subfolder", [b"-s" + cp("①"), b"-e" + cp("１"), "sub/out.bin"],
             os.path.join("sub", "out.bin")),
            # CP932 names arrive and are written as they are, also one whose
            # trail byte is a backslash (表 is 95 5C).
            ("a trail byte like a backslash", [b"-s" + cp("①"), b"-e" + cp("１"), cp("表.bin")],
             host_name(cp("表.bin"))),
        ]
        for name, args, output in cases:
            with self.case(name):
                os.mkdir(self.path("sub"))
                self.write(TABLE, STANDARD)
                self.assertRun(self.vorn(*args), code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), {TABLE: STANDARD, output: expected})

    def test_empty_output_name_copies_to_standard_output(self):
        self.write(TABLE, STANDARD)
        result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), "")
        self.assertRun(result, code_line(0x8740, 0x8250) +
                       substituted(STANDARD, [(0x8740, 0x8250)]))
        self.assertEqual(self.folder(), {TABLE: STANDARD})

    def test_runs_accumulate(self):
        self.write(TABLE, STANDARD)
        self.assertRun(self.vorn(b"-s" + cp("①"), b"-e" + cp("１")), code_line(0x8740, 0x8250))
        self.assertRun(self.vorn(b"-s" + cp("②"), b"-e" + cp("２")), code_line(0x8741, 0x8251))
        self.assertEqual(self.folder(),
                         {TABLE: substituted(STANDARD, [(0x8740, 0x8250), (0x8741, 0x8251)])})

    def test_odd_tables(self):
        cases = [
            ("empty table: empty output", b"", b""),
            ("partial last record completed by zeros", b"\x87\x40AB\x82\x50", None),
        ]
        for name, table, expected in cases:
            with self.subTest(name):
                self.write(TABLE, table)
                self.assertRun(self.vorn("out.bin"), code_line(0x8740, 0x8151))
                if expected is None:
                    expected = table + b"\0\0"
                self.assertEqual(self.read("out.bin"), expected)

    def test_missing_table_stops_silently(self):
        cases = [
            ("no table", lambda: None),
            ("a folder named like the table", lambda: os.mkdir(self.path(TABLE))),
        ]
        for name, prepare in cases:
            with self.case(name):
                prepare()
                before = self.folder()
                self.assertRun(self.vorn("-w", "out.bin"), status=1)
                self.assertEqual(self.folder(), before)

    def test_system_table_wins_over_current_folder(self):
        system = substituted(STANDARD, [(0x8251, 0x8252)])
        self.install_system_table(system)
        self.write(TABLE, STANDARD)
        result = self.vorn("-w", b"-s" + cp("①"), b"-e" + cp("２"))
        self.assertRun(result, OPTIONS.system_table_name.encode() +
                       b" is primarily accessible to vorn.\r\n" +
                       code_line(0x8740, 0x8251))
        # The value bytes come from the system table, which is left alone.
        self.assertEqual(self.read(TABLE), substituted(system, [(0x8740, 0x8251)]))
        with open(self.system_table_path(), "rb") as f:
            self.assertEqual(f.read(), system)

    def test_symlinked_output_replaces_the_file_it_names(self):
        self.requirePosix("symbolic links")
        self.write(TABLE, STANDARD)
        self.write("real.bin", b"old")
        os.symlink("real.bin", self.path("link.bin"))
        self.assertRun(self.vorn("link.bin"), code_line(0x8740, 0x8151))
        self.assertTrue(os.path.islink(self.path("link.bin")))
        self.assertEqual(self.read("real.bin"), substituted(STANDARD, [(0x8740, 0x8151)]))

    def test_replacement_keeps_permission_bits(self):
        self.requirePosix("permission bits")
        self.write(TABLE, STANDARD)
        os.chmod(self.path(TABLE), 0o640)
        self.assertRun(self.vorn(), code_line(0x8740, 0x8151))
        self.assertEqual(os.stat(self.path(TABLE)).st_mode & 0o777, 0o640)


class FileFailures(VornTestCase):
    def test_output_failures(self):
        cases = [
            ("full device", "/dev/full", b"Disk Full", lambda: None),
            ("missing folder", "nodir/out.bin", b"Invalid filename", lambda: None),
            ("folder as output", "out", b"Access denied", lambda: os.mkdir(self.path("out"))),
        ]
        for name, output, message, prepare in cases:
            with self.case(name):
                if output.startswith("/dev/"):
                    self.requirePosix("devices")
                self.write(TABLE, STANDARD)
                prepare()
                before = self.folder()
                result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), output)
                self.assertReport(result, message, stdout=code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), before)

    def test_failed_write_leaves_the_old_table_whole(self):
        self.requirePosix("resource limits")
        self.write(TABLE, STANDARD)

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), preexec_fn=limit_file_size)
        self.assertReport(result, b"Disk Full", stdout=code_line(0x8740, 0x8250))
        self.assertEqual(self.folder(), {TABLE: STANDARD})

    @as_nobody
    def test_unreadable_table_is_a_failure(self):
        self.requirePosix("users and permission bits")
        self.write(TABLE, STANDARD)
        os.chmod(self.path(TABLE), 0o200)
        os.chmod(self.dir, 0o777)
        result = self.vorn(prefix=NOBODY)
        self.assertReport(result, b"Access denied")
        self.assertEqual(self.folder(), {TABLE: STANDARD})

    def test_file_held_open_without_sharing(self):
        self.requireWindows()
        cases = [
            # A table that cannot be read ends the run before the code line,
            # and the table, also the default output, stays as it was.
            ("table", TABLE, [], b""),
            ("output", "out.bin", ["out.bin"], code_line(0x8740, 0x8151)),
        ]
        for name, held, args, stdout in cases:
            with self.case(name):
                self.write(TABLE, STANDARD)
                self.write("out.bin", b"old")
                before = self.folder()
                # The holder lets go when its standard input is closed, on
                # leaving the block.
                with subprocess.Popen([OPTIONS.wine, OPTIONS.hold_file, held], cwd=self.dir,
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE) as holder:
                    self.assertEqual(holder.stdout.readline(), b"held\n")
                    result = self.vorn(*args)
                self.assertReport(result, b"Access denied", stdout=stdout)
                self.assertEqual(self.folder(), before)

    def longest_name_windows_accepts(self, folder):
        """The length of the longest file name in `folder` that CreateFile
        accepts (Windows counts the full path, Wine the name as given),
        found by opening missing lists of growing names: "File not found"
        until the name is too long."""
        def accepted(length):
            leaf = "x" * (length - len(folder) - 1)
            message = REPORT.match(self.vorn("-f", folder + "\\" + leaf).stderr).group(1)
            return message == b"EInOutError: File not found"
        low, high = len(folder) + 2, len(folder) + 300
        self.assertTrue(accepted(low))
        self.assertFalse(accepted(high))
        while high - low > 1:
            middle = (low + high) // 2
            if accepted(middle):
                low = middle
            else:
                high = middle
        return low

    def test_longest_output_names_on_windows(self):
        """Every output name CreateFile accepts is written, also where not
        even the temporary file's short name fits beside it: an existing
        file is then written in place, a new one made under its own name."""
        self.requireWindows()
        folder = "d" * 120 + "\\" + "e" * 120
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        longest = None
        # The leaf names' lengths, and whether the target exists already.
        cases = [(1, True), (1, False), (9, True), (9, False)]
        for leaf_length, exists in cases:
            with self.case(leaf=leaf_length, exists=exists):
                os.makedirs(self.path(folder.replace("\\", "/")))
                self.write(TABLE, STANDARD)
                if longest is None:
                    longest = self.longest_name_windows_accepts(folder)
                # A folder that leaves just room for the leaf.
                deep = folder + "\\" + "f" * (longest - len(folder) - leaf_length - 2)
                os.makedirs(self.path(deep.replace("\\", "/")))
                name = deep + "\\" + "o" * leaf_length
                if exists:
                    self.write(name.replace("\\", "/"), b"old")
                self.assertEqual(len(name), longest)
                self.assertRun(self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), name),
                               code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), {TABLE: STANDARD,
                                                 name.replace("\\", "/"): expected})

    def test_hidden_and_system_outputs_keep_their_attributes(self):
        """A hidden or system output stays so.  (Wine keeps these DOS
        attributes in the user.DOSATTRIB extended attribute; it shows a
        file as read-only by its permission bits, which root writes
        anyway, so read-only outputs are not tried here.)"""
        self.requireWindows()
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        for dos_attributes in (0x2, 0x6):
            with self.case(attributes=dos_attributes):
                self.write(TABLE, STANDARD)
                self.write("out.bin", b"old")
                try:
                    os.setxattr(self.path("out.bin"), "user.DOSATTRIB", b"0x%x" % dos_attributes)
                except OSError:
                    self.skipTest("the test folder keeps no user extended attributes")
                self.assertRun(self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), "out.bin"),
                               code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), {TABLE: STANDARD, "out.bin": expected})
                kept = os.getxattr(self.path("out.bin"), "user.DOSATTRIB")
                self.assertEqual(int(kept, 16), dos_attributes)

    def test_ctrl_c_on_windows(self):
        """Ctrl+C typed while a large table is written removes the
        temporary file and ends the run as an interrupted console program
        (0xC000013A, of which Wine hands on the low byte), the table old or
        new."""
        self.requireWindows()
        old = repeated(STANDARD, 30 * MIB)
        new = repeated(substituted(STANDARD, [(0x8740, 0x8250)]), 30 * MIB)
        self.write(TABLE, old)
        pid, terminal = start_on_terminal(
            self.command(OPTIONS.vorn, [b"-s" + cp("①"), b"-e" + cp("１")]), self.dir)
        # Waits for the temporary file beside the table.
        while os.listdir(self.dir) == [TABLE]:
            if os.waitpid(pid, os.WNOHANG)[0] != 0:
                self.fail("the run ended before its temporary file was seen")
        os.write(terminal, b"\x03")
        _, status = read_terminal(pid, terminal)
        self.assertEqual(status, 0xC000013A & 0xFF)
        self.assertEqual(os.listdir(self.dir), [TABLE])
        table = self.read(TABLE)
        self.assertTrue(table in (old, new))


class ListSubstitution(VornTestCase):
    def test_two_line_example(self):
        self.write(TABLE, STANDARD)
        self.write("bars.txt", bars("①１", "ﾅN"))
        self.assertRun(self.vorn("-f", "bars.txt"))
        self.assertEqual(self.folder(), {
            "bars.txt": bars("①１", "ﾅN"),
            TABLE: substituted(STANDARD, [(0x8740, 0x8250), (0xC5, 0x4E)]),
        })

    def test_argument_orders(self):
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            (["-f", "bars.txt", "out.bin"], b"", {"out.bin": expected}),
            (["out.bin", "-f", "bars.txt"], b"", {"out.bin": expected}),
            (["-f", "-w", "bars.txt"], b"MS932~EUC-JP.bin is primarily accessible to vorn.\r\n",
             {}),
        ]
        for args, stdout, outputs in cases:
            with self.case(" ".join(args)):
                self.write(TABLE, STANDARD)
                self.write("bars.txt", bars("①１"))
                self.assertRun(self.vorn(*args), stdout)
                files = {"bars.txt": bars("①１"), TABLE: STANDARD if outputs else expected}
                files.update(outputs)
                self.assertEqual(self.folder(), files)

    def test_list_contents(self):
        cases = [
            ("empty list: exact copy", b"", []),
            ("only the first 906 lines", bars(*(["AB"] * 906 + ["CD"] * 94)), [(0x41, 0x42)]),
            ("same source twice: first wins", bars("①１", "①２"), [(0x8740, 0x8250)]),
            ("no final terminator", bars("①１") + cp("②２"), [(0x8740, 0x8250), (0x8741, 0x8251)]),
            ("Ctrl-Z ends the list", bars("①１") + cp("②") + b"\x1a" + bars("③３"),
             [(0x8740, 0x8250)]),
            # Three or five bytes are read as one-byte characters: the lead
            # byte 87 alone names no record.
            ("wrong lengths", bars("①N", "① １"), []),
        ]
        for name, listing, pairs in cases:
            with self.subTest(name):
                self.write(TABLE, STANDARD)
                self.write("bars.txt", listing)
                self.assertRun(self.vorn("-f", "bars.txt", "out.bin"))
                self.assertEqual(self.read("out.bin"), substituted(STANDARD, pairs))

    def test_missing_list_fails_before_the_table(self):
        for has_table in (True, False):
            with self.case(table=has_table):
                if has_table:
                    self.write(TABLE, STANDARD)
                before = self.folder()
                self.assertReport(self.vorn("-f", "nope.txt", "out.bin"), b"File not found")
                self.assertEqual(self.folder(), before)


VERSION = b"vorn Version 1.01\r\n\r\n"
COMMENTED = [
    "vorn -f bars.txt     # Edit according to bars.txt ",
    "vorn -kﾅ -aN         # ﾅ is subsituted with N. ",
    "vorn -kﾅ -aN file    # ﾅ is subsituted with N to produce a binary file. ",
    "vorn -s① -e１       # ① is subsituted with １ and represented in EUC-JP. ",
    "vorn -s① -e１ file  # ① is subsituted with １ to produce a binary file. ",
    "vorn -s① -e１ -w    # -w shows which table vorn uses. ",
    "vorn -V              # version ",
    "vorn -VC             # version with comments ",
]


class VersionListing(VornTestCase):
    def test_listings(self):
        commented = [cp(line) for line in COMMENTED]
        self.assertEqual([len(line) for line in commented], [50, 47, 72, 75, 74, 55, 31, 45])
        cases = [
            ("-V", VERSION + b"".join(line[:21] + CRLF for line in commented)),
            ("-VC", VERSION + b"".join(line + CRLF for line in commented)),
        ]
        for option, expected in cases:
            for args in ([option], ["-w", b"-s" + cp("②"), option],
                         [option, "-w", "-f", "bars.txt", "out.bin", "-V"]):
                with self.subTest(args=args):
                    self.write(TABLE, STANDARD)
                    self.write("bars.txt", b"")
                    before = self.folder()
                    self.assertRun(self.vorn(*args), expected, status=1)
                    self.assertEqual(self.folder(), before)

    def test_without_any_table(self):
        self.assertRun(self.vorn("-V"), VERSION + b"".join(
            cp(line)[:21] + CRLF for line in COMMENTED), status=1)
        self.assertEqual(self.folder(), {})


class ConsoleLines(VornTestCase):
    def console(self, code_page, *args):
        """Runs vorn on a console set to `code_page` by cmd's chcp; the
        lines shown and the exit status."""
        shutil.copy(OPTIONS.vorn, self.path("vorn.exe"))
        command = "chcp %d >NUL & vorn.exe %s" % (
            code_page, " ".join(a.decode("cp932") for a in args))
        return run_on_console(self.dir, command)

    def test_lines_in_the_console_code_page(self):
        """Where the console's code page is not the ANSI one (932), the lines
        vorn assembles are converted to it; the fixed usage lines are
        written as stored."""
        self.requireWindows()
        substitution = (b"-s" + cp("①"), b"-e" + cp("１"))
        cases = [
            ("UTF-8", 65001, substitution, ["8740 ⇒ 8250"], 0),
            ("code page 437 lacks the arrow", 437, substitution, ["8740 ? 8250"], 0),
            ("usage lines as stored", 437, (b"-V",),
             ["vorn Version 1.01", ""] +
             [cp(line)[:21].decode("cp437").rstrip(" ") for line in COMMENTED], 1),
        ]
        for name, code_page, args, lines, status in cases:
            with self.case(name):
                self.write(TABLE, STANDARD)
                self.assertEqual(self.console(code_page, *args), (lines, status))


if __name__ == "__main__":
    harness.main("vorn", "system_table")
