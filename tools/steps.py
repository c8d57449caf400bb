"""What the release scripts (tools/sdist.py, tools/build_wheels.py) share:
commands whose output is shown when they fail, and timed steps."""
import shlex
import subprocess
import time


def announce(text):
    print(f"==> {text}", flush=True)


def run(command, **kwargs):
    kwargs.setdefault("check", True)
    return subprocess.run([str(c) for c in command], **kwargs)


def run_shown(command, **kwargs):
    """Runs a command with its output held back; when it fails, prints the
    command and all it wrote, and stops. Returns what it wrote."""
    words = [str(c) for c in command]
    result = subprocess.run(words, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    if result.returncode != 0:
        print(result.stdout, flush=True)
        raise SystemExit(f"failed with exit status {result.returncode}: {shlex.join(words)}")
    return result.stdout


class Step:
    """Announces a step with its rough time and records what it took."""

    times = []

    def __init__(self, what, rough):
        self.what, self.rough = what, rough

    def __enter__(self):
        announce(f"{self.what} ({self.rough})")
        self.start = time.monotonic()

    def __exit__(self, kind, *_exc):
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
