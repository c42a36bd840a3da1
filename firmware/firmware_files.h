// The program's firmware folder and its file names: which versions it holds, which
// version and variant file to take. No GTK here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The firmware folder of a program at <prefix>/<folder>/<program>: <prefix>/firmware/.
// False (and `out` empty) when the path has fewer than two '/' or does not fit.
bool firmware_folder_for_program(const char* program, char* out, size_t size);

constexpr int FIRMWARE_VERSION_LIMIT = 10016;  // versions 0..10015 fit the sets
constexpr int VERSION_SET_WORDS = 313;         // 32 versions per word
constexpr char FIRMWARE_NAME_PREFIX[] = "QV450";

// Word w holds versions 32w .. 32w + 31, bit b being version 32w + b.
struct VersionSets {
    uint32_t available[VERSION_SET_WORDS] = {};  // a file exists for the version
    uint32_t grouped[VERSION_SET_WORDS] = {};    // a file with "_" after the version exists
};

bool version_in(const uint32_t* set, int version);

// Marks one folder entry. Names that begin with "." or not with "QV450", or whose
// characters 6-9 do not begin with a decimal digit, are skipped. The version is the
// leading digits of characters 6-9; "_" at position 10 marks it grouped.
void add_firmware_name(VersionSets& sets, const char* name);

// Marks every entry of `folder` (see add_firmware_name). False when it cannot be read.
bool scan_firmware_folder(const char* folder, VersionSets& sets);

// The number the version choice compares: firmware 16.05 (0x1005) is 1605.
int firmware_number(int firmware_version);

// Available versions in ascending order.
std::vector<int> available_versions(const VersionSets& sets);

// The version to flash for a module at firmware number `target`: word by word from
// version 0 upward, the highest available version of every word that holds any,
// stopping after the first word whose highest reaches the target. So the newest
// release of the target's word of 32 versions is taken, even over the target itself.
// -1 when no version is available.
int same_version_choice(const VersionSets& sets, int target);

// The file-name suffix for a version: "" when it is not grouped; for a grouped one
// "_GRUPA_" and the variant the CAN level needs (with "J" when `variant_flag` is
// set), or "_GRUPA_A" when any variant will do. False when the table says no firmware
// exists for the level ('-').
bool firmware_suffix(bool grouped, int can_level, bool variant_flag, char* out, size_t size);

// "<folder>QV450_<version as 4 digits><suffix>.bin". False when it does not fit.
bool firmware_file_path(const char* folder, int version, const char* suffix, char* out, size_t size);

enum class FirmwareFile {
    FOUND,        // the path is set (the file itself may still be missing)
    NO_FOLDER,    // the folder cannot be read
    NO_FIRMWARE,  // no version, or none for the level ('-')
    TOO_LONG,     // the path does not fit
};

// The file for `version` at `can_level`: its grouped file in the variant the level
// needs (with "J" when `variant_flag` is set) when the version is grouped, else its
// plain file.
FirmwareFile version_file(const char* folder, const VersionSets& sets, int version, int can_level, bool variant_flag,
                          char* path, size_t size);

// The file a variant change flashes for a module at `firmware_version` (0x1005 for
// 16.05): the version same_version_choice takes from `folder` (ending in '/'), in the
// variant the level needs. The firmware selection and the command-line tool both
// choose through here.
FirmwareFile same_version_file(const char* folder, int firmware_version, int can_level, bool variant_flag, char* path,
                               size_t size);
