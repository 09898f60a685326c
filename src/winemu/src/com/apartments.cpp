// apartments.cpp: COM apartments per thread, counted as COM counts them.
//
// Each thread keeps its model and the number of successful CoInitializeEx calls not yet balanced
// by CoUninitialize. The first call enters (S_OK), each repeat in the same model is counted too
// (S_FALSE), a call in the other model is refused (RPC_E_CHANGED_MODE) and not counted.
// A thread that ends without balancing its entries has them left for it when it exits, as Wine's
// COM does on thread detach, so the process-wide count stays the sum over live threads.
//
// Each apartment also has a life, so that objects can tell whether the apartment they were made
// in still exists: a single-threaded apartment lives from its thread's first entry to its last
// leave; the multithreaded one from the first thread's entry until no thread is in it any more.
// A new life gets a new number, so an object of an ended apartment never passes for a later one.
#include "com/apartments.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include <winemu/com.h>
#include <winemu/control.h>

#include "control/faults.hpp"
#include "com/live_objects.hpp"
#include "control/platform_call.hpp"
#include "control/thread_number.hpp"
#include "control/violations.hpp"

namespace winemu {
namespace {

// Bits that may accompany the model: COINIT_DISABLE_OLE1DDE and COINIT_SPEED_OVER_MEMORY.
constexpr DWORD optional_coinit_bits = 0x4 | 0x8;
constexpr DWORD model_bit = COINIT_APARTMENTTHREADED;

// Lives of apartments are numbered from 1 up, both models from one counter.
std::atomic<std::uint64_t> last_life{0};
std::uint64_t new_life() noexcept { return last_life.fetch_add(1, std::memory_order_relaxed) + 1; }

// The multithreaded apartment: how many threads (and usage cookies) are in it, and its current
// life (0: none), in one word, so that joining and leaving are one compare-and-swap each and a life
// never ends while another thread joins it. Every call of a thread that enters the apartment for
// the call joins and leaves it: no lock may be shared on that path. Threads outside the apartment
// read the life to check an object of it.
constexpr unsigned kThreadBits = 24;
constexpr std::uint64_t kThreadMask = (std::uint64_t{1} << kThreadBits) - 1;
std::atomic<std::uint64_t> multithreaded_word{0};

std::uint64_t join_multithreaded() noexcept {
    std::uint64_t seen = multithreaded_word.load(std::memory_order_acquire);
    while (true) {
        const std::uint64_t threads = seen & kThreadMask;
        // The first thread starts a new life; a number taken by a lost race is simply not used.
        const std::uint64_t life = threads == 0 ? new_life() : seen >> kThreadBits;
        const std::uint64_t joined = (life << kThreadBits) | (threads + 1);
        if (multithreaded_word.compare_exchange_weak(seen, joined, std::memory_order_acq_rel,
                                                     std::memory_order_acquire))
            return life;
    }
}

void leave_multithreaded() noexcept {
    std::uint64_t seen = multithreaded_word.load(std::memory_order_acquire);
    while (true) {
        // The last one out ends the life.
        const std::uint64_t left = (seen & kThreadMask) <= 1 ? 0 : seen - 1;
        if (multithreaded_word.compare_exchange_weak(seen, left, std::memory_order_acq_rel,
                                                     std::memory_order_acquire))
            return;
    }
}

std::uint64_t multithreaded_life() noexcept {
    return multithreaded_word.load(std::memory_order_acquire) >> kThreadBits;
}

struct ThreadApartment {
    DWORD model = COINIT_MULTITHREADED;
    long long entries = 0;
    std::uint64_t life = 0;  // of the apartment the thread is in; 0 outside any

    ThreadApartment() = default;
    ThreadApartment(const ThreadApartment&) = delete;
    ThreadApartment& operator=(const ThreadApartment&) = delete;
    ~ThreadApartment() {
        count_live(Tally::apartments, -entries);
        if (entries > 0 && model == COINIT_MULTITHREADED) leave_multithreaded();
    }
};

thread_local ThreadApartment this_thread_apartment;

HRESULT enter_apartment(DWORD model) noexcept {
    ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries > 0 && apartment.model != model) return RPC_E_CHANGED_MODE;
    const HRESULT result = apartment.entries == 0 ? S_OK : S_FALSE;
    if (apartment.entries == 0) apartment.life = model == COINIT_MULTITHREADED ? join_multithreaded() : new_life();
    apartment.model = model;
    ++apartment.entries;
    count_live(Tally::apartments, 1);
    return result;
}

void leave_apartment() noexcept {
    ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries == 0) return;
    --apartment.entries;
    count_live(Tally::apartments, -1);
    if (apartment.entries > 0) return;
    if (apartment.model == COINIT_MULTITHREADED) leave_multithreaded();
    apartment.life = 0;
}

