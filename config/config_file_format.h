// The configuration file's text without the toolkit: its keys for a view, reading
// its lines, lenient integers, writing the text, and the ".cfg" file name rule.
//
// The file: one "key=value" pair per line, lines ended by CR LF, every value a
// decimal integer. Keys in the order written: carnumber, canlevel, then for each pin
// in PinMap order <pin>_signal, <pin>_inv, <pin>_iotype, <pin>_trigger; the compact
// view leaves out _inv and _trigger (28 lines), the advanced view has all (54).
#pragma once

#include <string>
#include <vector>

#include "config/pin_config.h"

enum ConfigKeyKind { KEY_CARNUMBER, KEY_CANLEVEL, KEY_SIGNAL, KEY_INV, KEY_IOTYPE, KEY_TRIGGER };

struct ConfigKey {
    char key[16];        // "J2_12_trigger" is the longest
    ConfigKeyKind kind;
    int pin;             // PinIndex for the pin keys, -1 otherwise
};

constexpr int CONFIG_KEYS_COMPACT = 2 + PIN_COUNT * 2;
constexpr int CONFIG_KEYS_ADVANCED = 2 + PIN_COUNT * 4;
constexpr int CONFIG_KEY_CAPACITY = CONFIG_KEYS_ADVANCED;

// Fills `out` (room for CONFIG_KEY_CAPACITY) with the keys of a view in file order
// and returns how many.
int config_keys(bool advanced, ConfigKey* out);

// Whether a record's key equals a line's key exactly (case and blanks count).
bool config_key_matches(const ConfigKey& record, const char* key, int key_length);

// At most this many bytes of a file are read, and a saved text must fit in it.
constexpr int CONFIG_FILE_MAX = 8192;
// Significant characters of a line (CRs not counted); the rest of a longer line is
// ignored.
constexpr int CONFIG_LINE_MAX = 255;

// One line that holds an "=": the text before the first "=" and the text after it.
struct ConfigLine {
    int number;                      // the line's number in the file, from 1
    char key[CONFIG_LINE_MAX + 1];
    int key_length;                  // bytes of key; a zero byte in a key is kept
    char value[CONFIG_LINE_MAX + 1]; // up to a zero byte or malformed UTF-8, so it
                                     // is always valid UTF-8 text
};

// Reads the lines of a file's bytes: lines end at LF, every CR is dropped, the last
// line counts without a final LF. Lines without "=" are skipped; the numbers of those
// that hold more than blanks go to `without_equals` when it is given.
class ConfigLineReader {
public:
    ConfigLineReader(const char* bytes, int count, std::vector<int>* without_equals = nullptr);
    // The next line with an "=", or false at the end of the bytes.
    bool next(ConfigLine* out);

private:
    const char* bytes_;
    int count_;
    int offset_ = 0;
    int line_ = 0;
    std::vector<int>* without_equals_;
};

// A value's integer: leading white space skipped, then an optional sign and the
// decimal digits that follow; anything else ends the number, no digits give 0, and
// a number beyond the int range gives the nearest end of it.
int config_integer_value(const char* text);
// Whether config_integer_value finds digits in the text, rather than giving 0 for none.
bool config_value_is_number(const char* text);

// The file text for the keys and their values (same order): "key=value" lines ended
// by CR LF, written into `out` (`size` bytes, terminated). Returns the length, or -1
// when the text would exceed CONFIG_FILE_MAX bytes or `size`.
int format_config_text(const ConfigKey* keys, const int* values, int count, char* out, int size);

// The file name to save to: `chosen` as it is when it ends with ".cfg" or ".CFG"
// (exactly these two forms), otherwise `chosen` followed by ".cfg".
std::string config_file_name(const char* chosen);
