#!/usr/bin/env python3
"""End-to-end test of vorn-table chart in a real browser: headless Chromium
opens the charts of the standard table and of a table vorn customised, in a
fresh folder, offline.

Usage: test_chart_browser.py --vorn PATH --vorn-table PATH --screenshots DIR
                             [unittest arguments]

Without Chromium the test is skipped (exit status 77) with a note, except
under CI (CI=true), where that is a failure.
"""
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import harness
from harness import OPTIONS

CHROMIUM = None
SKIPPED = 77

# Added to a copy of a page: once it has loaded, writes into the page what
# the browser measured and shows, for --dump-dom to print.  `shown` counts
# the cells left visible by each filter (the part after # in the address).
PROBE = """<script>
addEventListener("load", function () {
  var navigation = performance.getEntriesByType("navigation")[0];
  var cells = document.querySelectorAll("td[title]");
  var shown = {};
  ["", "mapped", "unmapped", "no-record", "changed"].forEach(function (filter) {
    location.hash = filter;
    shown[filter] = 0;
    cells.forEach(function (cell) {
      if (cell.getClientRects().length > 0 && getComputedStyle(cell).visibility == "visible") {
        ++shown[filter];
      }
    });
  });
  location.hash = "";
  var first = document.querySelector("td.c") || cells[0];
  first.focus();
  var probe = document.createElement("pre");
  probe.id = "probe";
  probe.textContent = JSON.stringify({
    domContentLoaded: navigation.domContentLoadedEventEnd,
    resources: performance.getEntriesByType("resource").length,
    cells: cells.length,
    shown: shown,
    focusedTitle: first.title,
    focusedShows: getComputedStyle(first, "::after").content,
  });
  document.body.appendChild(probe);
});
</script>
"""


class PageReferences(html.parser.HTMLParser):
    """Collects whatever in a page could make a browser fetch something."""

    FETCHING_TAGS = {"script", "link", "img", "iframe", "frame", "object", "embed", "video",
                     "audio", "source", "track", "image", "use", "base", "form", "input"}

    def __init__(self):
        super().__init__()
        self.outside = []
        self.in_style = False

    def handle_starttag(self, tag, attrs):
        if tag in self.FETCHING_TAGS:
            self.outside.append("<%s>" % tag)
        self.in_style = tag == "style"
        for name, value in attrs:
            if name == "href" and not value.startswith("#"):
                self.outside.append("href=%s" % value)
            if name in ("src", "srcset", "data", "action", "poster", "background", "style"):
                self.outside.append("%s=%s" % (name, value))
            if name == "http-equiv":
                self.outside.append("http-equiv=%s" % value)

    def handle_endtag(self, tag):
        self.in_style = False

    def handle_data(self, data):
        if self.in_style:
            for fetching in ("url(", "@import", "@font-face", "image-set("):
                if fetching in data:
                    self.outside.append(fetching)


def chromium(args, page):
    """Runs headless Chromium on a file with its own empty profile; its
    standard output."""
    profile = tempfile.mkdtemp(prefix="vorn-chart-profile-")
    try:
        command = [CHROMIUM, "--headless", "--disable-gpu", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync", "--disable-quic",
                   "--no-first-run", "--user-data-dir=" + profile,
                   # Chromium's sandbox refuses to run as root, and needs user
                   # namespaces or the chromium-sandbox helper otherwise, which
                   # a chroot or container often lacks.  The page is our own
                   # file and nothing is fetched, so the test runs without it.
                   "--no-sandbox"]
        result = subprocess.run(command + args + ["file://" + page], capture_output=True,
                                timeout=180)
        if result.returncode != 0:
            raise AssertionError("chromium failed (%d): %s" % (
                result.returncode, result.stderr.decode(errors="replace")[-2000:]))
        return result.stdout.decode()
    finally:
        shutil.rmtree(profile)


