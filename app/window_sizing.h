// Whether the main window gets its fixed size or is maximised, from the work areas
// of the display's monitors.
#pragma once

#include <vector>

#include "platform/monitors.h"

using platform::WorkArea;

constexpr int MAIN_AREA_WIDTH = 880;
constexpr int MAIN_AREA_HEIGHT = 675;

// True when the smallest work-area width is at least 880 and the smallest height at
// least 675 (widths and heights compared separately; both start at 10000).
bool fits_fixed_size(const std::vector<WorkArea>& areas);
