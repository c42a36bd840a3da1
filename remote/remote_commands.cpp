// The operator's commands over the relay stream.
#include "remote/remote_commands.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "config/config_file_format.h"
#include "config/memory_blocks.h"
#include "config/pin_config.h"
#include "connection/connection.h"
#include "firmware/bootloader.h"
#include "remote/firmware_file.h"

namespace {

// Waits for the tool: a relay step and a few module polls, or a bootloader transfer.
constexpr int ANSWER_TIMEOUT_MS = 30000;

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The tool's R frame carries the reply bytes 1..N; the length byte in front is N - 1.
ReplyRecord reply_from_frame(const RemoteSession::Frame& frame) {
    ReplyRecord reply;
    reply.bytes[0] = uint8_t(frame.size() - 1);
    std::memcpy(reply.bytes + 1, frame.data(), frame.size());
    reply.length = int(frame.size()) + 1;
    return reply;
}

std::string hex(const uint8_t* bytes, size_t n) {
    std::string text;
    char part[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
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

}  // namespace

bool RemoteSession::expect(const char* kind, ToolMessage* message, int timeout_ms, std::string* error) {
    if (!link_.next(message, timeout_ms, error)) return false;
    if (message->kind == kind) return true;
    *error = "unexpected reply \"@" + message->kind + "\" from the tool (expected \"@" + kind + "\")";
    return false;
}

bool RemoteSession::open_device(char* state, std::string* error) {
    if (!link_.send("@H", error)) return false;
    ToolMessage m;
    if (!link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
    if (m.kind.size() != 1 || !std::strchr("123#!", m.kind[0])) {
        *error = "unexpected reply \"@" + m.kind + "\" to \"@H\"";
        return false;
    }
    *state = m.kind[0];
    return true;
}

bool RemoteSession::application_device(std::string* error) {
    char state = 0;
    if (!open_device(&state, error)) return false;
    if (state == '1' || state == '3') return true;
    *error = state == '2' ? "the module runs its bootloader (it needs firmware: use flash)"
                          : "no module is connected to the tool";
    return false;
}

bool RemoteSession::collect(std::vector<Frame>* frames, std::string* error, const std::string& before) {
    // "@G" marks the end of the answer: "@R" alone says nothing about how many follow.
    if (!link_.send(before + "@R@G", error)) return false;
    for (;;) {
        ToolMessage m;
        if (!link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
        if (m.kind == "G") return true;
        if (m.kind == "!") {
            *error = "the module is no longer open at the tool";
            return false;
        }
        if (m.kind != "R") {
            *error = "unexpected reply \"@" + m.kind + "\" while collecting module answers";
            return false;
        }
        if (!m.payload.empty()) frames->push_back(Frame(m.payload.begin(), m.payload.end()));
    }
}

bool RemoteSession::exchange(uint8_t command, const std::vector<uint8_t>& data, uint8_t code, int attempts,
                             Frame* reply, std::string* error) {
    std::string request = "@i";
    request.push_back(char(command));
    request.push_back(char(data.size()));
    request.append(data.begin(), data.end());
    for (int i = 0; i < attempts; ++i) {
        // The request travels with the first collection: one round trip less.
        std::vector<Frame> frames;
        if (!collect(&frames, error, i == 0 ? request : std::string())) return false;
        for (const Frame& frame : frames)
            if (!frame.empty() && frame[0] == code) {
                *reply = frame;
                return true;
            }
    }
    char text[96];
    std::snprintf(text, sizeof text, "the module did not answer command 0x%02X", command);
    *error = text;
    return false;
}

bool RemoteSession::read_memory(int address, int count, std::vector<uint8_t>* bytes, std::string* error) {
    Frame frame;
    if (!exchange(COMMAND_READ_MEMORY, {uint8_t(address), uint8_t(count)}, REPLY_MEMORY, READ_REPLY_ATTEMPTS, &frame,
                  error))
        return false;
    ReplyRecord reply = reply_from_frame(frame);
    const uint8_t* data = memory_reply_bytes(reply, count);
    if (!data) {
        *error = "the module's memory reply is too short";
        return false;
    }
    bytes->assign(data, data + count);
    return true;
}

bool RemoteSession::write_memory(int address, const std::vector<uint8_t>& bytes, std::string* error) {
    uint8_t payload[MAX_WRITE_BLOCK + 2];
    int n = write_block_payload(address, bytes.data(), int(bytes.size()), payload);
    Frame ack;
    if (n == 0 || !exchange(COMMAND_WRITE_MEMORY, std::vector<uint8_t>(payload, payload + n), REPLY_ACKNOWLEDGE,
                            WRITE_ACK_ATTEMPTS, &ack, error)) {
        if (n == 0) *error = "memory block does not fit";
        return false;
    }
    return true;
}

bool RemoteSession::read_image(int* level, int* number, std::vector<uint8_t>* image, std::string* error) {
    if (!application_device(error)) return false;
    std::vector<uint8_t> header;
    if (!read_memory(HEADER_ADDRESS, HEADER_SIZE, &header, error)) return false;
    *level = header_can_level(header.data());
    *number = header_vehicle_number(header.data());
    image->assign(256, 0);
    for (const MemoryBlock& block : PIN_AREA_BLOCKS) {
        std::vector<uint8_t> bytes;
        if (!read_memory(block.address, block.count, &bytes, error)) return false;
        std::copy(bytes.begin(), bytes.end(), image->begin() + block.address);
    }
    return true;
}

bool RemoteSession::state(std::string* error) {
    char state = 0;
    if (!open_device(&state, error)) return false;
    std::fprintf(out_, "%c %s\n", state, state_text(state).c_str());
    return true;
}

bool RemoteSession::identify(std::string* error) {
    if (!application_device(error)) return false;
    Frame frame;
    if (!exchange(0x01, {}, 0x07, READ_REPLY_ATTEMPTS, &frame, error)) return false;
    if (!exchange(0x04, {}, 0x08, READ_REPLY_ATTEMPTS, &frame, error)) return false;
    ReplyRecord reply = reply_from_frame(frame);
    DeviceIdentity identity = decode_identity(reply);
    char text[64];
    format_module_status(reply, identity, text, sizeof text);
    std::fprintf(out_, "%s", text);
    if (identity.variant_letter) std::fprintf(out_, " variant %c", char(identity.variant_letter));
    std::fprintf(out_, "\n");
    return true;
}

bool RemoteSession::read_config(std::string* error) {
    int level = 0, number = 0;
    std::vector<uint8_t> bytes;
    if (!read_image(&level, &number, &bytes, error)) return false;
    ConfigImage image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    int count = config_keys(true, keys);
    int values[CONFIG_KEY_CAPACITY] = {};
    PinSetting settings[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        PinRole role;
        settings[pin] = decode_image(image, pin, true, &role);
        if (settings[pin].signal == 0 || role == ROLE_INPUT) settings[pin].trigger = 0;
    }
    for (int i = 0; i < count; ++i) {
        const PinSetting* s = keys[i].pin >= 0 ? &settings[keys[i].pin] : nullptr;
        switch (keys[i].kind) {
        case KEY_CARNUMBER: values[i] = number; break;
        case KEY_CANLEVEL: values[i] = level; break;
        case KEY_SIGNAL: values[i] = s->signal; break;
        case KEY_INV: values[i] = s->inverted ? 1 : 0; break;
        case KEY_IOTYPE: values[i] = s->signal ? s->io : 0; break;
        case KEY_TRIGGER: values[i] = s->trigger; break;
        }
    }
    char text[CONFIG_FILE_MAX + 1];
    int length = format_config_text(keys, values, count, text, sizeof text);
    if (length < 0) {
        *error = "configuration text too long";
        return false;
    }
    std::fwrite(text, 1, size_t(length), out_);
    return true;
}

bool RemoteSession::write_config(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    std::string text(CONFIG_FILE_MAX, '\0');
    file.read(&text[0], CONFIG_FILE_MAX);
    text.resize(size_t(file.gcount()));
    ConfigKey keys[CONFIG_KEY_CAPACITY];
    int count = config_keys(true, keys);
    // A file with inversion or trigger keys was saved in the advanced view.
    bool advanced = false;
    ConfigLineReader scan(text.data(), int(text.size()));
    ConfigLine line;
    while (scan.next(&line))
        for (int i = 0; i < count; ++i)
            if ((keys[i].kind == KEY_INV || keys[i].kind == KEY_TRIGGER) &&
                config_key_matches(keys[i], line.key, line.key_length))
                advanced = true;

    // What the file does not name stays as the module has it.
    int level = 0, number = 0;
    std::vector<uint8_t> bytes;
    if (!read_image(&level, &number, &bytes, error)) return false;
    ConfigImage current{};
    std::copy(bytes.begin(), bytes.end(), current.begin());
    PinSetting settings[PIN_COUNT];
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        PinRole role;
        settings[pin] = decode_image(current, pin, advanced, &role);
    }
    ConfigLineReader reader(text.data(), int(text.size()));
    while (reader.next(&line)) {
        for (int i = 0; i < count; ++i) {
            if (!config_key_matches(keys[i], line.key, line.key_length)) continue;
            int value = config_integer_value(line.value);
            PinSetting* s = keys[i].pin >= 0 ? &settings[keys[i].pin] : nullptr;
            switch (keys[i].kind) {
            case KEY_CARNUMBER: number = value; break;
            case KEY_CANLEVEL: level = value; break;
            case KEY_SIGNAL: s->signal = value; break;
            case KEY_INV: s->inverted = value != 0; break;
            case KEY_IOTYPE: s->io = value; break;
            case KEY_TRIGGER: s->trigger = value; break;
            }
        }
    }
    if (!can_level_storable(level)) {
        *error = path + ": CAN level " + std::to_string(level) + " is outside 1..255";
        return false;
    }
    if (number < 0 || number > 0xFFFF) {
        *error = path + ": vehicle number " + std::to_string(number) + " does not fit two bytes";
        return false;
    }
    ConfigImage image = blank_image();
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        const PinSetting& s = settings[pin];
        PinRole role = signal_is_input(pin, s.signal) ? ROLE_INPUT : ROLE_OUTPUT;
        bool fits = s.signal >= 0 && s.signal < signal_count(pin) && s.trigger >= 0 && s.trigger < TRIGGER_COUNT &&
                    s.io >= 0 && (s.signal == 0 || !pin_has_io_bits(pin) || s.io < io_list_count(pin, role, advanced));
        if (!fits) {
            *error = path + ": pin " + PinMap[pin].key + " has a choice that does not exist";
            return false;
        }
        encode_image(image, pin, s, advanced);
    }
    for (const MemoryBlock& block : PIN_AREA_BLOCKS)
        if (!write_memory(block.address, std::vector<uint8_t>(image.begin() + block.address,
                                                              image.begin() + block.address + block.count),
                          error))
            return false;
    if (!write_memory(LEVEL_ADDRESS, {uint8_t(level - 1)}, error)) return false;
    if (!write_memory(NUMBER_ADDRESS, {uint8_t(number >> 8), uint8_t(number & 0xFF)}, error)) return false;
    std::string done = "@h";
    done.push_back(char(COMMAND_CONFIGURATION_DONE));
    done.push_back('\0');
    if (!link_.send(done, error)) return false;
    std::fprintf(out_, "configuration written: CAN level %d, vehicle number %d\n", level, number);
    return true;
}

bool RemoteSession::boot_exchange(const std::vector<uint8_t>& bytes, int attempts, std::vector<uint8_t>* answer,
                                  std::string* error) {
    std::string request = "@E6";
    request.push_back(char(bytes.size() >> 8));
    request.push_back(char(bytes.size() & 0xFF));
    request.append(bytes.begin(), bytes.end());
    request += "@E7";
    request.push_back(char(attempts));
    if (!link_.send(request, error)) return false;
    ToolMessage sent, read;
    if (!link_.next(&sent, ANSWER_TIMEOUT_MS, error) || !expect("E7", &read, ANSWER_TIMEOUT_MS, error)) return false;
    if (sent.kind != "E6") {
        *error = "the tool could not send to the bootloader";
        return false;
    }
    answer->assign(read.payload.begin(), read.payload.end());
    if (answer->empty()) *error = "the bootloader did not answer";
    return !answer->empty();
}

bool RemoteSession::flash(const std::string& path, std::string* error) {
    std::vector<uint8_t> image;
    if (!load_firmware_file(path, &image, error)) return false;
    char state = 0;
    if (!open_device(&state, error)) return false;
    if (state == '1' || state == '3') {
        // Ask the application to hand over to its bootloader; its 0x03 is not required.
        if (!link_.send(std::string("@h\x10", 3) + std::string(1, '\0'), error)) return false;
        std::string no_switch;
        for (int i = 0; i < READ_REPLY_ATTEMPTS; ++i) {
            std::vector<Frame> frames;
            if (!collect(&frames, &no_switch)) break;
            bool switched = false;
            for (const Frame& f : frames) switched = switched || (!f.empty() && f[0] == 0x03);
            if (switched) break;
        }
        pause_ms(SWITCH_PAUSE_MS);
    } else if (state != '2') {
        *error = "no module is connected to the tool";
        return false;
    }
    std::vector<uint8_t> answer;
    bool listening = false;
    for (int i = 0; i < HANDSHAKE_TRIES && !listening; ++i)
        listening = boot_exchange({'0'}, HANDSHAKE_READ_ATTEMPTS, &answer, error) && answer[0] == '1';
    if (!listening) {
        *error = "write error: the bootloader did not answer";
        return false;
    }
    if (!boot_exchange({'5'}, IDENTIFY_READ_ATTEMPTS, &answer, error) || answer.size() < 4 || answer[0] != 0x01 || answer[1] != 0x00) {
        *error = "write error: no hardware identification";
        return false;
    }
    if (answer[2] != image[12] || answer[3] != image[13]) {
        *error = "the file is not compatible with the module's hardware";
        return false;
    }
    for (int f = FIRMWARE_FIRST_OFFSET; f < int(image.size()); f += FIRMWARE_BLOCK_SIZE) {
        int p = int(int64_t(f) * 1000 / int64_t(image.size()));
        std::fprintf(progress_, "\rflash: %d%%", p / 10);
        std::fflush(progress_);
        std::vector<uint8_t> block = firmware_block(image, f);
        bool written = false;
        for (int attempt = 0; attempt < BLOCK_TRIES && !written; ++attempt)
            written = boot_exchange(block, BLOCK_READ_ATTEMPTS, &answer, error) && answer[0] == 'z';
        if (!written) {
            std::fprintf(progress_, "\n");
            *error = "write error: block at offset " + std::to_string(f) + " was not accepted";
            return false;
        }
    }
    std::fprintf(progress_, "\rflash: 100%%\n");
    if (!boot_exchange({'3'}, FINISH_READ_ATTEMPTS, &answer, error)) {
        *error = "write error: the end of programming was not confirmed";
        return false;
    }
    // The module restarts into its new firmware: let the tool find it again.
    if (!link_.send("@!", error)) return false;
    ToolMessage m;
    if (!link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
    for (int i = 0; i < 20; ++i) {
        pause_ms(100);
        if (!open_device(&state, error)) return false;
        if (state == '1' || state == '3') break;
    }
    std::fprintf(out_, "firmware written: %s\n", path.c_str());
    return identify(error);
}

bool RemoteSession::monitor(int count, std::string* error) {
    if (!application_device(error)) return false;
    for (int i = 0; count <= 0 || i < count; ++i) {
        Frame frame;
        if (!exchange(0x08, {0x00}, 0x09, READ_REPLY_ATTEMPTS, &frame, error)) return false;
        size_t n = std::min<size_t>(5, frame.size() > 2 ? frame.size() - 2 : 0);
        std::fprintf(out_, "signals: %s\n", hex(frame.data() + 1, n).c_str());
        std::fflush(out_);
        if (count <= 0 || i + 1 < count) pause_ms(100);
    }
    return true;
}

bool RemoteSession::text_lines(std::string* error) {
    if (!application_device(error) || !link_.send("@f", error)) return false;
    for (;;) {
        ToolMessage m;
        if (!link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
        if (m.kind == "g") return true;
        if (m.kind != "f") {
            *error = "unexpected reply \"@" + m.kind + "\" among the text lines";
            return false;
        }
        std::fprintf(out_, "%s\n", m.payload.c_str());
    }
}

bool RemoteSession::serial(int input_fd, std::string* error) {
    ToolMessage m;
    if (!link_.send("@!", error) || !link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
    if (!link_.send("@#", error) || !link_.next(&m, ANSWER_TIMEOUT_MS, error)) return false;
    if (m.kind != "#") {
        *error = "the tool found no module serial port";
        return false;
    }
    std::string received;
    link_.set_serial_sink(&received);
    bool input_open = true;
    int quiet_rounds = 0;
    while (input_open || quiet_rounds < 5) {
        // A closed input is left out: poll would report its hang-up for ever.
        pollfd fds[2] = {{link_.fd(), POLLIN, 0}, {input_open ? input_fd : -1, POLLIN, 0}};
        int ready = poll(fds, 2, 100);
        if (ready == 0 && !input_open) ++quiet_rounds;
        if (fds[1].revents) {
            char buffer[4096];
            ssize_t n = read(input_fd, buffer, sizeof buffer);
            if (n <= 0) input_open = false;
            else if (!link_.send(escape_serial(std::string(buffer, size_t(n))), error)) return false;
        }
        if (fds[0].revents) {
            quiet_rounds = 0;
            if (!link_.next(&m, 0, error)) {
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
    link_.set_serial_sink(nullptr);
    return true;
}

bool RemoteSession::run(const std::vector<std::string>& words, std::string* error) {
    if (words.empty()) return true;
    const std::string& command = words[0];
    size_t args = words.size() - 1;
    auto needs = [&](size_t n) {
        if (args == n) return true;
        *error = command + (n ? " needs one argument" : " takes no argument");
        return false;
    };
    if (command == "state") return needs(0) && state(error);
    if (command == "identify") return needs(0) && identify(error);
    if (command == "read-config") return needs(0) && read_config(error);
    if (command == "write-config") return needs(1) && write_config(words[1], error);
    if (command == "flash") return needs(1) && flash(words[1], error);
    if (command == "monitor") return (args <= 1 || needs(1)) && monitor(args ? std::atoi(words[1].c_str()) : 0, error);
    if (command == "text-lines") return needs(0) && text_lines(error);
    if (command == "serial") return needs(0) && serial(STDIN_FILENO, error);
    *error = "unknown command " + command;
    return false;
}
