"""Put into the Windows CPython's site-packages by tests/windows_python/run: Wine 8 has no
CopyFile2 (the process stops in Wine's debugger when it is called), so shutil.copy2 and copytree
are made to take the copy that shutil falls back to where _winapi lacks it."""

import _winapi

if hasattr(_winapi, "CopyFile2"):
    del _winapi.CopyFile2
