#!/usr/bin/env bash
# Builds the XYZ reader fuzzer with clang (ASan + UBSan) and runs it.
#   fuzz/run.sh SECONDS
# New inputs go to fuzz/corpus-work (seeded from fuzz/corpus); crashes land
# in fuzz/ as crash-*: minimise them into tests/cpp/data/bad before keeping.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build/fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAK_PYTHON=OFF -DZORVAK_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_xyz_reader -j2

mkdir -p "$here/corpus-work"
cd "$here"
exec "$build/fuzz/fuzz_xyz_reader" corpus-work corpus \
    -dict=xyz.dict -max_len=4096 -max_total_time="$seconds" \
    -artifact_prefix="$here/" -print_final_stats=1
