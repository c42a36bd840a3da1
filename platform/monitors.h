// The work areas of the display's monitors (the screen less panels and docks).
#pragma once

#include <vector>

namespace platform {

struct WorkArea {
    int width;
    int height;
};

// One work area per monitor of the default screen; empty without a display.
std::vector<WorkArea> monitor_work_areas();

}  // namespace platform
