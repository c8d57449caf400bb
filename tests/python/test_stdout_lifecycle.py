"""Writes to the native standard output across interpreter exit, fork() and signal handlers."""
import os
import subprocess
import sys
import textwrap
import time

import pytest



def run_python(code, **kwargs):
    # The timeout only guards against a hang; each child needs about a second.
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, timeout=60, **kwargs)


# A daemon thread blocks on a full pipe; the pipe is emptied only while the
# interpreter finalizes, so the write completes then. The finalizing thread
# then writes a line of its own and reads it back.
DRAINED_DURING_FINALIZATION = """
import os, threading, time, vorna
V = vorna.package.version.Version
r, w = os.pipe(); os.dup2(w, 1)
threading.Thread(target=vorna.test_function, args=(V("a" * 200000),), daemon=True).start()
time.sleep(0.3)
class Drain:
    def __del__(self):
        n = 0
        while n < 200014: n += len(os.read(r, 65536))
        time.sleep(0.3)
        vorna.test_function(V("9.9.9"))
        os.write(2, os.read(r, 100))
drain = Drain()
"""

# A daemon thread writes long lines without pause while the process ends; the
# parent empties the pipe.
WRITING_DURING_EXIT = """
import threading, time, vorna
V = vorna.package.version.Version
def loop():
    while True:
        vorna.test_function(V("a" * 300000))
threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
"""


@pytest.mark.parametrize(
    "code, runs, stderr",
    [(DRAINED_DURING_FINALIZATION, 3, b"Got version: 9.9.9\n"), (WRITING_DURING_EXIT, 8, b"")],
    ids=["drained", "writing"],
)
def test_a_daemon_thread_writing_at_exit_lets_the_process_end(code, runs, stderr):
    # What a daemon thread stopped at exit still refers to is left behind, as
    # the interpreter leaves its other daemon threads' objects: no leak.
    env = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
    for _ in range(runs):
        result = run_python(code, env=env)
        assert (result.returncode, result.stderr) == (0, stderr)


# A daemon thread of the parent is blocked writing when the parent forks: the
# child's own first line must come out, at the start of its output.
FORK_WHILE_A_THREAD_WRITES = """
import os, sys, tempfile, threading, time, warnings, vorna
warnings.simplefilter("ignore", DeprecationWarning)  # 3.12 on: fork() in a process with threads
V = vorna.package.version.Version
r, w = os.pipe(); os.dup2(w, 1)  # nobody reads
threading.Thread(target=vorna.test_function, args=(V("a" * 70000),), daemon=True).start()
time.sleep(0.2)
out = tempfile.TemporaryFile()
pid = os.fork()
if pid == 0:
    os.dup2(out.fileno(), 1)
    vorna.test_function(V("1.2.3"))
    os._exit(0)
deadline = time.monotonic() + 20
while not os.waitpid(pid, os.WNOHANG)[0]:
    if time.monotonic() > deadline:
        os.kill(pid, 9)
        sys.exit("the child hung")
    time.sleep(0.01)
out.seek(0)
sys.stderr.write(repr(out.read()))
out.close()
"""


def test_a_forked_child_writes_while_a_parent_thread_is_blocked_writing():
    for _ in range(5):  # a race: several runs
        result = run_python(FORK_WHILE_A_THREAD_WRITES)
        assert (result.returncode, result.stderr) == (0, b"b'Got version: 1.2.3\\n'")


