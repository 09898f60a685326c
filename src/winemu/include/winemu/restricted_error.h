// restricted_error.h: restricted error information and the WinRT error calls of combase.
#pragma once

#include "com.h"

inline constexpr IID IID_IRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};
inline constexpr IID IID_ILanguageExceptionErrorInfo = {
    0x04A2DBF3, 0xDF83, 0x116C, {0x09, 0x46, 0x08, 0x12, 0xAB, 0xF6, 0xE0, 0x7D}};
inline constexpr IID IID_ILanguageExceptionErrorInfo2 = {
    0x5746E5C4, 0x5B97, 0x424C, {0xB6, 0x20, 0x28, 0x22, 0x91, 0x57, 0x34, 0xDD}};

struct IRestrictedErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error, BSTR* restrictedDescription,
                                                      BSTR* capabilitySid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;
};

struct ILanguageExceptionErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLanguageException(IUnknown** languageException) = 0;
};

struct ILanguageExceptionErrorInfo2 : ILanguageExceptionErrorInfo {
    virtual HRESULT STDMETHODCALLTYPE GetPreviousLanguageExceptionErrorInfo(
        ILanguageExceptionErrorInfo2** previousLanguageExceptionErrorInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE CapturePropagationContext(IUnknown* languageException) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropagationContextHead(
        ILanguageExceptionErrorInfo2** propagatedLanguageExceptionErrorInfoHead) = 0;
};

extern "C" {
// Exported by combase.dll; reached through GetProcAddress, as callers on Windows do.
WINEMU_API BOOL WINAPI RoOriginateError(HRESULT error, HSTRING message);

WINEMU_API HRESULT WINAPI WindowsCreateString(PCNZWCH sourceString, UINT32 length, HSTRING* string);
WINEMU_API HRESULT WINAPI WindowsDeleteString(HSTRING string);
WINEMU_API PCNZWCH WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length);
}
