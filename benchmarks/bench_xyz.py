"""Reading speed and memory of morvane.read_xyz, side by side with pandas' C reader and numpy.loadtxt.

    python benchmarks/bench_xyz.py [--atoms 1000000] [--repeat 7] [--no-large]

Seven file shapes that users write, each with --atoms atoms: 17-digit repr
coordinates, %.8f and %.4e coordinates (these three with one blank between
values), %15.8f columns, E exponents with tabs, D exponents (which loadtxt
reads through a converter), and comma-separated values with CRLF line ends.
Times are the best of --repeat reads of a file already in the page cache,
on one thread, the readers taking turns in each round so that a slower
spell of the machine falls on all of them.

pandas reads the three single-blank shapes with its C reader,
read_csv(path, sep=" ", header=None, skiprows=2, engine="c"): the count and
cell lines skipped, every atom line parsed into a DataFrame of four columns.
"ours/pandas" is the ratio of the times (below 1: read_xyz is faster).
numpy.loadtxt reads every shape, in --numpy-repeat rounds (it is slow).

Two large cases follow (skipped with --no-large): a 3-atom structure
followed by 1 GB of further lines, and a 2 GiB file whose first byte is
bad.  Both are sparse files in a temporary directory, deleted afterwards.

Peak extra memory is measured in a fresh child process: its resident
high-water mark, reset just before the read, against its resident set
before it.  The limit is 32 bytes per atom plus 8 MiB.  It is measured for
the file read by name and again for the same text read through a pipe,
where the count cannot be trusted for memory and the arrays grow as the
atoms come.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import textwrap
import time

import numpy as np
import pandas as pd

import morvane

MiB = 1 << 20
ELEMENTS = np.array([1, 6, 7, 8, 26, 79])
CELL = "cell: 100.0 0.0 0.0 | 0.0 100.0 0.0 | 0.0 0.0 100.0"


def d_exponent(text):
    return float(text.replace("D", "E"))


# name: (line format, line end, numpy.loadtxt keyword arguments, target MB/s,
# read by pandas)
SHAPES = {
    "17-digit repr": ("{z} {x!r} {y!r} {w!r}", "\n", {}, 1000, True),
    "%.8f": ("{z} {x:.8f} {y:.8f} {w:.8f}", "\n", {}, 600, True),
    "%.4e": ("{z} {x:.4e} {y:.4e} {w:.4e}", "\n", {}, 600, True),
    "%15.8f columns": ("{z:3d}{x:15.8f}{y:15.8f}{w:15.8f}", "\n", {}, 400, False),
    "E exponents, tabs": ("{z}\t{x:.10E}\t{y:.10E}\t{w:.10E}", "\n", {}, 400, False),
    "D exponents": ("{z} {xd} {yd} {wd}", "\n",
                    {"converters": {i: d_exponent for i in (1, 2, 3)}}, 400, False),
    "commas, CRLF": ("{z},{x!r},{y!r},{w!r}", "\r\n", {"delimiter": ","}, 400, False),
}


def write_shape(path, shape, natom, rng):
    line, end, _, _, _ = SHAPES[shape]
    z = rng.choice(ELEMENTS, natom).tolist()
    xyz = rng.uniform(-50.0, 50.0, (natom, 3)).tolist()
    with open(path, "w", newline="") as f:
        f.write(f"{natom}{end}{CELL}{end}")
        chunk = []
        for n, (x, y, w) in zip(z, xyz):
            fields = {"z": n, "x": x, "y": y, "w": w}
            if "xd" in line:
                fields.update(xd=f"{x:.10E}".replace("E", "D"), yd=f"{y:.10E}".replace("E", "D"),
                              wd=f"{w:.10E}".replace("E", "D"))
            chunk.append(line.format(**fields) + end)
            if len(chunk) == 10000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))


def sparse_file(path, head, size):
    """head, then zero bytes up to size: no disk blocks and quickly made."""
    with open(path, "wb") as f:
        f.write(head)
        f.truncate(size)


def best_time(read, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        read()
        best = min(best, time.perf_counter() - start)
    return best


def best_times(reads, repeat):
    """Best time of each read, the reads taking turns in every round."""
    best = {name: float("inf") for name in reads}
    for _ in range(repeat):
        for name, read in reads.items():
            start = time.perf_counter()
            read()
            best[name] = min(best[name], time.perf_counter() - start)
    return best


def pandas_read(path):
    return pd.read_csv(path, sep=" ", header=None, skiprows=2, engine="c")


def raises_value_error(path):
    try:
        morvane.read_xyz(path)
    except ValueError:
        return
    raise AssertionError(f"{path}: wanted a ValueError")


PEAK_PROBE = textwrap.dedent("""
    import sys, morvane

    def status(field):
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024

    # A first small read faults in the reader's code, which is not the
    # read's memory.
    morvane.read_xyz(sys.argv[2])
    before = status("VmRSS")
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # resets the high-water mark to the current resident set
    try:
        morvane.read_xyz(sys.argv[1])
    except ValueError:
        pass
    print(status("VmHWM") - before)
