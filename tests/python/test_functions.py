"""init_tracing() and test_function(version): argument binding, output on file descriptor 1, failures."""
import errno
import inspect
import json
import os
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import vorna
DotSeparated = vorna.package.version.DotSeparated
Other = vorna.package.version.Other
SemVer = vorna.package.version.SemVer
Version = vorna.package.version.Version


def run_python(code, **kwargs):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, timeout=120, **kwargs
    )


def test_line_goes_to_native_stdout_not_sys_stdout():
    result = run_python(
        """
        import io, sys
        import vorna
        from vorna import test_function
        Version = vorna.package.version.Version
        sys.stdout = captured = io.StringIO()
        returned = test_function(Version("1.2.3"))
        test_function(version=Version("v2.0.0-rc.1+b"))
        class Key(str):  # found by its text, whatever its hash
            __hash__ = lambda self: 1
        test_function(**{Key("version"): Version("2024.05")})
        sys.stderr.write(repr((returned, captured.getvalue())))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == b"Got version: 1.2.3\nGot version: 2.0.0-rc.1+b\nGot version: 2024.05\n"
    assert result.stderr == b"(None, '')"


def test_subtype_instances_of_version_only():
    # Every kind of Version is accepted; the kind classes are not.
    result = run_python(
        """
        import vorna
        from vorna import test_function
        Version, Other = vorna.package.version.Version, vorna.package.version.Other
        test_function(Version(Other(value="any text at all")))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == b"Got version: any text at all\n"


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "test_function() missing 1 required positional argument: 'version'"),
        (("a", "b"), {}, "test_function() takes 1 positional arguments but 2 were given"),
        (("a", "b", "c"), {}, "test_function() takes 1 positional arguments but 3 were given"),
        (("a",), {"version": "b"}, "test_function() got multiple values for argument 'version'"),
        ((), {"ver": "a"}, "test_function() got an unexpected keyword argument 'ver'"),
        ((), {"version": "a", "extra": 1}, "test_function() got an unexpected keyword argument 'extra'"),
        # A key with no UTF-8 form is still a binding error, quoted as it stands.
        ((), {"\udc80": 1}, "test_function() got an unexpected keyword argument '\udc80'"),
        # Too many positionals is reported before any keyword problem.
        (("a", "b"), {"ver": 1}, "test_function() takes 1 positional arguments but 2 were given"),
    ],
)
def test_argument_binding_messages(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        vorna.test_function(*args, **kwargs)
    assert str(caught.value) == message


class QualnameRaisingMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no name")
        return super().__getattribute__(name)


class QualnameRaising(metaclass=QualnameRaisingMeta):
    pass


@pytest.mark.parametrize(
    "value, type_name",
    [
        ("1.2.3", "str"),
        (3, "int"),
        (None, "NoneType"),
        (SemVer("1.2.3"), "SemVer"),
        (DotSeparated("1.2"), "DotSeparated"),
        (Other("x"), "Other"),
        (Version, "type"),
        (QualnameRaising(), "<failed to extract type name>"),
    ],
)
def test_conversion_message(value, type_name):
    for call in (lambda: vorna.test_function(value), lambda: vorna.test_function(version=value)):
        with pytest.raises(TypeError) as caught:
            call()
        assert str(caught.value) == f"argument 'version': '{type_name}' object cannot be converted to 'Version'"
        assert caught.value.__cause__ is None


def test_conversion_message_uses_qualname():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"^argument 'version': 'test_conversion_message_uses_qualname\.<locals>\.Outer\.Inner' object"):
        vorna.test_function(Outer.Inner())


# Fills the pipe on descriptor 1 so that no further byte fits, leaving it non-blocking.
FILL_STDOUT_PIPE = """
import fcntl, os
def fill_stdout_pipe():
    fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, fcntl.F_GETFL) | os.O_NONBLOCK)
    for size in (65536, 1):
        try:
            while True:
                os.write(1, b"x" * size)
        except BlockingIOError:
            pass
"""

# The child reports how test_function ended, and what a copy and a pickled
# copy of the error hold, as one JSON line on stderr.
WRITE_OUTCOME = FILL_STDOUT_PIPE + """
import copy, json, pickle, sys
import vorna
if FILL_STDOUT:
    fill_stdout_pipe()
def fields(e):
    return [type(e).__module__, type(e).__name__, e.errno, e.strerror, e.args, str(e)]
try:
    outcome = {"returned": repr(vorna.test_function(vorna.package.version.Version("1.2.3")))}
except OSError as e:
    outcome = {"python_class": next(c.__name__ for c in type(e).__mro__ if c.__module__ == "builtins"),
               "name": type(e).__name__, "errno": e.errno, "strerror": e.strerror, "str": str(e),
               "copies": [fields(copy.copy(e)), fields(copy.deepcopy(e))] + [fields(e)] * 2,
               "pickled": fields(pickle.loads(pickle.dumps(e)))}
sys.stderr.write(json.dumps(outcome) + "\\n")
sys.stderr.write("still running\\n")
"""


