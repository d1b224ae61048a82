"""randn across fork: a forked child continues its parent's sequence and does
not wait for the parent's OpenMP workers, which it does not have.  Each
scenario runs in a process group of its own, killed whole on timeout."""

import os
import shutil
import signal
import subprocess
import sys
import textwrap

import pytest

TIMEOUT_SECONDS = 120

# Fills of at least 1024 real or 512 complex elements are split over the
# OpenMP threads; the parent draws one before forking, so its workers exist.
DRAW = """
import os, vorn

def draw(class_name, *shape):
    obj = getattr(vorn, class_name)()
    obj.randn(*shape)
    index = [(i,) for i in range(shape[0])] if len(shape) == 1 else [(i, j) for i in range(shape[0]) for j in range(shape[1])]
    return [obj.get(*ij) for ij in index]

# draw(*args) in a forked child: its pid, exit status and values' repr.
def draw_in_child(*args):
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        with os.fdopen(write_end, "w") as pipe:
            pipe.write(repr(draw(*args)))
        os._exit(0)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        child = pipe.read()
    return pid, os.waitpid(pid, 0)[1], child
"""


def run_isolated(body, launcher=()):
    """stdout of `body` in a fresh interpreter with two OpenMP threads,
    started through the launcher command, if any."""
    env = dict(os.environ, OMP_NUM_THREADS="2")
    with subprocess.Popen([*launcher, sys.executable, "-c", DRAW + textwrap.dedent(body)], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, env=env, start_new_session=True) as proc:
        try:
            out, err = proc.communicate(timeout=TIMEOUT_SECONDS)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.communicate()
            pytest.fail(f"no result within {TIMEOUT_SECONDS} s: a forked process hangs in randn")
    assert proc.returncode == 0, err
    return out.split()


@pytest.mark.parametrize("args", [("OperatorReal", 40, 40), ("OperatorComplex", 33, 17), ("BasisReal", 4099)])
def test_forked_child_continues_the_parents_sequence(args):
    out = run_isolated(f"""
        draw(*{args!r})
        _, status, child = draw_in_child(*{args!r})
        print(status, child == repr(draw(*{args!r})))
    """)
    assert out == ["0", "True"], "the child's randn differs from the parent's next randn"


def test_fork_pool_workers_continue_the_parents_sequence():
    # Tasks reach each worker in order, so a worker's first result is its
    # first randn after the fork.
    out = run_isolated("""
        import multiprocessing

        def task(_):
            return os.getpid(), draw("OperatorReal", 50, 50)

        draw("OperatorReal", 50, 50)
        with multiprocessing.get_context("fork").Pool(2) as pool:
            results = pool.map(task, range(6), chunksize=1)
        first_of_worker = {}
        for pid, values in results:
            first_of_worker.setdefault(pid, values)
        expected = draw("OperatorReal", 50, 50)
        print(len(results), all(values == expected for values in first_of_worker.values()))
    """)
    assert out == ["6", "True"]


@pytest.mark.parametrize("drawer, forker", [("main", "worker"), ("worker", "main")])
def test_fork_from_another_thread_continues_the_forking_threads_sequence(drawer, forker):
    # Each thread has its engine and its OpenMP workers; the child has only a
    # copy of the thread that forked, whichever thread ran randn before.
    out = run_isolated(f"""
        from concurrent.futures import ThreadPoolExecutor

        def forked_draw():
            _, status, child = draw_in_child("BasisReal", 4099)
            return status, child == repr(draw("BasisReal", 4099))

        with ThreadPoolExecutor(1) as worker:  # one thread, alive throughout
            on = {{"main": lambda f: f(), "worker": lambda f: worker.submit(f).result()}}
            on[{drawer!r}](lambda: draw("BasisReal", 4099))
            print(*on[{forker!r}](forked_draw))
    """)
    assert out == ["0", "True"], "the child's randn differs from the forking thread's next randn"


def pid_namespaces_usable():
    """Whether this process may make a PID namespace and choose the next PID
    in it (as root, and where the container allows it)."""
    if shutil.which("unshare") is None:
        return False
    probe = ["unshare", "--pid", "--fork", "--mount-proc", "sh", "-c", "echo 1 > /proc/sys/kernel/ns_last_pid"]
    return subprocess.run(probe, capture_output=True, timeout=TIMEOUT_SECONDS).returncode == 0


@pytest.mark.skipif(not pid_namespaces_usable(), reason="no permission to make a PID namespace and set its next PID")
def test_descendant_with_the_pid_of_a_parallel_fill_runs_serially():
    # Process 1 of a new PID namespace starts A, which runs the fill on its
    # OpenMP workers, forks B and exits.  B, once A is reaped, makes its own
    # child C take A's PID.  C has a copy of A's thread, but not its workers.
    out = run_isolated("""
        reaped_read, reaped_write = os.pipe()
        a = os.fork()
        if a == 0:
            a_pid = os.getpid()
            draw("BasisReal", 4099)
            if os.fork() == 0:
                os.close(reaped_write)
                os.read(reaped_read, 1)
                draw("BasisReal", 4099)
                with open("/proc/sys/kernel/ns_last_pid", "w") as last_pid:
                    last_pid.write(str(a_pid - 1))
                c, status, child = draw_in_child("BasisReal", 4099)
                print(c == a_pid, status, child == repr(draw("BasisReal", 4099)), flush=True)
            os._exit(0)
        os.waitpid(a, 0)
        os.write(reaped_write, b"x")
        while True:  # B is this process's child now
            try:
                os.wait()
            except ChildProcessError:
                break
    """, launcher=("unshare", "--pid", "--fork", "--mount-proc"))
    assert out == ["True", "0", "True"], "a descendant with the PID of the parallel fill's process"
