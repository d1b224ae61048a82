"""Reading speed and memory of morvane.read_xyz against numpy.loadtxt (and
ase.io.read when ase is installed), on generated files of 10^3, 10^5 and 10^6
atoms.

    python benchmarks/bench_xyz.py [--sizes 1000 100000 1000000] [--repeat 3]

Times are the best of --repeat reads of a file already in the page cache.
Peak extra memory is measured in a fresh child process: its resident set
before the read against its high-water mark after it, which no Python-level
tracer can see into.  The limit is the file's size plus 32 bytes per atom.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import textwrap
import time

import numpy as np

import morvane

try:
    import ase.io
except ImportError:
    ase = None

ELEMENTS = np.array([1, 6, 7, 8, 26, 79])
SYMBOLS = {1: "H", 6: "C", 7: "N", 8: "O", 26: "Fe", 79: "Au"}


def write_files(directory, natom, rng):
    """Writes the same structure as this reader's file and as standard XYZ."""
    z = rng.choice(ELEMENTS, natom)
    xyz = rng.uniform(-50.0, 50.0, (natom, 3))
    coords = [f"{x:.6f} {y:.6f} {w:.6f}" for x, y, w in xyz]
    ours = os.path.join(directory, f"atoms_{natom}.xyz")
    with open(ours, "w") as f:
        f.write(f"{natom}\ncell: 100.0 0.0 0.0 | 0.0 100.0 0.0 | 0.0 0.0 100.0\n")
        f.writelines(f"{n} {c}\n" for n, c in zip(z, coords))
    standard = os.path.join(directory, f"atoms_{natom}_standard.xyz")
    with open(standard, "w") as f:
        f.write(f'{natom}\nLattice="100.0 0.0 0.0 0.0 100.0 0.0 0.0 0.0 100.0"\n')
        f.writelines(f"{SYMBOLS[n]} {c}\n" for n, c in zip(z, coords))
    return ours, standard


def best_time(read, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        read()
        best = min(best, time.perf_counter() - start)
    return best


PEAK_PROBE = textwrap.dedent("""
    import resource, sys, morvane

    def status(field):
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024
        return None

    # A first small read faults in the reader's code, which is not the
    # read's memory.
    morvane.read_xyz(sys.argv[2])
    before = status("VmRSS")
    try:
        # Resets the high-water mark to the current resident set.
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        reset = True
    except OSError:
        reset = False
    if before is None or not reset:
        # Only an upper bound of the read's own peak would be possible here.
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
        morvane.read_xyz(sys.argv[1])
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    else:
        morvane.read_xyz(sys.argv[1])
        after = status("VmHWM")
    print(after - before)
""")


def peak_extra_bytes(path, warm_up):
    result = subprocess.run([sys.executable, "-c", PEAK_PROBE, path, warm_up],
                            capture_output=True, text=True, check=True)
    return int(result.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[10**3, 10**5, 10**6])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    rng = np.random.default_rng(12345)
    columns = ["atoms", "file MB", "read_xyz s", "MB/s", "loadtxt s", "MB/s", "speed-up"]
    if ase is not None:
        columns += ["ase s", "MB/s"]
    columns += ["peak extra MB", "limit MB", "within"]
    rows = []
    with tempfile.TemporaryDirectory() as directory:
        warm_up, _ = write_files(directory, 1, rng)
        for natom in args.sizes:
            ours, standard = write_files(directory, natom, rng)
            mb = os.path.getsize(ours) / 1e6
            t_ours = best_time(lambda: morvane.read_xyz(ours), args.repeat)
            t_np = best_time(lambda: np.loadtxt(ours, skiprows=2, usecols=(0, 1, 2, 3)),
                             args.repeat)
            row = [f"{natom:,}", f"{mb:.2f}", f"{t_ours:.4f}", f"{mb / t_ours:.0f}",
                   f"{t_np:.4f}", f"{mb / t_np:.0f}", f"{t_np / t_ours:.1f}x"]
            if ase is not None:
                t_ase = best_time(lambda: ase.io.read(standard, format="extxyz"), args.repeat)
                row += [f"{t_ase:.4f}", f"{os.path.getsize(standard) / 1e6 / t_ase:.0f}"]
            peak = peak_extra_bytes(ours, warm_up)
            limit = os.path.getsize(ours) + 32 * natom
            row += [f"{peak / 1e6:.2f}", f"{limit / 1e6:.2f}", "yes" if peak <= limit else "NO"]
            rows.append(row)

    widths = [max(len(c), *(len(r[i]) for r in rows)) for i, c in enumerate(columns)]
    print("  ".join(c.rjust(w) for c, w in zip(columns, widths)))
    for row in rows:
        print("  ".join(v.rjust(w) for v, w in zip(row, widths)))
    if ase is None:
        print("(ase not installed: its column is left out)")


if __name__ == "__main__":
    main()