# A thread empties the pipe slowly while the main thread writes a long line and
# SIGALRM comes every few milliseconds; the handler writes a line of its own
# or raises. Then one more line is written.
SIGNALLED_WRITE = """
import os, signal, sys, threading, time, vorna
V = vorna.package.version.Version
r, w = os.pipe(); os.dup2(w, 1); os.close(w)
received = []
def drain():
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGALRM])  # the writing thread takes them
    while chunk := os.read(r, 4096):
        received.append(chunk)
        time.sleep(0.0002)
reader = threading.Thread(target=drain)
reader.start()
class Stop(Exception):
    pass
writing, during_write, handled = False, 0, 0
def handler(number, frame):
    global during_write, handled
    during_write += writing
    if RAISE:
        signal.setitimer(signal.ITIMER_REAL, 0)
        raise Stop
    handled += 1
    vorna.test_function(V("9.9.9"))
signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.005, 0.005)
try:
    writing = True
    vorna.test_function(V("a" * 400000))
except Stop:
    pass
writing = False
signal.setitimer(signal.ITIMER_REAL, 0)
vorna.test_function(V("1.2.3"))
os.close(1)
reader.join()
sys.stderr.write("%d %d\\n" % (during_write, handled))
sys.stderr.buffer.write(b"".join(received))
"""


@pytest.mark.parametrize("raising", [False, True], ids=["handler-writes", "handler-raises"])
def test_every_line_of_a_signalled_write_goes_out_whole(raising):
    result = run_python("RAISE = %r\n" % raising + SIGNALLED_WRITE)
    assert result.returncode == 0, result.stderr[-2000:]
    counts, output = result.stderr.split(b"\n", 1)
    during_write, handled = map(int, counts.split())
    assert during_write >= 1  # the handler ran inside the long write
    lines = output.split(b"\n")
    long_line = b"Got version: " + b"a" * 400000
    if raising:
        # The write stops with the handler's exception; its fragment, if any
        # byte went out, is ended.
        assert lines[-2:] == [b"Got version: 1.2.3", b""]
        assert len(lines) == 2 or (len(lines) == 3 and long_line.startswith(lines[0]))
    else:
        # The handler's lines come after the one they interrupted, not inside it.
        assert lines.count(long_line) == 1
        assert sorted(lines) == sorted([long_line, b"Got version: 1.2.3", b""] + [b"Got version: 9.9.9"] * handled)


@pytest.mark.needs_test_hooks
def test_a_log_record_from_a_thread_without_the_interpreter_lock_after_a_sub_interpreter():
    result = run_python(
        """
        import ctypes, vorna
        try:
            import _testcapi
            _testcapi.run_in_subinterp("pass")
        except ImportError:
            try:
                import _interpreters as interpreters
            except ImportError:
                import _xxsubinterpreters as interpreters
            interpreters.destroy(interpreters.create())
        vorna.init_tracing()
        ctypes.CDLL(vorna.__file__).vorna_test_log(b"without the lock")  # CDLL gives the lock up
        """,
        env={**os.environ, "NO_COLOR": "1"},
    )
    assert (result.returncode, result.stderr) == (0, b"")
    assert b" INFO vorna::tests: without the lock\n" in result.stdout


# Exit functions and daemon threads that write, in the orders that matter: a
# thread's first write while exit functions run, and an exit function that
# waits for a thread that writes (the hook-free `QueueListener.stop()`
# pattern), with the thread started before or inside the exit function.
FIRST_WRITES_DURING_EXIT = """
import atexit, queue, threading, time, vorna
V = vorna.package.version.Version
q = queue.Queue()
def w():
    q.get()
    while True: vorna.test_function(V("1.2.3-" + "c" * 3000))
for _ in range(4): threading.Thread(target=w, daemon=True).start()
atexit.register(lambda: ([q.put(1) for _ in range(4)], time.sleep(0.05)))
"""

EXIT_FUNCTION_JOINS_A_WRITER = """
import atexit, queue, threading, time, vorna
V = vorna.package.version.Version
q = queue.Queue()
def worker():
    while (item := q.get()) is not None: vorna.test_function(V(item))
t = threading.Thread(target=worker, daemon=True); t.start()
def drain(): q.put("9.9.9"); q.put(None); t.join()
atexit.register(drain)
q.put("1.0.0"); time.sleep(0.3)
"""

