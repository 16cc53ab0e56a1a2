#!/usr/bin/env python3
"""End-to-end fault tests of the vorn binary.

Each test provokes one fault the system can throw at a run (a full disk, a
kill in the middle of writing, missing rights, too little memory, too few
file descriptors, a table that vanishes, oversized inputs) and checks the
exit status, the exact report and every file left behind.  The helpers are
those of test_vorn.py.
"""

import fcntl
import os
import platform
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_vorn as e2e  # noqa: E402

TABLE = e2e.TABLE
STANDARD = e2e.STANDARD
cp = e2e.cp
code_line = e2e.code_line
MIB = 1 << 20
ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
# The number of write(2), as /proc/PID/syscall shows it.
WRITE_SYSCALL = {"x86_64": "1", "aarch64": "64"}.get(platform.machine())
TEMP_FILE = re.compile(r"\.MS932~EUC-JP\.bin\.vorn-[A-Za-z0-9]{6}\Z")

as_nobody = unittest.skipUnless(ROOT and shutil.which("setpriv"),
                                "needs root and setpriv to run as an unprivileged user")


def sanitized(program):
    """True for a build with AddressSanitizer, whose shadow memory takes
    far more address space than any limit a test could set."""
    with open(program, "rb") as f:
        return b"__asan_init" in f.read()


