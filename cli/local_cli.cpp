// The local command line: options, the HID backend, one command on the local link.
#include "cli/local_cli.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/local_serial.h"
#include "device/link.h"
#include "sim/backend_choice.h"

namespace {

constexpr int SERIAL_QUIET_MS = 500;

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "qv450-cli: %s\n", message.c_str());
    return status;
}

}  // namespace

int run_local_cli(int argc, char** argv) {
    CliOptions options;
    std::vector<std::string> command;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const int taken = command.empty() ? take_cli_option(argc, argv, i, &options, &error) : 0;
        if (taken < 0) return fail(error, EXIT_USAGE);
        if (taken > 0) i += taken - 1;
        else if (command.empty() && arg.rfind("--", 0) == 0)
            return fail(arg + (arg == "--server" || arg == "--session" ? " does not go with --local" : ": unknown option"),
                        EXIT_USAGE);
        else command.push_back(arg);
    }
    if (command.empty()) return fail("--local needs a command", EXIT_USAGE);
    if (!check_cli_command(command, &error)) return fail(error, EXIT_USAGE);

    install_backend_from_environment();
    if (hid_backend().init() != 0) return fail("the HID library did not start (hid_init)", EXIT_NO_MODULE);
    CliSession session(local_link(), stdout, stderr);
    session.set_options(options);
    int status = EXIT_DONE;
    if (command[0] != "serial") {
        if (!session.run(command, &error)) status = session.status();
    } else if (options.wait && !session.wait_for_module(&error)) {
        status = session.status();
    } else {
        status = pass_local_serial(STDIN_FILENO, stdout, SERIAL_QUIET_MS, &error);
    }
    local_link().close();
    return status == EXIT_DONE ? status : fail(error, status);
}
