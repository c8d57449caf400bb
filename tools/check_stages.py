"""Checks that the C++ core includes one way: a file of src/core/<stage>/ may
include its own stage's headers and those of the stages below it, as the
vorna_stage() calls of CMakeLists.txt order them, and nothing else of the
project. An include is followed as the compiler follows it, whether it is
written from the include root (`core/model/version.hpp`) or relative to the
file (`../model/version.hpp`).

    python tools/check_stages.py [ROOT]

Prints each include that runs back up or out of the core and exits 1 when
there is one. The Python suite runs it (tests/python/test_stages.py), so
`make test` fails on such an include without making every core file an input
of the CMake configuration.
"""
import os
import re
import sys
from pathlib import Path

STAGE_CALL = re.compile(r"^vorna_stage\((\w+)((?:\s+BELOW)(?:\s+\w+)+?)?(?=\s+SOURCES\b|\s*\))", re.M)
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*([<"])([^">\n]+)[">]', re.M)
SUFFIXES = {".hpp", ".cpp", ".inc", ".h"}


def stage_order(cmakelists):
    """Each stage with the stages it may include, itself first: {stage: [stage, below...]}."""
    allowed = {}
    for name, below in STAGE_CALL.findall(cmakelists):
        reach = [name]
        for lower in below.split()[1:]:
            if lower not in allowed:
                raise SystemExit(f"CMakeLists.txt: vorna_stage({name}) names {lower} below it before declaring it")
            reach += [stage for stage in allowed[lower] if stage not in reach]
        allowed[name] = reach
    if not allowed:
        raise SystemExit("CMakeLists.txt declares no vorna_stage()")
    return allowed


def included_file(src, including, bracket, name):
    """The path an include names, as the compiler finds it (a quoted name next to
    the including file first, then under the include root src/); None for one
    that names no file of the project, such as <vector>."""
    if bracket == '"':
        near = including.parent / name
        if name.startswith(".") or near.exists():
            return Path(os.path.normpath(near))
    if name.startswith("core/") or (src / name).exists():
        return Path(os.path.normpath(src / name))
    return None


def problems(root):
    root = Path(root)
    src = root / "src"
    core = src / "core"
    allowed = stage_order((root / "CMakeLists.txt").read_text(encoding="utf-8"))
    found = []
    for path in sorted(p for p in core.rglob("*") if p.suffix in SUFFIXES and p.is_file()):
        shown = path.relative_to(root).as_posix()
        stage = path.relative_to(core).parts[0]
        if stage not in allowed:
            found.append(f"{shown}: {stage} is not a stage of CMakeLists.txt (vorna_stage)")
            continue
        text = path.read_text(encoding="utf-8")
        for match in INCLUDE.finditer(text):
            target = included_file(src, path, *match.groups())
            if target is None:
                continue
            line = text.count("\n", 0, match.start()) + 1
            where = f"{shown}:{line}: {match.group(0).strip()}"
            try:
                reached = target.relative_to(core).parts[0]
            except ValueError:
                found.append(f"{where}: the core includes nothing of the project outside src/core")
                continue
            if reached not in allowed[stage]:
                found.append(f"{where}: the stage {stage} may include only {', '.join(allowed[stage])}")
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[1]
    found = problems(root)
    for problem in found:
        print(problem)
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
