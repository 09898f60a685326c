// com_test_support.hpp: small helpers for the winemu COM tests: a reference owner and fresh threads.
#pragma once

#include <optional>
#include <string>
#include <thread>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>
#include "owners/unique_handle.hpp"
#include <winemu/control.h>
#include <winemu/windows.h>

namespace winemu_test {

// The tests own COM references and BSTRs with the same owners as the client and winemu.
template <typename Interface>
using Ref = morvane::ComPtr<Interface>;
using Bstr = morvane::UniqueHandle<BSTR, &SysFreeString>;

template <typename Target, typename Source>
HRESULT query(const Ref<Source>& source, REFIID iid, Ref<Target>& out) {
    return source->QueryInterface(iid, out.put_void());
}

inline std::u16string_view view(const Bstr& text) { return {text ? text.get() : u"", SysStringLen(text.get())}; }

// Runs work on a new thread and waits for it: each call sees a thread with no COM state.
template <typename Work>
void on_fresh_thread(Work&& work) {
    std::thread thread(std::forward<Work>(work));
    thread.join();
}

// Takes the calling thread's error object, if any.
inline Ref<IErrorInfo> take_error_info() {
    Ref<IErrorInfo> info;
    GetErrorInfo(0, info.put());
    return info;
}

// What IRestrictedErrorInfo::GetErrorDetails reported, copied out of its BSTRs (which are freed).
struct RestrictedDetails {
    HRESULT result;  // of GetErrorDetails itself
    std::u16string description;
    bool description_null;
    HRESULT error;
    std::u16string restricted_description;
    bool restricted_null;
    bool sid_null;
};

inline RestrictedDetails read_details(IRestrictedErrorInfo* restricted) {
    Bstr description, restricted_description, sid;
    HRESULT error = E_FAIL;
    const HRESULT result =
        restricted->GetErrorDetails(description.put(), &error, restricted_description.put(), sid.put());
    return {result,
            std::u16string(view(description)),
            description.get() == nullptr,
            error,
            std::u16string(view(restricted_description)),
            restricted_description.get() == nullptr,
            sid.get() == nullptr};
}

// Takes the thread's error object and reads its restricted details; nothing when the thread has no
// object or only a plain one.
inline std::optional<RestrictedDetails> take_restricted_details() {
    Ref<IRestrictedErrorInfo> restricted;
    Ref<IErrorInfo> info = take_error_info();
    if (!info || query(info, IID_IRestrictedErrorInfo, restricted) != S_OK) return std::nullopt;
    return read_details(restricted.get());
}

// The violations recorded so far, as winemu's JSON array; "[]" when there are none.
inline std::string violations() {
    std::string text(winemu_violations(nullptr, 0), '\0');
    winemu_violations(text.data(), text.size() + 1);
    return text;
}

// Everything winemu counts is back to zero and no misuse was recorded: what a test that cleans
// up after itself leaves. The violations are cleared, so that one test's misuse fails that test only.
inline void expect_nothing_outstanding() {
    const winemu_outstanding_counts counts = winemu_outstanding();
    EXPECT_EQ(counts.objects, 0);
    EXPECT_EQ(counts.bstrs, 0);
    EXPECT_EQ(counts.apartments, 0);
    EXPECT_EQ(counts.buffers, 0);
    EXPECT_EQ(counts.libraries, 0);
    EXPECT_EQ(counts.mta_usages, 0);
    EXPECT_EQ(violations(), "[]");
    winemu_clear_violations();
}

}  // namespace winemu_test