// Usage of the multithreaded apartment that CoIncrementMTAUsage handed out: each keeps it alive as
// a thread in it would. A cookie is a number, never reused and kept in the set of live ones (as
// Wine keeps its cookies in a list), so that one given back twice or never handed out is told
// apart from a real one without reading through it. Numbers start high, far from the small
// integers and null that a caller might pass by mistake.
struct MtaUsages {
    std::mutex lock;
    std::uintptr_t last = 0x4D5441000000;
    std::unordered_set<std::uintptr_t> live;
};
MtaUsages& mta_usages() noexcept {
    static MtaUsages& instance = *new MtaUsages;  // cookies may be given back during exit
    return instance;
}

// Null when no memory is left for the record.
CO_MTA_USAGE_COOKIE hand_out_mta_usage() noexcept {
    MtaUsages& usages = mta_usages();
    std::uintptr_t cookie = 0;
    {
        const std::lock_guard guard(usages.lock);
        try {
            cookie = ++usages.last;
            usages.live.insert(cookie);
        } catch (...) {
            return nullptr;
        }
    }
    join_multithreaded();
    return reinterpret_cast<CO_MTA_USAGE_COOKIE>(cookie);
}

// Windows requires a cookie that a successful CoIncrementMTAUsage handed out; Wine ignores any
// other. Here it is a violation, answered E_INVALIDARG, and the apartment's life is left alone.
HRESULT take_back_mta_usage(CO_MTA_USAGE_COOKIE cookie) noexcept {
    MtaUsages& usages = mta_usages();
    bool known = false;
    {
        const std::lock_guard guard(usages.lock);
        known = usages.live.erase(reinterpret_cast<std::uintptr_t>(cookie)) == 1;
    }
    if (known) {
        leave_multithreaded();
        return S_OK;
    }
    char text[112];
    std::snprintf(text, sizeof text, "CoDecrementMTAUsage of a cookie not handed out or given back already (%p)",
                  static_cast<void*>(cookie));
    try {
        record_violation(text);
    } catch (...) {
        // No memory for the text: the violation is lost.
    }
    return E_INVALIDARG;
}

HRESULT apartment_type(APTTYPE* type, APTTYPEQUALIFIER* qualifier) noexcept {
    const ThreadApartment& apartment = this_thread_apartment;
    *type = APTTYPE_CURRENT;
    *qualifier = APTTYPEQUALIFIER_NONE;
    if (apartment.entries > 0) {
        *type = apartment.model == COINIT_MULTITHREADED ? APTTYPE_MTA : APTTYPE_STA;
        return S_OK;
    }
    if (multithreaded_life() == 0) return CO_E_NOTINITIALIZED;
    *type = APTTYPE_MTA;
    *qualifier = APTTYPEQUALIFIER_IMPLICIT_MTA;
    return S_OK;
}

}  // namespace

bool thread_in_apartment() noexcept { return this_thread_apartment.entries > 0; }

long long thread_apartment_entries() noexcept { return this_thread_apartment.entries; }

long long live_mta_usages() noexcept {
    MtaUsages& usages = mta_usages();
    const std::lock_guard guard(usages.lock);
    return static_cast<long long>(usages.live.size());
}

bool thread_in_multithreaded_apartment() noexcept {
    const ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries > 0) return apartment.model == COINIT_MULTITHREADED;
    return multithreaded_life() != 0;
}

ApartmentHome current_apartment() noexcept {
    const ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries == 0) {
        // Outside any apartment, a thread is in the multithreaded one while that exists.
        const std::uint64_t implicit = multithreaded_life();
        if (implicit == 0) return {};
        return {.kind = ApartmentHome::Kind::multithreaded, .life = implicit, .thread = 0};
    }
    if (apartment.model == COINIT_MULTITHREADED)
        return {.kind = ApartmentHome::Kind::multithreaded, .life = apartment.life, .thread = 0};
    return {.kind = ApartmentHome::Kind::single_threaded, .life = apartment.life, .thread = thread_number()};
}

