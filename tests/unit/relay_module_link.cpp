// Setting up the operator's way to the simulated module for the tests.
#include "relay_module_link.h"

#include <cstdlib>

#include "device/link.h"
#include "net/relay.h"

RelayModuleLink::RelayModuleLink() : link_(std::make_unique<RelayLink>(connection_)) {
    RelayOptions options;
    options.bind_address = "127.0.0.1";
    options.tool_port = options.operator_port = 0;
    options.operator_token = "test";
    server_ = std::make_unique<RelayServer>(options, nullptr);
    if (!server_->start(&error_)) return;
    serving_ = std::thread([this] {
        while (!stop_) server_->run_once(5);
    });
    std::string code;
    if (!connection_.open("127.0.0.1:" + std::to_string(server_->operator_port()), "test", "", &code, &error_)) return;
    setenv("QV450_RELAY_SERVER", ("127.0.0.1:" + std::to_string(server_->tool_port())).c_str(), 1);
    link_close();
    set_event_texts_passed_through(true);
    if (relay_login(code) != LOGIN_OK) {
        error_ = "the tool could not log in";
        return;
    }
    tool_ = std::thread([this] {
        while (!stop_) relay_step();
    });
    ready_ = connection_.wait_paired(&error_);
}

RelayModuleLink::~RelayModuleLink() {
    link_->close();
    link_.reset();
    stop_ = true;
    if (tool_.joinable()) tool_.join();
    if (serving_.joinable()) serving_.join();
    relay_disconnect();
    set_event_texts_passed_through(false);
    unsetenv("QV450_RELAY_SERVER");
}

FrameLink& ModuleLinks::get(LinkKind kind) {
    if (kind == LinkKind::LOCAL) return local_link();
    if (!relay_) relay_ = std::make_unique<RelayModuleLink>();
    return relay_->link();
}

SimulatedModuleOnLink::SimulatedModuleOnLink(LinkKind kind) : kind_(kind) { platform::install_clock(&clock_); }

SimulatedModuleOnLink::~SimulatedModuleOnLink() {
    links_ = ModuleLinks();
    link_close();
    install_hid_backend(nullptr);
    platform::install_clock(nullptr);
}

bool SimulatedModuleOnLink::start(const SimSettings& settings) {
    if (links_.relay()) link().close();
    link_close();
    backend_.reset();
    module_ = std::make_unique<SimModule>(settings);
    backend_ = std::make_unique<SimBackend>(*module_);
    install_hid_backend(backend_.get());
    device_link = DeviceLink();
    if (kind_ == LinkKind::LOCAL) return link_open() > 0;
    return link().open() > 0 && links_.relay()->ready();
}
