#!/usr/bin/env python3
"""End-to-end fault tests of the vorn binary.

Each test provokes one fault the system can throw at a run (a full disk, a
kill in the middle of writing, missing rights, too little memory, too few
file descriptors, a table that vanishes, oversized inputs) and checks the
exit status, the exact report and every file left behind.  The helpers are
those of harness.py and test_vorn.py.
"""

import fcntl
import grp
import os
import platform
import pwd
import random
import re
import resource
import shutil
import signal
import subprocess
import tempfile
import time

import harness
from harness import (MIB, NOBODY, OPTIONS, STANDARD, TABLE, as_nobody, bars, cp, environment,
                     record_index, records, repeated, substituted, values_of)
from test_vorn import REPORT, VornTestCase, code_line

ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
# The number of write(2), as /proc/PID/syscall shows it.
WRITE_SYSCALL = {"x86_64": "1", "aarch64": "64"}.get(platform.machine())
TEMP_FILE = re.compile(r"\.MS932~EUC-JP\.bin\.vorn-[A-Za-z0-9]{6}\Z")

# The signals that end a run early.
TERMINATION = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT)


def sanitized(program):
    """True for a build with AddressSanitizer, whose shadow memory takes
    far more address space than any limit a test could set."""
    with open(program, "rb") as f:
        return b"__asan_init" in f.read()


def with_limit(which, value):
    def apply():
        resource.setrlimit(which, (value, value))
    return apply


def with_signals(ignored=()):
    """The termination signals as a fresh shell hands them on (`ignored`
    ones ignored, as nohup does), and no core file."""
    def apply():
        for number in TERMINATION:
            signal.signal(number, signal.SIG_IGN if number in ignored else signal.SIG_DFL)
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    return apply


def strace_failing(path, errno_name):
    """A prefix that runs a program with every stat-like call on `path`
    (named in full, as the program names it) failing with `errno_name`."""
    calls = "%stat,%lstat,%fstat"
    # LeakSanitizer cannot work under ptrace (its leak checks run elsewhere).
    sanitizer = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return ["env", "ASAN_OPTIONS=" + sanitizer, "strace", "-f", "-qq", "-o", "/dev/null",
            "-P", path, "-e", "trace=" + calls, "-e", "inject=%s:error=%s" % (calls, errno_name)]


def attributes(path):
    """The extended attributes of a file (access lists included), by name."""
    return {name: os.getxattr(path, name) for name in os.listxattr(path)}


