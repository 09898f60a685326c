// secure_zero_memory.cpp: SecureZeroMemory, the wipe of a secret before its memory is freed.
#include <winemu/kernel.h>

#include <string.h>

#include "control/faults.hpp"

extern "C" {

// Counted (winemu_call_count) so that tests can see a secret wiped, but neither journaled nor
// faultable: on Windows it is an inline function, which no fault can strike.
WINEMU_API PVOID SecureZeroMemory(PVOID ptr, SIZE_T cnt) {
    winemu::count_call("SecureZeroMemory");
    if (ptr && cnt) explicit_bzero(ptr, cnt);
    return ptr;
}
}
