#!/usr/bin/env python3
"""Fails each system call of a vorn run in turn, with each error number.

For every scenario below, a clean run is traced with strace to learn which
system calls vorn makes and how often.  Then, for every call (the Nth
openat, the Nth write, ...) and every error number, vorn runs again in a
fresh folder with just that call failing (strace's fault injection), and
the outcome is checked:

- exit status 0: nothing on standard error, the output is the new table
  and no other file was added;
- exit status 217: a well-formed failure report, the output is the old or
  the new table and no other file was added;
- exit status 1: the table looked missing (an injected ENOENT), nothing
  written.

Anything else (a crash, a mixed or lost table, a file left behind, a
malformed report) is a violation.  Prints the counts and every violation;
exits 1 if there was one.

  tests/inject_faults.py build/tests/vorn-end-to-end [--errors short|all] [--jobs N]
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
import harness  # noqa: E402

TABLE = harness.TABLE
ARGS = [b"-s" + harness.cp("①"), b"-e" + harness.cp("１")]
# Each scenario: its arguments and the file it writes ("" for standard
# output).
SCENARIOS = {
    "single, the table replaced": (ARGS, TABLE),
    "list, a new output": (["-f", "bars.txt", "out.bin"], "out.bin"),
    "single, copied to standard output": (ARGS + [""], ""),
}
ERRORS = {
    "short": ["EIO", "ENOSPC", "EACCES", "ENOENT", "EINTR", "ENOMEM"],
    "all": ["EPERM", "ENOENT", "EINTR", "EIO", "ENXIO", "EBADF", "EAGAIN", "ENOMEM", "EACCES",
            "EFAULT", "EBUSY", "EEXIST", "EXDEV", "ENOTDIR", "EISDIR", "EINVAL", "ENFILE",
            "EMFILE", "ETXTBSY", "EFBIG", "ENOSPC", "ESPIPE", "EROFS", "EPIPE", "ENAMETOOLONG",
            "ELOOP", "ENODATA", "EOPNOTSUPP", "EDQUOT", "ESTALE"],
}
REPORT = re.compile(rb"An unhandled exception occurred at \$[0-9A-F]{8}:\r\n"
                    rb"E(?:InOutError|OutOfMemory): [^\r\n]+\r\n(?:  \$[0-9A-F]{8}\r\n)+\r\n\Z")


def prepare(folder):
    with open(os.path.join(folder, TABLE), "wb") as f:
        f.write(harness.STANDARD)
    with open(os.path.join(folder, "bars.txt"), "wb") as f:
        f.write(harness.bars("①１"))


def run(vorn, args, injection):
    """Runs vorn in a fresh folder with the system call `injection` (its
    name, which of its calls, the error) failing; returns the exit status,
    standard output, standard error and the folder's files."""
    name, when, error = injection
    folder = tempfile.mkdtemp(prefix="vorn-inject-")
    try:
        prepare(folder)
        strace = ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + name,
                  "-e", "inject=%s:error=%s:when=%d" % (name, error, when)]
        completed = subprocess.run(strace + [vorn] + args, cwd=folder, capture_output=True,
                                   env=dict(os.environ, LC_ALL="C"), timeout=60)
        files = {}
        for entry in os.listdir(folder):
            with open(os.path.join(folder, entry), "rb") as f:
                files[entry] = f.read()
        return completed.returncode, completed.stdout, completed.stderr, files
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def calls_of(vorn, args):
    """The system calls vorn makes itself in a clean run, as (name, which)
    pairs.  The calls of the program loader and the C library's start-up
    come before the first thing vorn does (it ignores SIGXFSZ) and are
    left out: a failure there is no run of vorn's."""
    folder = tempfile.mkdtemp(prefix="vorn-inject-")
    trace_file = folder + ".trace"
    try:
        prepare(folder)
        subprocess.run(["strace", "-f", "-qq", "-o", trace_file, vorn] + args, cwd=folder,
                       capture_output=True, env=dict(os.environ, LC_ALL="C"), check=True)
        counts = {}
        calls = []
        started = False
        with open(trace_file) as f:
            for line in f:
                match = re.match(r"\d+\s+(\w+)\((\w*)", line)
                # brk fails by returning the old break, never an error
                # number: an injected one is no failure brk can have.  The
                # futex calls of the C library's locks (iconv's, for the
                # arguments) have no error a lock's user can meet: glibc
                # aborts on one as impossible.
                if not match or match.group(1) in ("execve", "exit_group", "brk", "futex"):
                    continue
                name = match.group(1)
                started = started or (name == "rt_sigaction" and match.group(2) == "SIGXFSZ")
                counts[name] = counts.get(name, 0) + 1
                if started:
                    calls.append((name, counts[name]))
        return calls
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        if os.path.exists(trace_file):
            os.remove(trace_file)


def judge(outcome, output, new, before):
    """'completed', 'failed', 'missing' or a violation's text."""
    status, stdout, stderr, files = outcome
    written = files.get(output) if output else None
    extra = set(files) - set(before) - {output}
    if extra:
        return "left behind: %s" % sorted(extra)
    if status == 0:
        if stderr:
            return "status 0 with %r on standard error" % stderr[:80]
        if output and written != new:
            return "status 0 but the output is not the new table"
        if not output and not stdout.endswith(new):
            return "status 0 but standard output is not the new table"
        return "completed"
    if status == 217:
        if not REPORT.match(stderr):
            return "malformed report %r" % stderr[:200]
        if output and written not in (before.get(output), new):
            return "status 217 and the output is neither old nor new"
        return "failed"
    if status == 1 and not stderr and files == before:
        return "missing"
    return "status %d, standard error %r" % (status, stderr[:200])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vorn")
    parser.add_argument("--errors", choices=sorted(ERRORS), default="all")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    options = parser.parse_args()
    vorn = os.path.abspath(options.vorn)
    violations = 0
    total = 0
    for scenario, (args, output) in SCENARIOS.items():
        args = [a if isinstance(a, bytes) else a.encode() for a in args]
        folder = tempfile.mkdtemp(prefix="vorn-inject-")
        prepare(folder)
        before = {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder)}
        shutil.rmtree(folder)
        new = harness.substituted(harness.STANDARD, [(0x8740, 0x8250)])
        injections = [(name, when, error) for name, when in calls_of(vorn, args)
                      for error in ERRORS[options.errors]]
        tally = {}
        with concurrent.futures.ThreadPoolExecutor(options.jobs) as pool:
            outcomes = pool.map(lambda injection: (injection, run(vorn, args, injection)),
                                injections)
            for injection, outcome in outcomes:
                verdict = judge(outcome, output, new, before)
                if verdict not in ("completed", "failed", "missing"):
                    violations += 1
                    print("VIOLATION %s: %s #%d %s: %s" % ((scenario,) + injection + (verdict,)))
                    verdict = "violation"
                tally[verdict] = tally.get(verdict, 0) + 1
        total += len(injections)
        print("%s: %d runs: %s" % (scenario, len(injections),
                                   ", ".join("%s %d" % item for item in sorted(tally.items()))))
    print("%d runs, %d violations" % (total, violations))
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
