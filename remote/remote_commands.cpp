// The operator's commands: arguments and files in, the shared module exchanges on the
// relay link, the outcome out.
#include "remote/remote_commands.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "config/config_file_format.h"
#include "config/config_file_overlay.h"
#include "config/config_memory.h"
#include "config/memory_blocks.h"
#include "config/signal_monitor_table.h"
#include "connection/connection.h"
#include "firmware/bootloader.h"
#include "platform/clock.h"
#include "remote/firmware_file.h"

namespace {

// Polls for the identity: each is a relay exchange with the module polled empty.
constexpr int IDENTIFY_PASSES = 20;
// The module restarts into new firmware: how often and how long to look for it.
constexpr int RESTART_LOOKS = 20;
constexpr int RESTART_PAUSE_MS = 100;
constexpr int MONITOR_PAUSE_MS = 100;
constexpr int ANSWER_TIMEOUT_MS = 30000;

struct CommandShape {
    const char* name;
    int min_args;
    int max_args;
};

const CommandShape COMMANDS[] = {
    {"state", 0, 0},       {"identify", 0, 0}, {"read-config", 0, 0}, {"write-config", 1, 1},
    {"flash", 1, 1},       {"monitor", 0, 1},  {"text-lines", 0, 0},  {"serial", 0, 0},
};

// A reading count: a whole number from 1 on.
bool reading_count(const std::string& word, int* count) {
    char* end = nullptr;
    const long n = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || n < 1 || n > 1000000000) return false;
    *count = int(n);
    return true;
}

std::string state_text(char state) {
    switch (state) {
    case '1': return "application firmware (USB HID Progr)";
    case '2': return "bootloader";
    case '3': return "application firmware (USBIC)";
    case '#': return "module serial port";
    default: return "no device";
    }
}

void report_flash_progress(void* context, int permille) {
    FILE* progress = static_cast<FILE*>(context);
    std::fprintf(progress, permille < 1000 ? "\rflash: %d%%" : "\rflash: %d%%\n", permille / 10);
    std::fflush(progress);
}

// The configuration file's text for a module configuration, in the advanced view.
bool format_module_configuration(const ModuleConfiguration& config, std::string* text) {
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    const int count = config_keys(true, keys);
    int values[CONFIG_KEY_CAPACITY] = {};
    PinSetting settings[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        PinRole role;
        settings[pin] = decode_image(config.image, pin, true, &role);
        if (settings[pin].signal == 0 || role == ROLE_INPUT) settings[pin].trigger = 0;
    }
    for (int i = 0; i < count; ++i) {
        const PinSetting* s = keys[i].pin >= 0 ? &settings[keys[i].pin] : nullptr;
        switch (keys[i].kind) {
        case KEY_CARNUMBER: values[i] = config.vehicle_number; break;
        case KEY_CANLEVEL: values[i] = config.can_level; break;
        case KEY_SIGNAL: values[i] = s->signal; break;
        case KEY_INV: values[i] = s->inverted ? 1 : 0; break;
        case KEY_IOTYPE: values[i] = s->signal ? s->io : 0; break;
        case KEY_TRIGGER: values[i] = s->trigger; break;
        }
    }
    char out[CONFIG_FILE_MAX + 1];
    const int length = format_config_text(keys, values, count, out, sizeof out);
    if (length < 0) return false;
    text->assign(out, size_t(length));
    return true;
}

}  // namespace

bool check_remote_command(const std::vector<std::string>& words, std::string* error) {
    if (words.empty()) {
        *error = "no command";
        return false;
    }
    for (const CommandShape& shape : COMMANDS) {
        if (words[0] != shape.name) continue;
        const int args = int(words.size()) - 1;
        int count = 0;
        if (args < shape.min_args || args > shape.max_args)
            *error = words[0] + (shape.max_args ? " needs one argument" : " takes no argument");
        else if (words[0] == "monitor" && args == 1 && !reading_count(words[1], &count))
            *error = "monitor: COUNT must be a whole number from 1 on, not \"" + words[1] + "\"";
        else
            return true;
        return false;
    }
    *error = "unknown command " + words[0];
    return false;
}

bool RemoteSession::failed(const std::string& what, std::string* error) {
    *error = link_.error().empty() ? what : link_.error();
    return false;
}

bool RemoteSession::application_device(std::string* error) {
    switch (link_.open()) {
    case 1: return true;
    case 2: return failed("the module runs its bootloader (it needs firmware: use flash)", error);
    default: return failed("no module is connected to the tool", error);
    }
}

bool RemoteSession::state(std::string* error) {
    const char state = link_.ask_state();
    if (!state) return failed("", error);
    std::fprintf(out_, "%c %s\n", state, state_text(state).c_str());
    return true;
}

bool RemoteSession::identify(std::string* error) {
    if (!application_device(error)) return false;
    if (!identify_module(link_, IDENTIFY_PASSES)) return failed("the module did not tell its identity", error);
    const DeviceIdentity identity = decode_identity(link_.reply());
    char text[64];
    format_module_status(link_.reply(), identity, text, sizeof text);
    std::fprintf(out_, "%s", text);
    if (identity.variant_letter) std::fprintf(out_, " variant %c", char(identity.variant_letter));
    std::fprintf(out_, "\n");
    return true;
}

bool RemoteSession::read_module(ModuleConfiguration* config, std::string* error) {
    config->image = blank_image();
    if (!application_device(error)) return false;
    if (!read_config_header(link_, &config->can_level, &config->vehicle_number) || !read_pin_area(link_, &config->image))
        return failed("the module did not answer a memory read", error);
    return true;
}

