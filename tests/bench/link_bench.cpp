// Benchmark: the link's exchanges against the simulated module with its USB timing
// model (one 8-byte report per millisecond each way). For each operation it prints
// the link time on the virtual clock, two floors — the reports the exchange needs at
// one per millisecond, and those plus the pauses and time-outs the protocol
// prescribes (10 ms after each poll, 25 ms for the empty answer that ends a drain) —
// and the host CPU time the operation took.
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/bench_floors.h"
#include "bench/bench_link.h"
#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"

namespace {

using Steady = std::chrono::steady_clock;
using namespace bench;


struct Figure {
    double link_ms;   // virtual time on the modelled USB link
    double reports;   // reports in and out per operation
    double cpu_us;    // real time the host code took
};

template <typename Operation>
Figure measure(SimModule& module, int repeats, Operation operation) {
    const SimModule::Counters before = module.counters;
    const uint64_t virtual_start = platform::monotonic_us();
    const auto real_start = Steady::now();
    for (int i = 0; i < repeats; ++i) operation();
    const double real_us = std::chrono::duration<double, std::micro>(Steady::now() - real_start).count();
    const int reports = module.counters.output_reports - before.output_reports + module.counters.input_reports -
                        before.input_reports;
    return {double(platform::monotonic_us() - virtual_start) / 1000.0 / repeats, double(reports) / repeats,
            real_us / repeats};
}

bool await(uint8_t code, int attempts) {
    for (int i = 0; i < attempts; ++i)
        if (poll_frame() && local_link().reply().bytes[1] == code) return true;
    return false;
}

// The configuration read: header, then the three blocks of the pin area.
bool read_block(uint8_t address, uint8_t count) {
    const uint8_t data[2] = {address, count};
    send_command(0x05, data, 2);
    return await(0x06, 19);
}

bool read_whole_configuration() {
    return read_block(0x01, 10) && read_block(0x81, 32) && read_block(0xA1, 32) && read_block(0xC1, 28);
}

// The configuration write: the pin area in three blocks, a drain, the CAN level, the
// vehicle number, then 0x09 without an answer.
bool write_block(uint8_t address, const uint8_t* bytes, uint8_t count) {
    uint8_t data[34] = {address, count};
    for (int i = 0; i < count; ++i) data[2 + i] = bytes[i];
    send_command(0x06, data, count + 2);
    return await(0x01, 20);
}

bool write_whole_configuration(const uint8_t* pin_area) {
    const uint8_t level = 2;
    const uint8_t number[2] = {0x04, 0xF8};
    bool ok = write_block(0x81, pin_area, 32) && write_block(0xA1, pin_area + 32, 32) &&
              write_block(0xC1, pin_area + 64, 28);
    drain_frames();
    ok = ok && write_block(0x01, &level, 1) && write_block(0x05, number, 2);
    send_frame(0x09, nullptr, 0);
    return ok;
}

void row(const char* name, const Figure& f, double report_floor, double protocol_floor) {
    std::printf("%-36s %9.1f %8.1f %9.1f %10.1f %7.2f %9.1f\n", name, f.link_ms, f.reports, report_floor,
                protocol_floor, f.link_ms / protocol_floor, f.cpu_us);
}

}  // namespace

int main() {
    BenchLink link;
    if (!link.opened()) return 1;
    SimModule& module = link.module();

    bool ok = true;
    const Figure empty_poll = measure(module, 200, [] { poll_frame(); });
    const Figure handshake = measure(module, 200, [] {
        send_frame(0x01, nullptr, 0);
        poll_frame();
    });
    const Figure full_read = measure(module, 50, [&ok] { ok = read_whole_configuration() && ok; });
    const std::vector<uint8_t> pin_area(SimModule::DEFAULT_PIN_AREA, SimModule::DEFAULT_PIN_AREA + 92);
    const Figure full_write =
        measure(module, 50, [&ok, &pin_area] { ok = write_whole_configuration(pin_area.data()) && ok; });

    const int read_reports = config_read_reports();
    const int write_reports = config_write_reports() + 1;  // and the drain before the level

    std::printf("%-36s %9s %8s %9s %10s %7s %9s\n", "operation", "link ms", "reports", "floor ms",
                "+waits ms", "ratio", "CPU us");
    row("poll_frame, nothing waiting", empty_poll, 1, 1 + POLL_PAUSE_MS + EMPTY_READ_MS);
    const int handshake_reports = frame_reports(0) + 1 + frame_reports(2);
    row("command 0x01 + poll_frame (0x07)", handshake, handshake_reports, handshake_reports + POLL_PAUSE_MS);
    row("configuration read, 4 blocks", full_read, read_reports, read_reports + 4 * exchange_waits());
    row("configuration write, 5 blocks + 0x09", full_write, write_reports,
        write_reports + 5 * exchange_waits() + POLL_PAUSE_MS + EMPTY_READ_MS);
    std::printf("ratio: link time against the floor with the protocol's own waits\n");

    return ok ? 0 : 1;
}
