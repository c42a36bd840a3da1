// The operator's relay connection: the session handshake and the tool's stream.
#include "operator/operator_link.h"

#include <algorithm>
#include <cstdlib>

#include "platform/clock.h"

namespace {

// The relay's answers come over a socket: their time-outs are in real time, whatever
// clock the program's own waits use (a virtual one would not move while poll waits).
int64_t now_ms() { return platform::real_time_ms(); }

constexpr int HANDSHAKE_TIMEOUT_MS = 10000;

}  // namespace

bool split_server(const std::string& server, std::string* host, int* port) {
    size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    char* end = nullptr;
    long number = std::strtol(server.c_str() + colon + 1, &end, 10);
    if (!end || *end != '\0' || number < 1 || number > 65535) return false;
    *host = server.substr(0, colon);
    if (host->size() > 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
    *port = int(number);
    return true;
}

bool OperatorLink::open(const std::string& server, const std::string& token, const std::string& code,
                        std::string* code_out, std::string* error) {
    std::string host;
    int port = 0;
    if (!split_server(server, &host, &port)) {
        *error = "server must be HOST:PORT, not \"" + server + "\"";
        return false;
    }
    if (token.empty() || token.find_first_of(" \t\r\n") != std::string::npos) {
        *error = "no usable operator token";
        return false;
    }
    if (!channel_.connect(host, port, security_, HANDSHAKE_TIMEOUT_MS, error)) return false;
    std::string hello = code.empty() ? "OPEN " + token + "\n" : "JOIN " + token + " " + code + "\n";
    if (!send(hello, error)) return false;
    std::string line;
    if (!read_line(&line, HANDSHAKE_TIMEOUT_MS, error)) return false;
    if (line == "ERR no such session") {
        *error = "the relay server has no session " + code +
                 ": the code is mistyped, or its session has ended or expired unused (open a new one)";
        return false;
    }
    if (line.rfind("CODE ", 0) != 0) {
        *error = line.rfind("ERR ", 0) == 0 ? "relay server: " + line.substr(4) : "unexpected answer: " + line;
        return false;
    }
    *code_out = line.substr(5);
    return true;
}

bool OperatorLink::wait_paired(std::string* error) {
    std::string line;
    if (!read_line(&line, -1, error)) return false;
    if (line == "PAIRED") {
        paired_ = true;
        // Whatever followed the line already belongs to the stream.
        std::vector<ToolMessage> parsed;
        std::string rest;
        rest.swap(lines_);
        parser_.feed(rest.data(), rest.size(), &parsed);
        messages_.insert(messages_.end(), parsed.begin(), parsed.end());
        return true;
    }
    *error = line.rfind("ERR ", 0) == 0 ? "relay server: " + line.substr(4) : "unexpected answer: " + line;
    return false;
}

int OperatorLink::check_paired(std::string* error) {
    if (paired_) return 1;
    while (lines_.find('\n') == std::string::npos) {
        bool timed_out = false;
        if (!receive(0, &timed_out, error)) return timed_out ? 0 : -1;
    }
    // The relay's line is complete: reading it does not wait.
    return wait_paired(error) ? 1 : -1;
}

bool OperatorLink::send(const std::string& bytes, std::string* error) {
    if (!broken_ && channel_.send_all(bytes.data(), bytes.size())) return true;
    broken_ = true;
    *error = "the connection to the relay server broke";
    return false;
}

std::string OperatorLink::end_reason(int received) const {
    if (!paired_) return "the relay server closed the connection";
    if (released_last_) return "the fitter's tool left the session";
    switch (received) {
    case OperatorChannel::RECEIVE_SHUT_DOWN:
        return "the relay server ended the session (the fitter's tool left it, or it was idle too long)";
    case OperatorChannel::RECEIVE_CLOSED:
        return "the relay server closed the connection";
    default:
        return "the connection to the relay server was cut";
    }
}

bool OperatorLink::receive(int timeout_ms, bool* timed_out, std::string* error) {
    char buffer[16384];
    const int n = broken_ ? OperatorChannel::RECEIVE_FAILED : channel_.receive(buffer, sizeof buffer, timeout_ms);
    *timed_out = n == OperatorChannel::RECEIVE_TIMED_OUT;
    if (*timed_out) return false;
    if (n <= 0) {
        if (!broken_) end_ = end_reason(n);
        broken_ = true;
        *error = end_;
        return false;
    }
    if (!paired_) {
        lines_.append(buffer, size_t(n));
        return true;
    }
    std::vector<ToolMessage> parsed;
    if (!parser_.feed(buffer, size_t(n), &parsed)) {
        *error = "the tool sent a message this program does not know";
        return false;
    }
    for (const ToolMessage& m : parsed)
        if (!m.kind.empty()) released_last_ = m.is(RELAY_RELEASE);
    messages_.insert(messages_.end(), parsed.begin(), parsed.end());
    return true;
}

bool OperatorLink::read_line(std::string* line, int timeout_ms, std::string* error) {
    int64_t deadline = timeout_ms < 0 ? -1 : now_ms() + timeout_ms;
    for (;;) {
        size_t lf = lines_.find('\n');
        if (lf != std::string::npos) {
            *line = lines_.substr(0, lf);
            lines_.erase(0, lf + 1);
            return true;
        }
        int wait = deadline < 0 ? 1000 : int(std::max<int64_t>(0, deadline - now_ms()));
        bool timed_out = false;
        if (!receive(wait, &timed_out, error)) {
            if (!timed_out) return false;
            if (deadline >= 0) {
                *error = "the relay server did not answer";
                return false;
            }
        }
    }
}

bool OperatorLink::next(ToolMessage* message, int timeout_ms, std::string* error, bool* timed_out) {
    if (timed_out) *timed_out = false;
    const int64_t start = now_ms();
    const int64_t deadline = start + timeout_ms;
    // Only a wait that blocks is told; it then decides how long it lasts.
    AnswerWait* told = timeout_ms > 0 ? wait_ : nullptr;
    bool waited = false;
    for (;;) {
        while (!messages_.empty()) {
            ToolMessage m = messages_.front();
            messages_.pop_front();
            if (!m.kind.empty()) {
                *message = m;
                if (waited) told->wait_over();
                return true;
            }
            if (serial_sink_) *serial_sink_ += m.payload;
        }
        bool late = false;
        const int left = int(std::max<int64_t>(0, deadline - now_ms()));
        if (receive(told ? ANSWER_WAIT_SLICE_MS : left, &late, error)) continue;
        if (late && told) {
            waited = true;
            waiting_ = true;
            const bool goes_on = told->waiting(int(now_ms() - start), true);
            waiting_ = false;
            if (goes_on) continue;
            *error = "the wait for the fitter's tool was given up (the session stalled)";
        } else if (late) {
            *error = "the tool did not answer in time";
        }
        if (waited) told->wait_over();
        if (timed_out) *timed_out = late && !told;
        return false;
    }
}
