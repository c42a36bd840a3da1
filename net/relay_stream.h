// The relay stream between the fitter's tool and the operator, as both ends read and
// write it: "@" and a letter is a command (operator to tool) or a reply (tool to
// operator); every other byte is a plain byte of the module's serial port, with each
// "@" among them doubled. The tool's side carries the commands out (net/relay.h); the
// operator's side sends them and reads the replies (operator/).
#pragma once

#include <cstdint>
#include <string>

constexpr char RELAY_ESCAPE = '@';

// Command letters, after "@". What follows each, and the reply:
//   '!' '#' 'H'        release the devices / open the serial port / open the HID
//                      device; the state reply "@" and a state character
//   'h' cmd n data     send a frame;  'i' the same after draining event texts
//   'R'                the module's answers: "@R" N bytes each, "@R" 0, or "@!"
//   'f'                the module's text lines "@f" n text..., then "@g"
//   'F' n data         command 0x66, wait for reply code 7;  'G': "@G" and the mark
//   'E' and a second letter, below
constexpr char RELAY_RELEASE = '!';
constexpr char RELAY_OPEN_SERIAL = '#';
constexpr char RELAY_OPEN_HID = 'H';
constexpr char RELAY_SEND_FRAME = 'h';
constexpr char RELAY_SEND_AFTER_EVENTS = 'i';
constexpr char RELAY_COLLECT = 'R';
constexpr char RELAY_TEXT_LINE = 'f';
constexpr char RELAY_TEXT_END = 'g';  // reply only
constexpr char RELAY_F_COMMAND = 'F';
constexpr char RELAY_F_MARK = 'G';
constexpr char RELAY_RAW = 'E';

// Second letters after "@E":
//   '0'               image size 0; "@E0"
//   '1' hi lo bytes   append to the image; "@E1" and the sum modulo 65535, hi lo
//   '2'               blocking raw reads; no reply
//   '3' n bytes       raw report write; "@E3" and the result (0xFF: failed)
//   '4' n             raw report read; "@E4", the count (0xFF: failed) and the bytes
//   '6' hi lo bytes   boot_send; "@E6", or "@EX" on failure
//   '7' n             boot_read; "@E7", length + 1 and the bytes, or "@E7" 0
// Other second letters do nothing and are not answered.
constexpr char RELAY_IMAGE_CLEAR = '0';
constexpr char RELAY_IMAGE_APPEND = '1';
constexpr char RELAY_BLOCKING_READS = '2';
constexpr char RELAY_RAW_WRITE = '3';
constexpr char RELAY_RAW_READ = '4';
constexpr char RELAY_BOOT_SEND = '6';
constexpr char RELAY_BOOT_READ = '7';
constexpr char RELAY_FAILED = 'X';  // "@EX": a boot_send or an image append failed

// State characters, the reply to "@!", "@#" and "@H": the link mode of the open HID
// device; otherwise '#' while the module serial port is open; otherwise '!'. The tool
// also sends "@!" on its own when it leaves the session, and for "@R" while it has no
// application firmware open.
constexpr char RELAY_STATE_PROGRAMMER = '1';  // LINK_PROGRAMMER
constexpr char RELAY_STATE_BOOTLOADER = '2';  // LINK_BOOTLOADER
constexpr char RELAY_STATE_USBIC = '3';       // LINK_USBIC
constexpr char RELAY_STATE_SERIAL = '#';
constexpr char RELAY_STATE_NOTHING = '!';

// The state character for a link mode (LinkMode) and the serial port's state.
char relay_state_character(int link_mode, bool serial_open);
// The link mode a state character names: LINK_NONE for '#' and '!'.
int relay_state_link_mode(char state);
bool is_relay_state_character(char c);

// "@" and a command letter, and a second one after RELAY_RAW, as they are sent.
std::string relay_command(char letter, char second = 0);

// Copies n bytes to `out` with every "@" doubled, as plain bytes travel; `out` holds
// 2 * n bytes. Returns the count written.
int escape_relay_bytes(const uint8_t* bytes, int n, uint8_t* out);
std::string escape_serial(const std::string& data);
