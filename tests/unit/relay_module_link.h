// The module reached the operator's way: a relay server on loopback, the tool's relay
// logged in to it and stepping in a thread of its own, and the operator's relay link.
// Tests run the same exchanges on this link and on the local one.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "device/frame_link.h"
#include "platform/clock.h"
#include "relay/relay_server.h"
#include "remote/operator_link.h"
#include "remote/relay_link.h"
#include "sim/sim_backend.h"

enum class LinkKind { LOCAL, RELAY };

// A virtual clock that the tool's thread and the test's thread may both sleep on.
class SharedVirtualClock : public platform::Clock {
public:
    uint64_t now_us() override { return now_; }
    void sleep_us(uint64_t us) override { now_ += us; }

private:
    std::atomic<uint64_t> now_{0};
};

class RelayModuleLink {
public:
    // The HID backend with the module must be installed; the tool's link is closed, as
    // remote access leaves it, until the operator's open.
    RelayModuleLink();
    ~RelayModuleLink();
    RelayModuleLink(const RelayModuleLink&) = delete;
    RelayModuleLink& operator=(const RelayModuleLink&) = delete;

    // False (with the reason in error()) when the session could not be set up.
    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    OperatorLink& connection() { return connection_; }
    RelayLink& link() { return *link_; }

private:
    std::unique_ptr<RelayServer> server_;
    std::atomic<bool> stop_{false};
    std::thread serving_;
    std::thread tool_;
    OperatorLink connection_;
    std::unique_ptr<RelayLink> link_;
    bool ready_ = false;
    std::string error_;
};

// The link of the kind for a test: the local one, or the relay's (started on demand).
class ModuleLinks {
public:
    FrameLink& get(LinkKind kind);
    RelayModuleLink* relay() { return relay_.get(); }

private:
    std::unique_ptr<RelayModuleLink> relay_;
};

// A simulated module on virtual time, reached on the link of a kind.
class SimulatedModuleOnLink {
public:
    explicit SimulatedModuleOnLink(LinkKind kind);
    ~SimulatedModuleOnLink();

    // Plugs in a fresh module and opens it on the link; false when it did not open.
    bool start(const SimSettings& settings);
    FrameLink& link() { return links_.get(kind_); }
    SimModule& module() { return *module_; }
    RelayModuleLink* relay() { return links_.relay(); }

private:
    LinkKind kind_;
    SharedVirtualClock clock_;
    std::unique_ptr<SimModule> module_;
    std::unique_ptr<SimBackend> backend_;
    ModuleLinks links_;
};

inline const char* link_kind_name(LinkKind kind) { return kind == LinkKind::LOCAL ? "Local" : "Relay"; }
