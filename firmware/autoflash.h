// Automatic flashing of every firmware file that arrives in a watched folder.
#pragma once

// Asks for the folder to watch (Control+Alt+F in the main window).
void choose_autoflash_folder();

// Watches `folder` from now on: remembers it as the firmware folder too, and shows
// "AUTOFLASH" in the main window. What the chooser does on "Open".
void start_autoflash_watch(const char* folder);

// Stops watching and forgets every time seen, as at program start (tests).
void forget_autoflash_watch();

// True once a folder is being watched.
bool autoflash_folder_set();

// One look at the folder; called by the main loop while a module is open.
void autoflash_watch();
