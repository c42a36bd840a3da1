// Reading and writing module.conf.
#include "sim/sim_settings.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

std::string trim(const std::string& s) {
    size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

// A whole-string integer in decimal or 0x hex within [low, high].
bool parse_int(const std::string& text, int low, int high, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || value < low || value > high) return false;
    *out = int(value);
    return true;
}

bool parse_bool(const std::string& text, bool* out) {
    if (text == "yes" || text == "1" || text == "true") return *out = true, true;
    if (text == "no" || text == "0" || text == "false") return *out = false, true;
    return false;
}

// Firmware versions are written as the four digits of the file names, e.g. 1605.
bool parse_version(const std::string& text, int* out) {
    if (text.size() != 4) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *out = std::atoi(text.c_str());
    return true;
}

bool apply(SimSettings& s, const std::string& key, const std::string& value) {
    int number = 0;
    if (key == "model") {
        if (value == "dash") return s.model_as_dash = true, true;
        s.model_as_dash = false;
        return parse_int(value, 0, 0xFFFF, &s.model);
    }
    if (key == "firmware") return parse_version(value, &s.firmware_version);
    if (key == "variant") {
        if (value == "none") return s.variant_byte = -1, true;
        return parse_int(value, 0, 255, &s.variant_byte);
    }
    if (key == "hardware_id") {
        if (value.size() != 6 || !parse_int(value, 0, 0xFFFF, &number)) return false;
        s.hardware_id[0] = uint8_t(number >> 8);
        s.hardware_id[1] = uint8_t(number);
        return true;
    }
    if (key == "product") {
        if (value == "programmer") return s.product = SimProduct::PROGRAMMER, true;
        if (value == "usbic") return s.product = SimProduct::USBIC, true;
        return false;
    }
    if (key == "programmed") return parse_bool(value, &s.programmed);
    if (key == "demo") return parse_bool(value, &s.demo);
    if (key == "product_string") return s.product_string = value, true;
    return false;
}

}  // namespace

SimSettings parse_sim_settings(const std::string& text, std::vector<std::string>* errors,
                               const SimSettings& base) {
    SimSettings settings = base;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        const size_t equals = line.find('=');
        const std::string key = trim(line.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : trim(line.substr(equals + 1));
        if (equals == std::string::npos || !apply(settings, key, value)) {
            if (errors) errors->push_back("line " + std::to_string(number) + ": " + line);
        }
    }
    return settings;
}

std::string format_sim_settings(const SimSettings& s) {
    char hardware[16], version[16];
    std::snprintf(hardware, sizeof hardware, "0x%02X%02X", s.hardware_id[0], s.hardware_id[1]);
    std::snprintf(version, sizeof version, "%04d", s.firmware_version);
    std::ostringstream out;
    out << "# Simulated QV450 module. Edit while the tool is not running.\n"
        << "# model: the model number, or \"dash\" for the bytes '-' and ' '\n"
        << "model = " << (s.model_as_dash ? "dash" : std::to_string(s.model)) << "\n"
        << "# firmware: the firmware version as in file names (1605 is 16.05)\n"
        << "firmware = " << version << "\n"
        << "# variant: the variant byte (1 = A, 2 = B, +128 for the J form), or none\n"
        << "variant = " << (s.variant_byte < 0 ? "none" : std::to_string(s.variant_byte)) << "\n"
        << "# hardware_id: the two bytes the bootloader reports, which firmware files must carry\n"
        << "hardware_id = " << hardware << "\n"
        << "# product: programmer (\"USB HID Progr\") or usbic (\"USBIC\")\n"
        << "product = " << (s.product == SimProduct::USBIC ? "usbic" : "programmer") << "\n"
        << "# programmed: no starts the module in its bootloader (no application firmware)\n"
        << "programmed = " << (s.programmed ? "yes" : "no") << "\n"
        << "# demo: yes makes signals and event texts change by themselves\n"
        << "demo = " << (s.demo ? "yes" : "no") << "\n";
    if (!s.product_string.empty()) out << "product_string = " << s.product_string << "\n";
    return out.str();
}
