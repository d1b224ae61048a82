# ./dev bench: the benchmarks against numpy, on the source build in .venv,
# or with --wheel on a wheel installed with its bench extra (numpy, pandas,
# threadpoolctl) in a venv of its own, build/bench-wheel, made from
# $PYTHON: the wheel named, or the one in dist/ for $PYTHON's version.
run_bench() {
    if [ "${1:-}" = --wheel ]; then
        bench_wheel "${@:2}"
        return
    fi
    [ $# -eq 0 ] || die "./dev bench takes no arguments but --wheel [WHEEL]"
    setup
    "$VENV_PYTHON" -c 'import numpy, pandas, threadpoolctl' 2>/dev/null \
        || pip_install --config-settings=build-dir=build/venv ".[bench]"
    local b
    for b in benchmarks/bench_*.py; do "$VENV_PYTHON" "$b"; done
}

bench_wheel() {
    local wheel=${1:-} venv=$PWD/build/bench-wheel tag b
    tag=$("$PYTHON" -c 'import sys; print("cp%d%d" % sys.version_info[:2])') \
        || die "no interpreter '$PYTHON': set PYTHON= to one"
    if [ -z "$wheel" ]; then
        wheel=$(ls dist/zorvak-*-"$tag"-"$tag"-*.whl 2>/dev/null) || die "no $tag wheel in dist/: run ./dev wheel first"
    fi
    [ -f "$wheel" ] || die "no wheel $wheel"
    say "installing $(basename "$wheel") with numpy into $venv"
    "$PYTHON" -m venv --clear "$venv"
    "$venv/bin/python" -m pip install -q --disable-pip-version-check "$(realpath "$wheel")[bench]"
    # From /, so that nothing of the source tree is imported instead.
    local here=$PWD
    for b in benchmarks/bench_*.py; do (cd / && "$venv/bin/python" "$here/$b"); done
}
