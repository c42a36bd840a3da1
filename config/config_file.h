// Saving the editor's configuration to a ".cfg" file and loading one back into the
// editor (not into the module: "Save" in the editor writes it there).
#pragma once

// Tools menu: asks for a file name and saves the editor's configuration to it.
// Without an editor (no module connected) it says "No USB device found." instead.
void save_config_file();

// Tools menu: asks for a file and loads it into the editor. Without an editor it
// says "No USB device found." instead.
void load_config_file();

// The work behind the choosers, for a path already chosen (save_config_file has
// added ".cfg" where needed). Both require an editor and return false without one;
// otherwise they report their outcome to the user ("Configuration saved.",
// "Configuration loaded successfully." or the file error) and return whether it
// succeeded. An empty file loads nothing, says nothing and gives false.
bool save_config_to_path(const char* path);
bool load_config_from_path(const char* path);
