"""The type stubs describe the module as built: every public name, class member and argument."""

import ast
import inspect
import pathlib

import polyview as pv

STUBS = ast.parse((pathlib.Path(pv.__file__).parent / "__init__.pyi").read_text())


def stub_arguments(node):
    keyword_only = ["*"] + [a.arg for a in node.args.kwonlyargs] if node.args.kwonlyargs else []
    return [a.arg for a in node.args.args if a.arg != "self"] + keyword_only


def module_arguments(function):
    # pybind11 writes the signature as the first line of the docstring: name(a: T, b: T = ...)
    signature = function.__doc__.splitlines()[0]
    inner = signature[signature.index("(") + 1: signature.rindex(")")]
    return [part.split(":")[0].strip() for part in inner.split(", ") if part and
            part.split(":")[0].strip() != "self"]


def test_stub_names_are_the_public_names():
    stubbed = {n.name for n in STUBS.body if isinstance(n, (ast.ClassDef, ast.FunctionDef))}
    assert stubbed == set(pv.__all__)


def test_stub_functions_take_the_module_arguments():
    for node in STUBS.body:
        if isinstance(node, ast.FunctionDef):
            assert stub_arguments(node) == module_arguments(getattr(pv, node.name)), node.name


def test_stub_classes_have_the_module_members():
    for node in STUBS.body:
        if not isinstance(node, ast.ClassDef) or node.name == "ReconstructionError":
            continue
        cls = getattr(pv, node.name)
        members = {n.name: n for n in node.body if isinstance(n, ast.FunctionDef)}
        public = {name for name, _ in inspect.getmembers(cls) if not name.startswith("_")}
        assert set(members) - {"__init__"} == public, node.name
        if "__init__" in members:
            assert stub_arguments(members["__init__"]) == module_arguments(cls.__init__), node.name
