// Automatic flashing of every firmware file that arrives in a watched folder.
#pragma once

// Asks for the folder to watch (Control+Alt+F in the main window).
void choose_autoflash_folder();

// True once a folder is being watched.
bool autoflash_folder_set();

// One look at the folder; called by the main loop while a module is open.
void autoflash_watch();
