// Reading the tool's replies and serial bytes out of the relay stream.
#include "remote/tool_stream.h"

#include <cstring>

size_t ToolStreamParser::message_length() const {
    const std::string& p = pending_;
    auto byte = [&](size_t i) { return size_t(uint8_t(p[i])); };
    if (p.size() < 2) return 0;
    switch (p[1]) {
    case '1': case '2': case '3': case '#': case '!': case 'g': case '@': return 2;
    case 'G': return 3;
    case 'R': case 'f': return p.size() >= 3 ? 3 + byte(2) : 0;
    case 'E':
        if (p.size() < 3) return 0;
        switch (p[2]) {
        case '0': case '6': case 'X': return 3;
        case '1': return 5;
        case '3': return 4;
        case '4': return p.size() >= 4 ? 4 + (byte(3) == 0xFF ? 0 : byte(3)) : 0;
        case '7': return p.size() >= 4 ? 4 + (byte(3) == 0 ? 0 : byte(3) - 1) : 0;
        default: return size_t(-1);
        }
    default: return size_t(-1);
    }
}

bool ToolStreamParser::feed(const char* bytes, size_t n, std::vector<ToolMessage>* out) {
    for (size_t i = 0; i < n; ++i) {
        char b = bytes[i];
        if (pending_.empty() && b != '@') {
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
        if (pending_[1] == '@') {  // a literal "@" from the serial port
            if (out->empty() || !out->back().kind.empty()) out->push_back(ToolMessage());
            out->back().payload.push_back('@');
        } else {
            ToolMessage m;
            bool two = pending_[1] == 'E';
            m.kind = pending_.substr(1, two ? 2 : 1);
            size_t start = 1 + m.kind.size();
            if (m.kind == "R" || m.kind == "f" || m.kind == "E4" || m.kind == "E7") ++start;  // the count
            m.payload = pending_.substr(start);
            out->push_back(m);
        }
        pending_.clear();
    }
    return true;
}

std::string escape_serial(const std::string& data) {
    std::string out;
    out.reserve(data.size());
    for (char c : data) {
        out.push_back(c);
        if (c == '@') out.push_back('@');
    }
    return out;
}
