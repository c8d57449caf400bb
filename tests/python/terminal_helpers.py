"""Running a program as from a user's shell: its standard error, and its standard output unless
told otherwise, on a pseudo-terminal, with no colour setting in its environment."""
import os
import subprocess
import threading
from contextlib import suppress

import pytest

SGR = r"\x1b\[[0-9;]*m"  # the colour codes of the report and of the tour


def run_on_terminal(args, stdin_text="", stdout_on_terminal=True):
    """The exit status, standard output and what the terminal received (line ends as "\\n")."""
    pty = pytest.importorskip("pty")
    env = {k: v for k, v in os.environ.items() if k not in ("CLICOLOR_FORCE", "CLICOLOR", "NO_COLOR")}
    env["TERM"] = "xterm-256color"
    try:
        leader, follower = pty.openpty()
    except OSError as error:  # no devpts where this runs, as in a root made without one
        pytest.skip(f"no pseudo-terminal can be opened here: {error}")
    if not os.isatty(follower):  # an emulator that does not pass the C library's terminal ioctls on
        os.close(leader)
        os.close(follower)
        pytest.skip("this interpreter cannot tell that a pseudo-terminal is a terminal here")
    received = []

    def read():  # until the last writer has closed its end
        with suppress(OSError):
            while chunk := os.read(leader, 65536):
                received.append(chunk)

    reader = threading.Thread(target=read)
    reader.start()
    try:
        stdout = follower if stdout_on_terminal else subprocess.PIPE
        child = subprocess.run(args, input=stdin_text.encode(), stdout=stdout, stderr=follower, env=env, timeout=120)
    finally:
        os.close(follower)
        reader.join(120)
        os.close(leader)
    terminal = b"".join(received).decode("utf-8").replace("\r\n", "\n")
    return child.returncode, (child.stdout or b"").decode("utf-8"), terminal
