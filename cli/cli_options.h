// The command-line tool's options that work the same on a local module and through a
// relay: output form, waiting for a module, the answer to the variant question.
#pragma once

#include <string>

enum class VariantAnswer {
    UNSET,  // a needed variant change fails the write and names the option
    YES,    // change the firmware to the variant the level needs, then write
    NO,     // never change it: a write that needs a change writes nothing
};

struct CliOptions {
    bool local = false;            // the module on this computer's USB (or QV450_SIMULATOR)
    bool json = false;             // identify and read-config answer in JSON
    bool wait = false;             // wait for the next module plugged in
    VariantAnswer variant_change = VariantAnswer::UNSET;
    std::string firmware_folder;   // where variant files are looked for; empty: beside the program
};

// The options' lines for the usage text.
extern const char CLI_OPTIONS_USAGE[];

// Takes argv[i] when it is one of these options (with its value): the number of words
// taken, 0 when argv[i] is none of them, -1 with a reason for a bad or missing value.
int take_cli_option(int argc, char** argv, int i, CliOptions* options, std::string* error);

// True when the arguments ask for the local module (--local among them, and no --help).
bool wants_local_module(int argc, char** argv);
