# ./dev wheels and ./dev wheel: how a wheel is made.
#
# Every wheel is made the same way, from the sdist, by one script
# (WHEEL_BUILD_SCRIPT below) run with the interpreter of its CPython: on
# this host where it has that version (on PATH or pyenv's), else as root in
# the chroot of the Debian release that has it (devtools/chroot.sh), which
# sees build/wheel at /zorvak-wheel.  The script makes a venv from the
# interpreter with the build requirements gathered once, and pip builds the
# wheel there, without build isolation, with what every wheel is built from
# (devtools/wheel_inputs.sh):
#   - zig's clang, for glibc 2.28's symbols, with libc++ linked statically
#     (zig-toolchain.cmake, zig-c++);
#   - Armadillo's headers alone (Debian 13's), without OpenMP, straight on
#     scipy-openblas32's library (ZORVAK_ARMADILLO_HEADERS in
#     CMakeLists.txt), and fast_float's headers.
# Before the first wheel, the fills' and the transpose's C++ tests run
# built the same way, so that both are proved on the wheels' compiler and
# standard library.  Each wheel is
# then repaired into dist/ (devtools/wheel_repair.sh), and the symbol
# versions of every shared object in it are shown.

# The CPython versions ./dev wheels builds for.
WHEEL_PYTHONS=(3.10 3.11 3.12 3.13 3.14 3.15)
# The Debian release whose interpreter builds a version this host lacks.
declare -A WHEEL_PYTHON_SUITE=([3.13]=trixie [3.14]=forky [3.15]=forky)
WHEEL_MOUNT=/zorvak-wheel

# Builds one wheel from the unpacked sdist: sh -c SCRIPT sh WHEEL_DIR
# PYTHON TAG PYBIND11_VERSION, with WHEEL_DIR as this host or the chroot
# sees build/wheel.  The plain wheel goes to WHEEL_DIR/plain-TAG.
WHEEL_BUILD_SCRIPT='set -eu
wheel_dir=$1 python=$2 tag=$3 pybind11=$4
inputs=$wheel_dir/inputs
venv=$wheel_dir/venv-$tag
rm -rf "$venv" "$wheel_dir/build-$tag" "$wheel_dir/plain-$tag" "$wheel_dir/include-$tag"
"$python" -m venv "$venv"
"$venv/bin/python" -m pip install -q --disable-pip-version-check --find-links "$inputs/wheels" \
    "pybind11==$pybind11" "scikit-build-core>=0.11" "cmake>=3.18" ninja
