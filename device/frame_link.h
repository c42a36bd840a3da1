// The module's frame protocol and raw boot transfer as one set of operations, so that
// every exchange with the module runs on whichever transport it is given: the local
// HID link, or the relay stream seen from the operator's side.
#pragma once

#include <cstdint>

enum LinkMode {
    LINK_NONE = 0,
    LINK_PROGRAMMER = 1,  // "USB HID Progr": application firmware, frame protocol
    LINK_BOOTLOADER = 2,  // "USB Bootloader": no application firmware
    LINK_USBIC = 3,       // "USBIC": frame protocol with a 100 ms pause after each frame
};

// Frame limits: a frame carries at most 125 data bytes.
constexpr int FRAME_MAX_DATA = 125;

// Waits for the module are counted in polls, never in time: this many for the answer
// to a request (a memory read, the signal map, the identity).
constexpr int READ_REPLY_ATTEMPTS = 19;

// What a poll that does not wait brought: a frame, nothing, or nothing yet because its
// answer is still on the way (a later call takes it up).
enum class PollState { NOTHING, FRAME, ON_ITS_WAY };

// The last decoded frame: bytes[0] = length byte L, bytes[1] = reply code,
// bytes[2..L] = data, bytes[L + 1] = checksum; length = L + 2.
// After boot_read: bytes[0..length-1] are the raw payload of one input report.
struct ReplyRecord {
    uint8_t bytes[1024] = {};
    int length = 0;
};

class FrameLink {
public:
    virtual ~FrameLink() = default;

    // Opens the module: 0 when none was found, 1 for the application firmware
    // (LINK_PROGRAMMER or LINK_USBIC), 2 for the bootloader.
    virtual int open() = 0;
    // The device node of a module the last open() found attached but could not open
    // for want of permission; empty when there was none.
    virtual const char* refused_node() const { return ""; }
    // Releases the module; mode becomes LINK_NONE.
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // LinkMode of the open module, LINK_NONE when closed.
    virtual int mode() const = 0;

    // Sends one frame (n <= FRAME_MAX_DATA data bytes). Nothing happens without a
    // module; a failed send releases it.
    virtual void send_frame(uint8_t command, const uint8_t* data, int n) = 0;
    // One poll: true when a frame came; it is then in reply(). Event texts (reply code
    // 0xFF) may be taken by the link (the local one logs them) and not returned.
    virtual bool poll_frame() = 0;
    // One poll for a caller that must not stop for a slow transport (the main loop, which
    // keeps the window alive): ON_ITS_WAY while the answer travels. Send the module
    // nothing meanwhile, or requests pile up behind the answer. The local link's polls
    // take a USB round trip, so it polls at once.
    virtual PollState poll_frame_without_waiting() { return poll_frame() ? PollState::FRAME : PollState::NOTHING; }
    // Polls until nothing more comes; the frames are discarded.
    virtual void drain_frames();
    // drain_frames, then send_frame: a stale reply is never taken for the answer.
    virtual void send_command(uint8_t command, const uint8_t* data, int n);

    // Sends a whole message to the bootloader. A link may confirm the send only with
    // the boot_read that follows: a failed send then makes that read fail.
    virtual bool boot_send(const uint8_t* data, int count) = 0;
    // Makes up to attempts - 1 polls for a raw answer; the first report with data is
    // then in reply() (bytes 0.. and length). False when none came.
    virtual bool boot_read(int attempts) = 0;

    // The last frame or raw answer received.
    virtual const ReplyRecord& reply() const = 0;

    // True when requests may go out before the answers to earlier ones have come: the
    // link carries them in order and the module, with its receive queue, answers each
    // in turn. The local link stays one request, one answer.
    virtual bool may_send_ahead() const { return false; }

    // True while an exchange waits for its answer and lets the GUI handle its events
    // meanwhile (the relay link's long waits): an action started from such an event
    // would run inside that exchange. The GUI asks module_link_busy(), which also
    // covers a local flash.
    virtual bool busy() const { return false; }
};
