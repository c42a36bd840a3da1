// The floors the benchmarks measure against: the reports an exchange needs at one per
// millisecond each way (the USB timing model), plus the pauses and time-outs the
// protocol itself prescribes.
#pragma once

#include "firmware/bootloader.h"

namespace bench {

constexpr int POLL_PAUSE_MS = 10;    // after each poll report
constexpr int EMPTY_READ_MS = 25;    // the empty answer that ends a drain
constexpr int SEGMENT_PAUSE_MS = 12; // after each boot segment
constexpr int OPEN_DELAY_MS = 40;    // before the module is opened

// Reports a frame with n data bytes takes: 8 + 2n characters, 7 per report.
inline int frame_reports(int data_bytes) { return (8 + 2 * data_bytes + 6) / 7; }

// One acknowledged exchange after a drain: drain poll (one report, pause, empty
// answer), the command frame, one poll and its pause, the reply frame.
inline int exchange_reports(int command_bytes, int reply_bytes) {
    return 1 + frame_reports(command_bytes) + 1 + frame_reports(reply_bytes);
}
inline int exchange_waits() { return POLL_PAUSE_MS + EMPTY_READ_MS + POLL_PAUSE_MS; }

// The configuration read: header, then the three blocks of the pin area.
inline int config_read_reports() {
    return exchange_reports(2, 12) + exchange_reports(2, 34) + exchange_reports(2, 34) + exchange_reports(2, 30);
}
inline int config_read_floor_ms() { return config_read_reports() + 4 * exchange_waits(); }

// The configuration write: the pin area in three blocks, the CAN level, the vehicle
// number, then 0x09 without an answer (no drain between the pin area and the level).
inline int config_write_reports() {
    return exchange_reports(34, 2) + exchange_reports(34, 2) + exchange_reports(30, 2) + exchange_reports(3, 2) +
           exchange_reports(4, 2) + frame_reports(0);
}
inline int config_write_floor_ms() { return config_write_reports() + 5 * exchange_waits(); }

// The identification: a poll that finds nothing, the handshake (0x01, answered 0x07
// with two bytes), then the identity (0x04, answered 0x08 with five), each answer
// taken by the next poll.
inline int identify_floor_ms() {
    return 1 + POLL_PAUSE_MS + EMPTY_READ_MS + frame_reports(0) + 1 + POLL_PAUSE_MS + frame_reports(2) +
           frame_reports(0) + 1 + POLL_PAUSE_MS + frame_reports(5);
}

// One raw command of one byte: its report, the segment pause, one poll and its answer.
constexpr int ONE_BYTE_COMMAND_MS = 1 + SEGMENT_PAUSE_MS + 2;

// A 1028-byte block: 8 full segments of 18 reports and a last one of 3 reports, a
// ready query and its answer after each full segment, a pause after every segment,
// the pause before the answer, one poll and the answer, and the progress step.
inline int block_floor_ms() {
    const int data_reports = 8 * 18 + 3;
    const int ready_reports = 8 * 2;
    return data_reports + ready_reports + 9 * SEGMENT_PAUSE_MS + BLOCK_ANSWER_PAUSE_MS + 2 + PROGRESS_PAUSE_MS;
}

// Command 0x10 (two reports), one poll with its pause and the two-report reply, the
// hand-over pause; "0", "5"; the blocks; the last progress step and "3".
inline int flash_floor_ms(int blocks) {
    const int hand_over = 2 + 1 + POLL_PAUSE_MS + 2 + SWITCH_PAUSE_MS;
    return hand_over + 2 * ONE_BYTE_COMMAND_MS + blocks * block_floor_ms() + PROGRESS_PAUSE_MS + ONE_BYTE_COMMAND_MS;
}

}  // namespace bench
