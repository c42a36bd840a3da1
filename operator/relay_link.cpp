// The relay stream's commands behind the frame-link operations.
#include "operator/relay_link.h"

#include <cstring>

#include "platform/clock.h"

namespace {

// Waits for the tool: a relay step and a few module polls, or a bootloader transfer.
constexpr int ANSWER_TIMEOUT_MS = 30000;

bool is_state(const ToolMessage& m) { return m.kind.size() == 1 && is_relay_state_character(m.kind[0]); }

int64_t now_ms() { return int64_t(platform::monotonic_ms()); }

// Why the link fails on a reply that does not answer `command`.
std::string unexpected(const ToolMessage& m, const std::string& command) {
    return "unexpected reply \"" + m.name() + "\" to \"" + command + "\"";
}

}  // namespace

void RelayLink::fail(const std::string& reason) {
    if (error_.empty()) error_ = reason;
    mode_ = LINK_NONE;
    fetch_open_ = false;
    queued_.clear();
    fetched_.clear();
}

bool RelayLink::next(ToolMessage* message) {
    std::string error;
    if (connection_.next(message, ANSWER_TIMEOUT_MS, &error)) return true;
    fail(error);
    return false;
}

bool RelayLink::flush() {
    if (!usable()) return false;
    if (queued_.empty()) return true;
    std::string error;
    std::string bytes;
    bytes.swap(queued_);
    if (connection_.send(bytes, &error)) return true;
    fail(error);
    return false;
}

void RelayLink::take_state(char state) {
    mode_ = relay_state_link_mode(state);
    fetched_.clear();
    drained_ = false;
}

char RelayLink::ask_state() {
    if (busy() || !settle() || !confirm_boot_send()) return 0;
    queued_ += relay_command(RELAY_OPEN_HID);
    ToolMessage m;
    if (!flush() || !next(&m)) return 0;
    if (!is_state(m)) {
        fail(unexpected(m, relay_command(RELAY_OPEN_HID)));
        return 0;
    }
    take_state(m.kind[0]);
    return m.kind[0];
}

int RelayLink::open() {
    if (busy()) return mode_ == LINK_BOOTLOADER ? 2 : is_open() ? 1 : 0;
    // Polled empty once on opening, the module needs no drain before the first command.
    if (!is_open() && ask_state() && is_open() && mode_ != LINK_BOOTLOADER) drain_frames();
    if (mode_ == LINK_BOOTLOADER) return 2;
    return is_open() ? 1 : 0;
}

void RelayLink::close() {
    if (busy() || !settle() || !confirm_boot_send()) return;
    queued_ += relay_command(RELAY_RELEASE);
    ToolMessage m;
    if (!flush() || !next(&m)) return;
    if (!is_state(m)) fail(unexpected(m, relay_command(RELAY_RELEASE)));
    else take_state(m.kind[0]);
}

void RelayLink::queue_frame(char letter, uint8_t command, const uint8_t* data, int n) {
    if (busy() || !is_open() || n < 0 || n > FRAME_MAX_DATA) return;
    queued_ += relay_command(letter);
    queued_.push_back(char(command));
    queued_.push_back(char(n));
    if (n > 0) queued_.append(reinterpret_cast<const char*>(data), size_t(n));
    drained_ = false;
}

void RelayLink::send_frame(uint8_t command, const uint8_t* data, int n) { queue_frame(RELAY_SEND_FRAME, command, data, n); }

void RelayLink::send_command(uint8_t command, const uint8_t* data, int n) {
    if (busy()) return;
    // What the last fetch brought and nobody took is stale. When that fetch left the
    // module quiet, the tool need not poll it empty again ("@i") before the frame.
    settle();
    fetched_.clear();
    queue_frame(drained_ ? RELAY_SEND_FRAME : RELAY_SEND_AFTER_EVENTS, command, data, n);
}

bool RelayLink::start_fetch() {
    if (!settle() || !confirm_boot_send()) return false;
    fetched_.clear();
    queued_ += relay_command(RELAY_COLLECT) + relay_command(RELAY_F_MARK);
    if (!flush()) return false;
    fetch_open_ = true;
    fetch_sent_ms_ = now_ms();
    return true;
}

bool RelayLink::collect(int timeout_ms) {
    while (fetch_open_) {
        ToolMessage m;
        std::string error;
        bool timed_out = false;
        if (!connection_.next(&m, timeout_ms, &error, &timed_out)) {
            if (timed_out && timeout_ms == 0) return true;
            fail(error);
            return false;
        }
        if (m.is(RELAY_F_MARK)) {
            fetch_open_ = false;
            // Frames queued since the fetch went out have not reached the module yet.
            drained_ = queued_.empty() && !boot_send_pending_;
        } else if (m.is(RELAY_RELEASE)) {
            // The tool has no application firmware open (any more).
            if (mode_ != LINK_BOOTLOADER) mode_ = LINK_NONE;
        } else if (m.is(RELAY_COLLECT)) {
            if (!m.payload.empty()) fetched_.push_back(m.payload);
        } else {
            fail("unexpected reply \"" + m.name() + "\" while collecting the module's answers");
            return false;
        }
    }
    return true;
}

