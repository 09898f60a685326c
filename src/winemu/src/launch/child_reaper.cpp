// child_reaper.cpp: one thread that reaps every process the tasks started.
#include "launch/child_reaper.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace winemu {
namespace {

constexpr int poll_interval_ms = 100;  // for children without a pidfd

class Reaper {
public:
    // `inherited`: the reaper of the process this one was forked from, kept (never used) so that
    // what it holds stays reachable rather than leaked.
    explicit Reaper(Reaper* inherited)
        : owner_(getpid()), inherited_(inherited), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    bool ready() {
        const std::lock_guard guard(lock_);
        if (running_) return true;
        if (!wake_) return false;
        // pthread rather than std::thread: nothing of the thread's lives on the heap referenced
        // only from its stack, which a process forked from this one (a task's host may fork)
        // would not have, and so would report as leaked.
        pthread_attr_t attributes;
        if (pthread_attr_init(&attributes) != 0) return false;
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        running_ = pthread_create(&thread, &attributes, &Reaper::main, this) == 0;
        pthread_attr_destroy(&attributes);
        return running_;
    }

    void add(ChildWatchNode& node) noexcept {
        ChildWatch& watch = node.front();
        watch.pidfd = UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, watch.pid, 0)));
        {
            const std::lock_guard guard(lock_);
            watched_.splice(watched_.end(), node);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = write(wake_.get(), &one, sizeof one);
    }

    std::size_t count() {
        const std::lock_guard guard(lock_);
        return watched_.size();
    }

    pid_t owner() const noexcept { return owner_; }

private:
    static void* main(void* self) {
        static_cast<Reaper*>(self)->loop();
        return nullptr;
    }

    // Never returns: the thread lives as long as the process. What it holds is held by members
    // (see ready()).
    void loop() noexcept {
        while (true) {
            try {
                wait_for_an_end();
            } catch (...) {
                std::this_thread::sleep_for(std::chrono::milliseconds(poll_interval_ms));  // no memory: later
            }
            reap_ended();
            for (ChildWatch& watch : ended_) {
                if (!watch.ended) continue;
                try {
                    watch.ended();
                } catch (...) {
                    // What follows a child never throws out here; nothing more to do if it did.
                }
            }
            ended_.clear();
        }
    }

    void wait_for_an_end() {
        std::vector<pollfd>& descriptors = descriptors_;
        descriptors.clear();
        descriptors.push_back({wake_.get(), POLLIN, 0});
        bool any_without_pidfd = false;
        {
            const std::lock_guard guard(lock_);
            for (const ChildWatch& watch : watched_) {
                if (watch.pidfd) descriptors.push_back({watch.pidfd.get(), POLLIN, 0});
                else any_without_pidfd = true;
            }
        }
        poll(descriptors.data(), descriptors.size(), any_without_pidfd ? poll_interval_ms : -1);
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = read(wake_.get(), &count, sizeof count);
    }

    // Reaps every child that has ended (waitpid without waiting: a pidfd only says it may have)
    // and moves its watch to ended_.
    void reap_ended() noexcept {
        ChildWatchNode& ended = ended_;
        const std::lock_guard guard(lock_);
        for (auto it = watched_.begin(); it != watched_.end();) {
            const auto next = std::next(it);
            int status = 0;
            pid_t reaped;
            do {
                reaped = waitpid(it->pid, &status, WNOHANG);
            } while (reaped < 0 && errno == EINTR);
            // ECHILD: reaped by someone else (a host that waits for any child); it has ended too.
            if (reaped == it->pid || (reaped < 0 && errno == ECHILD)) ended.splice(ended.end(), watched_, it);
            it = next;
        }
    }

    const pid_t owner_;
    [[maybe_unused]] Reaper* const inherited_;
    UniqueFd wake_;
    std::mutex lock_;
    bool running_ = false;
    ChildWatchNode watched_;
    // The reaper thread's own: what it polls, and the watches of children it has just reaped.
    std::vector<pollfd> descriptors_;
    ChildWatchNode ended_;
};

Reaper& reaper() {
    // Never destroyed: its thread runs until the process ends. A child made by fork() has a copy
    // without the thread (and maybe with a lock held at the fork): it makes a reaper of its own.
    static std::atomic<Reaper*> instance{nullptr};
    static std::mutex making;
    Reaper* current = instance.load();
    if (current && current->owner() == getpid()) return *current;
    const std::lock_guard guard(making);
    current = instance.load();
    if (!current || current->owner() != getpid()) {
        current = new Reaper(current);
        instance.store(current);
    }
    return *current;
}

}  // namespace

bool reaper_ready() noexcept {
    try {
        return reaper().ready();
    } catch (...) {
        return false;
    }
}

void reap_child(ChildWatchNode& node) noexcept {
    // reaper_ready() came first, so the reaper exists in this process and this finds it.
    reaper().add(node);
}

std::size_t children_being_reaped() noexcept {
    try {
        return reaper().count();
    } catch (...) {
        return 0;
    }
}

}  // namespace winemu
