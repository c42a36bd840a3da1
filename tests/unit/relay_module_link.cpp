// Setting up the simulated module on the link of a kind for the tests.
#include "relay_module_link.h"

#include <chrono>
#include <cstdlib>

#include "device/link.h"
#include "unit/fresh_link.h"

SimulatedModuleOnLink::SimulatedModuleOnLink(LinkKind kind) : kind_(kind) { platform::install_clock(&clock_); }

SimulatedModuleOnLink::~SimulatedModuleOnLink() {
    if (server_) {
        relay_link_.close();
        stop_ = true;
        if (tool_.joinable()) tool_.join();
        if (serving_.joinable()) serving_.join();
        relay_disconnect(*tool_relay_);
        local_link().return_event_texts(false);
        unsetenv("QV450_RELAY_SERVER");
    }
    link_close();
    install_hid_backend(nullptr);
    platform::install_clock(nullptr);
}

FrameLink& SimulatedModuleOnLink::link() {
    if (kind_ == LinkKind::LOCAL) return local_link();
    return relay_link_;
}

bool SimulatedModuleOnLink::start_relay() {
    RelayOptions options;
    options.bind_address = "127.0.0.1";
    options.tool_port = options.operator_port = 0;
    options.operator_token = "test";
    server_ = std::make_unique<RelayServer>(options, nullptr);
    if (!server_->start(&error_)) return false;
    serving_ = std::thread([this] {
        while (!stop_) server_->run_once(5);
    });
    OperatorSecurity plain_text;
    plain_text.insecure = true;  // a loopback server without a certificate
    connection_.set_security(plain_text);
    std::string code;
    if (!connection_.open("127.0.0.1:" + std::to_string(server_->operator_port()), "test", "", &code, &error_))
        return false;
    setenv("QV450_RELAY_SERVER", ("127.0.0.1:" + std::to_string(server_->tool_port())).c_str(), 1);
    tool_relay_ = std::make_unique<RelayState>(local_link(), relay_serial_port(), relay_firmware_image());
    local_link().return_event_texts(true);
    if (relay_login(*tool_relay_, code) != LOGIN_OK) {
        error_ = "the tool could not log in";
        return false;
    }
    tool_ = std::thread([this] {
        while (!stop_) {
            idle_ = paused_.load();
            if (idle_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            else relay_step(*tool_relay_);
        }
    });
    return connection_.wait_paired(&error_);
}

bool SimulatedModuleOnLink::start(const SimSettings& settings) {
    if (server_) relay_link_.close();
    link_close();
    backend_.reset();
    module_ = std::make_unique<SimModule>(settings);
    backend_ = std::make_unique<SimBackend>(*module_);
    install_hid_backend(backend_.get());
    start_with_fresh_link();
    if (kind_ == LinkKind::LOCAL) return link_open() > 0;
    return (server_ || start_relay()) && relay_link_.open() > 0;
}

void SimulatedModuleOnLink::pause_tool(bool paused) {
    paused_ = paused;
    while (paused && tool_.joinable() && !idle_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
