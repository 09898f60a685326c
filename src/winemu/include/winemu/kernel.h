// kernel.h: the kernel32 calls that winemu provides: libraries and the system message table.
#pragma once

#include <cstdarg>

#include "types.h"

extern "C" {
// Only "combase.dll" is known; its exports are the WinRT error and string calls of restricted_error.h.
WINEMU_API HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINEMU_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WINEMU_API BOOL FreeLibrary(HMODULE hLibModule);

WINEMU_API DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                LPWSTR lpBuffer, DWORD nSize, va_list* Arguments);
WINEMU_API HLOCAL LocalFree(HLOCAL hMem);

WINEMU_API DWORD GetLastError();
}
