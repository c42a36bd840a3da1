// Building firmware files for the simulated module and reading their marker back.
#include "sim/sim_firmware_image.h"

#include <algorithm>
#include <cstring>

namespace {

// CRC-16 with the reflected polynomial 0xA001, initial value 0.
uint16_t crc16(const uint8_t* data, size_t n, uint16_t crc) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

}  // namespace

std::vector<uint8_t> make_sim_firmware_file(int size, const SimFirmwareIdentity& identity,
                                            uint8_t hardware_id_0, uint8_t hardware_id_1) {
    const int minimum = 2048 + SIM_FIRMWARE_MARKER_LENGTH + 5;
    std::vector<uint8_t> file(size_t(std::max(size, minimum)));
    for (size_t i = 16; i < file.size(); ++i) file[i] = uint8_t(i * 7 + (i >> 8));
    std::memcpy(file.data(), "ZUROREVUVAVA", 12);
    file[12] = hardware_id_0;
    file[13] = hardware_id_1;
    uint8_t* marker = file.data() + 2048;
    std::memcpy(marker, SIM_FIRMWARE_MARKER, SIM_FIRMWARE_MARKER_LENGTH);
    marker[7] = uint8_t(identity.model & 0xFF);
    marker[8] = uint8_t(identity.model >> 8);
    marker[9] = uint8_t(identity.firmware_version / 100);
    marker[10] = uint8_t(identity.firmware_version % 100);
    marker[11] = identity.variant_byte < 0 ? 0xFF : uint8_t(identity.variant_byte);
    const uint16_t crc = crc16(file.data() + 16, file.size() - 16, 0);
    file[14] = uint8_t(crc & 0xFF);
    file[15] = uint8_t(crc >> 8);
    return file;
}

bool find_sim_firmware_identity(const std::vector<uint8_t>& flash, SimFirmwareIdentity* identity) {
    const auto begin = flash.begin();
    const auto end = flash.end();
    const auto at = std::search(begin, end, SIM_FIRMWARE_MARKER,
                                SIM_FIRMWARE_MARKER + SIM_FIRMWARE_MARKER_LENGTH);
    if (at == end || end - at < SIM_FIRMWARE_MARKER_LENGTH + 5) return false;
    const uint8_t* m = &*at;
    identity->model = m[7] | (m[8] << 8);
    identity->firmware_version = m[9] * 100 + m[10];
    identity->variant_byte = m[11] == 0xFF ? -1 : m[11];
    return true;
}
