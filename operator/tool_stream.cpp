// Reading the tool's replies and serial bytes out of the relay stream.
#include "operator/tool_stream.h"

#include <cstring>

bool ToolMessage::is(char letter, char second) const {
    if (letter != RELAY_RAW) return kind.size() == 1 && kind[0] == letter;
    return kind.size() == 2 && kind[0] == RELAY_RAW && kind[1] == second;
}

size_t ToolStreamParser::message_length() const {
    const std::string& p = pending_;
    auto byte = [&](size_t i) { return size_t(uint8_t(p[i])); };
    if (p.size() < 2) return 0;
    if (is_relay_state_character(p[1]) || p[1] == RELAY_TEXT_END || p[1] == RELAY_ESCAPE) return 2;
    switch (p[1]) {
    case RELAY_F_MARK: return 3;
    case RELAY_COLLECT: case RELAY_TEXT_LINE: return p.size() >= 3 ? 3 + byte(2) : 0;
    case RELAY_RAW:
        if (p.size() < 3) return 0;
        switch (p[2]) {
        case RELAY_IMAGE_CLEAR: case RELAY_BOOT_SEND: case RELAY_FAILED: return 3;
        case RELAY_IMAGE_APPEND: return 5;
        case RELAY_RAW_WRITE: return 4;
        case RELAY_RAW_READ: return p.size() >= 4 ? 4 + (byte(3) == 0xFF ? 0 : byte(3)) : 0;
        case RELAY_BOOT_READ: return p.size() >= 4 ? 4 + (byte(3) == 0 ? 0 : byte(3) - 1) : 0;
        default: return size_t(-1);
        }
    default: return size_t(-1);
    }
}

bool ToolStreamParser::feed(const char* bytes, size_t n, std::vector<ToolMessage>* out) {
    for (size_t i = 0; i < n; ++i) {
        char b = bytes[i];
        if (pending_.empty() && b != RELAY_ESCAPE) {
            if (out->empty() || !out->back().kind.empty()) out->push_back(ToolMessage());
            out->back().payload.push_back(b);
            continue;
        }
        pending_.push_back(b);
        size_t length = message_length();
        if (length == size_t(-1)) {
            pending_.clear();
            return false;
        }
        if (length == 0 || pending_.size() < length) continue;
        if (pending_[1] == RELAY_ESCAPE) {  // a literal "@" from the serial port
            if (out->empty() || !out->back().kind.empty()) out->push_back(ToolMessage());
            out->back().payload.push_back(RELAY_ESCAPE);
        } else {
            ToolMessage m;
            bool two = pending_[1] == RELAY_RAW;
            m.kind = pending_.substr(1, two ? 2 : 1);
            size_t start = 1 + m.kind.size();
            if (m.is(RELAY_COLLECT) || m.is(RELAY_TEXT_LINE) || m.is(RELAY_RAW, RELAY_RAW_READ) ||
                m.is(RELAY_RAW, RELAY_BOOT_READ))
                ++start;  // the count
            m.payload = pending_.substr(start);
            out->push_back(m);
        }
        pending_.clear();
    }
    return true;
}