HomeAccess access_from_this_thread(const ApartmentHome& home) noexcept {
    const ThreadApartment& apartment = this_thread_apartment;
    switch (home.kind) {
        case ApartmentHome::Kind::none:
            return HomeAccess::usable;
        case ApartmentHome::Kind::single_threaded:
            if (home.thread != thread_number()) return HomeAccess::other_thread;
            if (apartment.life == home.life) return HomeAccess::usable;
            return apartment.entries == 0 ? HomeAccess::no_apartment : HomeAccess::ended;
        case ApartmentHome::Kind::multithreaded:
            // A thread in the apartment keeps its life going: the thread's own record of it will do.
            if (apartment.entries > 0 && apartment.model == COINIT_MULTITHREADED)
                return apartment.life == home.life ? HomeAccess::usable : HomeAccess::ended;
            if (multithreaded_life() != home.life) return apartment.entries == 0 ? HomeAccess::no_apartment : HomeAccess::ended;
            // A single-threaded apartment's thread reaches the multithreaded apartment only through
            // a marshalled proxy; the object's own pointer is not for it.
            return apartment.entries == 0 ? HomeAccess::usable : HomeAccess::single_threaded_caller;
    }
    return HomeAccess::usable;
}

}  // namespace winemu

extern "C" {

WINEMU_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    winemu::PlatformCall call("CoInitializeEx", winemu::ErrorInfoUse::discards);
    call.flags("reserved", reinterpret_cast<std::uintptr_t>(pvReserved));
    call.flags("model", dwCoInit);
    // A failure is returned as it stands: the thread's apartment does not change. A success
    // code (S_FALSE) enters as the call would and is then returned.
    if (const auto fault = winemu::enter_call("CoInitializeEx", winemu::SuccessFault::does_the_work))
        return call.returns(*fault);
    if (pvReserved) return call.returns(E_INVALIDARG);
    if ((dwCoInit & ~(winemu::model_bit | winemu::optional_coinit_bits)) != 0) return call.returns(E_INVALIDARG);
    return call.returns(winemu::enter_apartment(dwCoInit & winemu::model_bit));
}

// The cookie is null whenever the call fails, as Windows documents. The journal shows cookies by
// value, so that a test can pair each give-back with its hand-out.
WINEMU_API HRESULT CoIncrementMTAUsage(CO_MTA_USAGE_COOKIE* pCookie) {
    winemu::PlatformCall call("CoIncrementMTAUsage", winemu::ErrorInfoUse::discards);
    if (pCookie) *pCookie = nullptr;
    const HRESULT result = [&] {
        if (const auto fault = winemu::enter_call("CoIncrementMTAUsage")) return *fault;
        if (!pCookie) return E_INVALIDARG;
        *pCookie = winemu::hand_out_mta_usage();
        return *pCookie ? S_OK : E_OUTOFMEMORY;
    }();
    call.flags("cookie", reinterpret_cast<std::uintptr_t>(pCookie ? *pCookie : nullptr));
    return call.returns(result);
}

WINEMU_API HRESULT CoDecrementMTAUsage(CO_MTA_USAGE_COOKIE Cookie) {
    winemu::PlatformCall call("CoDecrementMTAUsage", winemu::ErrorInfoUse::discards);
    call.flags("cookie", reinterpret_cast<std::uintptr_t>(Cookie));
    if (const auto fault = winemu::enter_call("CoDecrementMTAUsage")) return call.returns(*fault);
    return call.returns(winemu::take_back_mta_usage(Cookie));
}

WINEMU_API HRESULT CoGetApartmentType(APTTYPE* pAptType, APTTYPEQUALIFIER* pAptQualifier) {
    winemu::PlatformCall call("CoGetApartmentType", winemu::ErrorInfoUse::discards);
    if (const auto fault = winemu::enter_call("CoGetApartmentType")) return call.returns(*fault);
    if (!pAptType || !pAptQualifier) return call.returns(E_INVALIDARG);
    return call.returns(winemu::apartment_type(pAptType, pAptQualifier));
}

WINEMU_API void CoUninitialize() {
    winemu::PlatformCall call("CoUninitialize", winemu::ErrorInfoUse::discards);
    winemu::count_call("CoUninitialize");
    winemu::leave_apartment();
}

// The control API's own entries are neither counted nor faulted, so tests can set a thread up
// without disturbing the counts of the code under test.
WINEMU_API HRESULT winemu_enter_apartment(int multithreaded) {
    return winemu::enter_apartment(multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
}

WINEMU_API void winemu_leave_apartment(void) { winemu::leave_apartment(); }

}  // extern "C"
