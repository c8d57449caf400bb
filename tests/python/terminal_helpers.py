"""Running a program with its output on a pseudo-terminal, as a user's shell would."""
import os
import pty
import subprocess
import threading

# Colour codes as the report and the tour write them (SGR sequences).
SGR = r"\x1b\[[0-9;]*m"


def terminal_env(**changes):
    """The environment with no colour variable set, TERM naming a colour terminal."""
    env = {k: v for k, v in os.environ.items() if k not in ("CLICOLOR_FORCE", "CLICOLOR", "NO_COLOR")}
    env["TERM"] = "xterm-256color"
    env.update(changes)
    return env


def run_on_terminal(args, env, stdin_text=None, stdout_on_terminal=True, timeout=120):
    """Runs `args` with standard error, and standard output unless told otherwise, on a
    pseudo-terminal. Returns the exit status, standard output and what the terminal received,
    its line ends as "\\n"."""
    leader, follower = pty.openpty()
    received = bytearray()

    def read_terminal():
        while True:
            try:
                chunk = os.read(leader, 65536)
            except OSError:  # every writer closed its end
                return
            if not chunk:
                return
            received.extend(chunk)

    reader = threading.Thread(target=read_terminal)
    reader.start()
    try:
        with subprocess.Popen(
            args,
            stdin=subprocess.PIPE if stdin_text is not None else subprocess.DEVNULL,
            stdout=follower if stdout_on_terminal else subprocess.PIPE,
            stderr=follower,
            env=env,
        ) as child:
            os.close(follower)
            follower = -1
            out, _ = child.communicate(stdin_text.encode("utf-8") if stdin_text is not None else None, timeout)
        reader.join(timeout)
    finally:
        if follower != -1:
            os.close(follower)
        os.close(leader)
    return child.returncode, (out or b"").decode("utf-8"), received.decode("utf-8").replace("\r\n", "\n")
