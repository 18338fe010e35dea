#!/usr/bin/env python3
"""The Python module against the programs and against bz2, run by run.

Usage: bench/python_bench.py BIN_DIR PYTHON_TREE REPS FILE...

BIN_DIR holds the built vorn and unvorn, PYTHON_TREE the built package
(build/python). For every file each repetition times, in turn, the vorn
program and vorn.compress, the unvorn program and vorn.decompress (the
programs as whole processes reading and writing files, as a user runs
them; the module's calls in this process on bytes in memory),
bz2.compress(data, 9) and bz2.decompress; every result is checked. Prints
medians of wall time and the ratios the module is held to: its time
against the program's, and bz2's time against the module's. Then the peak
memory of vorn.decompress in a process of its own, against the restored
size.
"""
import bz2
import os
import statistics
import subprocess
import sys
import tempfile
import time


def program(path, src, dst):
    start = time.perf_counter()
    with open(src, "rb") as i, open(dst, "wb") as o:
        subprocess.run([path, "-q"], stdin=i, stdout=o, check=True)
    return time.perf_counter() - start


def call(fn, *args):
    start = time.perf_counter()
    result = fn(*args)
    return time.perf_counter() - start, result


# Run in a process of its own: the growth of its peak resident memory
# (VmHWM, which a forked process starts with its parent's, so it is reset
# first) while vorn.decompress restores the stream, beside the restored
# size.
MEMORY = """
import sys
sys.path.insert(0, sys.argv[1])
import vorn
def peak():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
stream = open(sys.argv[2], "rb").read()
with open("/proc/self/clear_refs", "w") as f:
    f.write("5")
before = peak()
out = vorn.decompress(stream)
print((peak() - before) / 1024, len(out) / 2**20)
"""


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    bindir, tree, reps = sys.argv[1], sys.argv[2], int(sys.argv[3])
    sys.path.insert(0, tree)
    import vorn

    print(f"vorn {vorn.__version__} on libvorn {vorn.LIBRARY_VERSION}, Python {sys.version.split()[0]}; "
          f"medians of {reps} runs, wall time")
    print(f"{'input':<24} {'program c':>10} {'compress':>9} {'ratio':>6} {'program d':>10} {'decompress':>10} "
          f"{'ratio':>6} {'bz2 c':>8} {'x bz2':>6} {'bz2 d':>8} {'x bz2':>6}")
    with tempfile.TemporaryDirectory() as work:
        for path in sys.argv[4:]:
            data = open(path, "rb").read()
            packed = os.path.join(work, "packed")
            restored = os.path.join(work, "restored")
            t = {k: [] for k in ("pc", "mc", "pd", "md", "bc", "bd")}
            bzstream = bz2.compress(data, 9)
            for _ in range(reps):
                t["pc"].append(program(os.path.join(bindir, "vorn"), path, packed))
                spent, stream = call(vorn.compress, data)
                t["mc"].append(spent)
                assert stream == open(packed, "rb").read(), "the module's stream differs from the program's"
                t["pd"].append(program(os.path.join(bindir, "unvorn"), packed, restored))
                spent, back = call(vorn.decompress, stream)
                t["md"].append(spent)
                assert back == data and open(restored, "rb").read() == data, "a restoration differs"
                t["bc"].append(call(bz2.compress, data, 9)[0])
                spent, back = call(bz2.decompress, bzstream)
                t["bd"].append(spent)
                assert back == data
            m = {k: statistics.median(v) for k, v in t.items()}
            name = os.path.basename(path)
            print(f"{name:<24} {m['pc']:9.3f}s {m['mc']:8.3f}s {m['mc'] / m['pc']:6.2f} {m['pd']:9.3f}s "
                  f"{m['md']:9.3f}s {m['md'] / m['pd']:6.2f} {m['bc']:7.3f}s {m['bc'] / m['mc']:6.2f} "
                  f"{m['bd']:7.3f}s {m['bd'] / m['md']:6.2f}")
            with open(packed, "wb") as f:
                f.write(vorn.compress(data))
            grown, size = subprocess.run([sys.executable, "-c", MEMORY, tree, packed], capture_output=True, text=True,
                                         check=True).stdout.split()
            print(f"{'':<24} vorn.decompress: peak memory grew by {float(grown):.1f} MiB for "
                  f"{float(size):.1f} MiB restored")
    print("ratio: the module's time over the program's; x bz2: bz2's time over the module's")


if __name__ == "__main__":
    main()
