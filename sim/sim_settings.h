// What a simulated module is: its identity, how it presents itself on USB and how it
// behaves. Read from and written to the "module.conf" file of a simulator folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class SimProduct {
    PROGRAMMER,  // "USB HID Progr"
    USBIC,       // "USBIC"
};

struct SimSettings {
    int model = 450;
    bool model_as_dash = false;     // report the model as the bytes '-' and ' '
    int firmware_version = 1605;    // as four decimal digits: 16.05
    int variant_byte = 0x01;        // identity byte 4 (bit 7 the "J" flag); -1: not sent
    uint8_t hardware_id[2] = {0x04, 0x50};  // answered to the bootloader's "5"
    SimProduct product = SimProduct::PROGRAMMER;
    bool programmed = true;         // false: only the bootloader runs
    bool demo = false;              // signals and event texts change by themselves
    std::string product_string;     // overrides the product string when not empty
};

// Parses module.conf text ("key = value" lines, "#" comments) over `base`. Unknown
// keys and bad values are reported in `errors` (one line each) and leave the base value.
SimSettings parse_sim_settings(const std::string& text, std::vector<std::string>* errors,
                               const SimSettings& base = SimSettings());

// The module.conf text for these settings, with a comment per key.
std::string format_sim_settings(const SimSettings& settings);
