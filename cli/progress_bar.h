// Progress of a long transfer on standard error: a bar redrawn in place on a
// terminal, a plain line every tenth otherwise (logs and pipes keep no carriage
// returns).
#pragma once

#include <cstdio>

#include "firmware/bootloader.h"

struct ProgressBar {
    FILE* out = nullptr;    // nothing is printed when null
    bool terminal = false;  // redraw one line instead of printing lines
    const char* label = "flash";
    int shown = -1;         // the last tenth (plain) or percent (terminal) printed
};

// A bar on `out`, drawn for a terminal when `out` is one.
ProgressBar progress_bar_for(FILE* out, const char* label);

// Shows `permille` (0..1000); the end finishes the line.
void show_progress(ProgressBar& bar, int permille);

// The bootloader transfer's progress callback for a ProgressBar.
FlashProgress flash_progress_to(ProgressBar& bar);
