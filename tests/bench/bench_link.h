// The benchmarks' common set-up: a simulated module with the USB timing model on the
// link, on a virtual clock, for the lifetime of the object.
#pragma once

#include <cstdio>

#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"

class BenchLink {
public:
    BenchLink() : backend_(module_, true) {
        install_hid_backend(&backend_);
        opened_ = link_open() == 1;
        if (!opened_) std::fprintf(stderr, "simulated module not found\n");
    }
    ~BenchLink() {
        link_close();
        install_hid_backend(nullptr);
    }
    BenchLink(const BenchLink&) = delete;
    BenchLink& operator=(const BenchLink&) = delete;

    bool opened() const { return opened_; }
    SimModule& module() { return module_; }

private:
    platform::ScopedVirtualClock clock_;
    SimModule module_;
    SimBackend backend_;
    bool opened_ = false;
};
