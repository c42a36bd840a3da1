// The clock of the relay's timers: the platform clock, so that tests run them on
// virtual time.
#pragma once

#include <asio/basic_waitable_timer.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <cstdint>

#include "platform/clock.h"

struct RelayClock {
    using rep = int64_t;
    using period = std::micro;
    using duration = std::chrono::microseconds;
    using time_point = std::chrono::time_point<RelayClock>;
    static constexpr bool is_steady = true;
    static time_point now() { return time_point(duration(int64_t(platform::monotonic_us()))); }
};

// The plain io_context executor: a type-erased one would cost every socket and timer
// tens of bytes.
using RelayExecutor = asio::io_context::executor_type;
using RelayTimer = asio::basic_waitable_timer<RelayClock, asio::wait_traits<RelayClock>, RelayExecutor>;

inline RelayClock::time_point relay_time_after_ms(uint64_t ms) {
    return RelayClock::now() + std::chrono::milliseconds(ms);
}
