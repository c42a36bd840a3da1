// The AUTOFLASH watch's decision, kept apart from the folder and the clock: which file,
// if any, to flash on this look at the folder. No GTK here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_times.h"

// A file is flashed only once it has not been written to for more than this long
// (100 ns units): one still being copied is left for a later look.
constexpr uint64_t AUTOFLASH_SETTLE_TIME = 29999999;

struct AutoflashState {
    std::string folder;             // UTF-8; empty while nothing is watched
    uint64_t newest_time = 0;       // newest write time seen; 0 before the first look
    std::string path;               // the newest file, handed to the flash
    uint64_t due_time = 0;          // a file left to settle is looked at again from then; 0 none
    std::string unreadable_path;    // the last file that could not be opened, reported once
    uint64_t unreadable_time = 0;   // its write time when it was reported
};

// How a try at flashing a file ended.
enum class AutoflashTry {
    DONE,        // handled: programmed, or failed with a message
    BAD_FILE,    // too small or corrupt; nothing shown
    NOT_OPENED,  // could not be opened (reported when asked to)
};

// Flashes the file at `path`; says "Error opening file" only when `report_not_opened`.
using AutoflashFlash = AutoflashTry (*)(const char* path, bool report_not_opened);

// Whether the folder must be listed now: at the first look, when the platform said it
// changed, or once a file left to settle is due.
bool autoflash_due(const AutoflashState& state, bool folder_changed, uint64_t now);

// One look at the folder's ".bin" files at time `now`. Calls `flash` at most once,
// for the newest file that arrived since the last look and has settled. Files present
// at the first look are only recorded. A bad file, or one not settled yet, is tried
// again at a later look; a file that cannot be opened is reported once for each write
// time it has.
void autoflash_look(AutoflashState& state, const std::vector<platform::FileStamp>& files, uint64_t now,
                    AutoflashFlash flash);
