// types.h: the Windows SDK's basic types, HRESULT codes and GUIDs, as winemu provides them.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINEMU_API __attribute__((visibility("default")))
#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPI extern "C" WINEMU_API HRESULT

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using UINT32 = std::uint32_t;
using INT = int;
using BOOL = int;
using WORD = std::uint16_t;
using SIZE_T = std::size_t;
using BYTE = std::uint8_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using USHORT = std::uint16_t;
using CHAR = char;
using SHORT = std::int16_t;

using WCHAR = char16_t;
using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PCNZWCH = const WCHAR*;
using LPSTR = char*;
using LPCSTR = const char*;
using BSTR = OLECHAR*;

using LPVOID = void*;
using PVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using HLOCAL = void*;
using HMODULE = struct HINSTANCE__*;
using FARPROC = std::intptr_t (*)();
using HSTRING = struct HSTRING__*;

using VARIANT_BOOL = SHORT;
using VARTYPE = unsigned short;
using DATE = double;
using LCID = DWORD;
using DISPID = LONG;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---- HRESULT ---------------------------------------------------------------

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr HRESULT hresult_of(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error) {
    return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                            : hresult_of((error & 0x0000FFFFu) | 0x80070000u);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresult_of(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = hresult_of(0x80004002u);
inline constexpr HRESULT E_POINTER = hresult_of(0x80004003u);
inline constexpr HRESULT E_FAIL = hresult_of(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = hresult_of(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = hresult_of(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = hresult_of(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = hresult_of(0x80070057u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresult_of(0x80020005u);
inline constexpr HRESULT DISP_E_BADINDEX = hresult_of(0x8002000Bu);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = hresult_of(0x8002000Du);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresult_of(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresult_of(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = hresult_of(0x800401F0u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = hresult_of(0x80010106u);
// What a call on an object of a service that went away answers, as Windows' proxies give it.
inline constexpr HRESULT RPC_E_SERVER_DIED = hresult_of(0x80010007u);
inline constexpr HRESULT RPC_E_DISCONNECTED = hresult_of(0x80010108u);
inline constexpr HRESULT RPC_E_SERVER_DIED_DNE = hresult_of(0x80010012u);

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
inline constexpr DWORD ERROR_DIRECTORY = 267;
inline constexpr DWORD ERROR_ONLY_IF_CONNECTED = 1251;
// LogonUser's answers: a wrong password (0x8007052E as an HRESULT), a name no account has (0x80070534).
inline constexpr DWORD ERROR_LOGON_FAILURE = 1326;
inline constexpr DWORD ERROR_NONE_MAPPED = 1332;
// RPC's own error codes, Win32 codes as in Windows (HRESULT_FROM_WIN32 gives 0x800706BA, 0x800706BE).
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;
inline constexpr DWORD RPC_S_CALL_FAILED = 1726;
// Connect's refusals before any network: an address no server can have, credentials for this computer.
inline constexpr DWORD RPC_S_INVALID_NET_ADDR = 1707;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;

// Success codes of the service's task properties and run times.
inline constexpr HRESULT SCHED_S_TASK_HAS_NOT_RUN = hresult_of(0x00041303u);
inline constexpr HRESULT SCHED_S_TASK_NO_MORE_RUNS = hresult_of(0x00041304u);
inline constexpr HRESULT SCHED_S_TASK_NO_VALID_TRIGGERS = hresult_of(0x00041307u);
inline constexpr HRESULT SCHED_S_EVENT_TRIGGER = hresult_of(0x00041308u);
inline constexpr HRESULT SCHED_S_TASK_TERMINATED = hresult_of(0x00041306u);
inline constexpr HRESULT SCHED_E_TASK_NOT_RUNNING = hresult_of(0x8004130Bu);

inline constexpr HRESULT SCHED_E_UNEXPECTEDNODE = hresult_of(0x80041316u);
inline constexpr HRESULT SCHED_E_NAMESPACE = hresult_of(0x80041317u);
inline constexpr HRESULT SCHED_E_INVALIDVALUE = hresult_of(0x80041318u);
inline constexpr HRESULT SCHED_E_MISSINGNODE = hresult_of(0x80041319u);
inline constexpr HRESULT SCHED_E_MALFORMEDXML = hresult_of(0x8004131Au);
inline constexpr HRESULT SCHED_E_TOO_MANY_NODES = hresult_of(0x8004131Du);
inline constexpr HRESULT SCHED_E_INVALID_TASK_HASH = hresult_of(0x80041321u);

// ---- Times -------------------------------------------------------------------

// Calendar fields of one moment; the service's run times are local time.
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 is Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes on Windows");

// ---- GUIDs -------------------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

// ---- VARIANT -----------------------------------------------------------------

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,  // a flag: a SAFEARRAY of the type in the low bits
};

struct IUnknown;
struct IDispatch;

// A SAFEARRAY's bounds in one dimension, and the array, laid out as OleAut32 lays them out.
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_VARIANT = 0x0800;

// VARIANT's VT_RECORD member: named here, since a type declared inside an anonymous union is an
// extension of C++ (Clang warns of it).
struct VARIANT_RECORD {
    void* pvRecord;
    void* pRecInfo;
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        CHAR cVal;
        BYTE bVal;
        VARIANT_BOOL boolVal;
        double dblVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        VARIANT_RECORD brecVal;
    };
};
static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes on 64-bit Windows");

// ---- Flags of the calls that winemu provides -------------------------------

enum COINIT : DWORD { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };

// The calling thread's apartment, as CoGetApartmentType tells it.
enum APTTYPE : int { APTTYPE_CURRENT = -1, APTTYPE_STA = 0, APTTYPE_MTA = 1, APTTYPE_NA = 2, APTTYPE_MAINSTA = 3 };
enum APTTYPEQUALIFIER : int {
    APTTYPEQUALIFIER_NONE = 0,
    APTTYPEQUALIFIER_IMPLICIT_MTA = 1,
    APTTYPEQUALIFIER_NA_ON_MTA = 2,
    APTTYPEQUALIFIER_NA_ON_STA = 3,
    APTTYPEQUALIFIER_NA_ON_IMPLICIT_MTA = 4,
    APTTYPEQUALIFIER_NA_ON_MAINSTA = 5,
    APTTYPEQUALIFIER_APPLICATION_STA = 6,
};

// What CoIncrementMTAUsage hands out and CoDecrementMTAUsage takes back.
using CO_MTA_USAGE_COOKIE = struct CO_MTA_USAGE_COOKIE__*;
enum CLSCTX : DWORD { CLSCTX_INPROC_SERVER = 0x1, CLSCTX_LOCAL_SERVER = 0x4 };

inline constexpr DWORD LOAD_LIBRARY_SEARCH_DEFAULT_DIRS = 0x00001000;

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
