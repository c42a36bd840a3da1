// Replacing the module's firmware through its bootloader: the file, its check, the
// progress window and the result message.
#pragma once

#include <glib.h>

enum FlashMode {
    FLASH_CHOOSER_OPEN,  // file chooser; a module must be open
    FLASH_CHOOSER,       // file chooser; no module test (the bootloader is open)
    FLASH_GIVEN_FILE,    // the file at `path`
};

// 1 when the request was handled (programmed, failed with a message, or cancelled);
// 0 in FLASH_GIVEN_FILE mode when the file was missing, too small or corrupt.
int flash_firmware(FlashMode mode, const char* path = nullptr);

// How a flash of a given file ended, for callers that tell the user more than
// flash_firmware's result does.
enum class FlashOutcome {
    NOT_OPENED,  // the file could not be opened ("Error opening file %s !" was shown)
    BAD_FILE,    // too small or corrupt; nothing was sent and nothing shown
    PROGRAMMED,  // programmed; "Successfully programmed device." was shown and closed unless quiet
    FAILED,      // the failure message was shown and closed
};

// What flash_given_file leaves unsaid, for callers that say it their own way.
enum FlashQuiet {
    FLASH_TELL_ALL = 0,
    FLASH_QUIET_NOT_OPENED = 1,  // no "Error opening file %s !"
    FLASH_QUIET_SUCCESS = 2,     // no "Successfully programmed device."
};

// flash_firmware in FLASH_GIVEN_FILE mode, with the detailed outcome; `quiet` is a
// combination of FlashQuiet flags.
FlashOutcome flash_given_file(const char* path, int quiet = FLASH_TELL_ALL);

// The firmware file chooser ("Select firmware file", one filter with `pattern`),
// opened in the remembered firmware folder; accepting remembers the folder and saves
// the settings. The chosen file (g_free it), or nullptr when cancelled or closed.
gchar* choose_firmware_file(const char* pattern);
