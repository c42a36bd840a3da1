// The firmware file a variant change flashes: the module's own version, in the
// variant a CAN level needs, from a firmware folder (the choice the GUI makes).
#pragma once

#include <string>

#include "connection/connection.h"

// The firmware folder beside the running program (<prefix>/firmware/), or "" when
// the program's path does not give one.
std::string default_firmware_folder();

// The path of the file for `identity` at `can_level` in `folder` (ending in '/').
// False with a reason when the folder holds no such file.
bool variant_firmware_file(const std::string& folder, const DeviceIdentity& identity, int can_level,
                           std::string* path, std::string* error);
