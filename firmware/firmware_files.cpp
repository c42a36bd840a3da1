// Firmware folder, version sets and file names.
#include "firmware/firmware_files.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>

#include "device/variant_table.h"
#include "platform/program_path.h"

namespace {

constexpr int PREFIX_LENGTH = 5;
constexpr int VERSION_POSITION = 6;
constexpr int VERSION_DIGITS = 4;
constexpr int GROUP_MARK_POSITION = 10;
constexpr char NO_FIRMWARE = '-';

void set_bit(uint32_t* set, int version) { set[version / 32] |= uint32_t(1) << (version % 32); }

}  // namespace

bool firmware_folder_for_program(const char* program, char* out, size_t size) {
    return platform::installation_folder(program, "firmware/", out, size);
}

bool scan_firmware_folder(const char* folder, VersionSets& sets) {
    DIR* dir = opendir(folder);
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) add_firmware_name(sets, entry->d_name);
    closedir(dir);
    return true;
}

int firmware_number(int firmware_version) { return (firmware_version >> 8 & 0xFF) * 100 + (firmware_version & 0xFF); }

bool version_in(const uint32_t* set, int version) {
    if (version < 0 || version >= FIRMWARE_VERSION_LIMIT) return false;
    return (set[version / 32] >> (version % 32)) & 1;
}

void add_firmware_name(VersionSets& sets, const char* name) {
    if (!name || name[0] == '.' || std::strncmp(name, FIRMWARE_NAME_PREFIX, PREFIX_LENGTH) != 0) return;
    // The separator at position 5 must be there before the digits can be.
    if (name[PREFIX_LENGTH] == '\0') return;
    int version = 0;
    int digits = 0;
    for (const char* p = name + VERSION_POSITION; digits < VERSION_DIGITS && *p >= '0' && *p <= '9'; ++p) {
        version = version * 10 + (*p - '0');
        ++digits;
    }
    if (digits == 0) return;
    set_bit(sets.available, version);
    if (std::strlen(name) > size_t(GROUP_MARK_POSITION) && name[GROUP_MARK_POSITION] == '_')
        set_bit(sets.grouped, version);
}

std::vector<int> available_versions(const VersionSets& sets) {
    std::vector<int> versions;
    for (int version = 0; version < FIRMWARE_VERSION_LIMIT; ++version)
        if (version_in(sets.available, version)) versions.push_back(version);
    return versions;
}

int same_version_choice(const VersionSets& sets, int target) {
    int chosen = -1;
    for (int word = 0; word < VERSION_SET_WORDS; ++word) {
        const uint32_t bits = sets.available[word];
        if (bits == 0) continue;
        int highest = 31;
        while (!((bits >> highest) & 1)) --highest;
        chosen = word * 32 + highest;
        if (chosen >= target) break;
    }
    return chosen;
}

bool firmware_suffix(bool grouped, int can_level, bool variant_flag, char* out, size_t size) {
    if (size == 0) return false;
    out[0] = '\0';
    if (!grouped) return true;
    const char entry = required_variant(can_level);
    if (entry == NO_FIRMWARE) return false;
    const char letter = entry == VARIANT_ANY ? 'A' : entry;
    // The "J" form belongs to a letter the level asks for; the default is plain A.
    const bool j_form = entry != VARIANT_ANY && variant_flag;
    const int length = std::snprintf(out, size, "_GRUPA_%c%s", letter, j_form ? "J" : "");
    return length > 0 && size_t(length) < size;
}

bool firmware_file_path(const char* folder, int version, const char* suffix, char* out, size_t size) {
    const int length = std::snprintf(out, size, "%s%s_%04d%s.bin", folder, FIRMWARE_NAME_PREFIX, version, suffix);
    return length > 0 && size_t(length) < size;
}

FirmwareFile version_file(const char* folder, const VersionSets& sets, int version, int can_level, bool variant_flag,
                          char* path, size_t size) {
    char suffix[16];
    if (version < 0 || !firmware_suffix(version_in(sets.grouped, version), can_level, variant_flag, suffix, sizeof suffix))
        return FirmwareFile::NO_FIRMWARE;
    return firmware_file_path(folder, version, suffix, path, size) ? FirmwareFile::FOUND : FirmwareFile::TOO_LONG;
}

FirmwareFile same_version_file(const char* folder, int firmware_version, int can_level, bool variant_flag, char* path,
                               size_t size) {
    VersionSets sets;
    if (!scan_firmware_folder(folder, sets)) return FirmwareFile::NO_FOLDER;
    const int version = same_version_choice(sets, firmware_number(firmware_version));
    return version_file(folder, sets, version, can_level, variant_flag, path, size);
}
