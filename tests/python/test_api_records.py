"""The exported API description records against the runtime, and the committed stub against the records."""
import importlib.util
import json
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import vorna

REPO = Path(__file__).resolve().parents[2]
_spec = importlib.util.spec_from_file_location("gen_stubs", REPO / "tools" / "gen_stubs.py")
gen_stubs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen_stubs)

RECORDS = gen_stubs.load_records()
SAMPLES = {"Version": "1.2.3", "SemVer": "1.2.3", "DotSeparated": "1.2", "Other": "nightly"}


def runtime_object(path):
    found = vorna
    for segment in path.split(".")[1:]:
        found = getattr(found, segment)
    return found


def records_of(kind):
    return [pytest.param(r, id=r["path"]) for r in RECORDS if r["kind"] == kind]


def test_committed_stubs_are_generated_from_the_records():
    assert gen_stubs.committed_stubs() == gen_stubs.render_stubs(RECORDS), "stale stubs: run make stubs"


def test_records_cover_every_module_class_and_function():
    modules = [r for r in RECORDS if r["kind"] == "module"]
    assert [m["path"] for m in modules] == ["vorna", "vorna.package", "vorna.package.version"]
    described = {r["path"] for r in RECORDS}
    assert {f"{m['path']}.{name}" for m in modules for name in m["all"]} <= described


@pytest.mark.parametrize("record", records_of("module"))
def test_module_record(record):
    module = runtime_object(record["path"])
    assert (module.__name__, module.__all__, module.__doc__) == (record["name"], record["all"], record["doc"])
    assert record["doc"] and "\n" not in record["doc"]


@pytest.mark.parametrize("record", records_of("class"))
def test_class_record(record):
    cls = runtime_object(record["path"])
    assert (cls.__name__, cls.__doc__, cls.__text_signature__) == (
        record["name"], record["doc"], record["text_signature"])
    assert record["type_name"] == f"{cls.__module__}.{cls.__qualname__}"
    assert record["final"] == (not cls.__flags__ & (1 << 10))  # Py_TPFLAGS_BASETYPE
    assert record["hashable"] == (cls.__hash__ is not None)


@pytest.mark.parametrize("record", records_of("property"))
def test_property_record(record):
    class_path, name = record["path"].rsplit(".", 1)
    cls = runtime_object(class_path)
    assert getattr(cls, name).__doc__ == record["doc"] and "\n" not in record["doc"]
    instance = cls(SAMPLES[cls.__name__])
    with pytest.raises(TypeError, match=f"^argument '{record['setter']['parameter']}': "):
        setattr(instance, name, object())


@pytest.mark.parametrize("record", records_of("function"))
def test_function_record(record):
    function = runtime_object(record["path"])
    assert (function.__doc__, function.__text_signature__) == (record["doc"], record["text_signature"])
    (signature,) = record["signatures"]
    assert record["text_signature"] == "(" + ", ".join(p["name"] for p in signature["parameters"]) + ")"


def argument_of_type(type_name, cls):
    """A value of the declared parameter type `type_name` that a constructor of `cls` should accept."""
    sample = SAMPLES[cls.__name__]
    values = {"int": 1, "str": sample, "_SequenceOfStr": ("x",), "_SequenceOfStr | None": ["x"]}
    if type_name in values:
        return values[type_name]
    target = getattr(vorna.package.version, type_name)
    if target is cls or cls.__name__ == "Version":
        return target(SAMPLES[type_name])
    return target(cls(sample))  # a Version holding a value of cls's kind


@pytest.mark.parametrize("record", [p for p in records_of("method") if p.values[0]["name"] == "__new__"])
def test_declared_constructor_calls_are_accepted(record):
    """The runtime signature is (*args, **kwargs), which stubtest cannot compare: call each declared form."""
    cls = runtime_object(record["class"])
    for signature in record["signatures"]:
        parameters = signature["parameters"]
        if parameters[0]["kind"] == "positional_only":
            for alternative in parameters[0]["type"].split(" | "):
                assert type(cls(argument_of_type(alternative, cls))) is cls
            continue
        keywords = {p["name"]: argument_of_type(p["type"], cls) for p in parameters}
        assert type(cls(**keywords)) is cls
        for required in (p["name"] for p in parameters if not p["default"]):
            with pytest.raises((TypeError, ValueError), match=f"'{required}'"):
                cls(**{k: v for k, v in keywords.items() if k != required})


@pytest.mark.needs_test_hooks
def test_records_out_of_memory_give_null_and_a_later_call_builds_them():
    # The records are built once per process: the failure needs a fresh one.
    code = textwrap.dedent(
        """
        import ctypes, vorna
        library = ctypes.PyDLL(vorna.__file__)
        library.vorna_api_records.restype = ctypes.c_char_p
        library.vorna_test_fail_next_api_record()
        print(library.vorna_api_records())
        print(library.vorna_api_records().decode(), end="")
        """
    )
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    first, *records = result.stdout.splitlines()
    assert first == "None"
    assert [json.loads(line) for line in records] == RECORDS
