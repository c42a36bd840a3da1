// A simulated module on virtual time, reached on the local link or the operator's way:
// a relay server on loopback, the tool's relay logged in to it and stepping in a thread
// of its own, and the operator's relay link. Tests run the same exchanges on both.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "net/relay.h"
#include "operator/relay_link.h"
#include "platform/clock.h"
#include "relay/relay_server.h"
#include "sim/sim_backend.h"

enum class LinkKind { LOCAL, RELAY };

inline const char* link_kind_name(LinkKind kind) { return kind == LinkKind::LOCAL ? "Local" : "Relay"; }

// A virtual clock that the tool's thread and the test's thread may both sleep on.
class SharedVirtualClock : public platform::Clock {
public:
    uint64_t now_us() override { return now_; }
    void sleep_us(uint64_t us) override { now_ += us; }

private:
    std::atomic<uint64_t> now_{0};
};

class SimulatedModuleOnLink {
public:
    explicit SimulatedModuleOnLink(LinkKind kind);
    ~SimulatedModuleOnLink();
    SimulatedModuleOnLink(const SimulatedModuleOnLink&) = delete;
    SimulatedModuleOnLink& operator=(const SimulatedModuleOnLink&) = delete;

    // Plugs in a fresh module and opens it on the link; false (reason in error()) when
    // it did not open.
    bool start(const SimSettings& settings);
    FrameLink& link();
    SimModule& module() { return *module_; }
    OperatorLink& connection() { return connection_; }
    RelayLink& relay_link() { return relay_link_; }
    // A paused tool takes nothing from the relay: the session stalls. Returns once the
    // tool is between two relay steps.
    void pause_tool(bool paused);
    const std::string& error() const { return error_; }

private:
    bool start_relay();

    LinkKind kind_;
    SharedVirtualClock clock_;
    std::unique_ptr<SimModule> module_;
    std::unique_ptr<SimBackend> backend_;
    std::unique_ptr<RelayServer> server_;
    std::unique_ptr<RelayState> tool_relay_;  // the fitter's tool, on the local link
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> idle_{false};
    std::thread serving_, tool_;
    OperatorLink connection_;
    RelayLink relay_link_{connection_};
    std::string error_;
};
