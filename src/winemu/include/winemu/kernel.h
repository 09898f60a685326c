// kernel.h: the kernel32 calls that winemu provides: libraries, the system message table, and
// wiping secrets.
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

// Fills `cnt` bytes at `ptr` with zeros, a write the compiler cannot drop (Windows' inline
// RtlSecureZeroMemory; here explicit_bzero), for secrets about to be freed. Returns `ptr`.
WINEMU_API PVOID SecureZeroMemory(PVOID ptr, SIZE_T cnt);
}
