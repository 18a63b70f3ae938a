#!/usr/bin/env python3
"""Times quennel against its floors and peers on the data of generate.py; writes a table."""

import argparse
import datetime
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
running = []  # the process group being measured, to end it with this script


def stop(signum, _frame):
    for pid in running:
        try:
            os.killpg(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    sys.exit(128 + signum)


class Row:
    def __init__(self, key, group, label, argv, expect, prepare=None, verify=None, after=None):
        self.key, self.group, self.label = key, group, label
        self.argv = argv            # list, or a str run by sh
        self.expect = expect        # the exit code that means "worked"
        self.prepare = prepare      # untimed, before each repetition
        self.verify = verify        # untimed, after each repetition: error text or None
        self.after = after          # a row that must have worked, or this one is skipped
        self.walls, self.peaks_kb = [], []
        self.status = "not run"

    @property
    def uses_quennel(self):
        text = self.argv if isinstance(self.argv, str) else " ".join(self.argv)
        return "quennel" in os.path.basename(text.split()[0])

    def command_text(self, data):
        text = self.argv if isinstance(self.argv, str) else " ".join(self.argv)
        return text.replace(data + "/", "").replace(os.path.dirname(data) + "/", "")


def run_once(argv, timeout, out_path, err_path, time_path):
    """Runs one command; returns (wall seconds, peak RSS KB, exit code or status text)."""
    shell = isinstance(argv, str)
    # GNU time forks from a small process: measured from here, the peak would include the
    # RSS of this Python process, which the forked child inherits until it execs
    cmd = ["/usr/bin/time", "-f", "%x %M", "-o", time_path] + (["sh", "-c", argv] if shell else argv)
    timed_out = []

    def kill():
        timed_out.append(True)
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        try:
            proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    start_new_session=True)
        except OSError as e:
            return 0.0, 0, "cannot start (%s)" % e.strerror
        running.append(proc.pid)
        timer = threading.Timer(timeout, kill)
        timer.daemon = True
        timer.start()
        proc.wait()
        wall = time.perf_counter() - start
        timer.cancel()
        running.remove(proc.pid)
    if timed_out:
        return wall, 0, "TIMEOUT (%ds)" % timeout
    try:
        with open(time_path) as f:
            lines = f.read().splitlines()
        for line in lines:
            if line.startswith("Command terminated by signal"):
                return wall, 0, "CRASH (%s)" % signal_name(int(line.split()[-1]))
        rc, peak = lines[-1].split()
        return wall, int(peak), int(rc)
    except (OSError, ValueError, IndexError):
        return wall, 0, "no timing (/usr/bin/time exit %d)" % proc.returncode


def signal_name(n):
    try:
        return signal.Signals(n).name
    except ValueError:
        return "signal %d" % n


def measure(row, reps, timeout, work):
    out_path = os.path.join(work, row.key + ".stdout")
    err_path = os.path.join(work, row.key + ".stderr")
    time_path = os.path.join(work, row.key + ".time")
    for _ in range(reps):
        if row.prepare:
            row.prepare()
        wall, peak, rc = run_once(row.argv, timeout, out_path, err_path, time_path)
        if isinstance(rc, str):
            row.status = rc
            return
        if rc != row.expect:
            # sh reports a child killed by a signal as 128 + its number
            if isinstance(row.argv, str) and rc > 128:
                row.status = "CRASH (%s)" % signal_name(rc - 128)
            else:
                row.status = "exit %d, expected %d" % (rc, row.expect)
            return
        if row.verify:
            problem = row.verify(out_path)
            if problem:
                row.status = problem
                return
        row.walls.append(wall)
        row.peaks_kb.append(peak)
    row.status = "ok"


def ok(row):
    return row is not None and row.status == "ok"


def median(row):
    return statistics.median(row.walls)


def peak_mb(row):
    return max(row.peaks_kb) / 1024.0


def fresh_copy(src, dst):
    return lambda: shutil.copyfile(src, dst)


