"""The C++ core includes one way (tools/check_stages.py): the tree as it is,
and the includes that run back up or out of a stage, however written."""
import shutil
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import check_stages  # noqa: E402

# Files of a small core laid out as the real one, in the real stage order.
FILES = ["core/unicode/utf8.hpp", "core/model/version.hpp", "core/grammar/grammar.hpp", "core/parse/parse.hpp",
         "core/terminal/paint.hpp", "bindings/runtime/ref.hpp"]


def test_the_tree_includes_one_way():
    assert check_stages.problems(ROOT) == []


MODEL = "the stage model may include only model, unicode, platform"
GRAMMAR = "the stage grammar may include only grammar, model, unicode, platform"


@pytest.mark.parametrize("including, line, refused", [
    ("core/model/values.hpp", '#include "core/parse/parse.hpp"', MODEL),
    ("core/model/values.hpp", '#include "../parse/parse.hpp"', MODEL),
    ("core/model/values.cpp", '#include "./../model/../grammar/grammar.hpp"', MODEL),
    ("core/model/values.hpp", "  #  include <core/grammar/grammar.hpp>", MODEL),
    ("core/grammar/grammar.cpp", '#include "core/terminal/paint.hpp"', GRAMMAR),
    ("core/grammar/grammar.cpp", '#include "../../bindings/runtime/ref.hpp"',
     "the core includes nothing of the project outside src/core"),
    ("core/model/values.hpp", '#include "version.hpp"', None),
    ("core/model/values.hpp", '#include "../unicode/utf8.hpp"', None),
    ("core/grammar/grammar.cpp", '#include "core/unicode/utf8.hpp"', None),
    ("core/parse/parse.cpp", '#include "core/terminal/paint.hpp"', None),
    ("core/model/values.hpp", "#include <vector>", None),
])
def test_an_include_out_of_its_stage_is_refused(including, line, refused, tmp_path):
    assert check_stages.problems(core_with(tmp_path, including, line)) == (
        [] if refused is None else [f"src/{including}:3: {line.strip()}: {refused}"])


def test_a_folder_of_the_core_that_is_no_stage_is_refused(tmp_path):
    root = core_with(tmp_path, "core/extra/thing.hpp", '#include "core/unicode/utf8.hpp"')
    assert check_stages.problems(root) == [
        "src/core/extra/thing.hpp: extra is not a stage of CMakeLists.txt (vorna_stage)"]


# The link lists as ctest passes them; grammar's varies per case.
LINKS = ["unicode=", "platform=vorna_unicode,Threads::Threads", "terminal=vorna_unicode",
         "log=vorna_platform,vorna_terminal", "model=vorna_unicode,vorna_platform", "grammar=",
         "report=vorna_grammar,vorna_terminal", "parse=vorna_report"]


@pytest.mark.parametrize("grammar_links, refused, disagrees", [
    ("vorna_model,vorna_warnings", None, False),
    ("vorna_model,vorna_terminal", None, True),
    ("vorna_unicode", "the stage grammar may include only grammar, unicode", True),
])
def test_includes_are_checked_against_the_link_lists(grammar_links, refused, disagrees, tmp_path):
    line = '#include "core/model/version.hpp"'
    root = core_with(tmp_path, "core/grammar/grammar.cpp", line)
    links = [f"grammar={grammar_links}" if entry == "grammar=" else entry for entry in LINKS]
    found = check_stages.problems(root, check_stages.stage_links(links))
    assert [p for p in found if p.startswith("src/")] == ([] if refused is None else [
        f"src/core/grammar/grammar.cpp:3: {line}: {refused}"])
    assert any(p.startswith("CMakeLists.txt: vorna_stage(grammar) reaches") for p in found) == disagrees


def core_with(root, including, line):
    shutil.copy(ROOT / "CMakeLists.txt", root / "CMakeLists.txt")
    for name in FILES + [including]:
        (root / "src" / name).parent.mkdir(parents=True, exist_ok=True)
        (root / "src" / name).write_text("#pragma once\n")
    (root / "src" / including).write_text(f"#pragma once\n\n{line}\n")
    return root
