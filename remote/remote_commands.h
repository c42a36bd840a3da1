// The operator's commands, carried out on the tool's module through the relay: the
// module's exchanges are the tool's own (identification, configuration memory,
// bootloader, signal map) run on the relay link; this layer reads arguments and files
// and prints the outcome.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "config/config_file_overlay.h"
#include "remote/operator_link.h"
#include "remote/relay_link.h"

// Checks a command line without running it: a known command with the arguments it
// takes. False with a reason.
bool check_remote_command(const std::vector<std::string>& words, std::string* error);

class RemoteSession {
public:
    RemoteSession(OperatorLink& connection, FILE* out, FILE* progress)
        : connection_(connection), link_(connection), out_(out), progress_(progress) {}

    // Runs one command line ("read-config", "flash FILE.bin", ...). Reads standard
    // input for "serial". False with a reason in *error.
    bool run(const std::vector<std::string>& words, std::string* error);

    bool state(std::string* error);
    bool identify(std::string* error);
    bool read_config(std::string* error);
    bool write_config(const std::string& path, std::string* error);
    bool flash(const std::string& path, std::string* error);
    bool monitor(int count, std::string* error);
    bool text_lines(std::string* error);
    bool serial(int input_fd, std::string* error);

    RelayLink& link() { return link_; }

private:
    // The application firmware open at the tool; false with a reason otherwise.
    bool application_device(std::string* error);
    // The header and pin area as the module has them.
    bool read_module(ModuleConfiguration* config, std::string* error);
    // The reason of a failed step: the connection's when it broke, else `what`.
    bool failed(const std::string& what, std::string* error);

    OperatorLink& connection_;
    RelayLink link_;
    FILE* out_;
    FILE* progress_;
};
