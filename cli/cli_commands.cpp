// The command-line tool's commands: arguments and files in, the shared module
// exchanges on the frame link, the outcome out.
#include "cli/cli_commands.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "cli/firmware_file.h"
#include "cli/json_output.h"
#include "cli/module_wait.h"
#include "cli/progress_bar.h"
#include "config/config_file_format.h"
#include "config/config_file_overlay.h"
#include "config/config_memory.h"
#include "config/config_write.h"
#include "config/memory_blocks.h"
#include "config/signal_monitor_table.h"
#include "connection/connection.h"
#include "device/variant_table.h"
#include "firmware/bootloader.h"
#include "firmware/firmware_files.h"
#include "net/relay_stream.h"
#include "platform/clock.h"
#include "platform/program_path.h"

namespace {

// Polls for the identity: each is a relay exchange with the module polled empty.
constexpr int IDENTIFY_PASSES = 20;
constexpr int MONITOR_PAUSE_MS = 100;
constexpr int ANSWER_TIMEOUT_MS = 30000;
constexpr int WAIT_LOOK_MS = 250;

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
    case RELAY_STATE_PROGRAMMER: return "application firmware (USB HID Progr)";
    case RELAY_STATE_BOOTLOADER: return "bootloader";
    case RELAY_STATE_USBIC: return "application firmware (USBIC)";
    case RELAY_STATE_SERIAL: return "module serial port";
    default: return "no device";
    }
}

// The configuration file's keys in the advanced view and a module configuration's
// value for each; returns how many.
int module_configuration_values(const ModuleConfiguration& config, ConfigKey* keys, int* values) {
    const int count = config_keys(true, keys);
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
    return count;
}

// The configuration file's text for a module configuration, in the advanced view.
bool format_module_configuration(const ModuleConfiguration& config, std::string* text) {
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    int values[CONFIG_KEY_CAPACITY] = {};
    const int count = module_configuration_values(config, keys, values);
    char out[CONFIG_FILE_MAX + 1];
    const int length = format_config_text(keys, values, count, out, sizeof out);
    if (length < 0) return false;
    text->assign(out, size_t(length));
    return true;
}

constexpr int PATH_SIZE = 4096;

// The firmware folder beside the running program (<prefix>/firmware/), or "".
std::string default_firmware_folder() {
    char program[PATH_SIZE], folder[PATH_SIZE];
    platform::program_path(nullptr, program, sizeof program);
    return firmware_folder_for_program(program, folder, sizeof folder) ? folder : "";
}

// The bytes of a configuration file: at most CONFIG_FILE_MAX of them; a longer file
// would be taken half.
bool read_config_file(const std::string& path, std::string* text, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    text->assign(CONFIG_FILE_MAX + 1, '\0');
    file.read(&(*text)[0], CONFIG_FILE_MAX + 1);
    text->resize(size_t(file.gcount()));
    if (text->size() <= size_t(CONFIG_FILE_MAX)) return true;
    *error = path + ": too long for a configuration file";
    return false;
}

// What the module is left with when a flash did not end, and how to mend it.
const char NEEDS_FIRMWARE[] = "the module runs only its bootloader and needs firmware: flash it (flash FILE.bin)";

}  // namespace

// The command-line tool's answers to the write's variant step: the options say
// whether a change is allowed, and the change flashes the same version's file of the
// variant from the firmware folder.
class SessionVariantChange : public VariantChange {
public:
    SessionVariantChange(CliSession& session, const DeviceIdentity& module, std::string* error)
        : session_(session), module_(module), error_(error) {}

    int answer(int can_level) override {
        const char needed = variant_change_for_level(module_.variant_letter, can_level);
        if (needed == VARIANT_ANY) return VARIANT_ANY;
        const std::string change = "CAN level " + std::to_string(can_level) + " needs firmware variant " + needed;
        const VariantAnswer allowed = session_.options_.variant_change;
        if (allowed == VariantAnswer::YES) {
            level_ = can_level;
            needed_ = needed;
            return needed;
        }
        session_.failed(change + (allowed == VariantAnswer::NO
                                      ? " and --variant-change no forbids it: nothing written"
                                      : ": allow it with --variant-change yes (or no to refuse); nothing written"),
                        error_, EXIT_VARIANT_DECLINED);
        return 0;
    }

