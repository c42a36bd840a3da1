// Programming a firmware image through the module's bootloader: one function per
// bootloader command, each with its own retry count, and the whole sequence with
// progress reported to the caller. Every step runs on the frame link it is given (the
// local HID link, or the relay seen from the operator's tool); no GTK here.
#pragma once

#include <cstdint>

#include "device/frame_link.h"
#include "firmware/firmware_image.h"

// Tries of the handshake, polls per answer, and tries per block.
constexpr int SWITCH_REPLY_POLLS = 19;
constexpr int SWITCH_PAUSE_MS = 100;
constexpr int HANDSHAKE_TRIES = 24;
constexpr int HANDSHAKE_READ_ATTEMPTS = 20;
constexpr int IDENTIFY_READ_ATTEMPTS = 30;
constexpr int BLOCK_READ_ATTEMPTS = 90;
constexpr int BLOCK_ANSWER_PAUSE_MS = 10;
constexpr int BLOCK_TRIES = 12;
constexpr int FINISH_READ_ATTEMPTS = 100;
constexpr int PROGRESS_PAUSE_MS = 10;
// A module on USB leaves the bus at the hand-over and comes back as its bootloader:
// how often, and how far apart, the handshake looks for it again.
constexpr int BOOTLOADER_LOOKS = 50;
constexpr int BOOTLOADER_LOOK_PAUSE_MS = 60;

// Sends command 0x10 (hand over to the bootloader) and polls up to 19 times for reply
// code 0x03. True when it came; the caller goes on either way, since a module already
// in its bootloader does not answer.
bool request_bootloader(FrameLink& link);

// Told the progress in thousandths (0..1000) before each block and at the end; the
// GUI shows it and processes its events.
struct FlashProgress {
    void (*report)(void* context, int permille) = nullptr;
    void* context = nullptr;
};

// "0" until the bootloader answers '1', at most 24 times. While the link is closed (the
// module left the bus to come back as its bootloader) it is opened again first; the
// looking takes up to 3 s, so `progress` (may be null) is told 0 between the looks, for
// a GUI to keep drawing.
bool boot_handshake(FrameLink& link, const FlashProgress* progress = nullptr);

enum class BootIdentity {
    MATCH,     // answered 0x01 0x00 and the image's hardware id
    NO_ANSWER, // no answer, or one that does not start with 0x01 0x00
    MISMATCH,  // another hardware id (or none in the answer)
};

// "5": the bootloader's hardware identification, compared with the two given bytes.
BootIdentity boot_identify(FrameLink& link, uint8_t hardware_id_0, uint8_t hardware_id_1);

// One try of one 1028-byte block: true when the bootloader answered 'z'.
bool boot_write_block(FrameLink& link, const uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE]);

// "3": the end of programming. True when the bootloader answered at all.
bool boot_finish(FrameLink& link);

enum class FlashResult {
    PROGRAMMED,    // every block acknowledged and the end answered
    WRITE_ERROR,   // handshake, identification, a block or the end failed
    INCOMPATIBLE,  // the bootloader reports another hardware id than the image
};

// The whole programming sequence for a checked image, from the hand-over request to
// the end of programming. The link is left as it is (open or closed); the caller
// closes it. `blocks_written` (optional) receives the number of acknowledged blocks.
FlashResult program_firmware(FrameLink& link, const FirmwareImage& image, const FlashProgress& progress,
                             int* blocks_written = nullptr);
// What a module that restarts is looked for as: its application firmware (after a
// flash), or whatever it comes back as (after the hand-over to its bootloader).
enum class RestartedInto { APPLICATION, ANY };
// The module restarts after a flash (into its new firmware, or its bootloader when
// the flash did not end), and a module on USB also at the hand-over, where it leaves
// the bus and comes back as its bootloader: looks for it with link.open() up to
// `looks` times, `pause_ms` apart, running `between` (may be null) after each pause,
// for a GUI to process its events; `between` returning false stops the looking (a
// broken relay). 1 once the application firmware is open; 2 once the bootloader is
// open when `wanted` is ANY; else 2 when only the bootloader was seen (the link then
// closed), 0 when nothing was.
constexpr int RESTART_LOOKS = 50;
constexpr int RESTART_PAUSE_MS = 100;
int find_module_after_flash(FrameLink& link, int looks = RESTART_LOOKS, int pause_ms = RESTART_PAUSE_MS,
                            bool (*between)(void*) = nullptr, void* context = nullptr,
                            RestartedInto wanted = RestartedInto::APPLICATION);

