# ./dev test-wheels and ./dev test-wheel: each wheel in dist/ proved where
# nothing else is.  In a bare chroot of a Debian release (debootstrap's
# minimal system with an interpreter and its venv package: no compiler,
# BLAS, Armadillo or libgomp), as an unprivileged user, the wheel is
# installed with its test extra into a venv of its own; both modules
# import, the demo and the pytest suite of a fresh clone of HEAD run
# against it, and a fresh process's first fills equal those of the source
# build on the Debian release whose Armadillo the wheels are built on
# (WHEEL_HEADERS_SUITE, in the chroot ./dev test-debian uses).

# Where each wheel is tested: the chroot, its Debian suite, and the
# interpreter, either one of that suite (a path) or "host": this host's
# interpreter of that version, bound in read-only at its own path, with the
# run-time libraries its modules link installed beside it (and no more).
WHEEL_TEST_PLACES=(
    "cp310 bookworm-bare bookworm host"
    "cp311 bookworm-bare bookworm /usr/bin/python3"
    "cp312 bookworm-bare bookworm host"
    "cp313 trixie-bare trixie /usr/bin/python3"
    "cp314 forky-bare forky /usr/bin/python3.14"
    "cp315 forky-bare forky /usr/bin/python3.15"
)
WHEEL_TEST_USER=tester

# A fresh process's first fills, printed exactly (hex floats).
FIRST_FILLS='
import vorn
a = vorn.OperatorReal(); a.randu(3, 3)
b = vorn.OperatorReal(); b.randn(40, 40)
for m, n in ((a, 3), (b, 40)):
    print(" ".join(m.get(i, j).hex() for j in range(n) for i in range(n)))
'

