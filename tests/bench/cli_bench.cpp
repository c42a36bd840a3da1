// Benchmark: the command-line tool's flash and write-config on the simulated module
// with the USB timing model, on the virtual clock, against the protocol's floor (the
// reports the exchanges need at one per millisecond plus the pauses the protocol
// prescribes). Goal: the same ratio as the GUI's, at most 1.05.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_floors.h"
#include "bench/bench_link.h"
#include "cli/cli_commands.h"
#include "sim/sim_firmware_image.h"
#include "unit/temp_folder.h"

namespace {

constexpr double GOAL_RATIO = 1.05;

// Runs one command line; the virtual milliseconds it took, or -1 when it failed.
double timed(CliSession& session, const std::vector<std::string>& words) {
    const uint64_t start = platform::monotonic_us();
    std::string error;
    if (!session.run(words, &error)) {
        std::fprintf(stderr, "%s: %s\n", words[0].c_str(), error.c_str());
        return -1;
    }
    return double(platform::monotonic_us() - start) / 1000.0;
}

bool row(const char* name, double link_ms, int floor_ms) {
    const double ratio = link_ms / floor_ms;
    const bool met = link_ms >= 0 && ratio <= GOAL_RATIO;
    std::printf("%-36s %10.1f %10d %7.3f %8s\n", name, link_ms, floor_ms, ratio, met ? "met" : "MISSED");
    return met;
}

}  // namespace

int main() {
    BenchLink link;
    if (!link.opened()) return 1;
    TempFolder folder;
    folder.put("module.cfg", "carnumber=1272\ncanlevel=2\n");
    SimFirmwareIdentity identity;
    identity.firmware_version = 1611;
    const std::vector<uint8_t> image = make_sim_firmware_file(FIRMWARE_IMAGE_CAPACITY, identity, 0x04, 0x50);
    std::ofstream(folder.file("QV450_1611.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    FILE* quiet = std::fopen("/dev/null", "w");
    CliSession session(local_link(), quiet, nullptr);
    const double write_ms = timed(session, {"write-config", folder.file("module.cfg")});
    const double flash_ms = timed(session, {"flash", folder.file("QV450_1611.bin")});
    std::fclose(quiet);

    using namespace bench;
    // write-config reads what the file does not name, asks the identity for the
    // variant check, then writes.
    const int write_floor = OPEN_DELAY_MS + config_read_floor_ms() + identify_floor_ms() + config_write_floor_ms();
    // flash: the transfer, then the module found again after its restart and identified.
    const int flash_floor = OPEN_DELAY_MS + flash_floor_ms(firmware_block_count(int(image.size()))) +
                            RESTART_PAUSE_MS + OPEN_DELAY_MS + OPEN_DELAY_MS + identify_floor_ms();

    std::printf("%-36s %10s %10s %7s %8s\n", "command (local, simulated module)", "link ms", "floor ms", "ratio",
                "goal");
    bool met = row("write-config FILE.cfg", write_ms, write_floor);
    met = row("flash 100352-byte image", flash_ms, flash_floor) && met;
    std::printf("floor: the protocol's reports at one per millisecond plus its fixed pauses; goal: ratio <= %.2f\n",
                GOAL_RATIO);
    return met ? 0 : 1;
}
