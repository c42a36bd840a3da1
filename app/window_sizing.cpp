// The main window's size rule.
#include "app/window_sizing.h"

bool fits_fixed_size(const std::vector<WorkArea>& areas) {
    int width = 10000;
    int height = 10000;
    for (const WorkArea& area : areas) {
        if (area.width < width) width = area.width;
        if (area.height < height) height = area.height;
    }
    return width >= MAIN_AREA_WIDTH && height >= MAIN_AREA_HEIGHT;
}
