// Firmware files for the simulated module. The bootloader accepts any image; an image
// that carries the marker below also tells the simulated module which model,
// firmware version and variant it runs after the flash.
#pragma once

#include <cstdint>
#include <vector>

// "QVSIMFW", then model low, model high, version high, version low, variant byte
// (0xFF: none). Anywhere in the flashed part of the image.
constexpr char SIM_FIRMWARE_MARKER[] = "QVSIMFW";
constexpr int SIM_FIRMWARE_MARKER_LENGTH = 7;

struct SimFirmwareIdentity {
    int model = 450;
    int firmware_version = 1605;  // 16.05
    int variant_byte = 0x01;      // -1: none
};

// A complete firmware file of `size` bytes (at least 2048 + 16): magic, hardware id,
// CRC-16 and a body holding the marker at file offset 2048.
std::vector<uint8_t> make_sim_firmware_file(int size, const SimFirmwareIdentity& identity,
                                            uint8_t hardware_id_0, uint8_t hardware_id_1);

// Looks for the marker in flashed bytes; true and the identity when found.
bool find_sim_firmware_identity(const std::vector<uint8_t>& flash, SimFirmwareIdentity* identity);
