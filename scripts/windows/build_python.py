"""Cross-builds CPython 3.13 for 64-bit Windows with Zig's Clang (x86_64-windows-gnu, the UCRT) into
a folder laid out as the Windows installer lays it out: python.exe and python313.dll, DLLs/ with the
extension modules a test run and pip need, Lib/ with the standard library.

    build_python.py SOURCE ZLIB LIBFFI PREFIX WORK

SOURCE is the unpacked source release (changed in place: see source_fixes.py), ZLIB and LIBFFI are
Debian's unpacked sources of zlib and libffi, WORK takes the objects. MORVANE_ZIG names zig. The
core's sources are the ones PCbuild/pythoncore.vcxproj lists, so that a point release's new file
is built without a change here.
"""

import concurrent.futures
import os
import pathlib
import re
import shutil
import subprocess
import sys

from source_fixes import apply_source_fixes

ZIG = os.environ["MORVANE_ZIG"]
TARGET = ["-target", "x86_64-windows-gnu"]
JOBS = 2

# What every object of the core and of the extension modules is compiled with. Clang's mingw
# target defines neither _M_X64 nor _M_AMD64, which CPython's headers read to pick x64 code (the
# interlocked intrinsics, the platform name); the MSVC project defines them too.
COMMON_FLAGS = [
    "-O2", "-DNDEBUG", "-DWIN32", "-D_WIN64", "-D_M_X64=100", "-D_M_AMD64=100",
    # Zig makes __DATE__ and __TIME__ an error; getbuildinfo.c shows them as the build's date.
    "-Wno-date-time", "-Wno-error=date-time",
    # CPython's sources are written for MSVC; what Clang says about them is not ours to mend.
    "-w",
]

# Extension modules as .pyd files: name, sources, extra include folders, defines, libraries.
# Only what the test run and pip import: sockets, select and pyexpat (pip), ctypes (tests reach the
# module's init function and its module definition through it), unicodedata (pytest's terminal
# widths), _queue, and _overlapped and _asyncio for asyncio.
EXTENSIONS = [
    ("_socket", ["Modules/socketmodule.c"], [], [], ["ws2_32", "iphlpapi", "rpcrt4"]),
    ("select", ["Modules/selectmodule.c"], [], [], ["ws2_32"]),
    ("unicodedata", ["Modules/unicodedata.c"], [], [], []),
    ("_queue", ["Modules/_queuemodule.c"], [], [], []),
    ("_overlapped", ["Modules/overlapped.c"], [], [], ["ws2_32"]),
    ("_asyncio", ["Modules/_asynciomodule.c"], [], [], []),
    # pip's wheel installer reaches xmlrpc, which needs the XML parser.
    ("pyexpat", ["Modules/pyexpat.c", "Modules/expat/xmlparse.c", "Modules/expat/xmlrole.c", "Modules/expat/xmltok.c"],
     ["Modules/expat"], ["PYEXPAT_EXPORTS", "XML_STATIC"], []),
    ("_ctypes",
     [f"Modules/_ctypes/{name}.c" for name in ("_ctypes", "callbacks", "callproc", "cfield", "malloc_closure", "stgdict")],
     ["Modules/_ctypes"], ["USING_MALLOC_CLOSURE_DOT_C=1", "FFI_BUILDING"], ["ffi", "ole32", "oleaut32"]),
]

# The standard library's folders that a test host never uses.
LIB_LEFT_OUT = {"test", "idlelib", "tkinter", "turtledemo", "__pycache__"}


def run(command, cwd=None):
    completed = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if completed.returncode != 0:
        raise SystemExit(f"failed: {' '.join(map(str, command))}\n{completed.stdout}")
    return completed.stdout


def compile_all(jobs):
    """Compiles (source, object, flags) triples, JOBS at a time; reports every failure, then stops."""
    failures = []
    with concurrent.futures.ThreadPoolExecutor(JOBS) as pool:
        futures = {
            pool.submit(subprocess.run, [ZIG, "cc", *TARGET, *COMMON_FLAGS, *flags, "-c", str(source), "-o", str(obj)],
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True): source
            for source, obj, flags in jobs if not obj.exists()
        }
        for future in concurrent.futures.as_completed(futures):
            completed = future.result()
            if completed.returncode != 0:
                failures.append(f"{futures[future]}:\n{completed.stdout}")
    if failures:
        raise SystemExit("compiling failed:\n" + "\n".join(failures))


def object_path(work, source, root):
    return work / (str(source.relative_to(root)).replace("/", "_").replace("\\", "_") + ".o")


