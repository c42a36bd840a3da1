// A configuration file laid over the module's own configuration, for writing a file
// to the module without the editor: what the file names replaces the module's value,
// everything else keeps it. No GTK.
#pragma once

#include <string>

#include "config/pin_config.h"

struct ModuleConfiguration {
    int can_level = 0;
    int vehicle_number = 0;
    ConfigImage image{};
};

// Lays the file's text over `config`. A file with "_inv" or "_trigger" keys was saved
// in the advanced view; the I/O positions of any other are the compact view's. Pins
// the file does not name keep their bytes. False, with the reason and `config`
// unchanged, when a value is outside what the header or a pin can hold.
bool overlay_config_text(const char* text, int length, ModuleConfiguration* config, std::string* error);
