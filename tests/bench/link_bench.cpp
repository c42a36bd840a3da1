// Benchmark: poll round trips and a full configuration read against the simulated
// module with its USB timing model (one report per millisecond each way). Prints the
// link time on the virtual clock against the floor the exchanges themselves need,
// and the host CPU time per operation.
#include <chrono>
#include <cstdio>
#include <vector>

#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"

namespace {

using Steady = std::chrono::steady_clock;

struct Figure {
    double link_ms;  // virtual time on the modelled USB link
    double cpu_us;   // real time the host code took
};

template <typename Operation>
Figure measure(int repeats, Operation operation) {
    const uint64_t virtual_start = platform::monotonic_us();
    const auto real_start = Steady::now();
    for (int i = 0; i < repeats; ++i) operation();
    const double real_us = std::chrono::duration<double, std::micro>(Steady::now() - real_start).count();
    return {double(platform::monotonic_us() - virtual_start) / 1000.0 / repeats, real_us / repeats};
}

// One block read: command 0x05, then polls until the 0x06 reply.
bool read_block(uint8_t address, uint8_t count) {
    const uint8_t data[2] = {address, count};
    send_command(0x05, data, 2);
    for (int i = 0; i < 19; ++i)
        if (poll_frame() && reply_record.bytes[1] == 0x06) return true;
    return false;
}

bool read_whole_configuration() {
    return read_block(0x01, 10) && read_block(0x81, 32) && read_block(0xA1, 32) && read_block(0xC1, 28);
}

// Reports a read of `count` bytes needs at least: the command frame out, one poll, and
// the reply text back (7 characters per report), plus the drain's empty poll.
int read_reports(int count) {
    const int command_chars = 8 + 2 * 2;
    const int reply_chars = 8 + 2 * (count + 2);
    return (command_chars + 6) / 7 + 1 + (reply_chars + 6) / 7 + 1;
}

}  // namespace

int main() {
    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend(module, true);
    install_hid_backend(&backend);
    if (link_open() != 1) {
        std::fprintf(stderr, "simulated module not found\n");
        return 1;
    }

    const Figure empty_poll = measure(200, [] { poll_frame(); });
    const Figure handshake = measure(200, [] {
        send_frame(0x01, nullptr, 0);
        poll_frame();
    });
    bool ok = true;
    const Figure full_read = measure(100, [&ok] { ok = read_whole_configuration() && ok; });

    // Floors: a poll is one report out and its 10 ms pause; an empty answer waits the
    // 25 ms read time-out. A drain's empty poll (35 ms) comes with every command.
    const double empty_floor = 1 + 10 + 25;
    const double handshake_floor = 2 + 1 + 10 + 2;
    const int reports = read_reports(10) + read_reports(32) + read_reports(32) + read_reports(28);
    const double read_floor = reports + 4 * (10 + 10 + 25);

    std::printf("%-38s %10s %10s %8s %12s\n", "operation", "link ms", "floor ms", "ratio", "host CPU us");
    auto row = [](const char* name, const Figure& f, double floor) {
        std::printf("%-38s %10.1f %10.1f %8.2f %12.1f\n", name, f.link_ms, floor, f.link_ms / floor, f.cpu_us);
    };
    row("poll_frame, nothing waiting", empty_poll, empty_floor);
    row("send 0x01 + poll_frame (reply 0x07)", handshake, handshake_floor);
    row("configuration read (10+32+32+28 bytes)", full_read, read_floor);
    std::printf("reports out: %d, polls: %d, reports in: %d\n", module.counters.output_reports,
                module.counters.polls, module.counters.input_reports);

    link_close();
    install_hid_backend(nullptr);
    return ok ? 0 : 1;
}
