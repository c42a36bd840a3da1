// The frame-link operations every transport shares.
#include "device/frame_link.h"

void FrameLink::drain_frames() {
    while (poll_frame()) {
    }
}

void FrameLink::send_command(uint8_t command, const uint8_t* data, int n) {
    drain_frames();
    send_frame(command, data, n);
}
