// The module's configuration memory as the tool sees it: the thirteen pins with their
// places in memory, the signal, trigger and I/O tables, the default image, and the
// conversion of one pin's bytes to the editor's list positions and back. No GTK.
#pragma once

#include <array>
#include <cstdint>

constexpr int PIN_COUNT = 13;

// Pins in the fixed order every per-pin array uses.
enum PinIndex { PIN_J1_3, PIN_J1_4, PIN_J2_2, PIN_J2_3, PIN_J2_4, PIN_J2_5, PIN_J2_6,
                PIN_J2_7, PIN_J2_8, PIN_J2_9, PIN_J2_10, PIN_J2_11, PIN_J2_12 };

// One I/O bit of a pin: the mask bits at an address; address 0 means the pin has no
// bit for that pattern position.
struct IoBit {
    uint8_t address;
    uint8_t mask;
};

struct PinMapRow {
    const char* key;        // "J1_3" ... "J2_12", as in configuration files
    uint8_t output_slot;    // signal byte when the pin outputs a signal
    uint8_t input_slot;     // signal byte when the pin takes a SEND_ command
    uint8_t trigger;        // trigger byte
    uint8_t alt_trigger;    // read when the trigger byte is 0
    bool fiat_tx;           // the signal list offers Fiat_TX
    IoBit io_bits[6];       // pattern bits 5, 4, 3, 2, 1, 0
};

extern const PinMapRow PinMap[PIN_COUNT];

// J1-3 and J1-4 have no I/O bits; J2-2, J2-3 and J2-12 offer only some I/O types.
bool pin_has_io_bits(int pin);
bool pin_is_limited(int pin);

// The pin area, addresses 0x81..0xDC, held in an array indexed by address.
constexpr int PIN_AREA_FIRST = 0x81;
constexpr int PIN_AREA_SIZE = 92;
using ConfigImage = std::array<uint8_t, 256>;

// Blank values: 0x80 up to 0xAF, 0x00 from 0xB0 on.
ConfigImage blank_image();
ConfigImage default_image();
extern const uint8_t DEFAULT_PIN_AREA[PIN_AREA_SIZE];
constexpr int DEFAULT_CAN_LEVEL = 3;
constexpr int DEFAULT_VEHICLE_NUMBER = 0;

// Signals by list position. Position 0 is "none" (message 83); on Fiat_TX pins
// position 32 is "Fiat_TX" and REVERSE_LIGHT moves to 33.
constexpr uint8_t SIGNAL_NONE = 0x80;
constexpr uint8_t SIGNAL_INVERTED = 0x40;
int signal_count(int pin);
// The signal's name; position 0 gives nullptr (the caller shows message 83).
const char* signal_name(int pin, int position);
uint8_t signal_code(int pin, int position);
// SEND_ signals (codes 0x18..0x20) give the pin the input role.
bool signal_is_input(int pin, int position);

// Triggers by list position: "level" ... "edge+4.3s".
constexpr int TRIGGER_COUNT = 31;
const char* trigger_name(int position);
uint8_t trigger_code(int position);

enum PinRole { ROLE_OUTPUT, ROLE_INPUT };

// The I/O list of a pin for a role and view: its labels and how many there are.
int io_list_count(int pin, PinRole role, bool advanced);
const char* io_list_label(int pin, PinRole role, bool advanced, int position);

// The advanced view's I/O position of a compact view's I/O choice (0: Input+ or
// Output+, else Input- or Output-) for the role of `signal`; -1 when the pin does not
// offer it.
int advanced_io_position(int pin, int signal, int compact_io);

// One pin's choices as the editor shows them: list positions.
struct PinSetting {
    int signal = 0;
    bool inverted = false;
    int io = 0;       // position in the pin's own I/O list for the view
    int trigger = 0;
};

// The values last read from the module, written to it or loaded from a file; -1 where
// a choice does not apply. A choice that differs from its reference is marked red.
struct PinReference {
    int signal = -1;
    int inverted = -1;
    int io = -1;
    int trigger = -1;
};

extern PinReference pin_references[PIN_COUNT];
extern int device_can_level;
extern int vehicle_number;

// The pin's choices in an image, and the role the image gives it. With `advanced`
// off, inversion reads as off and I/O and trigger map to the compact lists (the
// trigger then is the pin's fixed compact one). With signal 0 only `signal` means
// anything; in the input role `trigger` is 0 and does not apply (the editor keeps the
// trigger choice and reference it had).
PinSetting decode_image(const ConfigImage& image, int pin, bool advanced, PinRole* role);

// Writes the pin's bytes for `setting` into the image and returns the references the
// write gives the pin.
PinReference encode_image(ConfigImage& image, int pin, const PinSetting& setting, bool advanced);

// The whole pin area as a write sends it: a blank image with every pin's choices
// encoded, so that no byte of an earlier configuration (a second trigger byte, a bit
// no choice sets) survives. `references` (PIN_COUNT, may be null) receives each pin's.
ConfigImage encode_pin_area(const PinSetting settings[PIN_COUNT], bool advanced, PinReference* references);