EXIT_FUNCTION_STARTS_AND_JOINS_A_WRITER = """
import atexit, threading, vorna
V = vorna.package.version.Version
def start_and_join():
    t = threading.Thread(target=vorna.test_function, args=(V("9.9.9"),), daemon=True)
    t.start(); t.join()
atexit.register(start_and_join)
vorna.test_function(V("1.0.0"))
"""


@pytest.mark.parametrize(
    "code, runs, stdout",
    [
        (FIRST_WRITES_DURING_EXIT, 30, None),
        (EXIT_FUNCTION_JOINS_A_WRITER, 3, b"Got version: 1.0.0\nGot version: 9.9.9\n"),
        (EXIT_FUNCTION_STARTS_AND_JOINS_A_WRITER, 3, b"Got version: 1.0.0\nGot version: 9.9.9\n"),
    ],
    ids=["first-write-during-exit", "exit-function-joins", "exit-function-starts-and-joins"],
)
def test_exit_functions_and_writing_threads_in_any_order(code, runs, stdout):
    env = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
    for _ in range(runs):  # the first is a race: enough runs to catch one in ten
        result = run_python(code, env=env)
        if b"can't create new thread at interpreter shutdown" in result.stderr:
            pytest.skip("this interpreter starts no thread once exit functions run")
        assert (result.returncode, result.stderr) == (0, b"")
        if stdout is not None:
            assert result.stdout == stdout


@pytest.mark.needs_test_hooks
def test_a_writer_taking_the_interpreter_lock_back_during_finalization_ends_cleanly():
    # The daemon thread's write is over; it is held, holding nothing of
    # standard output, until the interpreter finalizes, then takes the lock
    # back and is ended (or parked) by the interpreter. The finalizing thread
    # still writes after it.
    code = """
    import ctypes, threading, time, vorna
    V = vorna.package.version.Version
    ctypes.PyDLL(vorna.__file__).vorna_test_hold_next_take_back()
    threading.Thread(target=vorna.test_function, args=(V("1.2.3"),), daemon=True).start()
    time.sleep(0.2)
    class Last:
        def __del__(self): vorna.test_function(V("9.9.9"))
    last = Last()
    """
    env = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
    result = run_python(code, env=env)
    assert (result.returncode, result.stderr, result.stdout) == (0, b"", b"Got version: 1.2.3\nGot version: 9.9.9\n")


def run_interrupted_with_late_reader(handler, after=""):
    # Nothing reads the child's standard output for half a second once it
    # begins its long line, so the line blocks on the full pipe when the
    # one-shot SIGALRM comes. `after` runs once the long line's write is over.
    code = textwrap.dedent(handler) + INTERRUPTED_AT_0_2_S + textwrap.dedent(after)
    child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        assert child.stderr.readline() == b"writing\n"
        time.sleep(0.5)
        out, err = child.communicate(timeout=60)
    finally:
        child.kill()
    return child.returncode, out, err


INTERRUPTED_AT_0_2_S = """
import os, signal, vorna
V = vorna.package.version.Version
class Stop(Exception):
    pass
parent = os.getpid()
signal.signal(signal.SIGALRM, handler)
os.write(2, b"writing\\n")
signal.setitimer(signal.ITIMER_REAL, 0.2)
try:
    vorna.test_function(V("a" * 400000))
except Stop:
    pass
if os.getpid() != parent:
    os._exit(0)
"""


def test_a_held_back_line_goes_out_at_exit():
    # The handler's line is held back behind the long one, whose write the
    # handler then gives up; no write follows before the process ends.
    returncode, out, err = run_interrupted_with_late_reader(
        """
        import vorna
        def handler(number, frame):
            vorna.test_function(vorna.package.version.Version("7.7.7"))
            raise Stop
        """
    )
    assert (returncode, err) == (0, b"")
    cut, _, rest = out.partition(b"\n")
    assert (b"Got version: " + b"a" * 400000).startswith(cut) and rest == b"Got version: 7.7.7\n"