def repeated(table, size):
    """`table` repeated up to exactly `size` bytes."""
    return (table * (size // len(table) + 1))[:size]


def with_limit(which, value):
    def apply():
        resource.setrlimit(which, (value, value))
    return apply


class Faults(e2e.VornTestCase):
    def single(self, *args, **kwargs):
        return self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), *args, **kwargs)

    def open_folder_to_nobody(self):
        os.chmod(self.dir, 0o777)

    def test_disk_full_on_a_small_file_system(self):
        if not ROOT:
            self.skipTest("needs root to mount a file system")
        mount_point = self.path("small")
        os.mkdir(mount_point)
        # Room for the table but not for a second copy beside it.
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs",
                                  mount_point], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.decode(errors="replace"))
        self.addCleanup(subprocess.run, ["umount", mount_point])
        self.write(os.path.join("small", TABLE), STANDARD)
        self.write(TABLE, STANDARD)
        result = self.single("small/" + TABLE)
        self.assertReport(result, b"Disk Full", stdout=code_line(0x8740, 0x8250))
        self.assertEqual(sorted(os.listdir(mount_point)), [TABLE])
        self.assertEqual(self.read(os.path.join("small", TABLE)), STANDARD)

    def test_killed_while_writing_leaves_old_or_new(self):
        old = repeated(STANDARD, 50 * MIB)
        new = repeated(e2e.substituted(STANDARD, [(0x8740, 0x8250)]), 50 * MIB)
        self.write(TABLE, old)
        args = [self.program, b"-s" + cp("①"), b"-e" + cp("１")]
        start = time.monotonic()
        self.assertRun(self.single(), code_line(0x8740, 0x8250))
        duration = time.monotonic() - start
        self.assertTrue(self.read(TABLE) == new, "the run did not write the new table")

        # Kills at moments spread over one and a half runs, once the
        # temporary file has reached a share of the table's size (0: just
        # made; 1: written whole, not yet renamed), and once the target has
        # been replaced (the run then syncs its folder and ends).
        kills = [("after %.3f s" % (duration * i / 8), "time", duration * i / 8)
                 for i in range(12)]
        kills += [("temporary file at %d%%" % (share * 100), "temporary", share)
                  for share in (0, 0.25, 0.5, 0.75, 1, 0, 0.5, 1)]
        kills += [("target replaced", "replaced", None)] * 2
        outcomes = {"old": 0, "new": 0}
        temps_seen = 0
        for name, kind, value in kills:
            self.write(TABLE, old)
            inode = os.stat(self.path(TABLE)).st_ino
            child = subprocess.Popen(args, cwd=self.dir, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            if kind == "time":
                time.sleep(value)
            elif kind == "temporary":
                self.wait_for_temporary_file(child, value * len(old))
            else:
                while child.poll() is None and os.stat(self.path(TABLE)).st_ino == inode:
                    pass
            child.send_signal(signal.SIGKILL)
            child.wait()
            target = self.read(TABLE)
            # Compared without assertIn, whose message would hold 50 MiB.
            self.assertTrue(target in (old, new), "a mixed table after a kill " + name)
            outcomes["old" if target == old else "new"] += 1
            others = [n for n in os.listdir(self.dir) if n != TABLE]
            for other in others:
                self.assertRegex(other, TEMP_FILE)
            temps_seen += len(others)
        # Some kills must have hit a run in the middle of its write, and
        # some after the replacement.
        self.assertGreater(temps_seen, 0, outcomes)
        self.assertGreater(outcomes["old"], 0, outcomes)
        self.assertGreater(outcomes["new"], 0, outcomes)

        # A run after the kills completes, stray temporary files or not,
        # and leaves no file of its own.
        self.write(TABLE, old)
        before = sorted(os.listdir(self.dir))
        self.assertRun(self.single(), code_line(0x8740, 0x8250))
        self.assertTrue(self.read(TABLE) == new, "the run did not write the new table")
        self.assertEqual(sorted(os.listdir(self.dir)), before)

    def wait_for_temporary_file(self, child, size):
        """Waits until a temporary file of at least `size` bytes exists or
        the run has ended."""
        while child.poll() is None:
            for entry in os.scandir(self.dir):
                if TEMP_FILE.match(entry.name):
                    try:
                        if entry.stat().st_size >= size:
                            return
                    except FileNotFoundError:
                        pass  # renamed meanwhile

    @as_nobody
    def test_refusals_as_an_unprivileged_user(self):
        expected = e2e.substituted(STANDARD, [(0x8740, 0x8250)])
        line = code_line(0x8740, 0x8250)
        # name, args, files (name: (bytes, mode)), read-only folder "ro",
        # message or None for success, the files afterwards (None: unchanged)
        cases = [
            ("unreadable list", ["-f", "bars.txt", "out.bin"],
             {"bars.txt": (e2e.bars("①１"), 0o200)}, b"Access denied", b"", None),
            ("read-only output", [b"-s" + cp("①"), b"-e" + cp("１"), "out.bin"],
             {"out.bin": (b"old", 0o444)}, b"Access denied", line, None),
            ("read-only folder, read-only output", [b"-s" + cp("①"), b"-e" + cp("１"), "ro/out.bin"],
             {"ro/out.bin": (b"old", 0o444)}, b"Access denied", line, None),
            ("read-only folder, new output", [b"-s" + cp("①"), b"-e" + cp("１"), "ro/new.bin"],
             {}, b"Access denied", line, None),
            ("read-only folder, writable output: written in place",
             [b"-s" + cp("①"), b"-e" + cp("１"), "ro/out.bin"],
             {"ro/out.bin": (b"old", 0o666)}, None, line, {"ro/out.bin": expected}),
        ]
        for name, args, files, message, stdout, changed in cases:
            with self.subTest(name):
                self.setUp()
                self.open_folder_to_nobody()
                os.mkdir(self.path("ro"))
                self.write(TABLE, STANDARD)
                for file_name, (data, mode) in files.items():
                    self.write(file_name, data)
                    os.chmod(self.path(file_name), mode)
                os.chmod(self.path("ro"), 0o555)
                before = self.folder()
                result = self.vorn(*args, prefix=NOBODY)
                if message is None:
                    self.assertRun(result, stdout)
                else:
                    self.assertReport(result, message, stdout=stdout)
                after = dict(before)
                after.update(changed or {})
                self.assertEqual(self.folder(), after)
                self.assertEqual(sorted(os.listdir(self.path("ro"))),
                                 sorted(n[3:] for n in after if n.startswith("ro/")))

    @as_nobody
    def test_table_in_a_read_only_folder_is_rewritten_in_place(self):
        self.write(TABLE, STANDARD)
        os.chmod(self.path(TABLE), 0o666)
        os.chmod(self.dir, 0o555)
        self.addCleanup(os.chmod, self.dir, 0o700)
        self.assertRun(self.single(prefix=NOBODY), code_line(0x8740, 0x8250))
        self.assertEqual(self.folder(), {TABLE: e2e.substituted(STANDARD, [(0x8740, 0x8250)])})

    def test_out_of_memory(self):
        if sanitized(self.program):
            self.skipTest("an address-space limit cannot apply under AddressSanitizer")
        big = repeated(STANDARD, 64 * MIB)
        for name, args in [("single", []), ("list", ["-f", "bars.txt"])]:
            with self.subTest(name):
                self.setUp()
                self.write(TABLE, big)
                self.write("bars.txt", e2e.bars("①１"))
                result = self.vorn(*args, "out.bin",
                                   preexec_fn=with_limit(resource.RLIMIT_AS, 32 * MIB))
                self.assertReport(result, b"Out of memory", kind=b"EOutOfMemory")
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(["bars.txt", TABLE]))

    def test_too_many_open_files(self):
        """An existing output is held open (to check it may be written)
        while the temporary file beside it is made: with descriptors 0-3
        the only ones allowed, that second open fails.  Fewer descriptors
        would already stop the program loader."""
        if sanitized(self.program):
            self.skipTest("the sanitizer runtime needs descriptors of its own")
        for name, args, stdout in [
            ("single", [b"-s" + cp("①"), b"-e" + cp("１")], code_line(0x8740, 0x8250)),
            ("list", ["-f", "bars.txt"], b""),
        ]:
            with self.subTest(name):
                self.setUp()
                self.write(TABLE, STANDARD)
                self.write("bars.txt", e2e.bars("①１"))
                before = self.folder()
                result = self.vorn(*args, preexec_fn=with_limit(resource.RLIMIT_NOFILE, 4))
                self.assertReport(result, b"Too many open files", stdout=stdout)
                self.assertEqual(self.folder(), before)

    def test_table_removed_between_the_two_reads(self):
        """The -w line is written after the first read and before the
        second: with standard output a full pipe, the run waits right
        there while the test removes the table."""
        line_w = b"MS932~EUC-JP.bin is primarily accessible to vorn.\r\n"
        cases = [
            ("single", ["-w", b"-s" + cp("①"), b"-e" + cp("１"), "out.bin"],
             line_w + code_line(0x8740, 0x8250), ["bars.txt"]),
            ("list", ["-w", "-f", "bars.txt"], line_w, ["bars.txt"]),
        ]
        for name, args, stdout, left in cases:
            with self.subTest(name):
                self.setUp()
                self.write(TABLE, STANDARD)
                self.write("bars.txt", e2e.bars("①１"))
                status, output = self.run_held_at_first_line(args, lambda: os.remove(self.path(TABLE)))
                self.assertEqual(output, stdout)
                self.assertEqual(status, 1)
                self.assertEqual(sorted(os.listdir(self.dir)), left)

    def run_held_at_first_line(self, args, action):
        """Runs vorn with standard output a full pipe, calls `action` once
        the run waits to write its first line, then lets it finish.
        Returns the exit status and what the run wrote to standard output."""
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        os.set_blocking(write_end, False)
        filled = 0
        try:
            while True:
                filled += os.write(write_end, b"\0" * 4096)
        except BlockingIOError:
            pass
        os.set_blocking(write_end, True)
        with tempfile.TemporaryFile() as errors:
            child = subprocess.Popen(
                [self.program] + [a if isinstance(a, bytes) else a.encode() for a in args],
                cwd=self.dir, stdout=write_end, stderr=errors, env=dict(os.environ, LC_ALL="C"))
            os.close(write_end)
            try:
                self.wait_until_writing(child)
                action()
            finally:
                with os.fdopen(read_end, "rb") as pipe:
                    output = pipe.read()
                status = child.wait(timeout=60)
            errors.seek(0)
            self.assertEqual(errors.read(), b"")
        self.assertEqual(output[:filled], b"\0" * filled)
        return status, output[filled:]

    def wait_until_writing(self, child):
        """Waits until `child` is blocked writing to standard output."""
        if WRITE_SYSCALL is None:
            self.skipTest("the number of write(2) on this machine is not known")
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            self.assertIsNone(child.poll(), "the run ended before writing its first line")
            try:
                with open("/proc/%d/syscall" % child.pid) as f:
                    fields = f.read().split()
            except OSError:
                self.skipTest("cannot see which system call a process is in")
            # write(1, ...): its number, then the descriptor.
            if fields[:2] == [WRITE_SYSCALL, "0x1"]:
                return
            time.sleep(0.01)
        self.fail("the run never waited to write to standard output")

    def test_odd_and_large_tables(self):
        big = repeated(STANDARD, 64 * MIB)
        value = e2e.values_of(STANDARD, 0x8250)
        sub = e2e.substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            # A partial record keyed 87 00 matches nothing but is completed.
            ("one byte over", STANDARD + b"\x87", sub + b"\x87\0\0\0"),
            # A partial last record keyed 87 40 is substituted like any other.
            ("two bytes over", STANDARD + b"\x87\x40", sub + b"\x87\x40" + value),
            ("three bytes over", STANDARD + b"\x87\x40\x12", sub + b"\x87\x40" + value),
            ("zero length", b"", b""),
            ("64 MiB", big, repeated(sub, 64 * MIB)),
        ]
        for name, table, expected in cases:
            with self.subTest(name):
                self.setUp()
                self.write(TABLE, table)
                self.assertRun(self.single("out.bin"), code_line(0x8740, 0x8250))
                self.assertEqual(len(self.read("out.bin")), len(expected))
                self.assertTrue(self.read("out.bin") == expected)
                self.assertTrue(self.read(TABLE) == table)

    def test_list_of_ten_thousand_lines(self):
        rng = random.Random(6)
        recs = e2e.records(STANDARD)
        two_byte = [r[:2] for r in recs[e2e.record_index(STANDARD, 0x8140):]]
        # Many sources repeat, so later entries of one source stay pending.
        sources = rng.sample(two_byte, 400)
        lines = [rng.choice(sources) + rng.choice(two_byte) for _ in range(10000)]
        listing = b"".join(line + rng.choice([b"\r\n", b"\n", b"\r"]) for line in lines)

        # The plain rule: each record takes the first pending entry of its
        # key among the lines read; each entry applies once.
        pending = list(range(906))
        out = []
        for index, rec in enumerate(recs):
            key = rec[:1] if index < 158 else rec[:2]
            match = next((n for n in pending if len(key) == 2 and lines[n][:2] == key), None)
            if match is None:
                out.append(rec)
                continue
            pending.remove(match)
            replacement = int.from_bytes(lines[match][2:], "big")
            out.append(rec[:2] + e2e.values_of(STANDARD, replacement))
        expected = b"".join(out)

        self.write(TABLE, STANDARD)
        self.write("bars.txt", listing)
        self.assertRun(self.vorn("-f", "bars.txt", "out.bin"))
        self.assertNotEqual(expected, STANDARD)
        self.assertEqual(self.read("out.bin"), expected)

    def test_arguments_of_a_hundred_thousand_bytes(self):
        long = b"a" * 100000
        line = code_line(0x8740, 0x8151)
        cases = [
            # Only the first character of an option's value counts.
            ("long source", [b"-s" + cp("①") + long, "out.bin"], line, None),
            ("long output name", [long], line, b"Invalid filename"),
            ("long list name", ["-f", long], b"", b"Invalid filename"),
        ]
        for name, args, stdout, message in cases:
            with self.subTest(name):
                self.setUp()
                self.write(TABLE, STANDARD)
                before = self.folder()
                result = self.vorn(*args)
                if message is None:
                    self.assertRun(result, stdout)
                    self.assertEqual(self.read("out.bin"),
                                     e2e.substituted(STANDARD, [(0x8740, 0x8151)]))
                else:
                    self.assertReport(result, message, stdout=stdout)
                    self.assertEqual(self.folder(), before)

    def test_longest_file_names_are_written(self):
        """An output name as long as the file system allows must work,
        although the temporary file beside it needs a longer name."""
        longest = "n" * os.pathconf(self.dir, "PC_NAME_MAX")
        expected = e2e.substituted(STANDARD, [(0x8740, 0x8250)])
        for existing in (False, True):
            with self.subTest(existing=existing):
                self.setUp()
                self.write(TABLE, STANDARD)
                if existing:
                    self.write(longest, b"old")
                self.assertRun(self.single(longest), code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), {TABLE: STANDARD, longest: expected})

    def test_links_to_outputs(self):
        """The file a link names is written and the link stays, also when
        that file does not exist yet or is reached through a chain."""
        expected = e2e.substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            ("dangling link", {"link.bin": "missing.bin"}, {}, "missing.bin"),
            ("chain of links", {"link.bin": "sub/mid.bin", "sub/mid.bin": "real.bin"},
             {"sub/real.bin": b"old"}, "sub/real.bin"),
        ]
        for name, links, files, written in cases:
            with self.subTest(name):
                self.setUp()
                os.mkdir(self.path("sub"))
                self.write(TABLE, STANDARD)
                for file_name, data in files.items():
                    self.write(file_name, data)
                for link, target in links.items():
                    os.symlink(target, self.path(link))
                self.assertRun(self.single("link.bin"), code_line(0x8740, 0x8250))
                for link, target in links.items():
                    self.assertEqual(os.readlink(self.path(link)), target)
                # Read through, every link shows the written file.
                after = {TABLE: STANDARD, written: expected}
                after.update((link, expected) for link in links)
                self.assertEqual(self.folder(), after)


def main():
    e2e.main()


if __name__ == "__main__":
    main()