def lacks(path, text):
    needle = text.encode()

    def check(_stdout):
        with open(path, "rb") as f:
            return ("%s still in %s" % (text, os.path.basename(path))) if needle in f.read() else None
    return check


def stdout_is(empty):
    def check(stdout):
        with open(stdout, "rb") as f:
            blank = not f.read().strip()
        if blank != empty:
            return "expected %s output" % ("empty" if empty else "some")
        return None
    return check


def build_rows(q, data, work, quick):
    rows = []

    def add(*args, **kw):
        rows.append(Row(*args, **kw))
        return rows[-1]

    def d(name):
        return os.path.join(data, name)

    def w(name):
        return os.path.join(work, name)

    with open(d("records-10mb.most-frequent")) as f:
        frequent = f.read().strip()

    # small pair: xmldiff is far too slow for anything larger
    a, same, changed = d("records-1mb.xml"), d("records-1mb-copy.xml"), d("records-1mb-changed.xml")
    add("q-1mb-same", "diff 1 MB", "quennel, identical copy", [q, a, same], 0)
    add("q-1mb-changed", "diff 1 MB", "quennel, changed copy", [q, a, changed], 1)
    add("xmldiff-1mb-same", "diff 1 MB", "xmldiff, identical copy", ["xmldiff", a, same], 0,
        verify=stdout_is(empty=True))
    add("xmldiff-1mb-changed", "diff 1 MB", "xmldiff, changed copy", ["xmldiff", a, changed], 0,
        verify=stdout_is(empty=False))

    for size in ("10mb",) if quick else ("10mb", "100mb"):
        g = "diff %s" % size.replace("mb", " MB")
        a, same, changed = (d("records-%s.xml" % size), d("records-%s-copy.xml" % size),
                            d("records-%s-changed.xml" % size))
        add("q-%s-same" % size, g, "quennel, identical copy", [q, a, same], 0)
        add("q-%s-changed" % size, g, "quennel, changed copy", [q, a, changed], 1)
        add("q-%s-list" % size, g, "quennel -l, changed copy", [q, "-l", a, changed], 1)
        add("q-%s-json" % size, g, "quennel -j, changed copy", [q, "-j", a, changed], 1)
        add("q-%s-verbose" % size, g, "quennel -v, changed copy", [q, "-v", a, changed], 1)
        add("q-%s-ignore" % size, g, "quennel -i %s, changed copy" % frequent,
            [q, a, changed, "-i", frequent], 1)
        if size == "100mb":
            scattered = d("records-100mb-scattered.xml")
            add("q-100mb-scattered", g, "quennel, 10,000 prices changed", [q, a, scattered], 1)
            add("q-100mb-scattered-list", g, "quennel -l, 10,000 prices changed",
                [q, "-l", a, scattered], 1)
        if size == "100mb":
            # Where a listing cannot line up cheaply: one large child, and files that never
            # line up again. -v must stay in bounded memory on both.
            g2 = "listing"
            one, other = d("one-child.xml"), d("one-child-changed.xml")
            add("q-onechild", g2, "quennel, one 34 MB child changed inside", [q, one, other], 1)
            add("q-onechild-verbose", g2, "quennel -v, one 34 MB child changed inside",
                [q, "-v", one, other], 1)
            add("q-onechild-list", g2, "quennel -l, one 34 MB child changed inside",
                [q, "-l", one, other], 1)
            add("q-never-verbose", g2, "quennel -v, 23 MB differing in every child",
                [q, "-v", d("never.xml"), d("never-other.xml")], 1)
        add("dc1-%s" % size, g, "DOMCount -n, one file", ["DOMCount", "-n", a], 0)
        # when one file already timed out, both in turn would only wait longer
        add("dc2-%s" % size, g, "DOMCount -n, both files in turn",
            "DOMCount -n %s && DOMCount -n %s" % (a, same), 0, after="dc1-%s" % size)
        if size == "100mb":
            add("dc1-%s-norefs" % size, g, "DOMCount -n, one file, variant without references",
                ["DOMCount", "-n", d("records-%s-norefs.xml" % size)], 0)
        c14n = "xmllint --c14n %s > %s && xmllint --c14n %s > %s && cmp -s %s %s"
        add("c14n-%s-same" % size, g, "c14n + cmp, identical copy",
            c14n % (a, w("A.c14n"), same, w("B.c14n"), w("A.c14n"), w("B.c14n")), 0)
        add("c14n-%s-changed" % size, g, "c14n + cmp, changed copy",
            c14n % (a, w("A.c14n"), changed, w("B.c14n"), w("A.c14n"), w("B.c14n")), 1)

    for n in ("10k",) if quick else ("10k", "100k"):
        g = "wide %s" % n
        a = d("wide-%s.xml" % n)
        add("q-wide-%s-inorder" % n, g, "quennel, in order vs copy", [q, a, d("wide-%s-copy.xml" % n)], 0)
        add("q-wide-%s-o-copy" % n, g, "quennel -o vs copy", [q, "-o", a, d("wide-%s-copy.xml" % n)], 0)
        add("q-wide-%s-o-shuffled" % n, g, "quennel -o vs shuffled copy",
            [q, "-o", a, d("wide-%s-shuffled.xml" % n)], 0)

    for size in ("10mb",) if quick else ("10mb", "100mb"):
        g = "remove %s" % size.replace("mb", " MB")
        a, target = d("records-%s.xml" % size), w("records-%s.xml" % size)
        add("q-r-%s" % size, g, "quennel -r %s (fresh copy)" % frequent, [q, "-r", target, frequent], 1,
            prepare=fresh_copy(a, target), verify=lacks(target, "<%s>" % frequent))
        add("q-rk-%s" % size, g, "quennel -r -k %s (fresh copy)" % frequent,
            [q, "-r", "-k", target, frequent], 1,
            prepare=fresh_copy(a, target), verify=lacks(target, "<%s>" % frequent))
        # the same element, by the tool most scripts use for it
        add("xmlstarlet-%s" % size, g, "xmlstarlet ed -d //%s > file" % frequent,
            "xmlstarlet ed -d //%s %s > %s" % (frequent, a, w("xmlstarlet.out")), 0)
        if size == "10mb":
            add("domprint-%s" % size, g, "DOMPrint -n > file",
                "DOMPrint -n %s > %s" % (a, w("domprint.out")), 0)
        else:
            add("domprint-%s" % size, g, "DOMPrint -n > file, variant without references",
                "DOMPrint -n %s > %s" % (d("records-%s-norefs.xml" % size), w("domprint.out")), 0)

    for n in ("10k",) if quick else ("10k", "100k"):
        g = "deep %s" % n
        a, target = d("deep-%s.xml" % n), w("deep-%s.xml" % n)
        add("q-deep-%s-diff" % n, g, "quennel vs copy", [q, a, d("deep-%s-copy.xml" % n)], 0)
        add("q-deep-%s-r" % n, g, "quennel -r mid (fresh copy, cuts at half depth)",
            [q, "-r", target, "mid"], 1, prepare=fresh_copy(a, target), verify=lacks(target, "<mid>"))
        add("q-deep-%s-parse" % n, g, "quennel parse only (-r of an absent name)",
            [q, "-r", target, "absent"], 1, prepare=fresh_copy(a, target))
        add("dc1-deep-%s" % n, g, "DOMCount -n", ["DOMCount", "-n", a], 0)
        add("xmllint-deep-%s" % n, g, "xmllint --noout --huge", ["xmllint", "--noout", "--huge", a], 0)
    return rows, frequent


