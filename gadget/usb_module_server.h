// The simulated module on a USB device port: the host's output reports go to the same
// SimModule the in-process simulator runs, its input reports go back to the host, and
// whenever the module would re-enumerate (hand-over to the bootloader, restart after a
// flash, a pulled or replugged cable) the device leaves the bus and comes back as
// what the module now is. No GTK, no threads: one step per pass of the caller's loop.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/sim_module.h"

// The module's HID device as the server drives it: configfs and /dev/hidgN on a real
// machine, a recording stand-in in tests.
class HidDevicePort {
public:
    virtual ~HidDevicePort() = default;
    // Puts the device on the bus with this identity, taking it off first when it is on.
    // False with a reason.
    virtual bool present(uint16_t product_id, const std::string& product, std::string* error) = 0;
    // Takes the device off the bus; what the host had not taken is lost.
    virtual void withdraw() = 0;
    // One output report from the host (8 bytes, no report id) if one is waiting: its
    // length, 0 when none is.
    virtual int read_report(uint8_t* report, size_t size) = 0;
    // Offers one input report: false while the host has not taken the previous one.
    virtual bool write_report(const SimReport& report) = 0;
    // True when the host has taken every report written.
    virtual bool all_taken() = 0;
};

class UsbModuleServer {
public:
    // How long an answer written just before a re-enumeration may wait for the host
    // to take it: a host that stopped reading does not hold the module back.
    static constexpr uint64_t ANSWER_WAIT_MS = 500;
    // And how long after the host took it the device stays: a module restarting does
    // not vanish within the same millisecond, and a host that sees the device go before
    // it has handled the last transfer drops that transfer.
    static constexpr uint64_t LEAVE_DELAY_MS = 50;

    UsbModuleServer(SimModule& module, HidDevicePort& port) : module_(module), port_(port) {}

    // Presents the module as it is now (off the bus when it is unplugged).
    bool start(std::string* error);
    // One pass at `now_ms`: the module's own time, the host's reports in, the answers
    // out, and a re-enumeration when the module's identity on the bus changed. False
    // with a reason when the device cannot be put back on the bus.
    bool step(uint64_t now_ms, std::string* error);
    // Answers the host has not been offered yet.
    bool has_pending() const { return !pending_.empty(); }

private:
    // What the bus shows of the module.
    struct Presence {
        bool on_bus = false;
        int generation = 0;
        uint16_t product_id = 0;
        std::string product;
        bool operator==(const Presence& o) const {
            return on_bus == o.on_bus && (!on_bus || (generation == o.generation && product_id == o.product_id &&
                                                      product == o.product));
        }
    };
    Presence wanted() const;
    bool present(const Presence& presence, std::string* error);
    void take_answers();
    void offer_answers();

    SimModule& module_;
    HidDevicePort& port_;
    std::deque<SimReport> pending_;
    Presence presented_;
    bool change_seen_ = false;
    uint64_t change_seen_ms_ = 0;
    bool answered_ = false;  // since answered_ms_, the host has every answer
    uint64_t answered_ms_ = 0;
};
