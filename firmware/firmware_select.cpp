// Firmware selection by version and variant.
#include "firmware/firmware_select.h"

void select_firmware(FirmwareSelectMode) {}
