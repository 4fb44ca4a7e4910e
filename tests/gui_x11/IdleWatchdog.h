#pragma once
// A bound on one call into a panel under test. A click that the panel takes for a button
// still held keeps it in a control's drag loop for ever, and the test would end only at
// CTest's time-out; the watchdog ends the test program with a message instead.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

class IdleWatchdog {
public:
    explicit IdleWatchdog(std::chrono::seconds limit) : limit(limit), watcher([this] { watch(); }) {}
    ~IdleWatchdog() {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stopping = true;
        }
        wake.notify_all();
        watcher.join();
    }
    IdleWatchdog(const IdleWatchdog&) = delete;
    IdleWatchdog& operator=(const IdleWatchdog&) = delete;

    // Runs call; when it has not returned within the limit, the program ends with status 1.
    template <class Call>
    void run(Call&& call) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            deadline = std::chrono::steady_clock::now() + limit;
            armed = true;
        }
        wake.notify_all();
        call();
        std::lock_guard<std::mutex> guard(mutex);
        armed = false;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            if (!armed) {
                wake.wait(lock);
            } else if (wake.wait_until(lock, deadline) == std::cv_status::timeout && armed &&
                       std::chrono::steady_clock::now() >= deadline) {
                const auto* test = testing::UnitTest::GetInstance()->current_test_info();
                std::fprintf(stderr,
                             "FAILED: %s.%s: the panel's idle did not return within %d s; a click is being "
                             "handled as if its button were still held down\n",
                             test ? test->test_suite_name() : "?", test ? test->name() : "?",
                             static_cast<int>(limit.count()));
                std::fflush(stderr);
                std::_Exit(1);
            }
        }
    }

    const std::chrono::seconds limit;
    std::mutex mutex;
    std::condition_variable wake;
    std::chrono::steady_clock::time_point deadline;
    bool armed = false;
    bool stopping = false;
    std::thread watcher;
};
