// The frame link as the operator's tool sees it through the relay: each operation is
// the relay stream's command for it, which the tool carries out on its module. Frames
// to the module wait in a queue and travel with the next exchange; one "@R" fetches
// every answer the module has, and polls are served from what it fetched.
#pragma once

#include <deque>
#include <string>

#include "device/frame_link.h"
#include "operator/operator_link.h"

class RelayLink final : public FrameLink {
public:
    explicit RelayLink(OperatorLink& connection) : connection_(connection) {}
    ~RelayLink() override { flush(); }

    // "@H" unless the tool already has the module open: it stays open for the session.
    // The application firmware's waiting frames are then drained.
    int open() override;
    // "@!": the tool releases the module (and its serial port).
    void close() override;
    bool is_open() const override { return mode_ != LINK_NONE; }
    int mode() const override { return mode_; }

    void send_frame(uint8_t command, const uint8_t* data, int n) override;
    bool poll_frame() override;
    // Sends "@R@G" and returns; later calls take the answers in as they arrive.
    PollState poll_frame_without_waiting() override;
    void drain_frames() override;
    void send_command(uint8_t command, const uint8_t* data, int n) override;
    // The send's outcome ("@E6" or "@EX") comes back with the following boot_read.
    bool boot_send(const uint8_t* data, int count) override;
    bool boot_read(int attempts) override;
    const ReplyRecord& reply() const override { return reply_; }
    // Requests queued together travel in one exchange; each relay step costs the tool's
    // main-loop pause, so an exchange per request would cost one such pause each.
    bool may_send_ahead() const override { return true; }
    // While one of its waits lets the GUI handle events, every operation started from
    // those events is refused at once and sends nothing: run inside the wait, it would
    // take the answers the waiting exchange is owed and leave that one waiting for ever.
    bool busy() const override { return connection_.waiting(); }

    // "@H" whatever is cached: the tool's state character ('1', '2', '3', '#', '!'),
    // or 0 when the connection failed.
    char ask_state();
    // Sends what is queued. False when the connection failed.
    bool flush();
    // Why the connection to the tool failed; empty while it works. Once it failed
    // every operation fails.
    const std::string& error() const { return error_; }

private:
    bool usable() const { return error_.empty(); }
    void fail(const std::string& reason);
    bool next(ToolMessage* message);
    // "@R@G" after what is queued: the module's answers up to the mark.
    bool fetch();
    bool start_fetch();
    // Takes in the open fetch's answers, waiting at most timeout_ms for each message;
    // false when the connection failed. The fetch is complete when !fetch_open_.
    bool collect(int timeout_ms);
    // Completes an open fetch: every exchange waits for the answers sent before it.
    bool settle();
    bool take_fetched();
    // Reads the answer to a pending boot_send; false when it failed.
    bool confirm_boot_send();
    void queue_frame(char letter, uint8_t command, const uint8_t* data, int n);
    void take_state(char state);

    OperatorLink& connection_;
    std::string queued_;
    std::deque<std::string> fetched_;
    ReplyRecord reply_;
    int mode_ = LINK_NONE;
    // The last fetch ended with the module quiet and nothing went to it since.
    bool drained_ = false;
    // A fetch sent and its mark not yet back, since fetch_sent_ms_ (platform clock).
    bool fetch_open_ = false;
    int64_t fetch_sent_ms_ = 0;
    bool boot_send_pending_ = false;
    std::string error_;
};