def test_a_child_forked_by_a_handler_never_writes_the_parents_line():
    # The child writes its own line (wherever in the parent's line it lands)
    # and returns into its copy of the interrupted write, which ends there.
    returncode, out, err = run_interrupted_with_late_reader(
        """
        import os, vorna
        def handler(number, frame):
            if os.fork() == 0:
                vorna.test_function(vorna.package.version.Version("5.5.5"))
            else:
                os.wait()
        """
    )
    assert (returncode, err) == (0, b"")
    assert out.count(b"a") == 400000 and out.count(b"Got version: 5.5.5\n") == 1
    assert len(out) == len(b"Got version: \n" + b"a" * 400000 + b"Got version: 5.5.5\n")


# Daemon threads that the host stops inside Python code the module called:
# each waits in that code until the interpreter finalizes, then takes the
# interpreter lock back and is ended (3.9 to 3.13, by a forced unwind through
# the module's frames) or parked (3.14 on). The main thread exits only once
# all of them are inside. The copy of a write error being made by the last
# one has no other owner than the module's frame: released there without the
# interpreter lock, its __del__ would run on the stopped thread.
STOPPED_IN_PYTHON_CODE = """
import os, sys, threading, time, types, vorna
Version, SemVer, DotSeparated = (getattr(vorna.package.version, n) for n in ("Version", "SemVer", "DotSeparated"))
entered = threading.Semaphore(0)
def wait_for_exit(*args):
    entered.release()
    while not sys.is_finalizing(): time.sleep(0.001)
class Meta(type):
    def __getattribute__(cls, name):
        if name in ("__qualname__", "__name__"): wait_for_exit()
        return type.__getattribute__(cls, name)
class NotAVersion(metaclass=Meta): pass
class Index:
    def __index__(self): wait_for_exit(); return 1
class Parts:
    def __getitem__(self, i): raise IndexError
    def __iter__(self): return self
    def __next__(self): wait_for_exit(); raise StopIteration
class Memo:  # copy.deepcopy asks memo.get(key) up to 3.14, `key in memo` from 3.15
    get = __contains__ = wait_for_exit
r, w = os.pipe(); os.close(r); kept = os.dup(1); os.dup2(w, 1)
try:
    vorna.test_function(Version("1.0.0"))
except BrokenPipeError as error:
    original = error
os.dup2(kept, 1)
def report(self, original=original):
    if self is not original: os.write(2, b"a copy released on a stopped thread\\n")
type(original).__del__ = report
calls = [lambda: vorna.test_function(NotAVersion()), lambda: Version(NotAVersion()),
         lambda: SemVer(major=Index(), minor=0, patch=0), lambda: DotSeparated(parts=Parts()),
         lambda: original.__deepcopy__(Memo())]
for call in calls: threading.Thread(target=call, daemon=True).start()
for _ in calls:
    if not entered.acquire(timeout=20): sys.exit("a thread never reached its Python code")
"""

FINALIZING_THREAD_WRITES = """
# Written by the finalizing thread, once the stopped threads are gone: only
# sys.modules holds the module, whose contents go while the interpreter
# finalizes (the stopped threads' frames keep __main__'s).
class Last:
    def __del__(self, write=vorna.test_function, version=vorna.package.version.Version("9.9.9")): write(version)
sys.modules["last_writer"] = types.ModuleType("last_writer")
sys.modules["last_writer"].last = Last()
"""

# A writer held between its write and taking the interpreter lock back until
# the interpreter finalizes (a test-build hook): had it not been held, it would
# have ended before the main thread.
HELD_UNTIL_FINALIZATION = """
import ctypes, os, sys, threading, time, types, vorna
V = vorna.package.version.Version
ctypes.PyDLL(vorna.__file__).vorna_test_hold_next_take_back()
writer = threading.Thread(target=vorna.test_function, args=(V("1.2.3"),), daemon=True)
writer.start()
time.sleep(0.2)
if not writer.is_alive(): os.write(2, b"the writer came back before the interpreter finalized\\n")
"""


