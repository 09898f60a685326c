# CMake toolchain for cross-building morvane's extension for 64-bit Windows with Zig's C/C++
# compiler (the PyPI package ziglang). Its x86_64-windows-gnu target links against the Universal C
# Runtime (UCRT), which CPython for Windows uses too, and links the C++ runtime (libc++, libunwind)
# in statically: the module then needs no DLL that a Windows 10 machine lacks.
#
# The tool links beside this file (zig-tool) run "$MORVANE_ZIG" (the zig executable); scripts/build_windows_wheel
# sets it. The caller names CPython's Windows headers and python313.dll's import library with
# MORVANE_PYTHON_INCLUDE_DIR and MORVANE_PYTHON_LIBRARY (see CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-cc")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/zig-c++")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/zig-ar" CACHE FILEPATH "archiver" FORCE)
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/zig-ranlib" CACHE FILEPATH "ranlib" FORCE)

# Zig's mingw-w64 keeps the Task Scheduler's CLSID and IIDs in uuid, which it links by default, and
# names the import library of WindowsCreateString by its API set rather than runtimeobject.
set(MORVANE_WINDOWS_LIBRARIES ole32 oleaut32 api-ms-win-core-winrt-string-l1-1-0 CACHE STRING
    "the Windows import libraries of the scheduler client")

# Nothing of the build machine is searched for libraries or headers of the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
