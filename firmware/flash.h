// Replacing the module's firmware through its bootloader.
#pragma once

enum FlashMode {
    FLASH_CHOOSER_OPEN,  // file chooser; a module must be open
    FLASH_CHOOSER,       // file chooser; no module test (the bootloader is open)
    FLASH_GIVEN_FILE,    // the file at `path`
};

// 1 when the request was handled (programmed, failed with a message, or cancelled);
// 0 in FLASH_GIVEN_FILE mode when the file was missing, too small or corrupt.
int flash_firmware(FlashMode mode, const char* path = nullptr);
