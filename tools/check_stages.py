"""Checks that the C++ core includes one way: a file of src/core/<stage>/ may
include its own stage's headers and those of the stages below it, and nothing
else of the project. An include is followed as the compiler follows it, whether
it is written from the include root (`core/model/version.hpp`) or relative to
the file (`../model/version.hpp`).

    python tools/check_stages.py [ROOT [STAGE=LINKS ...]]

Without link lists, the stages below each one are read from the vorna_stage()
calls of CMakeLists.txt; the Python suite runs it so (tests/python/test_stages.py).
The C++ suite's ctest passes each stage library's link list as CMake resolved
it (`model=vorna_unicode,vorna_platform`, in the order the stages are made):
the includes are then checked against what each library links, and the calls
as read must agree with those lists. Prints each include that runs back up or
out of the core (and each disagreement) and exits 1 when there is one.
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


def stage_links(arguments):
    """The same map from the stage libraries' link lists, given as STAGE=LIBRARY,...
    arguments in the order the stages are made; libraries other than stages
    (warnings, threads) are left out."""
    allowed = {}
    for argument in arguments:
        name, _, links = argument.partition("=")
        reach = [name]
        for library in links.split(","):
            # A private link of a static library is listed as $<LINK_ONLY:name>.
            lower = re.sub(r"^\$<LINK_ONLY:(.*)>$", r"\1", library).removeprefix("vorna_")
            if lower not in allowed:
                continue
            reach += [stage for stage in allowed[lower] if stage not in reach]
        allowed[name] = reach
    return allowed


def disagreements(declared, linked):
    """Where the stages read from the vorna_stage() calls differ from the link lists."""
    found = []
    for stage in sorted(declared.keys() | linked.keys()):
        calls, links = sorted(declared.get(stage, [])), sorted(linked.get(stage, []))
        if calls != links:
            found.append(f"CMakeLists.txt: vorna_stage({stage}) reaches {', '.join(calls) or 'nothing'}, "
                         f"its library links {', '.join(links) or 'nothing'}")
    return found


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


def problems(root, links=None):
    """Each include out of its stage; with `links` (stage_links), the stages
    below each one are those its library links, and the calls must agree."""
    root = Path(root)
    src = root / "src"
    core = src / "core"
    allowed = stage_order((root / "CMakeLists.txt").read_text(encoding="utf-8"))
    found = []
    if links is not None:
        found += disagreements(allowed, links)
        allowed = links
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
    found = problems(root, stage_links(sys.argv[2:]) if len(sys.argv) > 2 else None)
    for problem in found:
        print(problem)
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
