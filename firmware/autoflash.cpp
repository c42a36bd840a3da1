// Watching a folder for new firmware files.
#include "firmware/autoflash.h"

void choose_autoflash_folder() {}

bool autoflash_folder_set() { return false; }

void autoflash_watch() {}
