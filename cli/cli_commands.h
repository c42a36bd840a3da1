// The command-line tool's commands, carried out on a local module or on the fitter's
// module through the relay: the module's exchanges are the tool's own
// (identification, configuration memory, bootloader, signal map) run on the frame
// link; this layer reads arguments and files and prints the outcome.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "config/config_file_overlay.h"
#include "operator/operator_link.h"
#include "operator/relay_link.h"

// Checks a command line without running it: a known command with the arguments it
// takes. False with a reason.
bool check_cli_command(const std::vector<std::string>& words, std::string* error);

class CliSession {
public:
    CliSession(OperatorLink& connection, FILE* out, FILE* progress)
        : connection_(&connection), relay_(new RelayLink(connection)), link_(*relay_), out_(out), progress_(progress) {}
    // On a module of this computer: the commands that need the fitter's tool
    // (text-lines) fail, serial is left to the caller.
    CliSession(FrameLink& local, FILE* out, FILE* progress)
        : connection_(nullptr), link_(local), out_(out), progress_(progress) {}

    void set_options(const CliOptions& options) { options_ = options; }
    // The ExitStatus of the last failure.
    int status() const { return status_; }

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
    // The wait of --wait; the link is left closed.
    bool wait_for_module(std::string* error);

    FrameLink& link() { return link_; }

private:
    friend class SessionVariantChange;

    // The application firmware open at the tool; false with a reason otherwise.
    bool application_device(std::string* error);
    // No module opened: none there, or one this user may not open (EXIT_NO_MODULE).
    bool no_module(std::string* error);
    // The header and pin area as the module has them.
    bool read_module(ModuleConfiguration* config, std::string* error);
    // The reason of a failed step: the connection's when it broke (EXIT_FAILED), else
    // `what` with `status`.
    bool failed(const std::string& what, std::string* error, int status = EXIT_FAILED);
    // A transfer that went unanswered: when the module is no longer open, what is
    // there now (nothing, with `left_behind` saying what the cut transfer left, or only
    // its bootloader: EXIT_NO_MODULE); else `what` with EXIT_TRANSFER.
    bool transfer_failed(const std::string& what, std::string* error, const char* left_behind = "");
    std::string link_error() const { return relay_ ? relay_->error() : std::string(); }
    // Checks and flashes a firmware file, then finds the module again: true once it
    // runs application firmware (not yet identified).
    bool program_file(const std::string& path, std::string* error);
    // The relay commands need the fitter's tool.
    bool relayed(const char* command, std::string* error);
    // A line on the notes stream (standard error), when there is one.
    void note(const std::string& text);
    // The identity in the link's last reply, as identify prints it.
    void print_identity();

    OperatorLink* connection_;  // nullptr on a local module
    std::unique_ptr<RelayLink> relay_;
    FrameLink& link_;
    FILE* out_;
    FILE* progress_;
    CliOptions options_;
    int status_ = EXIT_DONE;
};
