# Set-up of the source build: the Debian packages it needs (apt-get), the
# virtual environment .venv made from $PYTHON, and the package built and
# installed there (again only when its sources change).

APT_PACKAGES=(g++ libarmadillo-dev libopenblas-dev libgtest-dev libfast-float-dev)

# True when $PYTHON is an interpreter from a Debian package, or when it is
# the default python3 and there is none yet (Debian's is then installed).
is_debian_python() {
    local path
    if ! path=$(command -v "$PYTHON"); then
        [ "$PYTHON" = python3 ]
        return
    fi
    dpkg-query -S "$(readlink -f "$path")" >/dev/null 2>&1
}

# Whether Debian package PKG is installed (in the chroot at ROOT, if given).
package_installed() {
    ${2:+chroot "$2"} dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Installs those of the given Debian packages that are missing.
apt_install_missing() {
    local missing=() p
    for p in "$@"; do
        package_installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    say "installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

ensure_system_packages() {
    local wanted=("${APT_PACKAGES[@]}") version=3
    # Debian's interpreter comes without venv (and pip) and without the
    # headers, both packaged per version: those of $PYTHON's version, which
    # need not be the default python3's.  With no python3 yet, the default's
    # (python3-venv, python3-dev), which bring Debian's python3 with them.
    if is_debian_python; then
        if command -v "$PYTHON" >/dev/null; then
            version=$("$PYTHON" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
        fi
        wanted+=("python$version-venv" "python$version-dev")
    fi
    apt_install_missing "${wanted[@]}"
}

# .venv, made from $PYTHON; made anew when $PYTHON names another interpreter.
ensure_venv() {
    local base
    if ! command -v "$PYTHON" >/dev/null; then
        say "no interpreter '$PYTHON': set PYTHON= to one"
        exit 1
    fi
    base=$("$PYTHON" -c 'import os, sys; print(os.path.realpath(sys.executable))')
    if [ -x "$VENV_PYTHON" ] && [ "$(cat "$VENV/.made-from" 2>/dev/null)" = "$base" ]; then
        return
    fi
    say "making the virtual environment .venv from $base"
    "$PYTHON" -m venv --clear "$VENV"
    # Build trees configured for the former interpreter would keep its paths.
    rm -rf build/venv build/sanitize
    echo "$base" > "$VENV/.made-from"
}

ensure_build_tools() {
    [ -x "$VENV/bin/cmake" ] && [ -x "$VENV/bin/ninja" ] && return
    say "installing cmake and ninja into .venv"
    pip_install 'cmake>=3.18' ninja
}

pip_install() {
    "$VENV_PYTHON" -m pip install -q --disable-pip-version-check "$@"
}

# Digest of the names and contents of everything the wheel is built from
# (names may hold blanks).
source_digest() {
    local paths=(pyproject.toml CMakeLists.txt linalg bindings src c_binding module)
    { if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
          git ls-files -z -co --exclude-standard -- "${paths[@]}"
      else
          find "${paths[@]}" -type f -print0
      fi; } \
        | LC_ALL=C sort -z | xargs -0 sha256sum | sha256sum | cut -d' ' -f1
}

ensure_package() {
    local stamp=$VENV/.installed digest
    digest=$(source_digest)
    if [ "$(cat "$stamp" 2>/dev/null)" = "$digest" ] \
        && (cd / && "$VENV_PYTHON" -c 'import vorn, morvane, pytest, numpy, mypy') 2>/dev/null; then
        return
    fi
    say "building and installing the package into .venv"
    pip_install --config-settings=build-dir=build/venv ".[test]"
    echo "$digest" > "$stamp"
}

# The Debian packages, .venv, and its cmake and ninja (for the C++ tests) on
# PATH.
setup_tools() {
    ensure_system_packages
    ensure_venv
    export PATH="$VENV/bin:$PATH"
    ensure_build_tools
}

setup() {
    setup_tools
    ensure_package
}