def closed_pipe():
    read_end, write_end = os.pipe()
    os.close(read_end)
    return write_end, []


# A pipe nobody reads: the child can fill it whatever the load on the machine
# (a pipe drained by the parent, as `subprocess.PIPE` is, may never fill).
def unread_pipe():
    read_end, write_end = os.pipe()
    return write_end, [read_end]


@pytest.mark.parametrize(
    "stdout, fill, python_class, number",
    [
        pytest.param(lambda: (os.open("/dev/null", os.O_RDONLY), []), False, "OSError", errno.EBADF, id="read-only"),
        pytest.param(lambda: (os.open("/dev/full", os.O_WRONLY), []), False, "OSError", errno.ENOSPC, id="full-device"),
        pytest.param(closed_pipe, False, "BrokenPipeError", errno.EPIPE, id="closed-pipe"),
        pytest.param(unread_pipe, True, "BlockingIOError", errno.EAGAIN, id="non-blocking-full-pipe"),
    ],
)
def test_write_failure_raises_the_errno_class(stdout, fill, python_class, number):
    target, keep_open = stdout()
    try:
        result = subprocess.run(
            [sys.executable, "-c", "FILL_STDOUT = %r\n" % fill + WRITE_OUTCOME],
            stdout=target, stderr=subprocess.PIPE, timeout=120,
        )
    finally:
        for fd in [target, *keep_open]:
            os.close(fd)
    assert result.returncode == 0, result.stderr
    report, still_running = result.stderr.decode().splitlines()
    outcome = json.loads(report)
    message = "failed printing to stdout: %s (errno %d)" % (os.strerror(number), number)
    assert outcome.pop("copies") == [["vorna", python_class, number, os.strerror(number), [message], message]] * 4
    # Pickled, it is Python's own class, found by name on the other side.
    assert outcome.pop("pickled") == ["builtins", python_class, number, os.strerror(number), [message],
                                      "[Errno %d] %s" % (number, os.strerror(number))]
    assert outcome == {
        "python_class": python_class,
        "name": python_class,
        "errno": number,
        "strerror": os.strerror(number),
        "str": message,
    }
    assert still_running == "still running"


def test_blocking_error_tells_how_much_of_the_line_went_out():
    result = run_python(
        """
        import copy, fcntl, os, pickle, sys
        import vorna
        read_end, write_end = os.pipe()
        os.dup2(write_end, 1)
        fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, fcntl.F_GETFL) | os.O_NONBLOCK)
        fcntl.fcntl(read_end, fcntl.F_SETFL, os.O_NONBLOCK)
        try:
            vorna.test_function(vorna.package.version.Version("x" * 200000))
        except BlockingIOError as e:
            out = b""
            try:
                while True:
                    out += os.read(read_end, 65536)
            except BlockingIOError:
                pass
            again = pickle.loads(pickle.dumps(e))
            print(e.characters_written, len(out), copy.copy(e).characters_written, again.characters_written,
                  out.startswith(b"Got version: xxx"), file=sys.stderr)
        """
    )
    assert result.returncode == 0, result.stderr
    written, received, copied, pickled, start = result.stderr.decode().split()
    assert 0 < int(written) == int(received) == int(copied) == int(pickled) < 200000
    assert start == "True"


def blocked_in_pipe_write(task):
    """Whether the thread at /proc/<task> sleeps in a write to a full pipe
    (where the kernel hides wait channels, whether it sleeps at all)."""
    with open(task + "/wchan") as f:
        where = f.read()
    if where != "0":
        return where.endswith("pipe_write")
    with open(task + "/stat") as f:
        return f.read().rsplit(") ", 1)[1].startswith("S")


def wait_until_blocked_in_pipe_write(pid):
    deadline = time.monotonic() + 60  # a hang guard only
    while not blocked_in_pipe_write(f"/proc/{pid}"):
        assert time.monotonic() < deadline, f"process {pid} never blocked on its pipe"
        time.sleep(0.001)


# The child fills its stdout pipe, says so, and blocks in test_function until
# the parent sends SIGINT (and, for a handler that returns, drains the pipe).
# A shell starts background jobs with SIGINT ignored, so the child sets the
# handler it relies on either way.
INTERRUPTED_WRITE = FILL_STDOUT_PIPE + """
import signal, sys
import vorna
if RAISING_HANDLER:
    signal.signal(signal.SIGINT, signal.default_int_handler)
else:
    signal.signal(signal.SIGINT, lambda number, frame: (sys.stderr.write("handled\\n"), sys.stderr.flush()))
fill_stdout_pipe()
fcntl.fcntl(1, fcntl.F_SETFL, fcntl.fcntl(1, fcntl.F_GETFL) & ~os.O_NONBLOCK)
sys.stderr.write("blocking\\n")
sys.stderr.flush()
try:
    sys.stderr.write("returned %r\\n" % vorna.test_function(vorna.package.version.Version("1.2.3")))
except KeyboardInterrupt:
    sys.stderr.write("KeyboardInterrupt\\n")
"""


