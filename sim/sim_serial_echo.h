// What the simulated module's serial port does with the bytes it receives: it sends
// them straight back.
#pragma once

// Echoes every byte waiting on the non-blocking descriptor `fd` back to it. When the
// far end reads too slowly the rest is lost, as on a wire.
void echo_serial_bytes(int fd);
