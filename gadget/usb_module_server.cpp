// Reports between the host and the simulated module, and the module's re-enumerations.
#include "gadget/usb_module_server.h"

#include <cstring>

namespace {
// A host that writes and never reads must not make the queue grow without end.
constexpr size_t MAX_PENDING_REPORTS = 1024;
}

UsbModuleServer::Presence UsbModuleServer::wanted() const {
    Presence p;
    p.on_bus = module_.plugged();
    p.generation = module_.usb_generation();
    p.product_id = module_.product_id();
    p.product = module_.product_string();
    return p;
}

bool UsbModuleServer::present(const Presence& presence, std::string* error) {
    // A device leaving the bus takes its unread answers with it.
    pending_.clear();
    SimReport stale;
    while (module_.host_read(&stale)) {
    }
    presented_ = presence;
    change_seen_ = false;
    answered_ = false;
    if (!presence.on_bus) {
        port_.withdraw();
        return true;
    }
    return port_.present(presence.product_id, presence.product, error);
}

bool UsbModuleServer::start(std::string* error) { return present(wanted(), error); }

void UsbModuleServer::take_answers() {
    SimReport report;
    while (module_.host_read(&report)) {
        if (pending_.size() >= MAX_PENDING_REPORTS) pending_.pop_front();
        pending_.push_back(report);
    }
}

void UsbModuleServer::offer_answers() {
    while (!pending_.empty() && port_.write_report(pending_.front())) {
        pending_.pop_front();
        answered_ = false;
    }
}

bool UsbModuleServer::step(uint64_t now_ms, std::string* error) {
    module_.advance_to(now_ms);
    if (presented_.on_bus) {
        uint8_t in[64];
        int n;
        while ((n = port_.read_report(in, sizeof in)) > 0) {
            // The module takes reports as the host's HID library writes them: report id first.
            uint8_t report[9] = {0};
            std::memcpy(report + 1, in, size_t(n) < sizeof report - 1 ? size_t(n) : sizeof report - 1);
            module_.host_write(report, sizeof report);
            take_answers();
            offer_answers();
        }
        take_answers();
        offer_answers();
    }

    // Since when the host has had every answer the module gave.
    const bool answered = pending_.empty() && port_.all_taken();
    if (answered && !answered_) answered_ms_ = now_ms;
    answered_ = answered;

    const Presence now = wanted();
    if (now == presented_) return true;
    if (!change_seen_) {
        change_seen_ = true;
        change_seen_ms_ = now_ms;
    }
    // A pulled cable goes at once; a hand-over or a restart waits until the host has
    // the answer that announced it, as the module sends it before it leaves the bus.
    const bool left = answered && now_ms - answered_ms_ >= LEAVE_DELAY_MS;
    if (now.on_bus && presented_.on_bus && !left && now_ms - change_seen_ms_ < ANSWER_WAIT_MS) return true;
    return present(now, error);
}
