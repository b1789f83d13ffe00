"""The type stubs (python/tradecore/*.pyi) against what Python really gets: every public name of
the package and of the extension module is declared and every name the stubs declare exists,
every record field is typed as its getter returns it, the engine functions and record classes
carry the same documentation and parameters in the stubs as help() shows, the generated stubs
match records/QNRecords.h and pymodule/docstrings.i, and a strictly typed user script passes
mypy --strict and pyright's strict mode against them."""
import ast
import importlib.util
import inspect
import json
import os
import re
import shutil
import subprocess
import sys
import typing

import pytest

import tradecore
from tradecore import book, events, risk, sim, strategy

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
STUBS = os.path.join(ROOT, "python", "tradecore")
PYTHON_TYPES = {"int": int, "float": float, "bool": bool, "str": str, "Char": str}
RECORDS = ("CQNLoginField", "CQNMarketDataField", "CQNOrderField", "CQNTransferAssetField", "CQNQueryCommandField")


def declared(stub):
    """name -> annotation text (or "def"/"class") of the top-level names of a stub file."""
    with open(os.path.join(STUBS, stub), encoding="utf-8") as f:
        tree = ast.parse(f.read())
    names = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            names[node.target.id] = node
        elif isinstance(node, ast.Assign):
            for target in node.targets:
                names[target.id] = node
        elif isinstance(node, ast.ImportFrom):
            for alias in node.names:
                names[alias.asname or alias.name] = node
    return names


def public(module):
    return {n for n in dir(module) if not n.startswith("_")}


class TestDeclaredNames:
    def test_extension_module(self, ext):
        names = declared("_tradecore.pyi")
        missing = sorted(n for n in public(ext) | {"SWIG_PyInstanceMethod_New"} if n not in names)
        assert missing == []

    def test_package(self, tc):
        names = declared("__init__.pyi")
        # The record classes' SWIG plumbing is not part of what a strategy uses.
        missing = sorted(n for n in public(tc) if n not in names and not n.startswith("SWIG"))
        assert missing == []

    @pytest.mark.parametrize("module, stub", [("events", "events.pyi"), ("strategy", "strategy.pyi"),
                                              ("sim", "sim.pyi"), ("book", "book.pyi"), ("risk", "risk.pyi")])
    def test_python_layer(self, module, stub):
        runtime = __import__("tradecore." + module, fromlist=["_"])
        names = declared(stub)
        assert sorted(n for n in runtime.__all__ if n not in names) == []


def test_record_fields_typed_as_their_getters_return(tc):
    classes = declared("__init__.pyi")
    for record in RECORDS:
        obj = getattr(tc, record)()
        # A code family (Union[OrderStatusCode, NoCode]) is a str at runtime.
        fields = {node.target.id: node.annotation.id if isinstance(node.annotation, ast.Name) else "str"
                  for node in classes[record].body if isinstance(node, ast.AnnAssign)}
        for field, annotation in fields.items():
            if field in ("this", "thisown"):
                continue
            assert isinstance(getattr(obj, field), PYTHON_TYPES[annotation]), (record, field)
        assert len(fields) > 10


def stub_only_names(stub, module):
    """Public names a stub declares (not imported from typing) that the runtime module lacks."""
    missing = []
    for name, node in declared(stub).items():
        # An import is re-exported only as "import X as X"; the others are the stub's own.
        private_import = isinstance(node, ast.ImportFrom) and not any(
            a.name == name and a.asname == name for a in node.names)
        if not name.startswith("_") and not private_import and not hasattr(module, name):
            missing.append(name)
    return sorted(missing)


@pytest.mark.parametrize("stub, module", [("__init__.pyi", tradecore), ("_tradecore.pyi", tradecore._tradecore),
                                          ("events.pyi", events), ("strategy.pyi", strategy), ("sim.pyi", sim),
                                          ("book.pyi", book), ("risk.pyi", risk)])
def test_every_name_the_stubs_declare_exists_at_runtime(stub, module):
    assert stub_only_names(stub, module) == []
    # Classes: the stub's public members and the runtime's agree both ways.
    for name, node in declared(stub).items():
        if isinstance(node, ast.ClassDef) and name not in RECORDS and not name.startswith("_"):
            cls = getattr(module, name)
            inherited = {n for base in cls.__mro__[1:] for n in vars(base)}  # a dict's get, ...
            runtime = {n for n in vars(cls) if not n.startswith("_") and n not in inherited}
            stubbed = {n.name if hasattr(n, "name") else n.target.id for n in node.body
                       if isinstance(n, (ast.FunctionDef, ast.AnnAssign)) and not getattr(n, "name", "x").startswith("_")}
            class_level = runtime - {n for n in runtime if not callable(getattr(getattr(module, name), n))
                                     and not isinstance(getattr(getattr(module, name), n), property)}
            assert sorted(class_level - stubbed) == [], name
            assert sorted(n for n in stubbed - runtime if not hasattr(getattr(module, name), n)
                          and n not in ("address", "error_id", "message", "handle", "stop_reason")) == [], name