test_wheel() {
    local wheels=(dist/*.whl)
    [ -e "${wheels[0]}" ] && [ ${#wheels[@]} -eq 1 ] || die "no single wheel in dist/: run ./dev wheel first"
    test_wheels_in "$@" -- "${wheels[0]}"
}

test_wheels() {
    local place tag wheel wheels=()
    for place in "${WHEEL_TEST_PLACES[@]}"; do
        tag=${place%% *}
        wheel=$(ls dist/zorvak-*-"$tag"-"$tag"-*.whl 2>/dev/null) || die "no $tag wheel in dist/: run ./dev wheels first"
        wheels+=("$wheel")
    done
    test_wheels_in "$@" -- "${wheels[@]}"
}

# PYTEST_ARGS -- WHEELS
test_wheels_in() {
    local pytest_args=() wheels wheel tag place chroot suite python started=$SECONDS
    while [ "$1" != -- ]; do pytest_args+=("$1"); shift; done
    shift
    wheels=("$@")
    # The wheels of each chroot, in the order of the table.
    local -A chroot_wheels=() chroot_suite=()
    local chroots=()
    for wheel in "${wheels[@]}"; do
        tag=$(basename "$wheel" | cut -d- -f3)
        place=$(printf '%s\n' "${WHEEL_TEST_PLACES[@]}" | awk -v tag="$tag" '$1 == tag') \
            || true
        [ -n "$place" ] || die "no place to test a $tag wheel ($wheel)"
        read -r tag chroot suite python <<<"$place"
        [ -n "${chroot_wheels[$chroot]:-}" ] || chroots+=("$chroot")
        chroot_wheels[$chroot]+=" $wheel=$python"
        chroot_suite[$chroot]=$suite
    done
    reference_first_fills
    for chroot in "${chroots[@]}"; do
        # shellcheck disable=SC2086  # wheel names and paths hold no blanks
        test_wheels_in_chroot "$chroot" "${chroot_suite[$chroot]}" "${#pytest_args[@]}" "${pytest_args[@]}" \
            ${chroot_wheels[$chroot]}
    done
    say "tested ${#wheels[@]} wheel(s) in $((SECONDS - started)) s; each one's first fills equal the Debian $WHEEL_HEADERS_SUITE source build's"
}

# The first fills of a source build of HEAD in the chroot of
# WHEEL_HEADERS_SUITE, into WHEEL_DIR/reference-fills.txt.  The clone there
# is kept between runs, so that it is rebuilt only when the sources change.
reference_first_fills() {
    local suite=$WHEEL_HEADERS_SUITE root
    chroot_enter "$suite" "$suite" "${DEBIAN_TEST_PACKAGES[@]}"
    root=$CHROOT_ROOT
    chroot_carry_index_settings "$root" /root
    chroot_update_clone "$root" /root/zorvak-fills
    say "building HEAD from source in the Debian $suite chroot, for the first fills the wheels must give"
    mkdir -p "$WHEEL_DIR"
    logged "$WHEEL_DIR/reference-build.log" chroot_run "$root" root sh -c \
        'cd /root/zorvak-fills && PYTHON=/usr/bin/python3 ./dev demo'
    chroot_run "$root" root sh -c 'cd / && /root/zorvak-fills/.venv/bin/python -c "$1"' sh "$FIRST_FILLS" \
        >"$WHEEL_DIR/reference-fills.txt"
    chroot_leave "$suite"
}

# The Debian packages (of this host's release) of the shared libraries
# that this host's interpreter PYTHON and its modules load (tkinter's
# aside), glibc's apart.
host_interpreter_packages() {
    local python=$1 prefix library
    prefix=$("$python" -c 'import sys; print(sys.base_prefix)')
    find "$python" "$prefix"/lib/python3*/lib-dynload -name '*.so' -o -type f -name 'python3*' \
        | grep -v _tkinter | xargs ldd 2>/dev/null | awk '$3 ~ /^\// { print $3 }' | sort -u \
        | while read -r library; do
            case $library in "$prefix"/*) continue ;; esac
            # Debian 12 registers libraries under /lib, not /usr/lib.
            dpkg-query -S "$library" 2>/dev/null || dpkg-query -S "${library#/usr}" 2>/dev/null \
                || dpkg-query -S "/usr$library" 2>/dev/null || true
        done | cut -d: -f1 | sort -u | grep -v -x -E 'libc6|libc6:amd64' || true
}

# test_wheels_in_chroot CHROOT SUITE N PYTEST_ARGS(N) WHEEL=PYTHON...
test_wheels_in_chroot() {
    local chroot=$1 suite=$2 n=$3 root home entry wheel python tag user=$WHEEL_TEST_USER packages=() prefix
    shift 3
    local pytest_args=("${@:1:n}")
    shift "$n"
    for entry in "$@"; do
        python=${entry#*=}
        if [ "$python" = host ]; then
            python=$(host_python "$(cpython_version "$(basename "${entry%=*}" | cut -d- -f3)")") \
                || die "this host has no interpreter for $(basename "${entry%=*}")"
            mapfile -t -O ${#packages[@]} packages < <(host_interpreter_packages "$python")
        else
            packages+=("${python#/usr/bin/}" "${python#/usr/bin/}-venv")
        fi
    done
    chroot_enter "$chroot" "$suite" "${packages[@]}"
    root=$CHROOT_ROOT
    chroot "$root" getent passwd "$user" >/dev/null || chroot "$root" useradd --create-home "$user"
    home=$(chroot "$root" getent passwd "$user" | cut -d: -f6)
    chroot_carry_index_settings "$root" "$home"
    chroot_clone_head "$root" "$home/zorvak"
    remove_tree "$root$home/dist"
    mkdir -p "$root$home/dist"
    for entry in "$@"; do
        wheel=${entry%=*}
        install -m 644 "$wheel" "$root$home/dist/"
    done
    chroot "$root" chown -R "$user:" "$home"
    for entry in "$@"; do
        wheel=$(basename "${entry%=*}")
        python=${entry#*=}
        tag=$(cut -d- -f3 <<<"$wheel")
        if [ "$python" = host ]; then
            python=$(host_python "$(cpython_version "$tag")")
            prefix=$("$python" -c 'import sys; print(sys.base_prefix)')
            bind_host_interpreter "$root" "$prefix"
        fi
        test_wheel_as_user "$root" "$user" "$wheel" "$python" "$tag" "$chroot" "${pytest_args[@]}"
    done
    chroot_leave "$chroot"
}

# "3.X" for the tag "cp3X".
cpython_version() {
    printf '3.%s\n' "${1#cp3}"
}

# This host's interpreter at PREFIX, bound read-only into the chroot at ROOT
# at its own path (where its library path points), every folder above it
# made passable for the unprivileged user.
bind_host_interpreter() {
    local root=$1 prefix=$2 dir
    mountpoint -q "$root$prefix" && return
    mkdir -p "$root$prefix"
    dir=$prefix
    while [ "$dir" != / ]; do
        dir=$(dirname "$dir")
        chmod o+x "$root$dir"
    done
    bind_mount "$prefix" "$root$prefix" ro
}

# test_wheel_as_user ROOT USER WHEEL PYTHON TAG CHROOT PYTEST_ARGS...
test_wheel_as_user() {
    local root=$1 user=$2 wheel=$3 python=$4 tag=$5 chroot=$6 got
    shift 6
    say "installing $wheel as $user in the $chroot chroot, with $python"
    chroot_run "$root" "$user" sh -c 'set -e; cd
        rm -rf "venv-$2"; "$1" -m venv "venv-$2"
        "venv-$2/bin/python" -m pip install -q --disable-pip-version-check "dist/$3[test]"
        cd / && ~/"venv-$2/bin/python" -c "import vorn, morvane"' sh "$python" "$tag" "$wheel"
    got=$(chroot_run "$root" "$user" sh -c 'cd / && ~/"venv-$1/bin/python" -c "$2"' sh "$tag" "$FIRST_FILLS")
    [ "$got" = "$(cat "$WHEEL_DIR/reference-fills.txt")" ] \
        || die "the $tag wheel's first fills differ from the Debian $WHEEL_HEADERS_SUITE source build's"
    say "the $tag wheel's first fills equal the Debian $WHEEL_HEADERS_SUITE source build's"
    say "running the demo and the tests against it"
    chroot_run "$root" "$user" sh -c 'set -e; venv=~/venv-$1; shift; cd ~/zorvak
        "$venv/bin/python" examples/demo.py >/dev/null
        "$venv/bin/python" -m pytest -p no:cacheprovider "$@"' sh "$tag" "$@"
}
