// child_reaper.cpp: one thread that reaps every process the tasks started.
#include "child_reaper.hpp"

#include <poll.h>
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
    Reaper() : owner_(getpid()), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    bool ready() {
        const std::lock_guard guard(lock_);
        if (running_) return true;
        if (!wake_) return false;
        try {
            std::thread([this] { loop(); }).detach();
        } catch (...) {
            return false;
        }
        running_ = true;
        return true;
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
    // Never returns: the thread lives as long as the process.
    void loop() noexcept {
        std::vector<pollfd> descriptors;
        while (true) {
            try {
                wait_for_an_end(descriptors);
            } catch (...) {
                std::this_thread::sleep_for(std::chrono::milliseconds(poll_interval_ms));  // no memory: later
            }
            ChildWatchNode ended = reap_ended();
            for (ChildWatch& watch : ended) {
                if (!watch.ended) continue;
                try {
                    watch.ended();
                } catch (...) {
                    // What follows a child never throws out here; nothing more to do if it did.
                }
            }
        }
    }

    void wait_for_an_end(std::vector<pollfd>& descriptors) {
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
    // and takes its watch out of the list.
    ChildWatchNode reap_ended() noexcept {
        ChildWatchNode ended;
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
        return ended;
    }

    const pid_t owner_;
    UniqueFd wake_;
    std::mutex lock_;
    bool running_ = false;
    ChildWatchNode watched_;
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
        current = new Reaper;
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