def core_sources(source, zlib):
    """The core's C sources from pythoncore.vcxproj, with the defines the project gives each one."""
    project = (source / "PCbuild/pythoncore.vcxproj").read_text(encoding="utf-8-sig")
    found = []
    for match in re.finditer(r'<ClCompile Include="([^"]+)"\s*(/>|>(.*?)</ClCompile>)', project, re.S):
        path = match.group(1).replace("$(zlibDir)", str(zlib)).replace("..\\", "").replace("\\", "/")
        path = pathlib.Path(path) if path.startswith("/") else source / path
        found.append(path)
    return found


def generate_frozen_modules(source, generated):
    """The release carries no frozen modules: they are made with this (GIL-enabled 3.13)
    interpreter's compiler and marshal, as _freeze_module.py makes them, from the list of
    _freeze_module.vcxproj."""
    project = (source / "PCbuild/_freeze_module.vcxproj").read_text(encoding="utf-8-sig")
    out = generated / "Python/frozen_modules"
    out.mkdir(parents=True, exist_ok=True)
    modules = re.findall(r'<(?:None|GetPath) Include="([^"]+)">\s*<ModName>([^<]+)</ModName>', project)
    for path, name in modules:
        run([sys.executable, str(source / "Programs/_freeze_module.py"), name,
             str(source / "PCbuild" / path.replace("\\", "/")), str(out / f"{name}.h")])
    if not modules:
        raise SystemExit("no frozen modules listed in _freeze_module.vcxproj")


def build_core(source, zlib, prefix, work, generated):
    includes = [source / "Include", source / "Include/internal", source / "Include/internal/mimalloc",
                generated, source / "PC", source / "Modules/_hacl/include", source / "Modules/_hacl/internal",
                source / "Python", zlib]
    base = [f"-I{folder}" for folder in includes] + [
        "-DPy_BUILD_CORE", "-DPy_BUILD_CORE_BUILTIN", "-DPy_ENABLE_SHARED", "-D_USRDLL", '-DMS_DLL_ID="3.13"',
        "-D_Py_HAVE_ZLIB", '-DPY3_DLLNAME=L"python3"']
    per_file = {
        "getpath.c": ["-DPREFIX=NULL", "-DEXEC_PREFIX=NULL", "-DVERSION=NULL", '-DVPATH="..\\\\.."',
                      '-DPYDEBUGEXT=""', '-DPLATLIBDIR="DLLs"', f"-I{generated}/Python"],
        "sysmodule.c": ['-DVPATH="..\\\\.."'],
        "frozen.c": [f"-I{generated}/Python"],
        "binascii.c": ["-DUSE_ZLIB_CRC32"],
        "getbuildinfo.c": ['-DGITVERSION=""', '-DGITTAG=""', '-DGITBRANCH=""'],
        # The source's own switch for compilers without structured exception handling (__try).
        "mmapmodule.c": ["-DDONT_USE_SEH"],
        # It passes an int * where a DWORD * (unsigned long) is asked for: the same four bytes.
        "_winapi.c": ["-Wno-incompatible-pointer-types"],
    }
    jobs = []
    for path in core_sources(source, zlib):
        root = zlib if path.is_relative_to(zlib) else source
        jobs.append((path, object_path(work, path, root), base + per_file.get(path.name, [])))
    compile_all(jobs)
    objects = [str(obj) for _, obj, _ in jobs]
    # The import library is what python.exe and the extension modules link against.
    run([ZIG, "cc", *TARGET, "-shared", "-o", str(prefix / "python313.dll"), *objects,
         f"-Wl,--out-implib,{work / 'libpython313.dll.a'}",
         "-lversion", "-lws2_32", "-lbcrypt", "-ladvapi32", "-lshell32", "-lole32", "-loleaut32",
         # PathCch* live in this API set; mingw has no pathcch import library.
         "-lapi-ms-win-core-path-l1-1-0"], cwd=work)
    run([ZIG, "cc", *TARGET, *COMMON_FLAGS, *base[:len(includes)], "-municode", "-o", str(prefix / "python.exe"),
         str(source / "Programs/python.c"), str(work / "libpython313.dll.a")])
    return includes


