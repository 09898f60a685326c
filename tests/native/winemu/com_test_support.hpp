// com_test_support.hpp: small helpers for the winemu COM tests: a reference owner and fresh threads.
#pragma once

#include <thread>
#include <utility>

#include <winemu/windows.h>

namespace winemu_test {

// Owns one COM reference and releases it once; put() hands out the address for an out parameter.
template <typename Interface>
class Ref {
public:
    Ref() = default;
    explicit Ref(Interface* raw) : raw_(raw) {}
    Ref(Ref&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            reset();
            raw_ = std::exchange(other.raw_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }

    Interface** put() {
        reset();
        return &raw_;
    }
    void reset() {
        if (raw_) std::exchange(raw_, nullptr)->Release();
    }
    Interface* get() const { return raw_; }
    Interface* operator->() const { return raw_; }
    explicit operator bool() const { return raw_ != nullptr; }

    template <typename Other>
    HRESULT query(REFIID iid, Ref<Other>& out) const {
        return raw_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
    }

private:
    Interface* raw_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(raw_); }
    BSTR* put() {
        SysFreeString(std::exchange(raw_, nullptr));
        return &raw_;
    }
    BSTR get() const { return raw_; }
    std::u16string_view view() const { return {raw_ ? raw_ : u"", SysStringLen(raw_)}; }

private:
    BSTR raw_ = nullptr;
};

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

}  // namespace winemu_test
