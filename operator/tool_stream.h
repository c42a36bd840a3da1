// The tool's side of the relay stream as an operator reads it: "@" and a letter start
// a message of known length, "@@" is a literal "@", other bytes come from the module's
// serial port. Pure: bytes in, messages out. The stream's letters, state characters
// and escape are in net/relay_stream.h, which the tool's side shares.
//
// Messages: "@1" "@2" "@3" "@#" "@!" (device state or release), "@R" N bytes (N = 0:
// nothing waiting), "@f" n text, "@g", "@G" mark, "@E0", "@E1" hi lo, "@E3" result,
// "@E4" count bytes (count 0xFF: failure, no bytes), "@E6", "@EX", "@E7" n bytes
// (n - 1 bytes follow; n = 0: nothing read).
#pragma once

#include <string>
#include <vector>

#include "net/relay_stream.h"

struct ToolMessage {
    std::string kind;     // "1", "R", "f", "E7", ...; "" for serial bytes
    std::string payload;  // what followed the kind (its count not included)

    // True for the message "@" `letter`, or "@E" `second` when `letter` is RELAY_RAW.
    bool is(char letter, char second = 0) const;
    // The message as the stream starts it ("@R", "@E7"), for a reason given to the user.
    std::string name() const { return RELAY_ESCAPE + kind; }
};

class ToolStreamParser {
public:
    // Adds received bytes; complete messages are appended to `out` in order, runs of
    // serial bytes as one message of kind "". False when the stream breaks the format
    // (an unknown message letter).
    bool feed(const char* bytes, size_t n, std::vector<ToolMessage>* out);

private:
    // Bytes of the message being read: 0 while more bytes must come to know it.
    size_t message_length() const;
    std::string pending_;  // from the "@" of an unfinished message on
};