def ratios(rows):
    by = {r.key: r for r in rows}
    out = []

    def ratio(name, num, den, target, value=median, scale=1.0):
        n, dd = by.get(num), by.get(den)
        if n is None or dd is None:
            return
        if ok(n) and ok(dd) and value(dd) > 0:
            v = value(n) / (scale * value(dd))
            out.append((name, "%.2f" % v, "<= %.1f" % target, "PASS" if v <= target else "FAIL"))
        else:
            bad = n if not ok(n) else dd
            out.append((name, "n/a", "<= %.1f" % target,
                        "FAIL (%s: %s)" % (bad.key if bad else "?", bad.status if bad else "missing")))

    for size, label in (("10mb", "10 MB"), ("100mb", "100 MB")):
        for kind in ("same", "changed"):
            what = "identical" if kind == "same" else "changed"
            if size == "10mb":
                ratio("diff %s %s: quennel / (2 x DOMCount)" % (label, what),
                      "q-%s-%s" % (size, kind), "dc2-%s" % size, 0.6)
            ratio("diff %s %s: quennel / c14n+cmp" % (label, what),
                  "q-%s-%s" % (size, kind), "c14n-%s-%s" % (size, kind), 1.0 if size == "10mb" else 1.5)
        # Xerces itself can take too long on references at 100 MB: then the same records without
        dc1, why = "dc1-%s" % size, "DOMCount -n"
        if dc1 in by and not ok(by[dc1]) and dc1 + "-norefs" in by:
            dc1, why = dc1 + "-norefs", "DOMCount -n without references, on the document: %s" % by[dc1].status
        ratio("diff %s identical: quennel peak / one DOMCount peak (%s)" % (label, why),
              "q-%s-same" % size, dc1, 2.2, value=peak_mb)
        for option, key in (("-l", "list"), ("-j", "json"), ("-v", "verbose"), ("-i", "ignore")):
            ratio("diff %s changed: quennel %s / quennel" % (label, option),
                  "q-%s-%s" % (size, key), "q-%s-changed" % size, 1.3)
            ratio("diff %s changed: quennel %s peak / quennel peak" % (label, option),
                  "q-%s-%s" % (size, key), "q-%s-changed" % size, 1.3, value=peak_mb)
    ratio("diff 100 MB, 10,000 differences: quennel -l / quennel", "q-100mb-scattered-list",
          "q-100mb-scattered", 1.5)
    for key, what in (("q-onechild-verbose", "one large child"), ("q-never-verbose", "never lining up")):
        row = by.get(key)
        if row is not None:
            if ok(row):
                v = peak_mb(row)
                out.append(("-v peak MiB, %s" % what, "%.1f" % v, "<= 64", "PASS" if v <= 64 else "FAIL"))
            else:
                out.append(("-v peak MiB, %s" % what, "n/a", "<= 64", "FAIL (%s)" % row.status))
    for n in ("10k", "100k"):
        ratio("-o wide-%s: shuffled / in order vs copy" % n,
              "q-wide-%s-o-shuffled" % n, "q-wide-%s-inorder" % n, 1.5)
    ratio("-r 10 MB / DOMPrint 10 MB", "q-r-10mb", "domprint-10mb", 1.1)
    ratio("-r 100 MB / DOMPrint 100 MB without references", "q-r-100mb", "domprint-100mb", 1.3)
    for size, label in (("10mb", "10 MB"), ("100mb", "100 MB")):
        ratio("-r -k %s / xmlstarlet ed -d" % label, "q-rk-%s" % size, "xmlstarlet-%s" % size, 0.5)
        # Both remove as they read: what they hold is the depth, not the file.
        for key, what in (("q-r-%s" % size, "-r"), ("q-rk-%s" % size, "-r -k")):
            row = by.get(key)
            if row is not None:
                v = peak_mb(row) if ok(row) else None
                out.append(("%s %s peak MiB" % (what, label), "n/a" if v is None else "%.1f" % v,
                            "<= 64", "PASS" if v is not None and v <= 64 else "FAIL"))
    # The target is about deep-100k; at 10k both runs take milliseconds and start-up dominates.
    # DOMCount -n parses the way quennel does (namespaces on); if it failed, quennel's own parse.
    # A diff parses two files, -r one.
    floor, why = "dc1-deep-100k", "DOMCount -n"
    if floor in by and not ok(by[floor]):
        floor, why = "q-deep-100k-parse", "quennel parse only, DOMCount -n: %s" % by[floor].status
    if floor in by:
        ratio("deep-100k: diff / parse of both files (%s)" % why, "q-deep-100k-diff", floor, 1.2,
              scale=2.0)
        ratio("deep-100k: -r / parse of the file (%s)" % why, "q-deep-100k-r", floor, 1.2)
    return out


