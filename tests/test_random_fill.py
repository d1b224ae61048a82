"""Random fills across fork: a child process continues its parent's sequence
and never waits on the parent's OpenMP workers, which it does not have.

Each scenario runs in a process group of its own with a timeout, so that a
hung child fails the test instead of the run, and is killed with its group."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

TIMEOUT_SECONDS = 120

# A normal fill large enough to be split over the OpenMP threads (at least
# 1024 real or 512 complex elements), drawn once in the parent so that its
# worker threads exist before the fork.
DRAW = """
import vorn

def draw(class_name, *shape):
    obj = getattr(vorn, class_name)()
    obj.randn(*shape)
    if len(shape) == 1:
        return [obj.get(i) for i in range(shape[0])]
    return [obj.get(i, j) for i in range(shape[0]) for j in range(shape[1])]
"""


def run_isolated(body):
    """stdout of `body` run by a fresh interpreter with two OpenMP threads."""
    env = dict(os.environ, OMP_NUM_THREADS="2")
    code = DRAW + textwrap.dedent(body)
    with subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, env=env, start_new_session=True) as proc:
        try:
            out, err = proc.communicate(timeout=TIMEOUT_SECONDS)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            pytest.fail(f"no result within {TIMEOUT_SECONDS} s: a forked process hangs in randn")
    assert proc.returncode == 0, err
    return out


@pytest.mark.parametrize("class_name, shape", [
    ("OperatorReal", (40, 40)),
    ("OperatorComplex", (33, 17)),
    ("BasisReal", (4099,)),
])
def test_forked_child_continues_the_parents_sequence(class_name, shape):
    out = run_isolated(f"""
        import os
        args = {class_name!r}, *{shape!r}
        draw(*args)
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:
            os.close(read_end)
            with os.fdopen(write_end, "w") as pipe:
                pipe.write(repr(draw(*args)))
            os._exit(0)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            child = pipe.read()
        _, status = os.waitpid(pid, 0)
        parent = repr(draw(*args))
        print(status, child == parent, len(parent))
    """)
    status, same, length = out.split()
    assert status == "0" and int(length) > 1000
    assert same == "True", "the child's randn differs from the parent's next randn"


def test_fork_pool_workers_fill():
    # Every worker starts from the parent's engine state, so each worker's
    # first task gives what the parent's next randn gives.
    out = run_isolated("""
        import multiprocessing, os

        def task(_):
            return os.getpid(), draw("OperatorReal", 50, 50)

        if __name__ == "__main__":
            draw("OperatorReal", 50, 50)
            with multiprocessing.get_context("fork").Pool(2) as pool:
                results = pool.map(task, range(6), chunksize=1)
            expected = draw("OperatorReal", 50, 50)
            first_of_worker = {}
            for pid, values in results:
                first_of_worker.setdefault(pid, values)
            print(len(results), all(v == expected for v in first_of_worker.values()))
    """)
    assert out.split() == ["6", "True"]
