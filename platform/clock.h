// Sleeping and the monotonic clock, replaceable by a virtual clock in tests.
#pragma once

#include <cstdint>

namespace platform {

// A source of time. The program uses the real one; tests install a VirtualClock so
// that the protocol's waits (5 to 100 ms, thousands of them) cost no real time.
class Clock {
public:
    virtual ~Clock() = default;
    // Microseconds since an arbitrary fixed start; never goes backwards.
    virtual uint64_t now_us() = 0;
    // Returns after at least `us` microseconds of this clock's time.
    virtual void sleep_us(uint64_t us) = 0;
};

// Time only moves when someone sleeps on it.
class VirtualClock : public Clock {
public:
    uint64_t now_us() override { return now_; }
    void sleep_us(uint64_t us) override { now_ += us; }
    void advance_us(uint64_t us) { now_ += us; }

private:
    uint64_t now_ = 0;
};

// The clock in use. Passing nullptr goes back to the real clock. The caller keeps
// ownership of the clock it installs.
Clock& clock();
void install_clock(Clock* clock);

// Real monotonic time in milliseconds, whatever clock is installed: the time-outs of
// waits on a socket, a serial device or another process, which take real time however
// the program's own waits are counted (a virtual clock does not move while poll waits).
int64_t real_time_ms();

// Shorthands for the clock in use.
inline uint64_t monotonic_us() { return clock().now_us(); }
inline uint64_t monotonic_ms() { return clock().now_us() / 1000; }
inline void sleep_us(uint64_t us) { clock().sleep_us(us); }
inline void sleep_ms(uint64_t ms) { clock().sleep_us(ms * 1000); }

// Installs a VirtualClock for the lifetime of the object (tests).
class ScopedVirtualClock {
public:
    ScopedVirtualClock() { install_clock(&clock_); }
    ~ScopedVirtualClock() { install_clock(nullptr); }
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
    VirtualClock& get() { return clock_; }
    uint64_t now_ms() { return clock_.now_us() / 1000; }

private:
    VirtualClock clock_;
};

}  // namespace platform
