// The simulated module's application firmware: frames in, replies out, by polling.
#include <cstdio>

#include "sim/sim_module.h"
#include "sim/sim_reports.h"

namespace {

// A transmission carries whole frames, never more text than the host may hold.
constexpr size_t MAX_TRANSMISSION_TEXT = 600;
constexpr size_t MAX_FRAMES_PER_TRANSMISSION = 4;
constexpr size_t MAX_QUEUED_REPLIES = 64;
constexpr size_t MAX_FRAME_TEXT = 300;
constexpr int MAX_REPLY_DATA = 125;

const char HEX[] = "0123456789ABCDEF";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string sim_frame_text(uint8_t code, const std::vector<uint8_t>& data, bool corrupt) {
    std::string text = "!";
    auto put = [&text](uint8_t b) {
        text += HEX[b >> 4];
        text += HEX[b & 0x0F];
    };
    const uint8_t length = uint8_t(data.size() + 1);
    unsigned sum = length + 0x55u + code + 0x55u;
    put(length);
    put(code);
    for (uint8_t b : data) {
        put(b);
        sum += b + 0x55u;
    }
    put(uint8_t(sum + (corrupt ? 1 : 0)));
    text += '#';
    return text;
}

bool sim_parse_frame(const std::string& text, uint8_t* command, std::vector<uint8_t>* data) {
    if (text.size() < 8 || text[0] != '!' || text.back() != '#' || text.size() % 2 != 0) return false;
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < text.size(); i += 2) {
        const int high = hex_value(text[i]);
        const int low = hex_value(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(uint8_t(high * 16 + low));
    }
    if (bytes.size() < 3 || bytes[0] + 2u != bytes.size()) return false;
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i] + 0x55u;
    if (uint8_t(sum) != bytes.back()) return false;
    *command = bytes[1];
    data->assign(bytes.begin() + 2, bytes.end() - 1);
    return true;
}

void SimModule::app_output_report(const uint8_t* report) {
    const uint8_t control = report[1];
    if (sim_is_poll(control)) {
        app_poll();
        return;
    }
    if (sim_is_ready_query(control)) return;  // only the bootloader answers these

    if (control & 0x01) rx_text_.clear();
    rx_text_.append(reinterpret_cast<const char*>(report + 2), size_t(sim_payload_count(control)));
    if (rx_text_.size() > MAX_FRAME_TEXT) {
        rx_text_.clear();
        ++counters.bad_frames;
        return;
    }
    if (!(control & 0x80)) return;

    SimFrame frame;
    const bool valid = sim_parse_frame(rx_text_, &frame.command, &frame.data);
    rx_text_.clear();
    if (!valid) {
        ++counters.bad_frames;
        return;
    }
    ++counters.frames;
    received.push_back(frame);
    handle_frame(frame);
}

// Answers a poll with one transmission: the waiting frames' text, 7 characters per
// report, bit 5 on every report but the last. Nothing waiting: no report at all.
void SimModule::app_poll() {
    ++counters.polls;
    std::string text;
    size_t frames = 0;
    while (!replies_.empty() && frames < MAX_FRAMES_PER_TRANSMISSION &&
           text.size() + replies_.front().size() <= MAX_TRANSMISSION_TEXT) {
        text += replies_.front();
        replies_.pop_front();
        ++frames;
    }
    for (size_t pos = 0; pos < text.size(); pos += 7) {
        const size_t n = text.size() - pos < 7 ? text.size() - pos : 7;
        const bool more = pos + n < text.size();
        SimReport report{};
        report[0] = uint8_t(0x40 | (n << 1) | (more ? 0x20 : 0));
        for (size_t i = 0; i < n; ++i) report[1 + i] = uint8_t(text[pos + i]);
        input_.push_back(report);
    }
}

void SimModule::reply(uint8_t code, const std::vector<uint8_t>& data) {
    if (lose_replies_ > 0) {
        --lose_replies_;
        return;
    }
    if (replies_.size() >= MAX_QUEUED_REPLIES) return;  // nobody is polling
    const bool corrupt = corrupt_replies_ > 0;
    if (corrupt) --corrupt_replies_;
    replies_.push_back(sim_frame_text(code, data, corrupt));
}

