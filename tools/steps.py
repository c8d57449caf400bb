"""What the release scripts (tools/sdist.py, tools/build_wheels.py) share:
commands whose output is shown when they fail, and timed steps."""
import shlex
import subprocess
import time


def announce(text):
    print(f"==> {text}", flush=True)


def run(command, **kwargs):
    """subprocess.run that stops the tool in its own words when the command
    cannot start or (unless check=False) fails: the step it belongs to, the
    command, and the output the caller held back, never a traceback."""
    words = [str(c) for c in command]
    check = kwargs.pop("check", True)
    try:
        result = subprocess.run(words, **kwargs)
    except OSError as error:
        raise SystemExit(f"{Step.doing()}cannot run {shlex.join(words)}: {error.strerror or error}") from None
    if check and result.returncode != 0:
        held = [text if isinstance(text, str) else text.decode(errors="replace")
                for text in (result.stdout, result.stderr) if text]
        if held:
            print("".join(part if part.endswith("\n") else part + "\n" for part in held), end="", flush=True)
        raise SystemExit(f"{Step.doing()}failed with exit status {result.returncode}: {shlex.join(words)}")
    return result


def run_shown(command, **kwargs):
    """Runs a command with its output (stdout and stderr in one) held back and
    returns it; when it fails, prints it all and stops, as run() does."""
    return run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs).stdout


class Step:
    """Announces a step with its rough time and records what it took."""

    times = []
    running = []

    def __init__(self, what, rough):
        self.what, self.rough = what, rough

    @staticmethod
    def doing():
        """The step under way, as the start of a message ("" outside any)."""
        return f"{Step.running[-1]}: " if Step.running else ""

    def __enter__(self):
        announce(f"{self.what} ({self.rough})")
        Step.running.append(self.what)
        self.start = time.monotonic()

    def __exit__(self, kind, *_exc):
        Step.running.pop()
        took = time.monotonic() - self.start
        Step.times.append((self.what + ("" if kind is None else " (failed)"), took))
        print(f"    took {took:.0f} s", flush=True)

    @staticmethod
    def report():
        if not Step.times:
            return
        announce(f"time per step, {sum(t for _w, t in Step.times) / 60:.1f} min in all")
        for what, took in Step.times:
            print(f"    {took:6.0f} s  {what}")