# Debian splits its pyconfig.h into one per architecture, included as
# <x86_64-linux-gnu/python3.X/pyconfig.h> from the system include folder,
# which zig does not search: that one folder is made reachable, after
# everything else.
platform_headers=$("$venv/bin/python" -c "import os, sysconfig
print(os.path.join(sysconfig.get_config_var(\"MULTIARCH\") or \"-\", os.path.basename(sysconfig.get_paths()[\"include\"])))")
flags=
if [ -f "/usr/include/$platform_headers/pyconfig.h" ]; then
    mkdir -p "$wheel_dir/include-$tag/$(dirname "$platform_headers")"
    ln -s "/usr/include/$platform_headers" "$wheel_dir/include-$tag/$platform_headers"
    flags="-idirafter $wheel_dir/include-$tag"
fi
CXXFLAGS=$flags PATH="$venv/bin:$PATH" "$venv/bin/python" -m pip wheel -v --disable-pip-version-check \
    --no-deps --no-build-isolation -w "$wheel_dir/plain-$tag" \
    --config-settings=build-dir="$wheel_dir/build-$tag" \
    --config-settings=cmake.define.CMAKE_TOOLCHAIN_FILE="$inputs/zig-toolchain.cmake" \
    --config-settings=cmake.define.ZORVAK_ARMADILLO_HEADERS="$inputs/include" \
    --config-settings=cmake.define.ZORVAK_BLAS_LIBRARY="$(ls "$inputs"/openblas/scipy_openblas32/lib/libscipy_openblas*.so)" \
    --config-settings=cmake.define.ZORVAK_BLAS_NAMES="$inputs/include/blas_names.h" \
    --config-settings=cmake.define.FAST_FLOAT_INCLUDE_DIR="$inputs/include" \
    "$wheel_dir"/sdist/*/
'

# The interpreter of CPython VERSION on this host that can make a venv and
# has its headers: python3.X on PATH, else pyenv's newest 3.X.
host_python() {
    local version=$1 candidate
    for candidate in "$(command -v "python$version" || true)" \
        $(ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$version".*/bin/"python$version" 2>/dev/null | sort -rV); do
        [ -n "$candidate" ] && [ -x "$candidate" ] || continue
        "$candidate" - "$version" 2>/dev/null <<'EOF' && return 0
import ensurepip, os, sys, sysconfig, venv
if "%d.%d" % sys.version_info[:2] != sys.argv[1]:
    sys.exit(1)
if not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")):
    sys.exit(1)
print(sys.executable)
EOF
    done
    return 1
}

# "host PATH" or "SUITE /usr/bin/python3.X" for CPython VERSION.
wheel_target() {
    local version=$1 python
    if python=$(host_python "$version"); then
        printf 'host %s\n' "$python"
    elif [ -n "${WHEEL_PYTHON_SUITE[$version]:-}" ]; then
        printf '%s /usr/bin/python%s\n' "${WHEEL_PYTHON_SUITE[$version]}" "$version"
    else
        die "no CPython $version with its headers and venv on this host, and no Debian release to take it from"
    fi
}

# The C++ tests whose code depends on the compiler or the standard library,
# built with the wheels' toolchain and inputs: the fills (the engine layout
# of the wheels' libc++ against the engine's interface) and the transpose
# (its vector code under clang).
check_kernels_on_wheel_toolchain() {
    local tree=$WHEEL_DIR/fills-test
    say "running the fills' and the transpose's C++ tests built as the wheels are (zig, libc++)"
    PATH="$WHEEL_TOOLS/bin:$PATH" logged "$WHEEL_DIR/fills-test.log" sh -c '
        cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$2/zig-toolchain.cmake" \
            -DZORVAK_PYTHON=OFF -DZORVAK_TESTS=ON -DZORVAK_ARMADILLO_HEADERS="$2/include" \
            -DZORVAK_BLAS_LIBRARY="$3" -DZORVAK_BLAS_NAMES="$2/include/blas_names.h" \
            -DFAST_FLOAT_INCLUDE_DIR="$2/include" -DZORVAK_GTEST_SOURCES="$2/googletest" &&
        nice cmake --build "$1" --target test_random_fill test_blocked_transpose &&
        "$1/tests/cpp/test_random_fill" --gtest_brief=1 &&
        "$1/tests/cpp/test_blocked_transpose" --gtest_brief=1' sh "$tree" "$WHEEL_INPUTS" "$(wheel_blas_library)"
    tail -n 3 "$WHEEL_DIR/fills-test.log" >&2
}

# The wheel of the CPython that PYTHON names: this host's interpreter, or,
# for python3.X that this host lacks, the one of the Debian release that
# has it.
build_wheel() {
    local python
    if python=$("$PYTHON" -c 'import sys; print(sys.executable)' 2>/dev/null); then
        build_wheels_for "host $python"
    elif [[ ${PYTHON#/usr/bin/} =~ ^python(3\.[0-9]+)$ ]] && [ -n "${WHEEL_PYTHON_SUITE[${BASH_REMATCH[1]}]:-}" ]; then
        build_wheels_for "$(wheel_target "${BASH_REMATCH[1]}")"
    else
        die "no interpreter '$PYTHON': set PYTHON= to one"
    fi
}

build_wheels() {
    local version targets=()
    for version in "${WHEEL_PYTHONS[@]}"; do targets+=("$(wheel_target "$version")"); done
    build_wheels_for "${targets[@]}"
}

# dist/ made anew with the sdist and a wheel for each target ("host PATH"
# or "SUITE PATH"), each repaired and checked.
build_wheels_for() {
    local started=$SECONDS target where python tag sdist pybind11
    ensure_wheel_inputs
    check_kernels_on_wheel_toolchain
    rm -rf dist "$WHEEL_DIR"/sdist "$WHEEL_DIR"/plain-* "$WHEEL_DIR"/repair-*
    mkdir -p dist "$WHEEL_DIR/sdist"
    say "building the sdist"
    logged "$WHEEL_DIR/sdist.log" "$WHEEL_TOOLS/bin/python" -m build --sdist --outdir dist .
    sdist=$(ls dist/*.tar.gz)
    tar -xzf "$sdist" -C "$WHEEL_DIR/sdist"
    pybind11=$(wheel_pybind11_version)
    # Host targets first, then each chroot once for all of its targets.
    local -A in_suite=()
    for target in "$@"; do
        read -r where python <<<"$target"
        if [ "$where" = host ]; then
            tag=$(cpython_tag "$python")
            say "building the $tag wheel from $(basename "$sdist") with $python"
            logged "$WHEEL_DIR/build-$tag.log" nice sh -c "$WHEEL_BUILD_SCRIPT" sh "$WHEEL_DIR" "$python" "$tag" "$pybind11"
        else
            in_suite[$where]+=" $python"
        fi
    done
    for where in "${!in_suite[@]}"; do
        # shellcheck disable=SC2086  # interpreter paths hold no blanks
        build_wheels_in_chroot "$where" "$sdist" "$pybind11" ${in_suite[$where]}
    done
    for plain in "$WHEEL_DIR"/plain-*/*.whl; do
        repair_wheel "$plain" dist
    done
    say "dist/ holds $(basename "$sdist") and:"
    ls dist/*.whl | sed 's|^dist/|   |' >&2
    "$WHEEL_TOOLS/bin/python" devtools/symbol_versions.py dist/*.whl
    say "made the wheels in $((SECONDS - started)) s"
}

# "cp3X" for the interpreter PYTHON (on this host or, as /usr/bin/python3.X,
# in a chroot).
cpython_tag() {
    case $1 in
        /usr/bin/python3.*) printf 'cp3%s\n' "${1#/usr/bin/python3.}" ;;
        *) "$1" -c 'import sys; print("cp%d%d" % sys.version_info[:2])' ;;
    esac
}

# The wheels of PYTHONS, built as root in the chroot of Debian SUITE with
# each interpreter's dev and venv packages.
build_wheels_in_chroot() {
    local suite=$1 sdist=$2 pybind11=$3 python tag root packages=(ca-certificates)
    shift 3
    for python in "$@"; do
        packages+=("${python#/usr/bin/}" "${python#/usr/bin/}-dev" "${python#/usr/bin/}-venv")
    done
    chroot_enter "$suite" "$suite" "${packages[@]}"
    root=$CHROOT_ROOT
    chroot_carry_index_settings "$root" /root
    mkdir -p "$root$WHEEL_MOUNT"
    bind_mount "$WHEEL_DIR" "$root$WHEEL_MOUNT"
    for python in "$@"; do
        tag=$(cpython_tag "$python")
        say "building the $tag wheel from $(basename "$sdist") in the Debian $suite chroot"
        logged "$WHEEL_DIR/build-$tag.log" chroot_run "$root" root nice sh -c "$WHEEL_BUILD_SCRIPT" \
            sh "$WHEEL_MOUNT" "$python" "$tag" "$pybind11"
    done
    chroot_leave "$suite"
}
