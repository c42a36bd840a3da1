// The bootloader exchanges of a firmware update.
#include "firmware/bootloader.h"

#include "platform/clock.h"

namespace {

constexpr uint8_t COMMAND_TO_BOOTLOADER = 0x10;
constexpr uint8_t REPLY_TO_BOOTLOADER = 0x03;

constexpr uint8_t BOOT_LISTEN = '0';
constexpr uint8_t BOOT_IDENTIFY = '5';
constexpr uint8_t BOOT_FINISH = '3';
constexpr uint8_t ANSWER_LISTENING = '1';
constexpr uint8_t ANSWER_BLOCK_WRITTEN = 'z';

// Sends a one-character command and waits for any answer.
bool boot_command(FrameLink& link, uint8_t command, int read_attempts) {
    return link.boot_send(&command, 1) && link.boot_read(read_attempts);
}

void report(const FlashProgress& progress, int permille) {
    if (progress.report) progress.report(progress.context, permille);
    platform::sleep_ms(PROGRESS_PAUSE_MS);
}

// Up to BLOCK_TRIES tries of one block.
bool write_block_with_retries(FrameLink& link, const uint8_t* block) {
    for (int attempt = 0; attempt < BLOCK_TRIES; ++attempt)
        if (boot_write_block(link, block)) return true;
    return false;
}

// Between the looks for a module that left the bus: the progress stays at its start.
bool report_start(void* progress) {
    const auto* p = static_cast<const FlashProgress*>(progress);
    if (p->report) p->report(p->context, 0);
    return true;
}

}  // namespace

bool request_bootloader(FrameLink& link) {
    link.send_frame(COMMAND_TO_BOOTLOADER, nullptr, 0);
    for (int poll = 0; poll < SWITCH_REPLY_POLLS; ++poll)
        if (link.poll_frame() && link.reply().bytes[1] == REPLY_TO_BOOTLOADER) return true;
    return false;
}

bool boot_handshake(FrameLink& link, const FlashProgress* progress) {
    for (int attempt = 0; attempt < HANDSHAKE_TRIES; ++attempt) {
        if (!link.is_open() &&
            find_module_after_flash(link, BOOTLOADER_LOOKS, BOOTLOADER_LOOK_PAUSE_MS,
                                    progress ? report_start : nullptr, const_cast<FlashProgress*>(progress),
                                    RestartedInto::ANY) == 0)
            return false;
        if (boot_command(link, BOOT_LISTEN, HANDSHAKE_READ_ATTEMPTS) && link.reply().bytes[0] == ANSWER_LISTENING)
            return true;
    }
    return false;
}

BootIdentity boot_identify(FrameLink& link, uint8_t hardware_id_0, uint8_t hardware_id_1) {
    if (!boot_command(link, BOOT_IDENTIFY, IDENTIFY_READ_ATTEMPTS)) return BootIdentity::NO_ANSWER;
    const ReplyRecord& reply = link.reply();
    const uint8_t* answer = reply.bytes;
    if (reply.length < 2 || answer[0] != 0x01 || answer[1] != 0x00) return BootIdentity::NO_ANSWER;
    // An answer without the id bytes names no hardware; the bytes after it in the
    // record are left over from earlier answers.
    if (reply.length < 4) return BootIdentity::MISMATCH;
    if (answer[2] != hardware_id_0 || answer[3] != hardware_id_1) return BootIdentity::MISMATCH;
    return BootIdentity::MATCH;
}

bool boot_write_block(FrameLink& link, const uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE]) {
    if (!link.boot_send(block, FIRMWARE_BLOCK_MESSAGE_SIZE)) return false;
    platform::sleep_ms(BLOCK_ANSWER_PAUSE_MS);
    return link.boot_read(BLOCK_READ_ATTEMPTS) && link.reply().bytes[0] == ANSWER_BLOCK_WRITTEN;
}

bool boot_finish(FrameLink& link) { return boot_command(link, BOOT_FINISH, FINISH_READ_ATTEMPTS); }

FlashResult program_firmware(FrameLink& link, const FirmwareImage& image, const FlashProgress& progress,
                             int* blocks_written) {
    if (blocks_written) *blocks_written = 0;
    request_bootloader(link);
    platform::sleep_ms(SWITCH_PAUSE_MS);
    if (!boot_handshake(link, &progress)) return FlashResult::WRITE_ERROR;
    switch (boot_identify(link, image.bytes[FIRMWARE_HARDWARE_ID_OFFSET], image.bytes[FIRMWARE_HARDWARE_ID_OFFSET + 1])) {
    case BootIdentity::MATCH:
        break;
    case BootIdentity::NO_ANSWER:
        return FlashResult::WRITE_ERROR;
    case BootIdentity::MISMATCH:
        return FlashResult::INCOMPATIBLE;
    }
    uint8_t block[FIRMWARE_BLOCK_MESSAGE_SIZE];
    const int blocks = firmware_block_count(image.size);
    for (int i = 0; i < blocks; ++i) {
        const int offset = FIRMWARE_FIRST_OFFSET + i * FIRMWARE_BLOCK_SIZE;
        report(progress, firmware_progress_permille(offset, image.size));
        build_firmware_block(image, offset, block);
        if (!write_block_with_retries(link, block)) return FlashResult::WRITE_ERROR;
        if (blocks_written) ++*blocks_written;
    }
    report(progress, 1000);
    return boot_finish(link) ? FlashResult::PROGRAMMED : FlashResult::WRITE_ERROR;
}

int find_module_after_flash(FrameLink& link, int looks, int pause_ms, bool (*between)(void*), void* context,
                            RestartedInto wanted) {
    bool bootloader = false;
    for (int look = 0; look < looks; ++look) {
        switch (link.open()) {
        case 1:
            return 1;
        case 2:
            if (wanted == RestartedInto::ANY) return 2;
            // A restarting module may still show its bootloader for a moment.
            bootloader = true;
            link.close();
            break;
        default:
            break;
        }
        platform::sleep_ms(uint64_t(pause_ms));
        if (between && !between(context)) break;
    }
    return bootloader ? 2 : 0;
}
