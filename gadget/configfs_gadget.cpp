// The configfs steps of a USB gadget.
#include "gadget/configfs_gadget.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace gadget {
namespace {

constexpr const char* STRINGS_ENGLISH = "strings/0x409";
constexpr const char* CONFIGURATION = "configs/c.1";
constexpr const char* HID_FUNCTION = "functions/hid.usb0";
constexpr const char* ACM_FUNCTION = "functions/acm.usb0";

bool failed(const std::string& what, const std::string& path, std::string* error) {
    *error = what + " " + path + ": " + std::strerror(errno);
    return false;
}

// An attribute takes its whole value in one write.
bool write_attribute(const std::string& path, const void* value, size_t size, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return failed("cannot open", path, error);
    const ssize_t written = write(fd, value, size);
    const int saved = errno;
    close(fd);
    errno = saved;
    if (written != ssize_t(size)) return failed("cannot write", path, error);
    return true;
}

bool write_text(const std::string& path, const std::string& text, std::string* error) {
    return write_attribute(path, text.data(), text.size(), error);
}

std::string hex_id(uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", id);
    return text;
}

bool make_folder(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    return failed("cannot make", path, error);
}

std::string read_line(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return std::string();
    char text[256] = {};
    const bool read = std::fgets(text, sizeof text, f) != nullptr;
    std::fclose(f);
    if (!read) return std::string();
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool is_link(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool link_function(const std::string& path, const char* function, std::string* error) {
    const std::string target = path + "/" + function;
    const std::string link = path + "/" + CONFIGURATION + "/" + std::string(function).substr(std::strlen("functions/"));
    if (symlink(target.c_str(), link.c_str()) != 0 && errno != EEXIST) return failed("cannot link", link, error);
    return true;
}

}  // namespace

bool ensure_configfs(const std::string& root, std::string* error) {
    struct stat st {};
    if (stat((root + "/usb_gadget").c_str(), &st) == 0) return true;
    if (mount("none", root.c_str(), "configfs", 0, nullptr) != 0 && errno != EBUSY) {
        failed("cannot mount configfs at", root, error);
        *error += " (it takes root, and the configfs and libcomposite modules)";
        return false;
    }
    if (stat((root + "/usb_gadget").c_str(), &st) == 0) return true;
    *error = root + "/usb_gadget is missing: the USB gadget framework is not loaded (modprobe libcomposite)";
    return false;
}

std::vector<std::string> device_controllers(const std::string& sysfs) { return entries(sysfs + "/class/udc"); }

std::string controller_state(const std::string& udc, const std::string& sysfs) {
    return read_line(sysfs + "/class/udc/" + udc + "/state");
}

bool create_gadget(const std::string& path, const DeviceIdentity& identity, std::string* error) {
    if (mkdir(path.c_str(), 0755) != 0) return failed("cannot make the gadget", path, error);
    const std::string strings = path + "/" + STRINGS_ENGLISH;
    const std::string configuration = path + "/" + CONFIGURATION;
    return write_text(path + "/idVendor", hex_id(identity.vendor_id), error) &&
           write_text(path + "/idProduct", hex_id(identity.product_id), error) &&
           write_text(path + "/bcdDevice", "0x0100", error) && write_text(path + "/bcdUSB", "0x0200", error) &&
           make_folder(strings, error) && write_text(strings + "/manufacturer", identity.manufacturer, error) &&
           write_text(strings + "/product", identity.product, error) && make_folder(configuration, error) &&
           write_text(configuration + "/MaxPower", "100", error) &&
           make_folder(configuration + "/" + STRINGS_ENGLISH, error) &&
           write_text(configuration + "/" + STRINGS_ENGLISH + "/configuration", identity.product, error);
}

bool set_product(const std::string& path, uint16_t product_id, const std::string& product, std::string* error) {
    return write_text(path + "/idProduct", hex_id(product_id), error) &&
           write_text(path + "/" + STRINGS_ENGLISH + "/product", product, error);
}

bool add_hid_function(const std::string& path, int report_length, const std::vector<uint8_t>& descriptor,
                      std::string* error) {
    const std::string function = path + "/" + HID_FUNCTION;
    return make_folder(function, error) && write_text(function + "/protocol", "0", error) &&
           write_text(function + "/subclass", "0", error) &&
           write_text(function + "/report_length", std::to_string(report_length), error) &&
           write_attribute(function + "/report_desc", descriptor.data(), descriptor.size(), error) &&
           link_function(path, HID_FUNCTION, error);
}

bool add_acm_function(const std::string& path, std::string* error) {
    return make_folder(path + "/" + ACM_FUNCTION, error) && link_function(path, ACM_FUNCTION, error);
}

bool bind(const std::string& path, const std::string& udc, std::string* error) {
    // An empty name takes the gadget off the bus; the kernel wants a line for it.
    if (udc.empty() && bound_controller(path).empty()) return true;
    return write_text(path + "/UDC", udc.empty() ? std::string("\n") : udc, error);
}

std::string bound_controller(const std::string& path) { return read_line(path + "/UDC"); }

void remove_gadget(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return;
    std::string ignored;
    bind(path, "", &ignored);
    for (const std::string& config : entries(path + "/configs")) {
        const std::string folder = path + "/configs/" + config;
        for (const std::string& entry : entries(folder))
            if (is_link(folder + "/" + entry)) unlink((folder + "/" + entry).c_str());
        for (const std::string& language : entries(folder + "/strings")) rmdir((folder + "/strings/" + language).c_str());
        rmdir(folder.c_str());
    }
    for (const std::string& function : entries(path + "/functions")) rmdir((path + "/functions/" + function).c_str());
    for (const std::string& language : entries(path + "/strings")) rmdir((path + "/strings/" + language).c_str());
    rmdir(path.c_str());
}

std::string hid_device_node(const std::string& path, const std::string& sysfs) {
    // The function names its node by number ("major:minor"); the hidg class lists them.
    const std::string number = read_line(path + "/" + HID_FUNCTION + "/dev");
    if (number.empty()) return std::string();
    for (const std::string& node : entries(sysfs + "/class/hidg"))
        if (read_line(sysfs + "/class/hidg/" + node + "/dev") == number) return "/dev/" + node;
    return std::string();
}

std::string acm_device_node(const std::string& path) {
    const std::string port = read_line(path + "/" + ACM_FUNCTION + "/port_num");
    return port.empty() ? std::string() : "/dev/ttyGS" + port;
}

}  // namespace gadget
