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
    std::string folder;         // UTF-8; empty while nothing is watched
    uint64_t newest_time = 0;   // newest write time seen; 0 before the first look
    std::string path;           // the newest file, handed to the flash
};

// One look at the folder's ".bin" files at time `now`. Calls `flash` (the flash of a
// given file: 1 when handled, 0 when the file was unreadable or bad) at most once,
// for the newest file that arrived since the last look and has settled. Files present
// at the first look are only recorded. A bad file, or one not settled yet, is tried
// again at the next look.
void autoflash_look(AutoflashState& state, const std::vector<platform::FileStamp>& files, uint64_t now,
                    int (*flash)(const char* path));
