// Asking the update server whether another version of the tool exists, and
// downloading and starting its installer.
#pragma once

// The start-up check: nothing when the settings switch it off or no update server is
// configured. Otherwise asks the server (QV450_UPDATE_SERVER, "host" or "host:port",
// or the build's default) with a progress window; gives the text to show once the
// main window exists (cannot find the server, cannot connect, check error, or where
// the downloaded installer lies when nothing could open it) or nullptr (up to date,
// or the user declined the offered version). After a completed download it opens the
// installer and ends the program instead of returning.
const char* check_for_updates();

// The Tools menu's update toggle: flips settings.check_updates_at_startup, saves the
// settings, gives the toggle item the caption of its next action and, when the check
// is now on, checks at once and shows the outcome.
void toggle_update_check();

// What happens after a download; tests replace it. nullptr goes back to the
// platform's installer opening and ending the program with code 0.
struct InstallerLaunch {
    bool (*open)(const char* path);  // false: nothing could open it
    void (*exit_program)(int code);
};
void set_installer_launch(const InstallerLaunch* launch);