class ChartBrowserTest(harness.TestCase):
    def run_quietly(self, program, args):
        """Runs a program, which must write nothing to standard error."""
        result = self.run_program(program, *args)
        self.assertEqual(result.stderr, b"", args)
        return result

    def probe(self, page):
        """What the browser measured and shows of a page."""
        with open(self.path(page), "rb") as f:
            text = f.read().decode()
        probed = self.path("probed-" + page)
        with open(probed, "w") as f:
            f.write(text.replace("</head>", PROBE + "</head>", 1))
        dom = chromium(["--dump-dom"], probed)
        found = re.search(r'<pre id="probe">(.*?)</pre>', dom, re.S)
        self.assertIsNotNone(found, dom[-2000:])
        return dom, json.loads(html.unescape(found.group(1)))

    def screenshot(self, page, name):
        os.makedirs(OPTIONS.screenshots, exist_ok=True)
        shot = os.path.join(OPTIONS.screenshots, name)
        if os.path.exists(shot):
            os.remove(shot)
        chromium(["--window-size=1100,1250", "--hide-scrollbars", "--screenshot=" + shot],
                 self.path(page))
        with open(shot, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")

    def assert_self_contained(self, page):
        with open(self.path(page), "rb") as f:
            references = PageReferences()
            references.feed(f.read().decode())
        self.assertEqual(references.outside, [], page)

    def test_customised_table(self):
        vorn_table = OPTIONS.vorn_table
        self.run_quietly(vorn_table, ["make", "std.bin"])
        shutil.copy(self.path("std.bin"), self.path("MS932~EUC-JP.bin"))
        # ① takes the bytes of １ (raw code page 932, the same in every
        # locale) in the table of the current folder.
        self.assertEqual(
            self.run_quietly(OPTIONS.vorn, ["-w", b"-s\x87\x40", b"-e\x82\x50"]).stdout,
            "MS932~EUC-JP.bin is primarily accessible to vorn.\r\n"
            "8740 \u21d2 8250\r\n".encode("cp932"))
        self.run_quietly(vorn_table, ["chart", "--table", "MS932~EUC-JP.bin", "--against",
                                      "std.bin", "-o", "custom.html"])
        self.run_quietly(vorn_table, ["chart", "--table", "std.bin", "-o", "standard.html"])

        unmapped = self.run_quietly(vorn_table, ["unmapped", "--table", "MS932~EUC-JP.bin"])
        unmapped_count, records = map(int, re.fullmatch(
            rb"(\d+) unmapped of (\d+) records\n",
            unmapped.stdout.splitlines(True)[-1]).groups())
        diff = self.run_program(vorn_table, "diff", "std.bin", "MS932~EUC-JP.bin")
        self.assertEqual(diff.status, 1)
        changed_count = int(re.fullmatch(rb"(\d+) codes? differs?\n",
                                         diff.stdout.splitlines(True)[-1]).group(1))
        self.assertEqual((unmapped_count, records, changed_count), (2712, 9762, 1))

        for page in ("custom.html", "standard.html"):
            self.assert_self_contained(page)

        dom, shown = self.probe("custom.html")
        counts = {}
        for filter_id, count in re.findall(r'<a href="#([a-z-]+)"><i class="k[^"]*"></i>'
                                           r'<b>(\d+)</b>', dom):
            counts[filter_id] = int(count)
        self.assertEqual(counts, {"mapped": records - unmapped_count,
                                  "unmapped": unmapped_count, "no-record": 0,
                                  "changed": changed_count})
        self.assertEqual(shown["resources"], 0)
        self.assertEqual(shown["cells"], records)
        # Each count's link shows just its cells.
        self.assertEqual(shown["shown"], {"": records, "mapped": records - unmapped_count,
                                          "unmapped": unmapped_count, "no-record": 0,
                                          "changed": 1})
        # The changed cell is ①, and focusing it shows its bytes before and
        # after.
        changed = re.findall(r'<td class="([^"]*)" tabindex="0" title="([^"]*)">([^<]*)</td>',
                             dom)
        self.assertEqual([cell for cell in changed if "c" in cell[0].split()],
                         [("m c", "8740 \u2460 00 00 unmapped \u2192 A3 B1 \uff11", "\u2460")])
        self.assertEqual(shown["focusedTitle"], "8740 \u2460 00 00 unmapped \u2192 A3 B1 \uff11")
        self.assertEqual(shown["focusedShows"], '"%s"' % shown["focusedTitle"])
        self.assertIn("<title>MS932~EUC-JP.bin \u2013 code chart</title>", dom)

        # The standard table's chart opens quickly: DOMContentLoaded by the
        # browser's own navigation timing, the best of three loads.
        timings = []
        for _ in range(3):
            dom, shown = self.probe("standard.html")
            self.assertEqual((shown["resources"], shown["cells"]), (0, records))
            timings.append(shown["domContentLoaded"])
        size = os.path.getsize(self.path("standard.html"))
        print("standard table's chart: %d bytes, DOMContentLoaded after %s ms" % (
            size, ", ".join("%.0f" % t for t in timings)), file=sys.stderr)
        self.assertLess(size, 2 * 1000 * 1000)
        self.assertLess(min(timings), 1000)

        self.screenshot("standard.html", "chart-standard.png")
        self.screenshot("custom.html", "chart-customised.png")


def main():
    global CHROMIUM
    rest = harness.read_options("vorn", "vorn_table", "screenshots")
    CHROMIUM = shutil.which("chromium")
    if CHROMIUM is None:
        print("test_chart_browser.py: needs Chromium (apt-get install chromium "
              "fonts-ipafont-gothic)", file=sys.stderr)
        if os.environ.get("CI") == "true":
            return 1
        print("test_chart_browser.py: browser test skipped", file=sys.stderr)
        return SKIPPED
    program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
