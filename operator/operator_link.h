// The operator's connection to the relay server: the session handshake, then commands
// to the tool and its messages back.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "operator/operator_channel.h"
#include "operator/tool_stream.h"

// Told about the waits for the tool's answers, so that a GUI keeps its windows alive
// and lets the user give up a session that stalls. No GTK here.
class AnswerWait {
public:
    virtual ~AnswerWait() = default;
    // Called about every ANSWER_WAIT_SLICE_MS while an answer is awaited, with how long
    // since the wait began; `blocking` when the caller stops until the answer comes (a
    // dialog's exchange), not when it only looks (the main loop's poll). False gives the
    // wait up.
    virtual bool waiting(int waited_ms, bool blocking) = 0;
    // The wait is over: the answer came, the connection broke, or it was given up.
    virtual void wait_over() = 0;
};
constexpr int ANSWER_WAIT_SLICE_MS = 50;

class OperatorLink {
public:
    // TLS with the system's trusted certificates unless set otherwise before open.
    void set_security(const OperatorSecurity& security) { security_ = security; }

    // Connects to host:port and opens a session (empty `code`) or joins one. On
    // success *code_out holds the session's code. False with a reason otherwise.
    bool open(const std::string& server, const std::string& token, const std::string& code,
              std::string* code_out, std::string* error);
    // Waits until the tool has logged in ("PAIRED"); false when the session ended.
    bool wait_paired(std::string* error);
    // The same without waiting, for a caller with a loop of its own: 1 once the tool
    // has logged in, 0 while the relay has not said so yet, -1 when the session ended.
    int check_paired(std::string* error);

    bool send(const std::string& bytes, std::string* error);

    // The next message from the tool, waiting at most timeout_ms. Serial bytes are
    // passed to the serial sink when one is set and skipped otherwise. When nothing
    // came in time, *timed_out (if given) is set and the connection stays usable. With
    // an AnswerWait set a wait (timeout_ms > 0) lasts until it gives up, not timeout_ms.
    bool next(ToolMessage* message, int timeout_ms, std::string* error, bool* timed_out = nullptr);

    // Where waits are told (nullptr: nowhere); it must outlive its use.
    void set_answer_wait(AnswerWait* wait) { wait_ = wait; }
    AnswerWait* answer_wait() const { return wait_; }
    // True while the AnswerWait is told of a wait: whatever it runs meanwhile (a GUI's
    // events) runs inside that wait and must not start another exchange, which would
    // take the answers this one waits for.
    bool waiting() const { return waiting_; }
    // The connection ended or broke: every later receive or send fails.
    bool broken() const { return broken_; }

    // Serial bytes from the module arrive here (nullptr: dropped).
    void set_serial_sink(std::string* sink) { serial_sink_ = sink; }
    int fd() const { return channel_.fd(); }

private:
    bool read_line(std::string* line, int timeout_ms, std::string* error);
    // Reads what the socket has (waiting at most timeout_ms) into the parser or, before
    // pairing, the line buffer. False on end of stream or failure.
    bool receive(int timeout_ms, bool* timed_out, std::string* error);

    OperatorSecurity security_;
    OperatorChannel channel_;
    bool paired_ = false;
    std::string lines_;  // handshake text not yet consumed
    ToolStreamParser parser_;
    // Why the connection ended, told by which side ended it.
    std::string end_reason(int received) const;

    std::deque<ToolMessage> messages_;
    std::string* serial_sink_ = nullptr;
    AnswerWait* wait_ = nullptr;
    bool waiting_ = false;
    bool broken_ = false;
    std::string end_;  // why it ended, once it has
    // The last message from the tool was its release notice "@!" (it sends one as it leaves).
    bool released_last_ = false;
};

// "host:port" or "[v6 address]:port" split; false when the port is missing or not a
// number 1..65535.
bool split_server(const std::string& server, std::string* host, int* port);
