// A configuration file written to the module without the editor, as the editor would
// write it: the module's choices as a read shows them in the advanced view, the
// file's lines put in as a file load puts them, then the whole pin area encoded
// afresh as Save encodes it. What the file does not name keeps the module's choice.
// No GTK.
#pragma once

#include <string>
#include <vector>

#include "config/config_write.h"
#include "config/pin_config.h"

// What a file names, read and checked without a module.
struct FileChoices {
    enum Part { SIGNAL, INVERTED, IO, TRIGGER, PARTS };
    bool advanced = false;  // it has "_inv" or "_trigger" keys: saved in the advanced view
    bool has_level = false;
    bool has_number = false;
    int can_level = 0;
    int vehicle_number = 0;
    PinSetting pins[PIN_COUNT];
    bool named[PIN_COUNT][PARTS] = {};  // which of a pin's choices the file names
};

// The CAN levels a file may give: the editor's 1..255 and 256, the level an erased
// module reads as. Level 0 would be stored as 256.
constexpr int FILE_MIN_CAN_LEVEL = 1;
constexpr int FILE_MAX_CAN_LEVEL = 256;

// Reads a file's text. The lines the tool's file load skips (no "=", a key no record
// has) and pin values that are no number (skipped here, not taken as 0) are told in
// `skipped`, one text each with its line number. False with the reason, nothing
// taken, when no line carries a key, or the level or the vehicle number is no number
// or out of range; the last line of a key wins, as in a file load.
bool read_file_choices(const char* text, int length, FileChoices* choices, std::vector<std::string>* skipped,
                       std::string* error);

// The configuration the choices give over the module's `module`. False with the
// reason when a named pin's choice does not exist in its list.
bool apply_file_choices(const FileChoices& choices, const ModuleConfiguration& module, ModuleConfiguration* out,
                        std::string* error);