class Faults(VornTestCase):
    def single(self, *args, **kwargs):
        return self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), *args, **kwargs)

    def open_folder_to_nobody(self):
        os.chmod(self.dir, 0o777)

    def small_file_system(self):
        """Mounts a 64 KiB tmpfs open to everyone as the folder "small" of
        the test folder and returns its path."""
        if not ROOT:
            self.skipTest("needs root to mount a file system")
        mount_point = self.path("small")
        os.mkdir(mount_point)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,mode=0777", "tmpfs",
                                  mount_point], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.decode(errors="replace"))
        self.addCleanup(subprocess.run, ["umount", mount_point])
        return mount_point

    def test_disk_full_on_a_small_file_system(self):
        # Room for the table but not for a second copy beside it.
        mount_point = self.small_file_system()
        self.write(os.path.join("small", TABLE), STANDARD)
        self.write(TABLE, STANDARD)
        result = self.single("small/" + TABLE)
        self.assertReport(result, b"Disk Full", stdout=code_line(0x8740, 0x8250))
        self.assertEqual(sorted(os.listdir(mount_point)), [TABLE])
        self.assertEqual(self.read(os.path.join("small", TABLE)), STANDARD)

    def test_killed_while_writing_leaves_old_or_new(self):
        old = repeated(STANDARD, 50 * MIB)
        new = repeated(substituted(STANDARD, [(0x8740, 0x8250)]), 50 * MIB)
        self.write(TABLE, old)
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
            child = self.start_program(OPTIONS.vorn, b"-s" + cp("①"), b"-e" + cp("１"),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        line = code_line(0x8740, 0x8250)
        # name, args, files (name: (bytes, mode)), read-only folder "ro",
        # message or None for success, the files afterwards (None: unchanged)
        cases = [
            ("unreadable list", ["-f", "bars.txt", "out.bin"],
             {"bars.txt": (bars("①１"), 0o200)}, b"Access denied", b"", None),
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
            with self.case(name):
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
        self.assertEqual(self.folder(), {TABLE: substituted(STANDARD, [(0x8740, 0x8250)])})

    def test_out_of_memory(self):
        if sanitized(OPTIONS.vorn):
            self.skipTest("an address-space limit cannot apply under AddressSanitizer")
        big = repeated(STANDARD, 64 * MIB)
        for name, args in [("single", []), ("list", ["-f", "bars.txt"])]:
            with self.case(name):
                self.write(TABLE, big)
                self.write("bars.txt", bars("①１"))
                result = self.vorn(*args, "out.bin",
                                   preexec_fn=with_limit(resource.RLIMIT_AS, 32 * MIB))
                self.assertReport(result, b"Out of memory", kind=b"EOutOfMemory")
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(["bars.txt", TABLE]))

    def test_too_many_open_files(self):
        """An existing output is held open (to check it may be written)
        while the temporary file beside it is made: with descriptors 0-3
        the only ones allowed, that second open fails.  Fewer descriptors
        would already stop the program loader."""
        if sanitized(OPTIONS.vorn):
            self.skipTest("the sanitizer runtime needs descriptors of its own")
        for name, args, stdout in [
            ("single", [b"-s" + cp("①"), b"-e" + cp("１")], code_line(0x8740, 0x8250)),
            ("list", ["-f", "bars.txt"], b""),
        ]:
            with self.case(name):
                self.write(TABLE, STANDARD)
                self.write("bars.txt", bars("①１"))
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
            with self.case(name):
                self.write(TABLE, STANDARD)
                self.write("bars.txt", bars("①１"))
                status, output = self.run_held_at_first_line(
                    args, lambda: os.remove(self.path(TABLE)))
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
            child = self.start_program(OPTIONS.vorn, *args, stdout=write_end, stderr=errors)
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
        value = values_of(STANDARD, 0x8250)
        sub = substituted(STANDARD, [(0x8740, 0x8250)])
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
            with self.case(name):
                self.write(TABLE, table)
                self.assertRun(self.single("out.bin"), code_line(0x8740, 0x8250))
                self.assertEqual(len(self.read("out.bin")), len(expected))
                self.assertTrue(self.read("out.bin") == expected)
                self.assertTrue(self.read(TABLE) == table)

    def test_list_of_ten_thousand_lines(self):
        rng = random.Random(6)
        recs = records(STANDARD)
        two_byte = [r[:2] for r in recs[record_index(STANDARD, 0x8140):]]
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
            out.append(rec[:2] + values_of(STANDARD, replacement))
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
            with self.case(name):
                self.write(TABLE, STANDARD)
                before = self.folder()
                result = self.vorn(*args)
                if message is None:
                    self.assertRun(result, stdout)
                    self.assertEqual(self.read("out.bin"),
                                     substituted(STANDARD, [(0x8740, 0x8151)]))
                else:
                    self.assertReport(result, message, stdout=stdout)
                    self.assertEqual(self.folder(), before)

    def test_longest_file_names_are_written(self):
        """An output name as long as the file system allows must work,
        although the temporary file beside it needs a longer name."""
        longest = "n" * os.pathconf(self.dir, "PC_NAME_MAX")
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        for existing in (False, True):
            with self.case(existing=existing):
                self.write(TABLE, STANDARD)
                if existing:
                    self.write(longest, b"old")
                self.assertRun(self.single(longest), code_line(0x8740, 0x8250))
                self.assertEqual(self.folder(), {TABLE: STANDARD, longest: expected})

    def test_links_to_outputs(self):
        """The file a link names is written and the link stays, also when
        that file does not exist yet or is reached through a chain."""
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            ("dangling link", {"link.bin": "missing.bin"}, {}, "missing.bin"),
            ("chain of links", {"link.bin": "sub/mid.bin", "sub/mid.bin": "real.bin"},
             {"sub/real.bin": b"old"}, "sub/real.bin"),
        ]
        for name, links, files, written in cases:
            with self.case(name):
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

    def entries(self):
        """Each entry of the test folder: a link's target, a folder's
        permission bits, or a file's permission bits and bytes."""
        found = {}
        for name in os.listdir(self.dir):
            full = self.path(name)
            mode = os.lstat(full).st_mode
            found[name] = (os.readlink(full) if os.path.islink(full) else
                           (mode & 0o7777, None if os.path.isdir(full) else self.read(name)))
        return found

    def wait_for_temporary(self, child, pattern=TEMP_FILE):
        """Waits until a temporary file exists beside the table; false if
        the run ended first."""
        while child.poll() is None:
            if any(pattern.match(name) for name in os.listdir(self.dir)):
                return True
        return False

    def test_interrupted_while_writing(self):
        """A termination signal that arrives while a large table is written
        removes the temporary file and ends the run by that signal, the
        table old or new; one the run was started with ignored (nohup)
        stays ignored."""
        old = repeated(STANDARD, 40 * MIB)
        new = repeated(substituted(STANDARD, [(0x8740, 0x8250)]), 40 * MIB)
        cases = [(number.name, number, (), -number) for number in TERMINATION]
        cases.append(("SIGHUP under nohup", signal.SIGHUP, (signal.SIGHUP,), 0))
        for name, number, ignored, status in cases:
            with self.case(name):
                self.write(TABLE, old)
                child = self.start_program(OPTIONS.vorn, b"-s" + cp("①"), b"-e" + cp("１"),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                           preexec_fn=with_signals(ignored))
                self.assertTrue(self.wait_for_temporary(child), "no temporary file was seen")
                child.send_signal(number)
                _, errors = child.communicate(timeout=60)
                self.assertEqual((child.returncode, errors), (status, b""))
                self.assertEqual(os.listdir(self.dir), [TABLE])
                target = self.read(TABLE)
                # Compared without assertIn, whose message would hold 40 MiB.
                self.assertTrue(target == new if status == 0 else target in (old, new))

    def test_closed_pipe_on_standard_output(self):
        """A reader of standard output that has gone does not stop the
        substitution; a table copied to it is a failed write."""
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        cases = [
            ("the output is still written", "out.bin", 0, None,
             {TABLE: STANDARD, "out.bin": expected}),
            ("a copy to the pipe", "", 217, b"EInOutError: Disk Full", {TABLE: STANDARD}),
        ]
        for name, output, status, report, files in cases:
            with self.case(name):
                self.write(TABLE, STANDARD)
                read_end, write_end = os.pipe()
                os.close(read_end)
                with tempfile.TemporaryFile() as errors:
                    result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), output,
                                       stdout=write_end, stderr=errors)
                    os.close(write_end)
                    errors.seek(0)
                    report_bytes = errors.read()
                self.assertEqual(result.status, status)
                if report is None:
                    self.assertEqual(report_bytes, b"")
                else:
                    self.assertEqual(REPORT.match(report_bytes).group(1), report)
                self.assertEqual(self.folder(), files)

    def folder_with_extended_attributes(self):
        """A folder of the test's own on a disk file system that keeps user
        extended attributes (tmpfs does not): the test folder itself, or a
        small ext4 image mounted for the test."""
        probe = self.path("probe")
        self.write("probe", b"")
        try:
            os.setxattr(probe, "user.vorn", b"1")
            return self.dir
        except OSError:
            pass
        finally:
            os.remove(probe)
        if not ROOT or not shutil.which("mkfs.ext4"):
            self.skipTest("no file system with user extended attributes (needs root and e2fsprogs)")
        image, mount_point = self.path("ext4.img"), self.path("ext4")
        with open(image, "wb") as f:
            f.truncate(16 * MIB)
        os.mkdir(mount_point)
        made = subprocess.run(["mkfs.ext4", "-q", "-F", image], capture_output=True)
        mounted = subprocess.run(["mount", "-o", "loop", image, mount_point], capture_output=True)
        if made.returncode != 0 or mounted.returncode != 0:
            self.skipTest("cannot mount an ext4 image: " + (made.stderr + mounted.stderr).decode())
        self.addCleanup(subprocess.run, ["umount", mount_point])
        return mount_point

    @as_nobody
    def test_access_lists_and_extended_attributes_are_kept(self):
        """The replaced table keeps its access list and extended attributes,
        loses any its folder's default access list would give it, and a
        replacement that could not keep them is refused."""
        if not shutil.which("setfacl"):
            self.skipTest("needs setfacl (package acl)")
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        line = code_line(0x8740, 0x8250)
        cases = [
            # Only root may read the table besides its owner, nobody.
            ("an access list and a user attribute",
             [["setfacl", "-m", "u:root:r,g::-,m::r"], ["setfattr", "-n", "user.note", "-v", "x"]],
             [], None),
            # The folder would give every new file an entry for root.
            ("a default access list of the folder", [],
             [["setfacl", "-d", "-m", "u:root:rw,m::rw"]], None),
            # An attribute only root may set cannot be kept by nobody.
            ("an attribute nobody may not set", [["setfattr", "-n", "security.vorn", "-v", "x"]],
             [], b"EInOutError: Access denied"),
        ]
        for name, on_table, on_folder, report in cases:
            with self.case(name):
                folder = os.path.join(self.folder_with_extended_attributes(), "shared")
                os.mkdir(folder)
                os.chmod(folder, 0o777)
                table = os.path.join(folder, TABLE)
                with open(table, "wb") as f:
                    f.write(STANDARD)
                os.chown(table, pwd.getpwnam("nobody").pw_uid, grp.getgrnam("nogroup").gr_gid)
                os.chmod(table, 0o640)
                for command in on_table:
                    subprocess.run(command + [table], check=True)
                for command in on_folder:
                    subprocess.run(command + [folder], check=True)
                before = (os.stat(table).st_mode, attributes(table))
                result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), prefix=NOBODY, cwd=folder)
                self.assertEqual(result.stdout, line)
                if report is None:
                    self.assertEqual((result.status, result.stderr), (0, b""))
                else:
                    self.assertEqual(result.status, 217)
                    self.assertEqual(REPORT.match(result.stderr).group(1), report)
                self.assertEqual(os.listdir(folder), [TABLE])
                self.assertEqual((os.stat(table).st_mode, attributes(table)), before)
                with open(table, "rb") as f:
                    self.assertTrue(f.read() == (expected if report is None else STANDARD))

    def test_names_whose_existence_cannot_be_learned(self):
        """Only a table place or an output that does not exist counts as
        missing; any other failure to learn what it is fails the run."""
        have_strace = shutil.which("strace") is not None
        cases = [
            # The installed place cannot be searched: no fallback to the
            # table in the current folder.
            ("an installed place nobody may search", "system folder", b"Access denied"),
            ("an installed place that is a loop of links", "ELOOP", b"Invalid filename"),
            ("an I/O error at the installed place", "EIO", b"Unknown Run-Time error : 005"),
            ("an output that is a loop of links", "loop", b"Invalid filename"),
            ("an I/O error examining the output", "EIO out", b"Unknown Run-Time error : 005"),
        ]
        for name, fault, message in cases:
            with self.case(name):
                system_folder = os.path.dirname(self.system_table_path())
                os.makedirs(system_folder)
                self.write(TABLE, STANDARD)
                self.write("out.bin", b"old")
                os.chmod(self.path("out.bin"), 0o640)
                prefix, stdout = [], b""
                args = [b"-s" + cp("①"), b"-e" + cp("１"), "out.bin"]
                if fault == "system folder":
                    if not (ROOT and shutil.which("setpriv")):
                        self.skipTest("needs root and setpriv to run as an unprivileged user")
                    os.chmod(self.dir, 0o777)
                    mode = os.stat(system_folder).st_mode
                    os.chmod(system_folder, 0o700)
                    self.addCleanup(os.chmod, system_folder, mode)
                    prefix = NOBODY
                elif fault in ("ELOOP", "EIO"):
                    if not have_strace:
                        self.skipTest("needs strace")
                    prefix = strace_failing(OPTIONS.system_table, fault)
                else:
                    stdout = code_line(0x8740, 0x8250)
                    if fault == "loop":
                        os.symlink("b", self.path("a"))
                        os.symlink("a", self.path("b"))
                        args[-1] = "a"
                    elif not have_strace:
                        self.skipTest("needs strace")
                    else:
                        # Named in full, as strace notes how it resolves a
                        # relative name.
                        args[-1] = self.path("out.bin")
                        prefix = strace_failing(args[-1], "EIO")
                before = self.entries()
                result = self.vorn(*args, prefix=prefix)
                self.assertReport(result, message, stdout=stdout)
                self.assertEqual(self.entries(), before)

    def test_table_that_is_not_a_regular_file(self):
        """A FIFO or a device named like the table is refused at once,
        never waited on and never read as an empty table."""
        cases = [
            ("a FIFO", lambda: os.mkfifo(self.path(TABLE))),
            ("a link to /dev/zero", lambda: os.symlink("/dev/zero", self.path(TABLE))),
        ]
        for name, make in cases:
            with self.case(name):
                make()
                self.write("out.bin", b"old")
                result = self.vorn("out.bin", timeout=10)
                self.assertReport(result, b"Access denied")
                self.assertEqual(sorted(os.listdir(self.dir)), sorted(["out.bin", TABLE]))
                self.assertEqual(self.read("out.bin"), b"old")

    def test_endless_list_on_standard_input(self):
        """Lines after the 906th and bytes after a Ctrl-Z are never read:
        an endless list on standard input ends the reading in bounded
        memory."""
        if sanitized(OPTIONS.vorn):
            self.skipTest("an address-space limit cannot apply under AddressSanitizer")
        y = record_index(STANDARD, ord("y")) * 4
        cases = [
            # "y" alone: the replacement is of no character, 00 00.
            ("endless lines", "yes", STANDARD[:y + 2] + b"\0\0" + STANDARD[y + 4:]),
            ("endless bytes after a Ctrl-Z", r"printf 'AB\r\n\032'; exec yes",
             substituted(STANDARD, [(0x41, 0x42)])),
        ]
        for name, producer, expected in cases:
            with self.case(name):
                self.write(TABLE, STANDARD)
                feed = subprocess.Popen(["sh", "-c", producer], stdout=subprocess.PIPE)
                try:
                    result = self.vorn("-f", "/dev/stdin", "out.bin", stdin=feed.stdout,
                                       preexec_fn=with_limit(resource.RLIMIT_AS, 256 * MIB))
                finally:
                    feed.stdout.close()
                    feed.kill()
                    feed.wait()
                self.assertEqual((result.status, result.stdout, result.stderr), (0, b"", b""))
                self.assertEqual(self.read("out.bin"), expected)

    @as_nobody
    def test_in_place_on_a_full_disk(self):
        """Where the folder takes no temporary file, the target is written
        in place; with too little room on the disk for the new table the
        run is refused before a byte of the old one changes."""
        mount_point = self.small_file_system()
        self.open_folder_to_nobody()
        self.write(TABLE, STANDARD)
        # A short target, so that there is room to reserve, and a disk with
        # less room left than the new table needs.
        self.write("small/out.bin", b"old")
        os.chmod(self.path("small/out.bin"), 0o666)
        self.write("small/filler", b"\0" * (40 << 10))
        os.chmod(mount_point, 0o555)
        result = self.vorn(b"-s" + cp("①"), b"-e" + cp("１"), "small/out.bin", prefix=NOBODY)
        self.assertReport(result, b"Disk Full", stdout=code_line(0x8740, 0x8250))
        self.assertEqual(sorted(os.listdir(mount_point)), ["filler", "out.bin"])
        self.assertEqual(self.read("small/out.bin"), b"old")

    def test_allocation_failure_at_every_allocation(self):
        """Each allocation of a run made to fail in turn (through a shim
        preloaded before the C library's allocator): the run completes or
        ends with the out-of-memory report, the table is old or new, and
        no temporary file is left."""
        if OPTIONS.fail_allocation is None:
            self.skipTest("needs the allocation shim (--fail-allocation)")
        if sanitized(OPTIONS.vorn):
            self.skipTest("AddressSanitizer keeps the allocator to itself")
        expected = substituted(STANDARD, [(0x8740, 0x8250)])
        for name, args, stdout in [
            ("single", [b"-s" + cp("①"), b"-e" + cp("１")], code_line(0x8740, 0x8250)),
            ("list", ["-f", "bars.txt"], b""),
        ]:
            def run(**shim_settings):
                self.fresh_folder()
                self.write(TABLE, STANDARD)
                self.write("bars.txt", bars("①１"))
                return self.vorn(*args, env=dict(environment(), LD_PRELOAD=OPTIONS.fail_allocation,
                                                 **shim_settings))

            counted = run(VORN_COUNT_ALLOCATIONS="1")
            allocations = int(re.fullmatch(rb"allocations (\d+)\n", counted.stderr).group(1))
            reports = 0
            for call in range(1, allocations + 1):
                result = run(VORN_FAIL_ALLOCATION=str(call))
                with self.subTest(name, allocation=call):
                    self.assertEqual(sorted(os.listdir(self.dir)), sorted(["bars.txt", TABLE]))
                    table = self.read(TABLE)
                    if result.status == 0:
                        self.assertEqual((result.stdout, result.stderr), (stdout, b""))
                        self.assertTrue(table == expected)
                    else:
                        reports += 1
                        self.assertEqual(result.status, 217)
                        self.assertEqual(REPORT.match(result.stderr).group(1),
                                         b"EOutOfMemory: Out of memory")
                        self.assertTrue(table in (STANDARD, expected))
            # The shim reaches vorn's own allocations; those of the C library
            # (iconv's, trying the C locale's UTF-8 on the raw arguments)
            # fail without harm.
            self.assertGreater(reports, 0, name)


if __name__ == "__main__":
    harness.main("vorn", "system_table")
