#!/usr/bin/env python3
"""Two builds of vorn and unvorn against each other, run by run.

Usage: bench/compare.py BEFORE_DIR AFTER_DIR REPS FILE...

Each directory holds a vorn and an unvorn. For every file, each repetition
compresses it with both builds and restores BEFORE's stream with both,
alternating which build goes first, and checks every output byte for byte.
Prints the medians of wall and processor time (user + system, all threads)
of the whole processes, and AFTER's change against BEFORE.
"""
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def timed(program, src, dst):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(src, "rb") as i, open(dst, "wb") as o:
        subprocess.run([program, "-q"], stdin=i, stdout=o, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return wall, cpu


def same(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        return x.read() == y.read()


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    builds = {"before": sys.argv[1], "after": sys.argv[2]}
    reps = int(sys.argv[3])
    work = tempfile.mkdtemp()
    for path in sys.argv[4:]:
        stream = f"{work}/stream"
        subprocess.run([f"{builds['before']}/vorn", "-q"], stdin=open(path, "rb"), stdout=open(stream, "wb"), check=True)
        times = {}
        for r in range(reps):
            order = list(builds.items()) if r % 2 == 0 else list(reversed(builds.items()))
            for name, d in order:
                for what, program, src in (("vorn", "vorn", path), ("unvorn", "unvorn", stream)):
                    out = f"{work}/out"
                    times.setdefault((what, name), []).append(timed(f"{d}/{program}", src, out))
                    if not same(out, stream if what == "vorn" else path):
                        sys.exit(f"{name} {what} gave other bytes on {path}")
        for what in ("vorn", "unvorn"):
            row = []
            for name in builds:
                t = times[(what, name)]
                row.append((statistics.median(x[0] for x in t), statistics.median(x[1] for x in t)))
            (bw, bc), (aw, ac) = row
            print(f"{path}: {what:6s} wall {bw * 1000:7.1f} -> {aw * 1000:7.1f} ms ({aw / bw - 1:+6.1%})"
                  f"   proc {bc * 1000:7.1f} -> {ac * 1000:7.1f} ms ({ac / bc - 1:+6.1%})")


main()
