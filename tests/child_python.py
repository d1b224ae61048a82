"""Fresh interpreters for tests whose calls could crash, hang or change the
process: they find the modules where this interpreter does.  Such a child
may cap its own address space, to run a read out of memory on purpose."""

import os
import resource
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


def cap_address_space(headroom):
    """Caps the address space of this process `headroom` bytes above what it
    uses now; for a child interpreter, as the cap cannot be lifted again."""
    with open("/proc/self/status") as status:
        in_use = next(int(l.split()[1]) * 1024 for l in status if l.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, (in_use + headroom,) * 2)