bool RemoteSession::read_config(std::string* error) {
    ModuleConfiguration config;
    if (!read_module(&config, error)) return false;
    std::string text;
    if (!format_module_configuration(config, &text)) return failed("configuration text too long", error);
    std::fwrite(text.data(), 1, text.size(), out_);
    return true;
}

bool RemoteSession::write_config(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return failed("cannot open " + path, error);
    std::string text(CONFIG_FILE_MAX, '\0');
    file.read(&text[0], CONFIG_FILE_MAX);
    text.resize(size_t(file.gcount()));

    ModuleConfiguration config;
    if (!read_module(&config, error)) return false;
    std::string bad;
    if (!overlay_config_text(text.data(), int(text.size()), &config, &bad)) return failed(path + ": " + bad, error);
    if (!write_pin_area(link_, config.image) || !write_can_level(link_, config.can_level) ||
        !write_vehicle_number(link_, config.vehicle_number))
        return failed("the module refused the configuration (a write was not acknowledged)", error);
    finish_configuration(link_);
    if (!link_.flush()) return failed("", error);
    std::fprintf(out_, "configuration written: CAN level %d, vehicle number %d\n", config.can_level,
                 config.vehicle_number);
    return true;
}

bool RemoteSession::flash(const std::string& path, std::string* error) {
    auto image = std::make_unique<FirmwareImage>();
    if (!load_firmware_file(path, image.get(), error)) return false;
    if (link_.open() == 0) return failed("no module is connected to the tool", error);
    switch (program_firmware(link_, *image, FlashProgress{report_flash_progress, progress_})) {
    case FlashResult::PROGRAMMED: break;
    case FlashResult::INCOMPATIBLE: return failed("the file is not compatible with the module's hardware", error);
    case FlashResult::WRITE_ERROR: return failed("write error: the bootloader did not take the firmware", error);
    }
    // The module restarts into its new firmware: let the tool find it again.
    link_.close();
    for (int look = 0; look < RESTART_LOOKS && link_.error().empty(); ++look) {
        platform::sleep_ms(RESTART_PAUSE_MS);
        if (link_.open() == 1) break;
    }
    std::fprintf(out_, "firmware written: %s\n", path.c_str());
    return identify(error);
}

bool RemoteSession::monitor(int count, std::string* error) {
    if (!application_device(error)) return false;
    for (int i = 0; count <= 0 || i < count; ++i) {
        uint64_t map = 0;
        if (!read_signal_map(link_, &map, READ_REPLY_ATTEMPTS))
            return failed("the module did not send its signal map", error);
        std::fprintf(out_, "signals:");
        for (int byte = 0; byte < MONITOR_SIGNAL_COUNT / 8; ++byte)
            std::fprintf(out_, " %02X", unsigned(map >> (8 * byte)) & 0xFF);
        std::fprintf(out_, "\n");
        std::fflush(out_);
        if (count <= 0 || i + 1 < count) platform::sleep_ms(MONITOR_PAUSE_MS);
    }
    return true;
}

bool RemoteSession::text_lines(std::string* error) {
    if (!application_device(error)) return false;
    if (!link_.flush() || !connection_.send("@f", error)) return failed(*error, error);
    for (;;) {
        ToolMessage m;
        if (!connection_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
        if (m.kind == "g") return true;
        if (m.kind != "f") return failed("unexpected reply \"@" + m.kind + "\" among the text lines", error);
        std::fprintf(out_, "%s\n", m.payload.c_str());
    }
}

bool RemoteSession::serial(int input_fd, std::string* error) {
    link_.close();
    ToolMessage m;
    if (!link_.error().empty()) return failed("", error);
    if (!connection_.send("@#", error) || !connection_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
    if (m.kind != "#") return failed("the tool found no module serial port", error);
    std::string received;
    connection_.set_serial_sink(&received);
    bool input_open = true;
    int quiet_rounds = 0;
    while (input_open || quiet_rounds < 5) {
        // A closed input is left out: poll would report its hang-up for ever.
        pollfd fds[2] = {{connection_.fd(), POLLIN, 0}, {input_open ? input_fd : -1, POLLIN, 0}};
        int ready = poll(fds, 2, 100);
        if (ready == 0 && !input_open) ++quiet_rounds;
        if (fds[1].revents) {
            char buffer[4096];
            ssize_t n = read(input_fd, buffer, sizeof buffer);
            if (n <= 0) input_open = false;
            else if (!connection_.send(escape_serial(std::string(buffer, size_t(n))), error)) return false;
        }
        if (fds[0].revents) {
            quiet_rounds = 0;
            if (!connection_.next(&m, 0, error)) {
                if (error->find("in time") == std::string::npos) return false;
                error->clear();
            } else if (m.kind == "!") {
                *error = "the tool closed the serial port (write failed)";
                return false;
            }
        }
        if (!received.empty()) {
            std::fwrite(received.data(), 1, received.size(), out_);
            std::fflush(out_);
            received.clear();
        }
    }
    connection_.set_serial_sink(nullptr);
    return true;
}

bool RemoteSession::run(const std::vector<std::string>& words, std::string* error) {
    if (words.empty()) return true;
    if (!check_remote_command(words, error)) return false;
    const std::string& command = words[0];
    if (command == "state") return state(error);
    if (command == "identify") return identify(error);
    if (command == "read-config") return read_config(error);
    if (command == "write-config") return write_config(words[1], error);
    if (command == "flash") return flash(words[1], error);
    if (command == "text-lines") return text_lines(error);
    if (command == "serial") return serial(STDIN_FILENO, error);
    int count = 0;
    if (words.size() == 2) reading_count(words[1], &count);
    return monitor(count, error);
}
