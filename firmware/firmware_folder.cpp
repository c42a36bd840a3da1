// The remembered firmware folder.
#include "firmware/firmware_folder.h"

#include <cstring>

#include "settings/settings.h"

namespace {
// settings.firmware_folder points here once a folder has been chosen.
char remembered_folder[4096];
}  // namespace

void remember_firmware_folder(const char* folder) {
    if (!folder || std::strlen(folder) >= sizeof remembered_folder) return;
    std::strcpy(remembered_folder, folder);
    settings.firmware_folder = remembered_folder;
    save_settings();
}