bool RelayLink::settle() { return usable() && collect(ANSWER_TIMEOUT_MS); }

bool RelayLink::fetch() { return start_fetch() && collect(ANSWER_TIMEOUT_MS); }

bool RelayLink::take_fetched() {
    if (fetched_.empty()) return false;
    // An R frame holds the reply code, the data and the checksum: N bytes after a
    // length byte of N - 1.
    const std::string frame = fetched_.front();
    fetched_.pop_front();
    const size_t n = std::min(frame.size(), sizeof reply_.bytes - 1);
    reply_.bytes[0] = uint8_t(n - 1);
    std::memcpy(reply_.bytes + 1, frame.data(), n);
    reply_.length = int(n) + 1;
    return true;
}

bool RelayLink::poll_frame() {
    if (busy()) return false;
    if (fetched_.empty() && settle() && fetched_.empty() && is_open()) fetch();
    return take_fetched();
}

PollState RelayLink::poll_frame_without_waiting() {
    if (busy()) return PollState::NOTHING;
    if (take_fetched()) return PollState::FRAME;
    AnswerWait* told = connection_.answer_wait();
    const bool was_open = fetch_open_;
    if (!is_open() || (!fetch_open_ && !start_fetch()) || !collect(0)) {
        if (was_open && told) told->wait_over();
        return PollState::NOTHING;
    }
    if (fetch_open_) {
        const int64_t waited = now_ms() - fetch_sent_ms_;
        // Told of the wait, the user decides how long it lasts; else it has a limit.
        if (told ? told->waiting(int(waited), false) : waited <= ANSWER_TIMEOUT_MS) return PollState::ON_ITS_WAY;
        fail(told ? "the wait for the fitter's tool was given up (the session stalled)"
                  : "the tool did not answer in time");
        if (told) told->wait_over();
        return PollState::NOTHING;
    }
    if (told) told->wait_over();
    return take_fetched() ? PollState::FRAME : PollState::NOTHING;
}

void RelayLink::drain_frames() {
    if (busy()) return;
    settle();
    fetched_.clear();
    // A module the last fetch left quiet, and sent nothing since, has nothing stale:
    // another fetch would only cost a relay step.
    if (is_open() && !drained_) fetch();
    fetched_.clear();
}

bool RelayLink::boot_send(const uint8_t* data, int count) {
    if (busy() || !settle() || !is_open() || count < 0 || count > 0xFFFF || !confirm_boot_send()) return false;
    queued_ += relay_command(RELAY_RAW, RELAY_BOOT_SEND);
    queued_.push_back(char(count >> 8));
    queued_.push_back(char(count & 0xFF));
    queued_.append(reinterpret_cast<const char*>(data), size_t(count));
    boot_send_pending_ = true;
    drained_ = false;
    return true;
}

bool RelayLink::confirm_boot_send() {
    if (!boot_send_pending_) return true;
    boot_send_pending_ = false;
    ToolMessage m;
    if (!flush() || !next(&m)) return false;
    if (m.is(RELAY_RAW, RELAY_BOOT_SEND)) return true;
    if (!m.is(RELAY_RAW, RELAY_FAILED)) fail(unexpected(m, relay_command(RELAY_RAW, RELAY_BOOT_SEND)));
    // The tool's link closes the module after a failed write.
    mode_ = LINK_NONE;
    return false;
}

bool RelayLink::boot_read(int attempts) {
    if (busy() || !settle()) return false;
    const bool confirming = boot_send_pending_;
    boot_send_pending_ = false;
    if (!is_open() && !confirming) return false;
    queued_ += relay_command(RELAY_RAW, RELAY_BOOT_READ);
    queued_.push_back(char(std::min(std::max(attempts, 0), 255)));
    if (!flush()) return false;
    ToolMessage sent, read;
    if (confirming && !next(&sent)) return false;
    if (!next(&read)) return false;
    if (!read.is(RELAY_RAW, RELAY_BOOT_READ)) {
        fail(unexpected(read, relay_command(RELAY_RAW, RELAY_BOOT_READ)));
        return false;
    }
    if (confirming && !sent.is(RELAY_RAW, RELAY_BOOT_SEND)) {
        if (!sent.is(RELAY_RAW, RELAY_FAILED)) fail(unexpected(sent, relay_command(RELAY_RAW, RELAY_BOOT_SEND)));
        mode_ = LINK_NONE;
        return false;
    }
    if (read.payload.empty()) return false;
    const size_t n = std::min(read.payload.size(), sizeof reply_.bytes);
    std::memcpy(reply_.bytes, read.payload.data(), n);
    reply_.length = int(n);
    return true;
}
