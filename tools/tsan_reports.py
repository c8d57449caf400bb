"""Reads the ThreadSanitizer logs of a run (one file per process, as
`log_path` writes them) and judges them: a report that names a frame or a
global of the extension's library is the extension's and fails the run, and
so does a message of the runtime itself (a fatal error, a failed check),
which means the run proved nothing. A report that names nothing of the
extension is the host's: shown, not judged here (its process's exit status
carries it).

    python tools/tsan_reports.py LOG_DIR EXTENSION_FILE_NAME

Exit status 0 when nothing fails, 1 otherwise.
"""
import pathlib
import re
import sys

SEPARATOR = "=================="
# A frame or a global of a library, as "    #3 vorna::log::write_stdout(...)
# /src/core/log/stdout.cpp:263 (vorna.cpython-39-x86_64-linux-gnu.so+0x40ded)"
# or "  Location is global 'storage' of size 168 at 0x7fb0603ffc80 (vorna...so+0xa9ce8)".
IN_LIBRARY = re.compile(r"\((?P<module>[^()\s]+?)\+0x[0-9a-f]+\)$")
# The runtime speaking for itself rather than reporting on the program.
RUNTIME_FAILURE = re.compile(r"FATAL: ThreadSanitizer|CHECK failed|ThreadSanitizer: .*(not supported|Dying)")


def reports_of(text):
    """The reports of one log, each a list of lines, and the lines outside them."""
    reports, outside, current = [], [], None
    for line in text.splitlines():
        if line == SEPARATOR:
            if current is None:
                current = []
            else:
                reports.append(current)
                current = None
        elif current is not None:
            current.append(line)
        else:
            outside.append(line)
    if current is not None:  # the process ended inside a report
        reports.append(current)
    return reports, outside


def modules(report):
    """The libraries whose code or data the report names."""
    return {pathlib.PurePath(m.group("module")).name for m in map(IN_LIBRARY.search, report) if m}


def main(log_dir, extension):
    own, host, failures = [], [], []
    for log in sorted(pathlib.Path(log_dir).iterdir()):
        text = log.read_text(errors="replace")
        reports, outside = reports_of(text)
        for report in reports:
            (own if extension in modules(report) else host).append((log.name, report))
        failures += [(log.name, line) for line in outside if RUNTIME_FAILURE.search(line)]
    for title, found in [("in the extension's frames", own), ("in the host's frames only (not judged)", host)]:
        if found:
            print(f"--- {len(found)} ThreadSanitizer report(s) {title}:")
            for log, report in found:
                print(f"[{log}]", *report, sep="\n")
    for log, line in failures:
        print(f"[{log}] the runtime failed: {line}")
    return 1 if own or failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
