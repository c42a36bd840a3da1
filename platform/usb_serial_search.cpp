// The sysfs walk behind find_usb_serial_ttys.
#include "platform/usb_serial_search.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A sysfs id file: four hex digits and a line break. -1 when unreadable.
long read_hex_id(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    char text[16] = {};
    const bool read = std::fgets(text, sizeof text, f) != nullptr;
    std::fclose(f);
    if (!read) return -1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 16);
    return end != text && (*end == '\n' || *end == '\0') ? value : -1;
}

bool is_tty_name(const std::string& name) { return name.compare(0, 3, "tty") == 0 && name.size() > 3; }

}  // namespace

int find_usb_serial_ttys(const char* sysfs_root, unsigned vendor, unsigned product, char* names,
                         size_t name_size, int max) {
    const std::string devices = std::string(sysfs_root) + "/bus/usb/devices";
    int count = 0;
    for (const std::string& device : entries(devices)) {
        if (device.find(':') != std::string::npos) continue;  // an interface, not a device
        const std::string path = devices + "/" + device;
        if (read_hex_id(path + "/idVendor") != long(vendor) || read_hex_id(path + "/idProduct") != long(product))
            continue;
        for (const std::string& interface : entries(path)) {
            if (interface.compare(0, device.size() + 1, device + ":") != 0) continue;
            std::vector<std::string> ttys;
            for (const std::string& node : entries(path + "/" + interface + "/tty"))
                if (is_tty_name(node)) ttys.push_back(node);
            for (const std::string& node : entries(path + "/" + interface))
                if (is_tty_name(node) && node != "tty") ttys.push_back(node);
            std::sort(ttys.begin(), ttys.end());
            for (const std::string& node : ttys) {
                if (count >= max) return count;
                if (node.size() >= name_size) continue;
                std::memcpy(names + size_t(count) * name_size, node.c_str(), node.size() + 1);
                ++count;
            }
        }
    }
    return count;
}

}  // namespace platform