    bool change(char) override {
        const CliOptions& options = session_.options_;
        const std::string folder = options.firmware_folder.empty() ? default_firmware_folder() : options.firmware_folder;
        char path[PATH_SIZE + 64];
        switch (same_version_file(folder.c_str(), module_.firmware_version, level_, module_.variant_flag != 0, path,
                                  sizeof path)) {
        case FirmwareFile::FOUND:
            if (!session_.program_file(path, error_)) return false;
            std::fprintf(session_.out_, "firmware written: %s\n", path);
            return true;
        case FirmwareFile::NO_FOLDER:
            return session_.failed("cannot read the firmware folder " + folder, error_, EXIT_BAD_FILE);
        case FirmwareFile::NO_FIRMWARE:
            return session_.failed("no firmware for CAN level " + std::to_string(level_) + " in " + folder, error_,
                                   EXIT_BAD_FILE);
        case FirmwareFile::TOO_LONG:
            break;
        }
        return session_.failed("firmware path too long in " + folder, error_, EXIT_BAD_FILE);
    }

    char needed() const { return needed_; }

private:
    CliSession& session_;
    DeviceIdentity module_;
    std::string* error_;
    int level_ = 0;
    char needed_ = 0;
};

bool check_cli_command(const std::vector<std::string>& words, std::string* error) {
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

bool CliSession::failed(const std::string& what, std::string* error, int status) {
    const std::string broken = link_error();
    *error = broken.empty() ? what : broken;
    status_ = broken.empty() ? status : EXIT_FAILED;
    return false;
}

bool CliSession::transfer_failed(const std::string& what, std::string* error, const char* left_behind) {
    // A failed write closes the link: the module was unplugged or restarted meanwhile.
    if (link_error().empty() && !link_.is_open()) {
        const std::string after = *left_behind ? std::string("; ") + left_behind : std::string();
        switch (link_.open()) {
        case 0:
            return failed((connection_ ? "the module is no longer connected to the tool"
                                       : "the module left the USB bus and is no longer connected") + after,
                          error, EXIT_NO_MODULE);
        case 2:
            return failed(NEEDS_FIRMWARE, error, EXIT_NO_MODULE);
        default:
            break;
        }
    }
    return failed(what, error, EXIT_TRANSFER);
}

void CliSession::note(const std::string& text) {
    if (progress_) std::fprintf(progress_, "qv450-cli: %s\n", text.c_str());
}

bool CliSession::relayed(const char* command, std::string* error) {
    if (connection_) return true;
    return failed(std::string(command) + " works only through a relay (--server)", error, EXIT_USAGE);
}

bool CliSession::application_device(std::string* error) {
    switch (link_.open()) {
    case 1: return true;
    case 2: return failed(NEEDS_FIRMWARE, error, EXIT_NO_MODULE);
    default: return no_module(error);
    }
}

bool CliSession::no_module(std::string* error) {
    const std::string refused = link_.refused_node();
    if (!refused.empty())
        return failed(std::string(MODULE_ACCESS_REFUSED) + " (" + refused + "): " + MODULE_ACCESS_ADVICE, error,
                      EXIT_NO_MODULE);
    return failed(connection_ ? "no module is connected to the tool" : "no module found", error, EXIT_NO_MODULE);
}

bool CliSession::wait_for_module(std::string* error) {
    if (wait_for_next_module(link_, progress_, WAIT_LOOK_MS)) return true;
    if (*link_.refused_node()) return no_module(error);
    return failed("gave up waiting for a module", error, EXIT_NO_MODULE);
}

bool CliSession::state(std::string* error) {
    if (!relayed("state", error)) return false;
    char state = relay_->ask_state();
    if (state == RELAY_STATE_PROGRAMMER || state == RELAY_STATE_USBIC) {
        // The module the tool holds may have gone since: a poll's failed write closes
        // its handle, and asked again the tool opens what is there now.
        relay_->poll_frame();
        state = relay_->ask_state();
    }
    if (!state) return failed("", error);
    std::fprintf(out_, "%c %s\n", state, state_text(state).c_str());
    return true;
}

bool CliSession::identify(std::string* error) {
    if (!application_device(error)) return false;
    if (!identify_module(link_, IDENTIFY_PASSES)) return transfer_failed("the module did not tell its identity", error);
    print_identity();
    return true;
}

void CliSession::print_identity() {
    const DeviceIdentity identity = decode_identity(link_.reply());
    char text[64];
    format_module_status(link_.reply(), identity, text, sizeof text);
    if (options_.json) {
        std::fprintf(out_, "%s\n", identity_json(identity, text).c_str());
        return;
    }
    std::fprintf(out_, "%s", text);
    if (identity.variant_letter) std::fprintf(out_, " variant %c", char(identity.variant_letter));
    std::fprintf(out_, "\n");
}

bool CliSession::read_module(ModuleConfiguration* config, std::string* error) {
    config->image = blank_image();
    if (!application_device(error)) return false;
    if (!read_config_header(link_, &config->can_level, &config->vehicle_number) || !read_pin_area(link_, &config->image))
        return transfer_failed("the module did not answer a memory read", error);
    return true;
}

bool CliSession::read_config(std::string* error) {
    ModuleConfiguration config;
    if (!read_module(&config, error)) return false;
    if (options_.json) {
        ConfigKey keys[CONFIG_KEY_CAPACITY];
        int values[CONFIG_KEY_CAPACITY] = {};
        const int count = module_configuration_values(config, keys, values);
        return std::fprintf(out_, "%s\n", configuration_json(keys, values, count).c_str()), true;
    }
    std::string text;
    if (!format_module_configuration(config, &text)) return failed("configuration text too long", error);
    std::fwrite(text.data(), 1, text.size(), out_);
    return true;
}

bool CliSession::write_config(const std::string& path, std::string* error) {
    std::string text, why;
    FileChoices choices;
    std::vector<std::string> skipped;
    if (!read_config_file(path, &text, &why)) return failed(why, error, EXIT_BAD_FILE);
    if (!read_file_choices(text.data(), int(text.size()), &choices, &skipped, &why))
        return failed(path + ": " + why, error, EXIT_BAD_FILE);
    for (const std::string& line : skipped) note(path + ": " + line);

    ModuleConfiguration module, config;
    if (!read_module(&module, error)) return false;
    if (!apply_file_choices(choices, module, &config, &why)) return failed(path + ": " + why, error, EXIT_BAD_FILE);
    if (!identify_module(link_, IDENTIFY_PASSES)) return transfer_failed("the module did not tell its identity", error);
    SessionVariantChange change(*this, decode_identity(link_.reply()), error);
    DeviceIdentity identity;
    switch (make_variant_ready(link_, config.can_level, change, &identity)) {
    case VariantStep::READY:
        break;
    case VariantStep::CHANGED:
        print_identity();
        break;
    case VariantStep::DECLINED:
    case VariantStep::NOT_CHANGED:
        return false;
    case VariantStep::NOT_IDENTIFIED:
        return transfer_failed("the module did not tell its identity after the firmware change: nothing written",
                               error);
    case VariantStep::WRONG_VARIANT:
        // A file without the variant in its name may hold another one.
        return failed(std::string("the firmware change did not bring variant ") + change.needed() +
                          ": nothing written",
                      error, EXIT_TRANSFER);
    }
    if (!write_module_configuration(link_, config))
        return transfer_failed("the module refused the configuration (a write was not acknowledged)", error,
                               "its configuration may be written in part: write it again");
    if (relay_ && !relay_->flush()) return failed("", error);
    std::fprintf(out_, "configuration written: CAN level %d, vehicle number %d\n", config.can_level,
                 config.vehicle_number);
    return true;
}

bool CliSession::program_file(const std::string& path, std::string* error) {
    auto image = std::make_unique<FirmwareImage>();
    if (!load_firmware_file(path, image.get(), error)) return failed(*error, error, EXIT_BAD_FILE);
    if (link_.open() == 0) return no_module(error);
    ProgressBar bar = progress_bar_for(progress_, "flash");
    const FlashResult result = program_firmware(link_, *image, flash_progress_to(bar));
    // A failed write closed the link: the module left the bus (unplugged, or restarted).
    const bool left = !link_.is_open();
    // Success or not, the module restarts or is gone: it is found afresh.
    link_.close();
    if (result != FlashResult::PROGRAMMED) {
        std::string what = result == FlashResult::INCOMPATIBLE ? "the file is not compatible with the module's hardware"
                           : left ? "write error: the module left the USB bus during the flash"
                                  : "write error: the bootloader did not take the firmware";
        if (link_.open() == 2) what += std::string("; ") + NEEDS_FIRMWARE;
        else if (left) what += "; flash it again once it is back (until then it starts in its bootloader)";
        return failed(what, error, EXIT_TRANSFER);
    }
    const auto relay_works = [](void* session) { return static_cast<CliSession*>(session)->link_error().empty(); };
    switch (find_module_after_flash(link_, RESTART_LOOKS, RESTART_PAUSE_MS, relay_works, this)) {
    case 1:
        return true;
    case 2:
        return failed(std::string("after the flash ") + NEEDS_FIRMWARE, error, EXIT_NO_MODULE);
    default:
        return failed("the module did not come back after the flash", error, EXIT_NO_MODULE);
    }
}

bool CliSession::flash(const std::string& path, std::string* error) {
    if (!program_file(path, error)) return false;
    std::fprintf(out_, "firmware written: %s\n", path.c_str());
    return identify(error);
}

bool CliSession::monitor(int count, std::string* error) {
    if (!application_device(error)) return false;
    for (int i = 0; count <= 0 || i < count; ++i) {
        uint64_t map = 0;
        if (!read_signal_map(link_, &map, READ_REPLY_ATTEMPTS))
            return failed("the module did not send its signal map", error, EXIT_TRANSFER);
        std::fprintf(out_, "signals:");
        for (int byte = 0; byte < MONITOR_SIGNAL_COUNT / 8; ++byte)
            std::fprintf(out_, " %02X", unsigned(map >> (8 * byte)) & 0xFF);
        std::fprintf(out_, "\n");
        std::fflush(out_);
        if (count <= 0 || i + 1 < count) platform::sleep_ms(MONITOR_PAUSE_MS);
    }
    return true;
}

bool CliSession::text_lines(std::string* error) {
    if (!relayed("text-lines", error)) return false;
    if (!application_device(error)) return false;
    if (!relay_->flush() || !connection_->send(relay_command(RELAY_TEXT_LINE), error)) return failed(*error, error);
    for (;;) {
        ToolMessage m;
        if (!connection_->next(&m, ANSWER_TIMEOUT_MS, error)) return false;
        if (m.is(RELAY_TEXT_END)) return true;
        if (!m.is(RELAY_TEXT_LINE)) return failed("unexpected reply \"" + m.name() + "\" among the text lines", error);
        std::fprintf(out_, "%s\n", m.payload.c_str());
    }
}

bool CliSession::serial(int input_fd, std::string* error) {
    if (!relayed("serial", error)) return false;
    link_.close();
    ToolMessage m;
    if (!link_error().empty()) return failed("", error);
    if (!connection_->send(relay_command(RELAY_OPEN_SERIAL), error) || !connection_->next(&m, ANSWER_TIMEOUT_MS, error))
        return false;
    if (!m.is(RELAY_STATE_SERIAL)) return failed("the tool found no module serial port", error);
    std::string received;
    connection_->set_serial_sink(&received);
    bool input_open = true;
    int quiet_rounds = 0;
    while (input_open || quiet_rounds < 5) {
        // A closed input is left out: poll would report its hang-up for ever.
        pollfd fds[2] = {{connection_->fd(), POLLIN, 0}, {input_open ? input_fd : -1, POLLIN, 0}};
        int ready = poll(fds, 2, 100);
        if (ready == 0 && !input_open) ++quiet_rounds;
        if (fds[1].revents) {
            char buffer[4096];
            ssize_t n = read(input_fd, buffer, sizeof buffer);
            if (n <= 0) input_open = false;
            else if (!connection_->send(escape_serial(std::string(buffer, size_t(n))), error)) return false;
        }
        if (fds[0].revents) {
            quiet_rounds = 0;
            if (!connection_->next(&m, 0, error)) {
                if (error->find("in time") == std::string::npos) return false;
                error->clear();
            } else if (m.is(RELAY_STATE_NOTHING)) {
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
    connection_->set_serial_sink(nullptr);
    return true;
}

bool CliSession::run(const std::vector<std::string>& words, std::string* error) {
    if (words.empty()) return true;
    // Until a step names the kind of its failure.
    status_ = EXIT_FAILED;
    if (!check_cli_command(words, error)) return failed(*error, error, EXIT_USAGE);
    if (options_.wait && !wait_for_module(error)) return false;
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
