// Report-level helpers shared by the simulated firmware and bootloader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Output report control bytes that are not data: a poll (0x60) and the bootloader's
// ready query (0x20). Data reports never have bit 5 set.
inline bool sim_is_poll(uint8_t control) { return (control & 0x20) && (control & 0x40); }
inline bool sim_is_ready_query(uint8_t control) { return (control & 0x20) && !(control & 0x40); }
inline int sim_payload_count(uint8_t control) { return (control >> 1) & 0x07; }

// The frame text the module sends: "!", length, code, data, checksum, "#".
std::string sim_frame_text(uint8_t code, const std::vector<uint8_t>& data, bool corrupt);

// Decodes a frame text sent by the host. False for anything but a valid frame.
bool sim_parse_frame(const std::string& text, uint8_t* command, std::vector<uint8_t>* data);