@pytest.mark.parametrize(
    "raising_handler, expected",
    [(True, ["blocking", "KeyboardInterrupt"]), (False, ["blocking", "handled", "returned None"])],
    ids=["handler-raises", "handler-returns"],
)
def test_signal_during_a_blocked_write_runs_its_handler(raising_handler, expected):
    child = subprocess.Popen(
        [sys.executable, "-c", "RAISING_HANDLER = %r\n" % raising_handler + INTERRUPTED_WRITE],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
    )
    try:
        assert child.stderr.readline() == b"blocking\n"
        wait_until_blocked_in_pipe_write(child.pid)
        child.send_signal(signal.SIGINT)
        if raising_handler:
            # The pipe stays full: only giving the write up lets the child end.
            assert child.wait(timeout=60) == 0
            lines = child.stderr.read().decode().splitlines()
            assert child.stdout.read().endswith(b"x")
        else:
            # The handler ran while the pipe was still full.
            assert child.stderr.readline() == b"handled\n"
            out, err = child.communicate(timeout=60)
            lines = ["handled"] + err.decode().splitlines()
            assert out.endswith(b"x" + b"Got version: 1.2.3\n")
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
        child.stdout.close()
        child.stderr.close()
    assert ["blocking"] + lines == expected


# A thread of the child empties its stdout pipe, but only once the main thread
# blocks writing to it: a write that kept the interpreter lock would hang.
DRAINED_BY_A_THREAD = inspect.getsource(blocked_in_pipe_write) + """
import ctypes, os, sys, threading, time
import vorna
read_end, write_end = os.pipe()
os.dup2(write_end, 1)
os.close(write_end)
writer = threading.get_native_id()
received = []
def drain():
    while not blocked_in_pipe_write(f"/proc/self/task/{writer}"):
        time.sleep(0.001)
    while chunk := os.read(read_end, 65536):
        received.append(chunk)
reader = threading.Thread(target=drain)
reader.start()
os.write(1, b"x" * PREFILL)
CALL
os.close(1)
reader.join()
sys.stderr.buffer.write(b"".join(received)[PREFILL:])
"""


@pytest.mark.parametrize(
    "prefill, call, line",
    [
        pytest.param(65536, 'vorna.test_function(vorna.package.version.Version("1.2.3"))',
                     b"Got version: 1.2.3\n", id="short-line-full-pipe"),
        pytest.param(0, 'vorna.test_function(vorna.package.version.Version("x" * 200000))',
                     b"Got version: " + b"x" * 200000 + b"\n", id="long-line-empty-pipe"),
        pytest.param(65536, 'vorna.init_tracing(); ctypes.PyDLL(vorna.__file__).vorna_test_log(b"drained")',
                     b"drained", id="log-record-full-pipe", marks=pytest.mark.needs_test_hooks),
    ],
)
def test_write_lets_a_thread_drain_the_pipe(prefill, call, line):
    code = DRAINED_BY_A_THREAD.replace("PREFILL", str(prefill)).replace("CALL", call)
    # The timeout only guards against a hang; the child needs a fraction of a second.
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, timeout=60,
                            env={**os.environ, "NO_COLOR": "1"})
    assert result.returncode == 0, result.stderr
    if line == b"drained":
        assert result.stderr.splitlines()[0].endswith(b" INFO vorna::tests: drained")
    else:
        assert result.stderr == line


def test_closed_stdout_is_silently_discarded():
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(
            """
            import os, sys
            import vorna
            from vorna import test_function
            Version = vorna.package.version.Version
            os.close(1)
            sys.stderr.write(repr(test_function(Version("1.2.3"))))
            """
        )],
        capture_output=True, timeout=120,
    )
    assert result.returncode == 0, result.stderr
    assert result.stderr == b"None"


def test_init_tracing_once_per_process():
    result = run_python(
        """
        import vorna
        print(vorna.init_tracing())
        for _ in range(2):
            try:
                vorna.init_tracing()
            except RuntimeError as error:
                print(type(error).__name__, error)
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode().splitlines() == [
        "None",
        "RuntimeError a global default trace dispatcher has already been set",
        "RuntimeError a global default trace dispatcher has already been set",
    ]


def test_init_tracing_refuses_arguments():
    with pytest.raises(TypeError):
        vorna.init_tracing(1)


def test_init_tracing_racing_threads_exactly_one_wins():
    result = run_python(
        """
        import threading, vorna
        outcomes = []
        barrier = threading.Barrier(8)
        def worker():
            barrier.wait()
            try:
                vorna.init_tracing()
                outcomes.append("ok")
            except RuntimeError as error:
                outcomes.append(str(error))
        threads = [threading.Thread(target=worker) for _ in range(8)]
        for t in threads: t.start()
        for t in threads: t.join()
        print(outcomes.count("ok"), outcomes.count("a global default trace dispatcher has already been set"))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode().split() == ["1", "7"]
