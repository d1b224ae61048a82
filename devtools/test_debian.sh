# ./dev test-debian SUITE: `./dev test` on a fresh clone of HEAD, as root in
# a chroot of Debian SUITE (devtools/chroot.sh), with Debian's python3 or
# with the interpreter of that suite that PYTHON names.

# The Debian packages of the interpreter PYTHON names for a chroot: none for
# the default python3 (./dev test inside installs its venv and dev
# packages), or python3.X with its dev and venv packages.
debian_interpreter_packages() {
    case $1 in
        python3 | /usr/bin/python3) ;;
        python3.[0-9]* | /usr/bin/python3.[0-9]*)
            local name=${1#/usr/bin/}
            [[ $name =~ ^python3\.[0-9]+$ ]] || return 1
            printf '%s\n' "$name" "$name-dev" "$name-venv" ;;
        *) return 1 ;;
    esac
}

# ARGS go to pytest.
test_debian() {
    local suite=$1 root started=$SECONDS python=${PYTHON_GIVEN:-python3} packages
    shift
    [[ $suite =~ ^[a-z][a-z0-9-]*$ ]] || die "not a Debian suite name: '$suite'"
    packages=$(debian_interpreter_packages "$python") \
        || die "PYTHON=$python: in a chroot, name a Debian interpreter (python3, or python3.X of that suite)"
    # shellcheck disable=SC2086  # package names hold no blanks
    chroot_enter "$suite" "$suite" "${DEBIAN_TEST_PACKAGES[@]}" $packages
    root=$CHROOT_ROOT
    chroot_carry_index_settings "$root" /root
    chroot_clone_head "$root" /root/zorvak
    say "running ./dev test in the Debian $suite chroot with ${python#/usr/bin/}, on $(git rev-parse --short HEAD)"
    chroot_run "$root" root sh -c 'python=$1; shift; cd /root/zorvak && exec env PYTHON="$python" ./dev test "$@"' \
        sh "/usr/bin/${python#/usr/bin/}" "$@"
    say "ran the tests in the $suite chroot in $((SECONDS - started)) s"
}
