// Choosing the variant change's firmware file without the GUI.
#include "remote/variant_firmware.h"

#include "firmware/firmware_files.h"
#include "platform/program_path.h"

namespace {
constexpr int PATH_SIZE = 4096;
}

std::string default_firmware_folder() {
    char program[PATH_SIZE], folder[PATH_SIZE];
    platform::program_path(nullptr, program, sizeof program);
    return firmware_folder_for_program(program, folder, sizeof folder) ? folder : "";
}

bool variant_firmware_file(const std::string& folder, const DeviceIdentity& identity, int can_level,
                           std::string* path, std::string* error) {
    VersionSets sets;
    if (folder.empty() || !scan_firmware_folder(folder.c_str(), sets)) {
        *error = "cannot read the firmware folder " + folder;
        return false;
    }
    const int version = same_version_choice(sets, firmware_number(identity.firmware_version));
    char suffix[16];
    char file[PATH_SIZE + 64];
    if (version < 0 || !firmware_suffix(version_in(sets.grouped, version), can_level, identity.variant_flag != 0,
                                        suffix, sizeof suffix)) {
        *error = "no firmware for CAN level " + std::to_string(can_level) + " in " + folder;
        return false;
    }
    if (!firmware_file_path(folder.c_str(), version, suffix, file, sizeof file)) {
        *error = "firmware path too long in " + folder;
        return false;
    }
    *path = file;
    return true;
}
