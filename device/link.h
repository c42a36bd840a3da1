// The link to the module over USB HID: the one open device, the frame protocol spoken
// by the application firmware, and the raw boot transfer spoken by the bootloader.
#pragma once

#include <cstdint>

#include "device/frame_link.h"
#include "device/hid_backend.h"

constexpr uint16_t MODULE_VENDOR_ID = 0x12AA;
// Tried in this order; the product string, not the id, decides the link mode.
constexpr uint16_t MODULE_PRODUCT_IDS[3] = {0xF1F7, 0xF1F5, 0xF1F4};

// At most 1007 received characters may pile up before a frame is complete.
constexpr int RX_TEXT_LIMIT = 1007;

// Report sizes: output reports carry the report id in front.
constexpr int OUTPUT_REPORT_SIZE = 9;
constexpr int INPUT_REPORT_SIZE = 8;
constexpr int REPORT_PAYLOAD = 7;

// The one open module.
struct DeviceLink {
    HidDevice* handle = nullptr;  // nullptr when closed
    int mode = LINK_NONE;         // LinkMode
    char rx_text[1024] = {};      // frame text received and not yet decoded
    int rx_fill = 0;              // characters in rx_text
    bool rx_pending = false;      // rx_text holds text that followed the last decoded frame
};

extern DeviceLink device_link;
extern ReplyRecord reply_record;

// Where the link hands the texts the module sends on its own (reply code 0xFF) when it
// takes them: the program points it at the event log. Null: they are dropped.
struct LinkHooks {
    void (*event_text)(const uint8_t* text, int count) = nullptr;
};
extern LinkHooks link_hooks;

// Starts the HID library; on failure prints "ERROR: hid_init" and exits with status 1.
void link_init();

// Waits 40 ms, then opens the first module found. Returns 0 when none was found (or
// the device's product string is not one of ours: it is closed again), 1 for the
// application firmware (LINK_PROGRAMMER or LINK_USBIC), 2 for the bootloader.
int link_open();

// The device node of a module that the last link_open found attached but could not
// open for want of permission; empty when it found none such.
const char* link_refused_node();
// What such a user is told, and what to do about it.
constexpr const char* MODULE_ACCESS_REFUSED = "a QV450 module is attached, but this user may not open it";
constexpr const char* MODULE_ACCESS_ADVICE =
    "install the qv450 package, whose udev rule lets the user at the seat and the plugdev group open it, "
    "then plug it in again";

// Closes the device if one is open; mode becomes LINK_NONE. Received text survives.
void link_close();

bool link_is_open();

// The link as the program starts with it: no device (the handle is forgotten, not
// closed: it may belong to a backend that is gone), no received text, no reply, event
// texts handed to link_hooks. For tests that change backends between cases.
void reset_link();

// The received text the link holds: characters not yet decoded, and whether they
// follow the last decoded frame (so that the next poll_frame reads them without a poll).
int link_text_count();
bool link_text_pending();

// Sends one frame (command, n data bytes, n <= FRAME_MAX_DATA) as chunks. Does nothing
// without a device or with too many data bytes; a failed write closes the device.
void send_frame(uint8_t command, const uint8_t* data, int n);

// Writes one poll report and pauses 10 ms. 0 on success or without a device; -1 when
// the write failed (the device has been closed).
int send_poll();

// Reads and decodes one frame into reply_record. False on time-out, without a device,
// or when too much text piled up. Event texts (reply code 0xFF) go to
// link_hooks.event_text, and reading goes on after them, unless the local link returns
// them (RawHidLink::return_event_texts).
bool read_frame();

// Reads the frame left over from the last transmission, or polls and reads one.
bool poll_frame();

// Polls until nothing more comes; the frames are discarded (event texts are logged).
void drain_frames();

// drain_frames, then send_frame: a stale reply is never taken for the answer.
void send_command(uint8_t command, const uint8_t* data, int n);

// Raw boot transfer.
constexpr int BOOT_SEGMENT_SIZE = 126;

// Writes n <= 126 bytes as one segment; `last` marks the message's final segment.
// A failed write closes the device and gives false. Pauses 12 ms afterwards.
bool boot_send_segment(const uint8_t* data, int n, bool last);

// Sends a whole message in segments, waiting for the bootloader's ready after each
// segment but the last. False at the first failure.
bool boot_send(const uint8_t* data, int count);

// Asks up to 10 times whether the bootloader is ready for the next segment.
bool boot_wait_ready();

// Makes up to attempts - 1 polls for a raw answer; the first report with data lands
// in reply_record (bytes 0.. and length). False when none came.
bool boot_read(int attempts);

// A module on this computer's USB with the raw side of its HID device: what the
// remote-access relay carries out for a far side that speaks to the reports itself.
class RawHidLink : public FrameLink {
public:
    // Writes one output report as given (byte 0 the report id): the count written, -1
    // on failure or without a device. A failure leaves the device open.
    virtual int write_raw_report(const uint8_t* report, int n) = 0;
    // Reads one input report of at most n bytes, waiting for one while reads block: the
    // count, 0 when none is waiting, -1 on failure or without a device.
    virtual int read_raw_report(uint8_t* report, int n) = 0;
    // Makes raw reads wait for a report, as they do after opening.
    virtual void set_blocking_reads() = 0;
    // While set, poll_frame returns event texts like any other frame instead of handing
    // them to link_hooks.
    virtual void return_event_texts(bool returned) = 0;
};

// The local link: the program-wide DeviceLink over the HID backend.
RawHidLink& local_link();
