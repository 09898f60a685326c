"""Checks a freshly built Windows CPython, run under Wine: what it reports itself to be, the sizes an
extension sees, the extension modules a test run needs, and the calls that a build reading the
compiler instead of the platform would have lost."""

import ctypes
import os
import struct
import subprocess
import sys
import sysconfig
import zlib

import _overlapped, _queue, _socket, select, unicodedata  # noqa: E401, F401  (each one a .pyd)

assert sys.version_info[:2] == (3, 13), sys.version
assert sys.platform == "win32" and sysconfig.get_platform() == "win-amd64", sysconfig.get_platform()
assert sysconfig.get_config_var("EXT_SUFFIX") == ".cp313-win_amd64.pyd", sysconfig.get_config_var("EXT_SUFFIX")
assert not sysconfig.get_config_var("Py_GIL_DISABLED")
assert (ctypes.sizeof(ctypes.c_long), ctypes.sizeof(ctypes.c_ssize_t), struct.calcsize("P")) == (4, 8, 8)
assert zlib.decompress(zlib.compress(b"morvane" * 100)) == b"morvane" * 100

# os.pipe, os.system, os.spawnv and os.fsync exist on Windows; a pipe carries bytes.
read_end, write_end = os.pipe()
os.write(write_end, b"ok")
assert os.read(read_end, 2) == b"ok"
os.close(read_end)
os.close(write_end)
assert all(hasattr(os, name) for name in ("system", "spawnv", "fsync", "getppid")), "os lacks Windows calls"
# An invalid descriptor raises instead of ending the process (the UCRT's handler suppressed).
try:
    os.close(9999)
except OSError:
    pass
else:
    raise AssertionError("closing an invalid descriptor raised nothing")

child = subprocess.run([sys.executable, "-c", "print(6 * 7)"], capture_output=True, text=True, check=True)
assert child.stdout.strip() == "42", child.stdout
print("windows python ok:", sys.version.split()[0], sysconfig.get_platform())
