// once_claim_test.cpp: the claim on a one-time fill: one holder at a time, waiters woken when it is
// given up, and a claim copied into a fork()ed child taken over there instead of waited on forever.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/once_claim.hpp"

namespace morvane {
namespace {

TEST(OnceClaim, OneHolderAtATimeAndWaitersWakeWhenItIsGivenUp) {
    OnceClaim claim;
    claim.wait_while_claimed();  // unclaimed: returns at once
    ASSERT_TRUE(claim.try_claim());
    EXPECT_FALSE(claim.try_claim());

    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        claim.wait_while_claimed();
        woke = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(woke);
    claim.release();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_TRUE(claim.try_claim());
    claim.release();
}

struct Filler {
    OnceClaim claim;
    std::atomic<bool> claimed{false};
    std::atomic<bool> finish{false};
};

void* fill_until_told(void* argument) {
    auto& filler = *static_cast<Filler*>(argument);
    if (!filler.claim.try_claim()) return nullptr;
    OnceClaimRelease release(filler.claim);
    filler.claimed = true;
    while (!filler.finish) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return nullptr;
}

// The child has only the forking thread: the thread that holds the claim in the parent is not there
// to give it up. The child must take the claim over, at once, and fill the cell itself. (The filler
// is a bare pthread: a std::thread's heap state would be memory the child can never free.)
TEST(OnceClaim, AChildForkedWhileAnotherThreadFillsTakesTheClaimOver) {
    Filler filler;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, fill_until_told, &filler), 0);
    while (!filler.claimed) std::this_thread::yield();

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(10);  // a child that deadlocks dies of SIGALRM instead of hanging the suite
        filler.claim.wait_while_claimed();
        const bool took_over = filler.claim.try_claim();
        const bool held = !filler.claim.try_claim();
        filler.claim.release();
        _exit(took_over && held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;

    // The parent's own holder still holds it until it is done.
    EXPECT_FALSE(filler.claim.try_claim());
    filler.finish = true;
    pthread_join(thread, nullptr);
    EXPECT_TRUE(filler.claim.try_claim());
    filler.claim.release();
}

}  // namespace
}  // namespace morvane
