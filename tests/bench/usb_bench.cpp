// Benchmark for the USB test bed's guest: a configuration read and a full flash, run as
// `qv450-cli --local` runs them, through the kernel's USB, HID and hidraw drivers to
// the module that qv450-sim-usb serves, beside the same on the in-process simulated
// module with its USB timing model (one report per millisecond each way), both on the
// real clock. Under software emulation the USB figures are an indication, not a goal.
// Usage: usb_bench FIRMWARE.bin
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"

namespace {

// One command line on the local link: its milliseconds, or -1 when it failed.
double timed(const std::vector<std::string>& words) {
    FILE* discard = std::fopen("/dev/null", "w");
    CliSession session(local_link(), discard, discard);
    const uint64_t start = platform::monotonic_us();
    std::string error;
    const bool done = session.run(words, &error);
    const double ms = double(platform::monotonic_us() - start) / 1000.0;
    local_link().close();
    std::fclose(discard);
    if (done) return ms;
    std::fprintf(stderr, "usb_bench: %s: %s\n", words[0].c_str(), error.c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: usb_bench FIRMWARE.bin\n");
        return 2;
    }
    const std::vector<std::string> read = {"read-config"};
    const std::vector<std::string> flash = {"flash", argv[1]};

    if (hid_backend().init() != 0) return 1;
    const double usb_read = timed(read);
    const double usb_flash = timed(flash);

    SimModule module;
    SimBackend backend(module, true);
    install_hid_backend(&backend);
    const double sim_read = timed(read);
    const double sim_flash = timed(flash);
    install_hid_backend(nullptr);

    std::printf("%-28s %14s %14s\n", "", "USB bus (ms)", "in-process (ms)");
    std::printf("%-28s %14.0f %14.0f\n", "configuration read", usb_read, sim_read);
    std::printf("%-28s %14.0f %14.0f\n", "flash and find it again", usb_flash, sim_flash);
    std::printf("(the USB bus under software emulation: an indication only)\n");
    return usb_read < 0 || usb_flash < 0 || sim_read < 0 || sim_flash < 0;
}
