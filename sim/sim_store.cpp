// Keeping a simulated module in a folder: module.conf, memory.bin and flash.bin.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/file_bytes.h"
#include "sim/sim_commands.h"
#include "sim/sim_module.h"

namespace {

bool read_file(const std::string& path, std::string* content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    *content = buffer.str();
    return true;
}

// Whole or not at all, and never over a file the user made read-only.
bool write_file(const std::string& path, const void* data, size_t size) {
    return platform::write_file_bytes(data, path.c_str(), int(size));
}

bool make_folder(const std::string& folder, std::string* error) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        *error = folder + " is not a folder";
        return false;
    }
    // Create missing parents too, like mkdir -p.
    for (size_t slash = folder.find('/', 1); ; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

bool SimModule::attach_folder(const std::string& folder, std::string* error) {
    if (!make_folder(folder, error)) return false;
    folder_ = folder;

    std::string text;
    if (read_file(folder_ + "/module.conf", &text)) {
        std::vector<std::string> problems;
        settings_ = parse_sim_settings(text, &problems, settings_);
        for (const std::string& p : problems)
            std::fprintf(stderr, "qv450 simulator: %s/module.conf %s: ignored\n", folder_.c_str(), p.c_str());
    } else {
        persist_settings();
    }
    if (read_file(folder_ + "/memory.bin", &text) && text.size() == memory_.size()) {
        std::memcpy(memory_.data(), text.data(), memory_.size());
    } else {
        reset_memory();
        persist_memory();
    }
    if (read_file(folder_ + "/flash.bin", &text) && text.size() == flash_.size()) {
        flash_.assign(text.begin(), text.end());
    }
    start_firmware();
    return true;
}

void SimModule::persist_memory() {
    if (!folder_.empty()) write_file(folder_ + "/memory.bin", memory_.data(), memory_.size());
}

void SimModule::persist_settings() {
    if (folder_.empty()) return;
    const std::string text = format_sim_settings(settings_);
    write_file(folder_ + "/module.conf", text.data(), text.size());
}

void SimModule::persist_flash() {
    if (!folder_.empty()) write_file(folder_ + "/flash.bin", flash_.data(), flash_.size());
}

// The command file is renamed before it is read, so lines a person appends meanwhile
// start a new file instead of being lost.
void SimModule::take_command_file(uint64_t now_ms) {
    if (folder_.empty() || now_ms < next_command_check_ms_) return;
    next_command_check_ms_ = now_ms + SIM_COMMANDS_CHECK_MS;
    const std::string path = folder_ + "/" + SIM_COMMANDS_FILE;
    const std::string taken = path + ".taken";
    if (std::rename(path.c_str(), taken.c_str()) != 0) return;
    std::string text;
    const bool read = read_file(taken, &text);
    std::remove(taken.c_str());
    if (!read) return;
    std::vector<std::string> problems;
    run_sim_commands(*this, text, &problems);
    for (const std::string& p : problems)
        std::fprintf(stderr, "qv450 simulator: %s %s: ignored\n", path.c_str(), p.c_str());
}