@pytest.mark.parametrize(
    "code, stdout",
    [
        (STOPPED_IN_PYTHON_CODE + FINALIZING_THREAD_WRITES, b"Got version: 9.9.9\n"),
        pytest.param(
            HELD_UNTIL_FINALIZATION + FINALIZING_THREAD_WRITES,
            b"Got version: 1.2.3\nGot version: 9.9.9\n",
            marks=pytest.mark.needs_test_hooks,
        ),
    ],
    ids=["inside-python-code", "taking-the-lock-back"],
)
def test_a_daemon_thread_the_host_stops_leaves_nothing_behind(code, stdout):
    # The forced unwind leaves the redzones of the frames it passes poisoned
    # on the thread's stack (AddressSanitizer clears them for C++ exceptions
    # and longjmp only); with the frames on its own side stack, it leaves none.
    options = os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0:detect_stack_use_after_return=1"
    env = {**os.environ, "ASAN_OPTIONS": options}
    for _ in range(3):
        result = run_python(code, env=env)
        assert (result.returncode, result.stderr, result.stdout) == (0, b"", stdout)


# A daemon thread writes long lines without pause while the process ends, to a
# reader that keeps up: the line under way is finished before the process
# ends, never cut.
LINE_IN_FLIGHT_AT_EXIT = """
import threading, time, vorna
V = vorna.package.version.Version
started = threading.Event()
def loop():
    line = V("a" * 1000000)
    started.set()
    while True: vorna.test_function(line)
threading.Thread(target=loop, daemon=True).start()
started.wait(); time.sleep(0.05)
"""


