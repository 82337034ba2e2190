"""Every native module of the package is built without C++ exception tables.

A thread that CPython ends with pthread_exit() at interpreter exit is unwound
through the native frames; with no exception tables no cleanup code (no
destructor releasing a reference or a buffer) runs on the way.  The check
reads the ELF section headers of every built module, so modules added later
are covered as they land.
"""

import importlib.util
import struct
from pathlib import Path

import pytest

SPEC = importlib.util.find_spec("kyber_alg")
PACKAGE = Path(SPEC.origin).parent if SPEC and SPEC.origin else None
MODULES = sorted(PACKAGE.rglob("*.so")) if PACKAGE else []


def section_names(path):
    """Names of the sections of a 64-bit little-endian ELF file."""
    data = path.read_bytes()
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        raise ValueError(f"{path.name}: not a 64-bit little-endian ELF file")
    (shoff,) = struct.unpack_from("<Q", data, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
    headers = [struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize) for i in range(shnum)]
    strtab_offset = headers[shstrndx][4]
    return [data[strtab_offset + h[0] : data.index(b"\0", strtab_offset + h[0])].decode() for h in headers]


def test_velmora_and_kyber_are_among_the_built_modules():
    if PACKAGE is None:
        pytest.skip("kyber_alg is not installed")
    names = {m.name.split(".")[0] for m in MODULES}
    assert {"Velmora", "Kyber"} <= names, MODULES


@pytest.mark.parametrize("module", MODULES, ids=[m.relative_to(PACKAGE).as_posix() for m in MODULES])
def test_module_has_no_exception_tables(module):
    sections = section_names(module)
    assert ".eh_frame" in sections  # frames stay unwindable: pthread_exit() needs that
    assert ".gcc_except_table" not in sections
