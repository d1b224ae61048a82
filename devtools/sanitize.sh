# ./dev sanitize: the C++ tests and both modules once more with
# AddressSanitizer and UndefinedBehaviorSanitizer, on the lowest pybind11
# the package supports.

# The pybind11 line the modules are built with (as in pyproject.toml).  The
# sanitized build takes its lowest version, the normal build the highest,
# so that the two cover both ends.
PYBIND11_LOWEST='pybind11==2.10.*'

# The C++ tests and both modules built with ASan and UBSan in build/sanitize;
# the modules are installed into build/sanitize/site, which goes first on
# the interpreter's path, so the normal install in .venv stays as it is.
sanitize() {
    local tree=build/sanitize
    "$VENV_PYTHON" -c 'import pybind11, sys; sys.exit(not pybind11.__version__.startswith("2.10."))' 2>/dev/null \
        || pip_install "$PYBIND11_LOWEST"
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZORVAK_SANITIZE=ON -DZORVAK_TESTS=ON -DPython_EXECUTABLE="$VENV_PYTHON" >/dev/null
    cmake --build "$tree"
    cmake --install "$tree" --prefix "$tree/site" >/dev/null

    # allocator_may_return_null: a refused malloc returns null, as without
    # the sanitizer.  What needs the plain allocator runs in `./dev test`
    # only: under ASan a refused operator new ends the process instead of
    # throwing std::bad_alloc (the C++ test of that skips itself), and freed
    # blocks are held back, so the resident set grows.  The Python tests of
    # both are marked plain_allocator.
    export ASAN_OPTIONS=allocator_may_return_null=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=print_stacktrace=1
    ctest --test-dir "$tree" --output-on-failure --no-tests=error

    # The interpreter is not instrumented, so the ASan runtime is preloaded
    # to come first.  detect_leaks=0: CPython keeps much of what it allocates
    # until the process ends, by design, and would drown any real report
    # (the C++ tests above do run with leak checks).  PYTHONMALLOC=malloc
    # routes Python objects through the checked malloc instead of CPython's
    # own pools, where overruns would go unseen.
    local preload
    preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
    export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 PYTHONMALLOC=malloc
    export PYTHONPATH=$PWD/$tree/site${PYTHONPATH:+:$PYTHONPATH}
    LD_PRELOAD=$preload "$VENV_PYTHON" - "$PWD/$tree/site" <<'EOF'
import sys, morvane, vorn
for module in (vorn, morvane):
    if not module.__file__.startswith(sys.argv[1]):
        sys.exit(f"{module.__name__} comes from {module.__file__}, not the sanitized build")
EOF
    LD_PRELOAD=$preload "$VENV_PYTHON" -m pytest -m 'not plain_allocator' "$@"
}
