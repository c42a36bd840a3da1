// The real clock: CLOCK_MONOTONIC and nanosleep.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

class RealClock : public Clock {
public:
    uint64_t now_us() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
    }
    void sleep_us(uint64_t us) override {
        timespec ts{};
        ts.tv_sec = time_t(us / 1000000u);
        ts.tv_nsec = long(us % 1000000u) * 1000;
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

RealClock real_clock;
Clock* current = &real_clock;

}  // namespace

Clock& clock() { return *current; }

void install_clock(Clock* c) { current = c ? c : &real_clock; }

int64_t real_time_ms() { return int64_t(real_clock.now_us() / 1000u); }

}  // namespace platform
