"""Helpers for the Python tests: a fresh interpreter on the same package, and raw views of the
memory behind record objects."""
import ctypes
import os
import subprocess
import sys
import textwrap

import tradecore
from tables import RECORDS

PACKAGE_PARENT = os.path.dirname(os.path.dirname(os.path.abspath(tradecore.__file__)))


def run_python(code, *flags, check=True, timeout=120, cwd=None):
    """Runs ``code`` in a fresh interpreter that imports the same tradecore as this one.
    For what must not happen in the test process: crashes, process-wide state, output written
    straight to the C stdout, interpreter flags such as -W error. The timeout only turns a hang
    into a failure; ``cwd`` is where the child runs (for what it writes beside itself)."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (PACKAGE_PARENT, env.get("PYTHONPATH")) if p)
    proc = subprocess.run([sys.executable, *flags, "-c", textwrap.dedent(code)], env=env,
                          capture_output=True, text=True, timeout=timeout, cwd=cwd)
    if check and proc.returncode != 0:
        raise AssertionError("child exited with %d\nstdout:\n%s\nstderr:\n%s"
                             % (proc.returncode, proc.stdout, proc.stderr))
    return proc


def address_of(record):
    """The C address of a record object (the value of its wrapped pointer)."""
    return int(record.this)


def lock_words(record):
    """(lock word, waiter count): the two 32-bit words 8 and 4 bytes in front of the record."""
    address = address_of(record)
    return (ctypes.c_int32.from_address(address - 8).value,
            ctypes.c_int32.from_address(address - 4).value)


# ctypes mirrors of the five records, built from the reference field tables (natural
# alignment, fields in order), to look at the bytes behind a record object.
_SCALARS = {"int": ctypes.c_int32, "long long": ctypes.c_int64, "double": ctypes.c_double,
            "bool": ctypes.c_bool, "char": ctypes.c_char}


def _ctype(ctype):
    if ctype.startswith("char["):
        return ctypes.c_char * int(ctype[5:-1])
    return _SCALARS[ctype]


LAYOUTS = {name: type(name + "Layout", (ctypes.Structure,),
                      {"_fields_": [(field, _ctype(ctype)) for field, ctype, _ in fields]})
           for name, fields in RECORDS.items()}


def raw(record):
    """A ctypes view of the memory of a record object, by the record's class name."""
    return LAYOUTS[type(record).__name__].from_address(address_of(record))


def raw_bytes(record, field):
    """The N bytes of a char[N] field, NULs included."""
    view = raw(record)
    offset = getattr(type(view), field).offset
    size = getattr(type(view), field).size
    return ctypes.string_at(address_of(record) + offset, size)
