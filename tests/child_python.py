"""Fresh interpreters for tests whose calls could crash, hang or change the
process: they find the modules where this interpreter does."""

import os
import subprocess
import sys
import textwrap


def child_env():
    return dict(os.environ, PYTHONPATH=os.pathsep.join(os.path.abspath(p) for p in sys.path if p))


def run_python(code, *args, cwd=None, timeout=60):
    """Runs code in a fresh interpreter.  A crash shows as a negative return
    code, a hang as TimeoutExpired."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code), *args],
                          capture_output=True, text=True, env=child_env(), cwd=cwd, timeout=timeout)
