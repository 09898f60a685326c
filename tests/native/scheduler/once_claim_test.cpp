// once_claim_test.cpp: the claim on a one-time fill: one holder at a time, waiters woken when it is
// given up, and a claim copied into a fork()ed child taken over there instead of waited on forever.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>
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

// The child has only the forking thread: the thread that holds the claim in the parent is not there
// to give it up. The child must take the claim over, at once, and fill the cell itself.
TEST(OnceClaim, AChildForkedWhileAnotherThreadFillsTakesTheClaimOver) {
    OnceClaim claim;
    std::atomic<bool> claimed{false};
    std::atomic<bool> finish{false};
    std::thread filler([&] {
        ASSERT_TRUE(claim.try_claim());
        OnceClaimRelease release(claim);
        claimed = true;
        while (!finish) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!claimed) std::this_thread::yield();

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(10);  // a child that deadlocks dies of SIGALRM instead of hanging the suite
        claim.wait_while_claimed();
        const bool took_over = claim.try_claim();
        const bool held = !claim.try_claim();
        claim.release();
        _exit(took_over && held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;

    // The parent's own holder still holds it until it is done.
    EXPECT_FALSE(claim.try_claim());
    finish = true;
    filler.join();
    EXPECT_TRUE(claim.try_claim());
    claim.release();
}

}  // namespace
}  // namespace morvane
