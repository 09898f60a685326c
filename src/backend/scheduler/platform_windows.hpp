// platform_windows.hpp: the Windows SDK for the scheduler client, plus the names mingw-w64 lacks.
//
// Included by platform.hpp only when building for Windows. Everything the client calls comes from
// the SDK's own headers. mingw-w64's headers (checked with version 10) leave out a few documented
// names; they are declared below from their documented definitions, and only where the toolchain's
// headers do not provide them. The Microsoft SDK has all of them, so with it nothing is declared.
// CLSID_TaskScheduler and IID_ITaskService are declared by taskschd.h and defined in the taskschd
// import library (link with -ltaskschd); WindowsCreateString comes from -lruntimeobject.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>
#include <winstring.h>

#if __has_include(<restrictederrorinfo.h>)
#include <restrictederrorinfo.h>
#endif
#if __has_include(<roerrorapi.h>)
#include <roerrorapi.h>
#endif

#ifdef __MINGW64_VERSION_MAJOR

// How IRegisteredTask::RunEx starts a task; taskschd.idl of mingw-w64 omits the enumeration.
enum TASK_RUN_FLAGS {
    TASK_RUN_NO_FLAGS = 0,
    TASK_RUN_AS_SELF = 0x1,
    TASK_RUN_IGNORE_CONSTRAINTS = 0x2,
    TASK_RUN_USE_SESSION_ID = 0x4,
    TASK_RUN_USER_SID = 0x8,
};

#ifndef __IRestrictedErrorInfo_INTERFACE_DEFINED__
#define __IRestrictedErrorInfo_INTERFACE_DEFINED__
// The error object of WinRT-style failures: its details carry a restricted description.
struct IRestrictedErrorInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error, BSTR* restrictedDescription,
                                                      BSTR* capabilitySid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;
};
inline constexpr IID IID_IRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};
__CRT_UUID_DECL(IRestrictedErrorInfo, 0x82BA7092, 0x4C88, 0x427D, 0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E)
#endif

#ifndef __ILanguageExceptionErrorInfo2_INTERFACE_DEFINED__
#define __ILanguageExceptionErrorInfo2_INTERFACE_DEFINED__
#ifndef __ILanguageExceptionErrorInfo_INTERFACE_DEFINED__
#define __ILanguageExceptionErrorInfo_INTERFACE_DEFINED__
struct ILanguageExceptionErrorInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLanguageException(IUnknown** languageException) = 0;
};
inline constexpr IID IID_ILanguageExceptionErrorInfo = {
    0x04A2DBF3, 0xDF83, 0x116C, {0x09, 0x46, 0x08, 0x12, 0xAB, 0xF6, 0xE0, 0x7D}};
__CRT_UUID_DECL(ILanguageExceptionErrorInfo, 0x04A2DBF3, 0xDF83, 0x116C, 0x09, 0x46, 0x08, 0x12, 0xAB, 0xF6, 0xE0,
                0x7D)
#endif
// Lets an error object record where a failure travelled (CapturePropagationContext).
struct ILanguageExceptionErrorInfo2 : public ILanguageExceptionErrorInfo {
    virtual HRESULT STDMETHODCALLTYPE GetPreviousLanguageExceptionErrorInfo(
        ILanguageExceptionErrorInfo2** previousLanguageExceptionErrorInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE CapturePropagationContext(IUnknown* languageException) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropagationContextHead(
        ILanguageExceptionErrorInfo2** propagatedLanguageExceptionErrorInfoHead) = 0;
};
inline constexpr IID IID_ILanguageExceptionErrorInfo2 = {
    0x5746E5C4, 0x5B97, 0x424C, {0xB6, 0x20, 0x28, 0x22, 0x91, 0x57, 0x34, 0xDD}};
__CRT_UUID_DECL(ILanguageExceptionErrorInfo2, 0x5746E5C4, 0x5B97, 0x424C, 0xB6, 0x20, 0x28, 0x22, 0x91, 0x57, 0x34,
                0xDD)
#endif

#if !__has_include(<roerrorapi.h>)
// Exported by combase.dll (Windows 8 and later); callers look it up at run time, since older
// systems lack it, and this declaration gives the type of the function they look up.
extern "C" BOOL WINAPI RoOriginateError(HRESULT error, HSTRING message);
#endif

#endif  // __MINGW64_VERSION_MAJOR
