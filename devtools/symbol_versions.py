"""The newest glibc, libstdc++ and C++ ABI symbol versions each shared
object in a wheel needs, against the limits the wheels keep to so that
they load on glibc 2.28 systems (RHEL 8 and newer): GLIBC 2.28, GLIBCXX
3.4.24, CXXABI 1.3.11.  Prints one row per shared object and exits 1 when
one needs more.

    python devtools/symbol_versions.py WHEEL...
"""

import io
import re
import sys
import zipfile

from elftools.elf.elffile import ELFFile
from elftools.elf.gnuversions import GNUVerNeedSection

LIMITS = {"GLIBC": (2, 28), "GLIBCXX": (3, 4, 24), "CXXABI": (1, 3, 11)}
VERSIONED = re.compile(r"(GLIBC|GLIBCXX|CXXABI)_(\d+(?:\.\d+)*)$")


def needed_versions(elf_bytes):
    """{family: newest version tuple} over the symbol versions needed."""
    newest = {}
    elf = ELFFile(io.BytesIO(elf_bytes))
    for section in elf.iter_sections():
        if not isinstance(section, GNUVerNeedSection):
            continue
        for _, auxiliaries in section.iter_versions():
            for aux in auxiliaries:
                match = VERSIONED.match(aux.name)
                if match:
                    family, version = match[1], tuple(int(p) for p in match[2].split("."))
                    newest[family] = max(newest.get(family, version), version)
    return newest


def dotted(version):
    return ".".join(map(str, version)) if version else "-"


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    print(f"{'wheel':46} {'shared object':42} {'GLIBC':>6} {'GLIBCXX':>8} {'CXXABI':>7}")
    over = []
    for path in sys.argv[1:]:
        with zipfile.ZipFile(path) as wheel:
            objects = [n for n in wheel.namelist() if re.search(r"\.so(\.|$)", n.rsplit("/", 1)[-1])]
            if not objects:
                over.append(f"{path}: no shared object")
            for name in sorted(objects):
                newest = needed_versions(wheel.read(name))
                print(f"{path.rsplit('/', 1)[-1][:46]:46} {name[-42:]:42} "
                      f"{dotted(newest.get('GLIBC')):>6} {dotted(newest.get('GLIBCXX')):>8} "
                      f"{dotted(newest.get('CXXABI')):>7}")
                over += [f"{path}: {name} needs {family}_{dotted(version)}, more than {dotted(LIMITS[family])}"
                         for family, version in newest.items() if version > LIMITS[family]]
    for line in over:
        print(line, file=sys.stderr)
    sys.exit(1 if over else 0)


if __name__ == "__main__":
    main()