def build_libffi(libffi, work):
    """A static libffi for x86_64 Windows: its unix64/win64 sources and a configured header of our own
    (libffi's configure does not run for this target)."""
    out = work / "libffi"
    include = out / "include"
    include.mkdir(parents=True, exist_ok=True)
    header = (libffi / "include/ffi.h.in").read_text()
    substitutions = {"@VERSION@": "3.4.4", "@TARGET@": "X86_WIN64", "@HAVE_LONG_DOUBLE@": "1",
                     "@HAVE_LONG_DOUBLE_VARIANT@": "0", "@FFI_EXEC_TRAMPOLINE_TABLE@": "0"}
    for key, value in substitutions.items():
        header = header.replace(key, value)
    (include / "ffi.h").write_text(header)
    shutil.copy(libffi / "src/x86/ffitarget.h", include / "ffitarget.h")
    (include / "fficonfig.h").write_text(
        "/* libffi's configuration for x86_64 Windows with the UCRT, written for this build. */\n"
        "#define STDC_HEADERS 1\n#define HAVE_STDLIB_H 1\n#define HAVE_STRING_H 1\n#define HAVE_MEMCPY 1\n"
        "#define SIZEOF_DOUBLE 8\n#define SIZEOF_LONG_DOUBLE 16\n#define SIZEOF_SIZE_T 8\n"
        "#define HAVE_LONG_DOUBLE 1\n#define EH_FRAME_FLAGS \"a\"\n"
        "#ifdef LIBFFI_ASM\n#define FFI_HIDDEN(name)\n#else\n#define FFI_HIDDEN\n#endif\n"
        "#define HAVE_AS_X86_PCREL 1\n#define SYMBOL_UNDERSCORE 0\n")
    sources = ["src/prep_cif.c", "src/types.c", "src/raw_api.c", "src/java_raw_api.c", "src/closures.c",
               "src/tramp.c", "src/x86/ffiw64.c", "src/x86/win64.S"]
    flags = [f"-I{include}", f"-I{libffi / 'include'}", f"-I{libffi / 'src/x86'}", "-DFFI_STATIC_BUILD",
             "-DX86_WIN64"]
    jobs = [(libffi / name, out / (name.replace("/", "_") + ".o"), flags) for name in sources]
    compile_all(jobs)
    run([ZIG, "ar", "rcs", str(out / "libffi.a"), *[str(obj) for _, obj, _ in jobs]])
    return include, out


def build_extensions(source, prefix, work, includes, libffi_include, libffi_lib):
    dlls = prefix / "DLLs"
    dlls.mkdir(exist_ok=True)
    for name, sources, extra_includes, defines, libraries in EXTENSIONS:
        flags = [f"-I{folder}" for folder in includes] + [f"-I{source / folder}" for folder in extra_includes]
        flags += [f"-D{define}" for define in defines]
        if name == "_ctypes":
            flags += [f"-I{libffi_include}", "-DFFI_STATIC_BUILD"]
        jobs = [(source / path, object_path(work / "extensions", source / path, source), flags) for path in sources]
        (work / "extensions").mkdir(exist_ok=True)
        compile_all(jobs)
        run([ZIG, "cc", *TARGET, "-shared", "-o", str(dlls / f"{name}.pyd"), *[str(obj) for _, obj, _ in jobs],
             str(work / "libpython313.dll.a"), f"-L{libffi_lib}", *[f"-l{library}" for library in libraries],
             f"-Wl,--out-implib,{work / 'extensions' / (name + '.lib')}"])


def copy_standard_library(source, prefix):
    shutil.copytree(source / "Lib", prefix / "Lib", ignore=lambda folder, names: [
        name for name in names if name in LIB_LEFT_OUT and pathlib.Path(folder) == source / "Lib"
        or name == "__pycache__"])
    (prefix / "Lib/site-packages").mkdir(exist_ok=True)


def main():
    source, zlib, libffi, prefix, work = (pathlib.Path(argument).resolve() for argument in sys.argv[1:6])
    work.mkdir(parents=True, exist_ok=True)
    prefix.mkdir(parents=True, exist_ok=True)
    apply_source_fixes(source)
    generated = work / "generated"
    generated.mkdir(exist_ok=True)
    # PC/pyconfig.h.in is the Windows pyconfig.h; its one substitution selects the free-threaded
    # build, which this one is not.
    shutil.copy(source / "PC/pyconfig.h.in", generated / "pyconfig.h")
    # The sources name some Windows headers with capitals; mingw-w64's are lower case, and this
    # disk tells the two apart.
    for header in ("Rpc.h", "Unknwn.h", "ProcessSnapshot.h"):
        (generated / header).write_text(f"#include <{header.lower()}>\n")
    generate_frozen_modules(source, generated)
    includes = build_core(source, zlib, prefix, work, generated)
    libffi_include, libffi_lib = build_libffi(libffi, work)
    build_extensions(source, prefix, work, includes, libffi_include, libffi_lib)
    copy_standard_library(source, prefix)


if __name__ == "__main__":
    main()
