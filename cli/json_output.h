// The JSON forms of the command-line tool's answers, for scripts: one object per
// answer, on one line.
#pragma once

#include <string>

#include "config/config_file_format.h"
#include "connection/connection.h"

// A JSON string literal with the quotes, control characters and non-ASCII bytes
// escaped (bytes above 0x7F as \u00XX: the module's texts are not UTF-8).
std::string json_string(const std::string& text);

// {"model":450,"firmware":"16.05","firmware_number":1605,"variant":"A","status":"QV450-1605"}
// "variant" is null when the module reports none.
std::string identity_json(const DeviceIdentity& identity, const std::string& status);

// {"CARNUMBER":1,"CANLEVEL":2,"J1_1_signal":...}: the .cfg file's keys and values in
// file order.
std::string configuration_json(const ConfigKey* keys, const int* values, int count);