void SimModule::identity_reply() {
    std::vector<uint8_t> data;
    if (settings_.model_as_dash) {
        data = {0x2D, 0x20};
    } else {
        data = {uint8_t(settings_.model & 0xFF), uint8_t(settings_.model >> 8)};
    }
    data.push_back(uint8_t(settings_.firmware_version / 100));
    data.push_back(uint8_t(settings_.firmware_version % 100));
    if (settings_.variant_byte >= 0) data.push_back(uint8_t(settings_.variant_byte));
    reply(0x08, data);
}

// Text lines: data byte 1 is the length, the text starts at data byte 3; an empty
// line ends the list.
void SimModule::text_line_reply(bool first) {
    if (first) text_line_index_ = 0;
    // Without lines of its own the module reports its identity and configuration as
    // they are now.
    std::vector<std::string> defaults;
    if (text_lines_.empty()) {
        char line[80];
        std::snprintf(line, sizeof line, "QV%d firmware %02d.%02d\r\n", settings_.model,
                      settings_.firmware_version / 100, settings_.firmware_version % 100);
        defaults.push_back(line);
        std::snprintf(line, sizeof line, "CAN level %d, vehicle %d\r\n", memory_[0x01] + 1,
                      memory_[0x05] * 256 + memory_[0x06]);
        defaults.push_back(line);
    }
    const std::vector<std::string>& lines = text_lines_.empty() ? defaults : text_lines_;
    std::vector<uint8_t> data = {0x01, 0x00, 0x00};
    if (text_line_index_ < int(lines.size())) {
        const std::string& text = lines[size_t(text_line_index_++)];
        const size_t n = text.size() < 120 ? text.size() : 120;
        data[1] = uint8_t(n);
        data.insert(data.end(), text.begin(), text.begin() + long(n));
    }
    reply(0x06, data);
}

void SimModule::handle_frame(const SimFrame& frame) {
    const std::vector<uint8_t>& d = frame.data;
    switch (frame.command) {
    case 0x01:  // handshake
        reply(0x07, {0x02, 0x01});
        break;
    case 0x04:  // identity
        identity_reply();
        break;
    case 0x05: {  // read memory: address, count -> two leading bytes, then the memory
        if (d.size() != 2 || d[0] + d[1] > SIM_MEMORY_SIZE || d[1] > MAX_REPLY_DATA - 2) break;
        std::vector<uint8_t> data = {d[0], d[1]};
        data.insert(data.end(), memory_.begin() + d[0], memory_.begin() + d[0] + d[1]);
        reply(0x06, data);
        break;
    }
    case 0x06:  // write memory: address, count, bytes -> acknowledge
        if (d.size() < 2 || d.size() != d[1] + 2u || d[0] + d[1] > SIM_MEMORY_SIZE) break;
        if (unplug_at_write_ > 0 && --unplug_at_write_ == 0) {
            unplug();
            break;
        }
        if (refuse_writes_ > 0) {
            --refuse_writes_;
            reply(0x02, {d[0], d[1]});
            break;
        }
        std::copy(d.begin() + 2, d.end(), memory_.begin() + d[0]);
        persist_memory();
        reply(0x01, {d[0], d[1]});
        break;
    case 0x08: {  // signal map, least significant bit first
        std::vector<uint8_t> data;
        for (int i = 0; i < 5; ++i) data.push_back(uint8_t(signal_map() >> (8 * i)));
        reply(0x09, data);
        break;
    }
    case 0x09:  // configuration written: takes effect, no answer
        break;
    case 0x10:  // hand over to the bootloader once the answer is read
        reply(0x03, {});
        switch_pending_ = true;
        break;
    case 0x56:
    case 0x66:
        reply(0x07, {0x00});
        break;
    case 0x57:
        text_line_reply(!d.empty() && d[0] == 0x01);
        break;
    default: {  // anything else is acknowledged with the command and its data
        std::vector<uint8_t> data = {frame.command};
        data.insert(data.end(), d.begin(), d.end());
        if (data.size() > MAX_REPLY_DATA) data.resize(MAX_REPLY_DATA);
        reply(0x01, data);
        break;
    }
    }
}
