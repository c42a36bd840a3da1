// Sending a console command to the module and waiting for its answer; no GTK here,
// the window only shows the outcome.
#pragma once

#include "device/frame_link.h"

enum class ConsoleSend {
    SENT,          // logged and sent (or only logged while no module is open)
    BAD_COMMAND,   // the command text does not start with two hex digits: nothing done
    DATA_TOO_LONG, // the data gives more bytes than a frame carries: nothing done
};

// The response wait: up to 40 pauses of 50 ms, reading every frame after each.
constexpr int RESPONSE_PAUSES = 40;
constexpr int RESPONSE_PAUSE_MS = 50;

// Remembers the command in the history, logs its echo, sends it (frames waiting
// from the module are read first) and, with `wait_response`, logs the first
// acknowledgement (reply code 0x01) that arrives within the response wait; other
// frames are dropped, and no answer is silent.
ConsoleSend console_send_texts(FrameLink& link, const char* command, const char* data, bool wait_response);
// The same on the local link.
ConsoleSend console_send_texts(const char* command, const char* data, bool wait_response);