""")


def peak_extra_bytes(path, warm_up, pipe=False):
    """Of reading path by name, or (pipe) of reading its text from a pipe."""
    if not pipe:
        result = subprocess.run([sys.executable, "-c", PEAK_PROBE, path, warm_up],
                                capture_output=True, text=True, check=True)
        return int(result.stdout)
    with subprocess.Popen(["cat", path], stdout=subprocess.PIPE) as writer:
        result = subprocess.run([sys.executable, "-c", PEAK_PROBE, "/dev/stdin", warm_up],
                                stdin=writer.stdout, capture_output=True, text=True, check=True)
        writer.stdout.close()
    return int(result.stdout)


def print_table(columns, rows):
    widths = [max(len(c), *(len(r[i]) for r in rows)) for i, c in enumerate(columns)]
    print("  ".join(c.rjust(w) for c, w in zip(columns, widths)))
    for row in rows:
        print("  ".join(v.rjust(w) for v, w in zip(row, widths)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--atoms", type=int, default=10**6)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--numpy-repeat", type=int, default=3)
    parser.add_argument("--no-large", action="store_true", help="skip the 1 GB and 2 GiB cases")
    args = parser.parse_args()

    rng = np.random.default_rng(12345)
    limit = 32 * args.atoms + 8 * MiB
    with tempfile.TemporaryDirectory() as directory:
        warm_up = os.path.join(directory, "warm_up.xyz")
        with open(warm_up, "w") as f:
            f.write(f"1\n{CELL}\n8 0 0 0\n")

        rows = []
        for shape, (_, _, loadtxt_args, target, by_pandas) in SHAPES.items():
            path = os.path.join(directory, "shape.xyz")
            write_shape(path, shape, args.atoms, rng)
            mb = os.path.getsize(path) / 1e6
            reads = {"ours": lambda: morvane.read_xyz(path)}
            if by_pandas:
                reads["pandas"] = lambda: pandas_read(path)
            best = best_times(reads, args.repeat)
            t_ours = best["ours"]
            t_np = best_time(lambda: np.loadtxt(path, skiprows=2, usecols=(0, 1, 2, 3),
                                                **loadtxt_args), args.numpy_repeat)
            peak = peak_extra_bytes(path, warm_up)
            peak_pipe = peak_extra_bytes(path, warm_up, pipe=True)
            faster = not by_pandas or t_ours < best["pandas"]
            within = max(peak, peak_pipe) <= limit and mb / t_ours >= target and faster
            pandas_columns = ([f"{best['pandas']:.4f}", f"{mb / best['pandas']:.0f}",
                               f"{t_ours / best['pandas']:.2f}"] if by_pandas else ["-", "-", "-"])
            rows.append([shape, f"{mb:.1f}", f"{t_ours:.4f}", f"{mb / t_ours:.0f}", str(target),
                         *pandas_columns,
                         f"{t_np:.4f}", f"{mb / t_np:.0f}", f"{t_np / t_ours:.1f}x",
                         f"{peak / MiB:.1f}", f"{peak_pipe / MiB:.1f}", f"{limit / MiB:.1f}",
                         "yes" if within else "NO"])
            os.remove(path)
        print(f"{args.atoms:,} atoms, best of {args.repeat} (pandas interleaved), "
              f"numpy best of {args.numpy_repeat}; pandas {pd.__version__}, numpy {np.__version__}")
        print_table(["file shape", "MB", "read_xyz s", "MB/s", "target", "pandas s", "MB/s",
                     "ours/pandas", "loadtxt s", "MB/s", "speed-up", "peak MiB", "pipe MiB",
                     "limit MiB", "within"], rows)

        if args.no_large:
            return
        rows = []
        small = f"3\n{CELL}\n8 0 0 0.1174\n1 0 0.7572 -0.4696\n1 0 -0.7572 -0.4696\n".encode()
        cases = [
            ("3 atoms, then 1 GB", small + b"further line\n", 10**9, morvane.read_xyz,
             10e-3, 16 * MiB),
            ("2 GiB, bad first byte", b"x", 2 << 30, raises_value_error, 10e-3, None),
        ]
        for name, head, size, read, time_target, memory_target in cases:
            path = os.path.join(directory, "large.xyz")
            sparse_file(path, head, size)
            t = best_time(lambda: read(path), args.repeat)
            peak = peak_extra_bytes(path, warm_up)
            within = t < time_target and (memory_target is None or peak < memory_target)
            rows.append([name, f"{size / 1e6:.0f}", f"{t * 1e3:.2f}", f"{time_target * 1e3:.0f}",
                         f"{peak / MiB:.1f}",
                         "-" if memory_target is None else f"{memory_target / MiB:.0f}",
                         "yes" if within else "NO"])
            os.remove(path)
        print()
        print_table(["large file", "MB", "read_xyz ms", "target ms", "peak MiB", "target MiB",
                     "within"], rows)


if __name__ == "__main__":
    main()
