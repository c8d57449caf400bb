"""Code that fails at run time and that every type checker must flag: each line whose
comment reads "type error: <exception>" must be reported, and no other line
(tools/typecheck.py); the suite checks that the line raises that exception."""
import vorna

SemVer = vorna.package.version.SemVer
DotSeparated = vorna.package.version.DotSeparated
Version = vorna.package.version.Version
s = SemVer("1.2.3")
d = DotSeparated("1.2")


def misuse() -> None:
    s.rc = "beta"  # type error: TypeError
    s.meta = "build"  # type error: TypeError
    SemVer(major=1, minor=2, patch=3, rc="beta")  # type error: TypeError
    DotSeparated(parts="1.2")  # type error: TypeError
    d.parts = {"1", "2"}  # type error: TypeError
    s.rc = (part for part in ["a"])  # type error: TypeError
    s.rc = [1]  # type error: TypeError
    s.major = "1"  # type error: TypeError
    SemVer(["1", "2", "3"])  # type error: TypeError
    vorna.test_function(s)  # type error: TypeError
    print(s < Version("1.2.3"))  # type error: TypeError
    print(vorna.package.version.Semver)  # type error: AttributeError


def import_classes() -> None:
    from vorna.package.version import SemVer  # type error: ImportError


def import_submodule() -> None:
    import vorna.package  # type error: ImportError


def import_stub_path() -> None:
    from vorna._package.version import SemVer  # type error: ImportError


def import_stub_module() -> None:
    import vorna._package.version  # type error: ImportError


class Derived(SemVer):  # type error: TypeError
    pass
