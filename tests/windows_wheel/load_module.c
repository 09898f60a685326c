/* load_module.c: loads a Python extension DLL as the interpreter would, with LoadLibraryExW, and
 * looks its init function up. Prints what it found; exits 0 when both worked, 1 otherwise.
 * usage: load_module.exe MODULE.pyd INIT_FUNCTION */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fputs("usage: load_module.exe MODULE.pyd INIT_FUNCTION\n", stderr);
        return 2;
    }
    /* CPython 3.8+ loads extensions with these flags: the DLL's own folder, then the system's. */
    HMODULE module = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == NULL) {
        printf("LoadLibraryExW failed: error %lu\n", GetLastError());
        return 1;
    }
    char name[256];
    WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, name, sizeof name, NULL, NULL);
    FARPROC init = GetProcAddress(module, name);
    if (init == NULL) {
        printf("GetProcAddress(%s) failed: error %lu\n", name, GetLastError());
        return 1;
    }
    printf("loaded; %s found\n", name);
    FreeLibrary(module);
    return 0;
}
