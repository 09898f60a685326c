// lock_release_hook.hpp: a step of the test's own, run each time the process lets go of a flock().
#pragma once

#include <functional>

namespace winemu_test {

// While it lives, `step` runs on the releasing thread right after each flock(LOCK_UN) of the
// process, with the descriptor released, so that a test can act at one exact point between the
// steps of a service call (another caller's call, or a look at the locks). Not inside itself: a
// release made by the step does not run it again. One at a time.
class LockReleaseHook {
public:
    explicit LockReleaseHook(std::function<void(int released)> step);
    LockReleaseHook(const LockReleaseHook&) = delete;
    LockReleaseHook& operator=(const LockReleaseHook&) = delete;
    ~LockReleaseHook();

private:
    std::function<void(int released)> step_;
};

}  // namespace winemu_test
