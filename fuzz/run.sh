#!/usr/bin/env bash
# Builds an XYZ reader fuzzer with clang (ASan + UBSan) and runs it.
#   fuzz/run.sh SECONDS           the reader read at once against the same
#                                 text read through a small window in pieces
#   fuzz/run.sh SECONDS COMMIT    this tree's reader against the one at COMMIT
# `./dev fuzz` installs clang, cmake and ninja first and then runs this.
# The exit status is the fuzzer's: non-zero on any finding.  New inputs go
# to fuzz/corpus-work (seeded from fuzz/corpus); findings land in fuzz/ as
# crash-*: minimise each (-minimize_crash=1) into tests/cpp/data/bad, or a
# row of a test table, before fixing it.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [COMMIT]}
earlier=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build/fuzz
target=fuzz_xyz_reader
if [ -n "$earlier" ]; then
    earlier=$(git -C "$root" rev-parse --verify "$earlier^{commit}")
    build=$root/build/fuzz-differential
    target=fuzz_xyz_differential
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAK_PYTHON=OFF -DZORVAK_FUZZ=ON \
    -DZORVAK_FUZZ_EARLIER="$earlier" >/dev/null
cmake --build "$build" --target "$target" -j2

mkdir -p "$here/corpus-work"
cd "$here"
exec "$build/fuzz/$target" corpus-work corpus \
    -dict=xyz.dict -max_len=4096 -max_total_time="$seconds" \
    -artifact_prefix="$here/" -print_final_stats=1
