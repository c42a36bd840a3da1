// Reading the options the local and the relayed command line share.
#include "cli/cli_options.h"

#include <cstring>

const char CLI_OPTIONS_USAGE[] =
    "  --local                  the module on this computer (USB, or the simulated module\n"
    "                           when QV450_SIMULATOR is set) instead of a relay\n"
    "  --json                   identify and read-config answer in JSON\n"
    "  --wait                   wait for the next module plugged in (one present at the\n"
    "                           start counts once it has been unplugged)\n"
    "  --variant-change yes|no  whether write-config may change the firmware variant its\n"
    "                           CAN level needs\n"
    "  --firmware-folder DIR    where write-config finds the variant's firmware file\n";

int take_cli_option(int argc, char** argv, int i, CliOptions* options, std::string* error) {
    const std::string arg = argv[i];
    if (arg == "--local") return options->local = true, 1;
    if (arg == "--json") return options->json = true, 1;
    if (arg == "--wait") return options->wait = true, 1;
    if (arg != "--variant-change" && arg != "--firmware-folder") return 0;
    if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return -1;
    }
    const std::string value = argv[i + 1];
    if (arg == "--firmware-folder") {
        options->firmware_folder = value.empty() || value.back() == '/' ? value : value + "/";
        return value.empty() ? (*error = "--firmware-folder needs a folder", -1) : 2;
    }
    if (value == "yes") options->variant_change = VariantAnswer::YES;
    else if (value == "no") options->variant_change = VariantAnswer::NO;
    else return *error = "--variant-change takes yes or no, not \"" + value + "\"", -1;
    return 2;
}

bool wants_local_module(int argc, char** argv) {
    bool local = false;
    for (int i = 1; i < argc; ++i) {
        // The usage and version texts are the relay side's to print.
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--version") == 0)
            return false;
        if (std::strcmp(argv[i], "--local") == 0) local = true;
    }
    return local;
}
