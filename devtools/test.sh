# ./dev test: the C++ unit tests (CTest), the stub check (stubtest) and
# pytest, against the build in .venv.

build_cpp_tests() {
    cmake -S . -B build/cpp -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DZORVAK_PYTHON=OFF -DZORVAK_TESTS=ON >/dev/null
    cmake --build build/cpp
}

check_stubs() {
    say "checking the type stubs against the modules"
    "$VENV_PYTHON" -m mypy.stubtest vorn morvane --allowlist tests/stubtest_allowlist.txt
}

run_tests() {
    setup
    build_cpp_tests
    ctest --test-dir build/cpp --output-on-failure --no-tests=error
    check_stubs
    "$VENV_PYTHON" -m pytest "$@"
}
