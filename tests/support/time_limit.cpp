// The tests' time limit: a watchdog thread beside the tests, armed for each test.
#include "support/time_limit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Never destroyed: its thread waits on it until the process ends.
class Watchdog {
public:
    Watchdog() {
        const char* value = std::getenv("QV450_TEST_LIMIT_S");
        default_s_ = value && std::atoi(value) > 0 ? std::atoi(value) : DEFAULT_TEST_LIMIT_S;
        std::thread([this] { watch(); }).detach();
    }

    void disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        running_.clear();
        wake_.notify_all();
    }
    int default_s() const { return default_s_; }

    void arm(const std::string& name, int seconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = name;
        limit_s_ = seconds;
        deadline_ = Clock::now() + std::chrono::seconds(seconds);
        wake_.notify_all();
    }
    void rearm(int seconds) {
        std::string name;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            name = running_;
        }
        if (!name.empty()) arm(name, seconds);
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (running_.empty()) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::no_timeout || Clock::now() < deadline_) continue;
            std::fprintf(stderr, "\n[ TIME OUT ] %s ran past its limit of %d s: the run ends here\n", running_.c_str(),
                         limit_s_);
            std::fflush(stderr);
            std::fflush(stdout);
            _exit(1);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string running_;
    int limit_s_ = 0;
    int default_s_ = DEFAULT_TEST_LIMIT_S;
    Clock::time_point deadline_;
};

Watchdog* watchdog();

// Arms the watchdog for each test; gtest owns (and at exit deletes) this, not the dog.
class Arming : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override {
        watchdog()->arm(std::string(test.test_suite_name()) + "." + test.name(), watchdog()->default_s());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { watchdog()->disarm(); }
};

Watchdog* watchdog() {
    // Installed before main runs the tests.
    static Watchdog* installed = [] {
        Watchdog* dog = new Watchdog;
        ::testing::UnitTest::GetInstance()->listeners().Append(new Arming);
        return dog;
    }();
    return installed;
}

const bool installed = watchdog() != nullptr;

}  // namespace

void limit_this_test(int seconds) { watchdog()->rearm(seconds); }