def test_typing_names_exist_at_runtime_as_the_stubs_define_them(tc):
    assert isinstance(tc._records.pointerAt(1), tc.SwigPyObject) and tc.EngineHandle is tc.SwigPyObject
    names = declared("__init__.pyi")
    for alias in (a for a, _ in tc._types.CODE_FAMILIES):
        subscript = names[alias].value.slice
        if sys.version_info < (3, 9):  # the subscript sits in an ast.Index there
            subscript = subscript.value
        stubbed = [elt.value for elt in subscript.elts]
        assert sorted(typing.get_args(getattr(tc, alias))) == sorted(stubbed), alias
    assert tc.ENUM_OrderType_SZSE_AnyAndKill in typing.get_args(tc.OrderTypeCode)


def test_functions_and_record_classes_carry_their_documentation(tc):
    package, extension = declared("__init__.pyi"), declared("_tradecore.pyi")
    for name in tc._ENGINE_FUNCTIONS:
        function = getattr(tc, name)
        doc = inspect.getdoc(function)
        assert doc and len(doc) > 30, name
        signature = inspect.signature(function)   # from the docstring's first line
        for stubs in (package, extension):
            node = stubs[name]
            assert ast.get_docstring(node) == doc, name
            params = node.args.posonlyargs + node.args.args
            assert [p.arg for p in params] == list(signature.parameters), name
            defaults = [ast.literal_eval(d) for d in node.args.defaults]
            assert defaults == [p.default for p in signature.parameters.values()
                                if p.default is not inspect.Parameter.empty], name
    for record in RECORDS:
        doc = inspect.getdoc(getattr(tc, record))
        assert doc == ast.get_docstring(package[record]) and "Fields" in doc, record
    # What help() shows: the real parameters, the defaults, the codes.
    text = __import__("pydoc").render_doc(tc.buyOpen, renderer=__import__("pydoc").plaintext)
    # (3.13 lays a long signature out one parameter a line.)
    signature = re.sub(r"\(\s+", "(", re.sub(r",?\s+\)", ")", re.sub(r",\s+", ", ", text)))
    assert "buyOpen(Trader, StandardID, Volume, OrderType, Price, ExchangeID=None, Direction='0', /)" in signature
    assert "'6' Rejected" in text and "-1002200" in text
    assert "'4' AllTraded" in inspect.getdoc(tc.CQNOrderField)


TYPED_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "typed_user_script.py")


@pytest.mark.parametrize("checker", ["mypy", "basedpyright"])
def test_a_strictly_typed_strategy_passes_the_type_checkers(checker, tmp_path):
    """mypy --strict and pyright's strict mode (basedpyright, which ships its checker inside its
    wheel) over typed_user_script.py, against the stubs of the source tree. mypy is the one of the
    interpreter running the tests, so it checks for that Python version. The checkers named in
    TRADECORE_REQUIRE_TYPE_CHECKERS (comma-separated; tools/test.sh sets it) fail when absent
    instead of skipping."""
    if checker == "mypy":
        found = importlib.util.find_spec("mypy") is not None
    else:
        found = shutil.which(checker) is not None
    if not found:
        message = "%s is not installed for %s (tools/requirements-dev.txt)" % (checker, sys.executable)
        if checker in os.environ.get("TRADECORE_REQUIRE_TYPE_CHECKERS", "").split(","):
            pytest.fail(message)
        pytest.skip(message)
    stubs = os.path.join(ROOT, "python")
    script = tmp_path / "typed_user_script.py"
    script.write_text(open(TYPED_SCRIPT, encoding="utf-8").read(), encoding="utf-8")
    if checker == "mypy":
        command = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                   str(script)]
        env = dict(os.environ, MYPYPATH=stubs)
    else:
        (tmp_path / "pyrightconfig.json").write_text(json.dumps({
            "typeCheckingMode": "strict", "pythonVersion": "3.8", "extraPaths": [stubs],
            "include": ["typed_user_script.py"]}))
        command, env = [checker, "--project", str(tmp_path)], dict(os.environ)
    proc = subprocess.run(command, cwd=str(tmp_path), env=env, capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_constant_values(tc):
    names = declared("__init__.pyi")
    constants = [n for n in names if (n.startswith("ENUM_") or n == "MICROSECONDS_IN_SECOND")
                 and getattr(names[n], "value", None) is not None]
    assert len(constants) > 300
    for name in constants:
        assert ast.literal_eval(names[name].value) == getattr(tc, name), name


def test_generated_stubs_are_current():
    script = os.path.join(ROOT, "tools", "gen_stubs.py")
    if not os.path.exists(script):
        pytest.skip("source tree not available")
    proc = subprocess.run([sys.executable, script, "--check"], capture_output=True, text=True)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_stubs_ship_with_the_package():
    # Type checkers use an installed package's stubs only when it carries the py.typed marker.
    assert os.path.exists(os.path.join(STUBS, "py.typed"))
    installed = os.path.dirname(tradecore.__file__)
    if "site-packages" in installed or "dist-packages" in installed:
        for name in ("py.typed", "__init__.pyi", "_tradecore.pyi", "events.pyi", "strategy.pyi"):
            assert os.path.exists(os.path.join(installed, name)), name
