"""The type stubs (python/tradecore/*.pyi) against what Python really gets: every public name of
the package and of the extension module is declared, every record field is typed as its getter
returns it, and the generated stubs match records/QNRecords.h."""
import ast
import os
import subprocess
import sys

import pytest

import tradecore

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
STUBS = os.path.join(ROOT, "python", "tradecore")
PYTHON_TYPES = {"int": int, "float": float, "bool": bool, "str": str, "Char": str}


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
    for record in ("CQNLoginField", "CQNMarketDataField", "CQNOrderField", "CQNTransferAssetField",
                   "CQNQueryCommandField"):
        obj = getattr(tc, record)()
        fields = {node.target.id: node.annotation.id for node in classes[record].body
                  if isinstance(node, ast.AnnAssign) and isinstance(node.annotation, ast.Name)}
        for field, annotation in fields.items():
            if field in ("this", "thisown"):
                continue
            assert isinstance(getattr(obj, field), PYTHON_TYPES[annotation]), (record, field)
        assert len(fields) > 10


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