def read_first(path, prefix):
    try:
        with open(path) as f:
            for line in f:
                if line.startswith(prefix):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "?"


def package_version(name):
    try:
        return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                              text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return "?"


def machine_line():
    mem_kb = read_first("/proc/meminfo", "MemTotal").split()[0]
    mem = "%.1f GiB" % (int(mem_kb) / 1048576.0) if mem_kb.isdigit() else "?"
    load = "%.2f" % os.getloadavg()[0]
    return ("%s; %d cores; %s; kernel %s; Xerces-C %s; libxml2 %s; load %s at start; %s"
            % (read_first("/proc/cpuinfo", "model name"), os.cpu_count() or 0, mem,
               platform.release(), package_version("libxerces-c3.2"), package_version("libxml2"),
               load, datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")))


def table(header, body):
    widths = [max(len(str(x)) for x in col) for col in zip(header, *body)]
    line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
    sep = "|" + "|".join("-" * (w + 2) for w in widths) + "|"
    return "\n".join([line(header), sep] + [line(r) for r in body])


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--quennel", required=True)
    ap.add_argument("--data", default=os.path.join(HERE, "data"))
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--timeout", type=int, default=600, help="seconds per command")
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--results", help="markdown file to write")
    ap.add_argument("--only", help="comma-separated parts of row keys: measure only those rows")
    args = ap.parse_args()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    data = os.path.abspath(args.data)
    work = os.path.join(data, "work")
    os.makedirs(work, exist_ok=True)
    q = os.path.abspath(args.quennel)
    rows, frequent = build_rows(q, data, work, args.quick)
    if args.only:
        parts = args.only.split(",")
        rows = [r for r in rows if any(p in r.key for p in parts)]
    machine = machine_line()
    print(machine, flush=True)

    by = {r.key: r for r in rows}
    for row in rows:
        if row.uses_quennel and not os.access(q, os.X_OK):
            row.status = "no quennel binary"
        elif row.after in by and not ok(by[row.after]):
            row.status = "skipped (%s: %s)" % (row.after, by[row.after].status)
        else:
            print("  %-22s %s" % (row.key, row.command_text(data)), end=" ... ", flush=True)
            measure(row, args.reps, args.timeout, work)
            print("%s" % (("%.3f s" % median(row)) if ok(row) else row.status), flush=True)

    body = []
    for r in rows:
        if ok(r):
            spread = "%.3f-%.3f" % (min(r.walls), max(r.walls)) if len(r.walls) > 1 else ""
            body.append((r.group, r.label, "%.3f" % median(r), spread, "%.1f" % peak_mb(r),
                         len(r.walls), r.status))
        else:
            body.append((r.group, r.label, "-", "", "-", len(r.walls), r.status))
    measurements = table(("set", "measurement", "median s", "min-max s", "peak MiB", "runs", "status"),
                         body)
    ratio_rows = ratios(rows)
    verdicts = table(("ratio", "value", "target", "result"), ratio_rows)
    mode = "quick run (small sets)" if args.quick else "full run"
    text = ("# quennel benchmark results\n\n%s, %d repetition(s), medians, timeout %d s per command.\n\n"
            "Machine: %s\n\nMost frequent element of the 10 MB document: `%s`\n\n"
            "## Measurements\n\n%s\n\n## Targets\n\n%s\n"
            % (mode, args.reps, args.timeout, machine, frequent, measurements, verdicts))
    print()
    print(measurements)
    print()
    print(verdicts)
    if args.results:
        with open(args.results, "w") as f:
            f.write(text)
        print("\nwritten to %s" % args.results)

    # a floor or peer that fails is only reported; a quennel run that fails is a failure
    if any(r.uses_quennel and not ok(r) for r in rows):
        return 2
    return 1 if any(not s.startswith("PASS") for *_, s in ratio_rows) else 0


if __name__ == "__main__":
    sys.exit(main())