def test_a_daemon_threads_line_in_flight_at_exit_is_finished():
    env = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}
    line = b"Got version: " + b"a" * 1000000 + b"\n"
    for _ in range(10):  # the thread is mid-line at nearly every exit
        result = run_python(LINE_IN_FLIGHT_AT_EXIT, env=env)
        assert (result.returncode, result.stderr) == (0, b"")
        assert len(result.stdout) % len(line) == 0 and result.stdout == line * (len(result.stdout) // len(line))


LONG_LINE = b"Got version: " + b"a" * 400000

# The usual SIGTERM handler: it logs, then stops a QueueListener, joining the
# thread whose handler writes. The listener writes while the handler waits
# for it, inside the main thread's blocked write.
HANDLER_JOINS_A_WRITER = """
import logging, logging.handlers, queue, vorna
class ToVorna(logging.Handler):
    def emit(self, record): vorna.test_function(vorna.package.version.Version("3.0.0"))
records = queue.Queue()
listener = logging.handlers.QueueListener(records, ToVorna())
listener.start()
log = logging.getLogger("app")
log.addHandler(logging.handlers.QueueHandler(records))
log.setLevel(logging.INFO)
def handler(number, frame):
    log.info("stopping")
    listener.stop()
"""

# The handler cuts the line; then a child is forked that writes, and then the
# parent writes.
HANDLER_RAISES = """
def handler(number, frame):
    raise Stop
"""
A_CHILD_WRITES_THEN_THE_PARENT = """
pid = os.fork()
if pid == 0:
    vorna.test_function(V("2.0.0"))
    os._exit(0)
os.waitpid(pid, 0)
vorna.test_function(V("3.0.0"))
"""


@pytest.mark.parametrize(
    "handler, after, whole, rest",
    [
        (HANDLER_JOINS_A_WRITER, "", True, b"Got version: 3.0.0\n"),
        (HANDLER_RAISES, A_CHILD_WRITES_THEN_THE_PARENT, False, b"Got version: 2.0.0\nGot version: 3.0.0\n"),
    ],
    ids=["handler-joins-a-writer", "child-writes-after-a-cut-line"],
)
def test_what_follows_an_interrupted_line(handler, after, whole, rest):
    returncode, out, err = run_interrupted_with_late_reader(handler, after)
    assert (returncode, err) == (0, b"")
    first, _, others = out.partition(b"\n")
    assert (first == LONG_LINE if whole else LONG_LINE.startswith(first)) and others == rest


# A handler every 2 ms writes 4 KB lines (2 MB/s) while a 1 MiB line goes to a
# reader taking about 0.8 MB/s.
FLOODED_WHILE_WRITING = """
import os, resource, signal, sys, threading, time, vorna
V = vorna.package.version.Version
r, w = os.pipe(); os.dup2(w, 1); os.close(w)
received = []
def drain():
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGALRM])
    while chunk := os.read(r, 16384):
        received.append(chunk)
        time.sleep(0.02)
reader = threading.Thread(target=drain)
reader.start()
accepted, refused = [], []  # appended to: a handler may run inside another
line = V("4.0.0-" + "b" * 4000)
def write_long_line():
    vorna.test_function(V("a" * (1 << 20)))
def handler(number, frame):
    if frame.f_code is not write_long_line.__code__:
        return  # outside the call, a line written directly could outlast the period
    try:
        vorna.test_function(line)
        accepted.append(number)
    except OSError:
        refused.append(number)
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.002, 0.002)
write_long_line()
signal.setitimer(signal.ITIMER_REAL, 0)
grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
vorna.test_function(V("1.2.3"))
os.close(1)
reader.join()
sys.stderr.write("%d %d %d\\n" % (grown, len(accepted), len(refused)))
sys.stderr.buffer.write(b"".join(received))
"""


def test_a_handler_writing_faster_than_the_reader_leaves_the_call_bounded():
    result = run_python(FLOODED_WHILE_WRITING)
    assert result.returncode == 0, result.stderr[-2000:]
    counts, output = result.stderr.split(b"\n", 1)
    grown_kib, accepted, refused = map(int, counts.split())
    assert refused > 0  # the held-back lines met their bound
    assert grown_kib < 48 * 1024 or "TSAN_OPTIONS" in os.environ  # its shadow memory grows too
    lines = output.split(b"\n")
    assert lines.count(b"Got version: " + b"a" * (1 << 20)) == 1
    assert lines.count(b"Got version: 4.0.0-" + b"b" * 4000) == accepted
    assert lines.count(b"Got version: 1.2.3") == 1 and len(lines) == accepted + 3


# A handler's line is held back behind the caller's, whose write blocks on a
# full pipe; the late reader takes exactly the caller's line and closes. The
# held-back line meets the closed pipe, but the caller's own line went out
# whole.
HELD_BACK_LINE_MEETS_A_CLOSED_PIPE = """
import os, signal, vorna
V = vorna.package.version.Version
line = V("7.7.7-" + "b" * 200000)
handled = []
def handler(number, frame):
    handled.append(number)
    vorna.test_function(line)
signal.signal(signal.SIGALRM, handler)
os.write(2, b"writing\\n")
signal.setitimer(signal.ITIMER_REAL, 0.2)
result = vorna.test_function(V("a" * 400000))
os.write(2, repr((result, len(handled))).encode())
"""


def test_a_held_back_lines_error_is_not_the_callers():
    own = b"Got version: " + b"a" * 400000 + b"\n"
    child = subprocess.Popen([sys.executable, "-c", HELD_BACK_LINE_MEETS_A_CLOSED_PIPE], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    try:
        assert child.stderr.readline() == b"writing\n"
        time.sleep(0.5)
        got = b""
        while len(got) < len(own) and (chunk := child.stdout.read1(len(own) - len(got))):
            got += chunk
        child.stdout.close()
        _, err = child.communicate(timeout=60)
    finally:
        child.kill()
    assert (child.returncode, got == own, err) == (0, True, b"(None, 1)")
