"""Changes to CPython 3.13's sources for a build with Clang for x86_64-windows-gnu (mingw-w64's
headers, the UCRT). Most are places where the sources test _MSC_VER, the compiler, where they mean
MS_WINDOWS, the platform: with Clang they would drop os.pipe, os.system, the spawn functions,
os.getppid, os.fsync and the suppression of the UCRT's invalid-parameter handler (without which
an invalid file descriptor ends the process instead of raising OSError).

Each change names the text it replaces, which must occur exactly once: a release that moved the
text fails here, loudly, instead of building an interpreter that differs quietly.
"""

import pathlib

MSC_FOR_WINDOWS = "the platform is meant, not the compiler"

# (file, old text, new text, why)
FIXES = [
    ("Modules/posixmodule.c", "#elif defined( _MSC_VER)\n  /* Microsoft compiler */",
     "#elif defined(MS_WINDOWS)\n  /* Microsoft compiler */", MSC_FOR_WINDOWS),
    ("Modules/posixmodule.c", "#ifdef _MSC_VER\n#  ifdef HAVE_DIRECT_H", "#ifdef MS_WINDOWS\n#  ifdef HAVE_DIRECT_H",
     MSC_FOR_WINDOWS),
    ("Include/internal/pycore_fileutils.h", "#ifdef _MSC_VER\n    /* On Windows, any socket fd",
     "#ifdef MS_WINDOWS\n    /* On Windows, any socket fd", MSC_FOR_WINDOWS),
    # mingw-w64's stdlib.h does not declare the UCRT's per-thread handler, which ucrtbase exports.
    ("Include/internal/pycore_fileutils.h",
     "#if defined _MSC_VER && _MSC_VER >= 1900\n\n#  include <stdlib.h>   // _set_thread_local_invalid_parameter_handler()\n",
     "#if defined(MS_WINDOWS)\n\n#  include <stdlib.h>   // _set_thread_local_invalid_parameter_handler()\n"
     "#  ifndef _MSC_VER\n"
     "   _CRTIMP _invalid_parameter_handler __cdecl\n"
     "   _set_thread_local_invalid_parameter_handler(_invalid_parameter_handler);\n"
     "#  endif\n", MSC_FOR_WINDOWS),
    # The handler that the suppression installs; the file includes no pyconfig.h.
    ("PC/invalid_parameter_handler.c", "#ifdef _MSC_VER\n", "#ifdef _WIN32\n", MSC_FOR_WINDOWS),
    ("PC/invalid_parameter_handler.c", "#if _MSC_VER >= 1900\n", "#if 1\n", MSC_FOR_WINDOWS),
    # The UCRT's signal() calls the invalid-parameter handler for a signal it does not know.
    ("Python/pylifecycle.c", "#if defined(_MSC_VER) && _MSC_VER >= 1400\n    switch (sig) {",
     "#if defined(MS_WINDOWS)\n    switch (sig) {", MSC_FOR_WINDOWS),
    # The UCRT's strftime() rejects years outside 1..9999 through the invalid-parameter handler.
    ("Modules/timemodule.c", "#if defined(_MSC_VER) || (defined(__sun)", "#if defined(MS_WINDOWS) || (defined(__sun)",
     MSC_FOR_WINDOWS),
    ("Modules/selectmodule.c", "#if defined(_MSC_VER)\n        max = 0;", "#if defined(MS_WINDOWS)\n        max = 0;",
     MSC_FOR_WINDOWS),
    # ws2tcpip.h declares addrinfo and the EAI_* codes; addrinfo.h would declare them again.
    ("Modules/socketmodule.c", "#elif defined(_MSC_VER) && _MSC_VER>1201", "#elif defined(MS_WINDOWS)",
     MSC_FOR_WINDOWS),
    # The macros stand for the Windows SDK's IPPROTO enum; mingw-w64's winsock2.h defines them as
    # numbers already, which a macro naming itself would hide.
    ("Modules/socketmodule.c", "/* Macros based on the IPPROTO enum, see: https://bugs.python.org/issue29515 */\n",
     "/* Macros based on the IPPROTO enum, see: https://bugs.python.org/issue29515 */\n#ifndef IPPROTO_ICMP\n",
     "mingw-w64 defines the IPPROTO numbers as macros"),
    ("Modules/socketmodule.c", "#define IPPROTO_SCTP IPPROTO_SCTP  // WinSock2 only\n",
     "#define IPPROTO_SCTP IPPROTO_SCTP  // WinSock2 only\n#endif\n", "mingw-w64 defines the IPPROTO numbers as macros"),
    # PC/pyconfig.h.in names the platform only for MSVC and clang-cl: without "AMD64" in sys.version
    # sysconfig.get_platform() answers "win32" (and pip refuses win_amd64 wheels), and without
    # the tag the extension suffix lacks "-win_amd64".
    ("PC/pyconfig.h.in", '#define COMPILER "[gcc]"\n',
     '#if defined(__clang__) && defined(MS_WIN64)\n'
     '#define COMPILER ("[Clang " __clang_version__ "] 64 bit (AMD64) with the UCRT")\n'
     '#define PYD_PLATFORM_TAG "win_amd64"\n'
     '#else\n#define COMPILER "[gcc]"\n#endif\n', "the platform's name and tag are set for MSVC only"),
    # pylifecycle.h declares it extern; Clang refuses the static definition that follows.
    ("Python/dynload_win.c", "static int\n_Py_CheckPython3(void)", "int\n_Py_CheckPython3(void)",
     "an extern declaration and a static definition clash"),
]


def apply_source_fixes(source: pathlib.Path) -> None:
    """Changes a freshly unpacked source tree (a second run would find the texts changed)."""
    for name, old, new, why in FIXES:
        path = source / name
        text = path.read_text(encoding="utf-8")
        if text.count(old) != 1:
            raise SystemExit(f"{name}: the text to change ({why}) occurs {text.count(old)} times, not once:\n{old}")
        path.write_text(text.replace(old, new), encoding="utf-8")
