// A HID backend for tests that records every output report and answers reads from a
// script of input reports, so exact report sequences can be checked.
#pragma once

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "device/hid_backend.h"
#include "platform/clock.h"

class ScriptedBackend : public HidBackend {
public:
    using Report = std::vector<uint8_t>;

    std::vector<Report> writes;      // every output report, report id first
    std::deque<Report> reads;        // input reports to hand out, in order
    std::wstring product = L"USB HID Progr";
    std::vector<uint16_t> present_ids = {0xF1F7};
    std::vector<uint16_t> opened_ids;   // product ids asked for, in order
    int fail_writes_from = -1;          // index of the first write that fails
    int short_write_length = -1;        // >= 0: writes report this many bytes
    int reads_attempted = 0;
    std::string refused;                // a node attached that this user may not open
    int closes = 0;

    // Queues a module-to-host report: control byte and payload text.
    void queue(uint8_t control, const std::string& payload) {
        Report r(8, 0);
        r[0] = control;
        std::memcpy(r.data() + 1, payload.data(), payload.size() < 7 ? payload.size() : 7);
        reads.push_back(r);
    }

    // Queues a whole text as one transmission: 7 characters per report, bit 6 on
    // every report, bit 5 on all but the last.
    void queue_transmission(const std::string& text) {
        for (size_t pos = 0; pos < text.size(); pos += 7) {
            const size_t n = std::min<size_t>(7, text.size() - pos);
            const bool more = pos + n < text.size();
            queue(uint8_t(0x40 | (n << 1) | (more ? 0x20 : 0)), text.substr(pos, n));
        }
    }

    int init() override { return 0; }
    HidDevice* open(uint16_t, uint16_t product_id) override {
        opened_ids.push_back(product_id);
        for (uint16_t id : present_ids)
            if (id == product_id) return reinterpret_cast<HidDevice*>(this);
        return nullptr;
    }
    int product_string(HidDevice*, wchar_t* text, size_t max_chars) override {
        std::wcsncpy(text, product.c_str(), max_chars);
        return 0;
    }
    int write(HidDevice*, const uint8_t* data, size_t length) override {
        const int index = int(writes.size());
        writes.emplace_back(data, data + length);
        if (fail_writes_from >= 0 && index >= fail_writes_from) return -1;
        return short_write_length >= 0 ? short_write_length : int(length);
    }
    int read_timeout(HidDevice*, uint8_t* data, size_t length, int timeout_ms) override {
        ++reads_attempted;
        if (reads.empty()) {
            platform::sleep_ms(uint64_t(timeout_ms));
            return 0;
        }
        const Report r = reads.front();
        reads.pop_front();
        const size_t n = std::min(length, r.size());
        std::memcpy(data, r.data(), n);
        return int(n);
    }
    int read(HidDevice* d, uint8_t* data, size_t length) override { return read_timeout(d, data, length, 0); }
    int set_nonblocking(HidDevice*, int) override { return 0; }
    void close(HidDevice*) override { ++closes; }
    bool refused_node(uint16_t, uint16_t, char* node, size_t size) override {
        if (refused.empty()) return false;
        std::snprintf(node, size, "%s", refused.c_str());
        return true;
    }

    // Control bytes of the writes, in order.
    std::vector<uint8_t> controls() const {
        std::vector<uint8_t> out;
        for (const Report& r : writes) out.push_back(r[1]);
        return out;
    }
    // The payload text of one write.
    std::string payload(size_t index, size_t n) const {
        return std::string(writes[index].begin() + 2, writes[index].begin() + 2 + long(n));
    }
};
