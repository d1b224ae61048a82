# What every command shares: its messages, the interpreter it was given and
# the virtual environment .venv.  ./dev sources this and the other files
# here, each of which defines the functions of one job.

# PYTHON as the caller set it, if at all (test-debian takes it to the
# chroot), then with its default.
PYTHON_GIVEN=${PYTHON:-}
PYTHON=${PYTHON:-python3}
VENV=$PWD/.venv
VENV_PYTHON=$VENV/bin/python

say() { printf '== %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

# Runs COMMAND with its output in LOG, which is shown when it fails.
logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 || { local status=$?; tail -n 40 "$log" >&2; say "failed (log: $log)"; return "$status"; }
}
