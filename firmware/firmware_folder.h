// The firmware folder the settings remember (file choosers and the AUTOFLASH folder).
#pragma once

// Makes `folder` the remembered firmware folder and saves the settings. A folder too
// long to keep is not remembered; the old one stays.
void remember_firmware_folder(const char* folder);
