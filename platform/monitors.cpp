// Monitor work areas from GDK: each monitor's geometry within the desktop's work area
// (_NET_WORKAREA, when a window manager publishes one).
#include "platform/monitors.h"

#include <gdk/gdk.h>

namespace platform {

namespace {

// The work area the window manager publishes for the first desktop, if any.
bool desktop_work_area(GdkScreen* screen, GdkRectangle* area) {
    GdkAtom type = GDK_NONE;
    gint format = 0;
    gint length = 0;
    guchar* data = nullptr;
    const gboolean found = gdk_property_get(gdk_screen_get_root_window(screen),
                                            gdk_atom_intern("_NET_WORKAREA", FALSE),
                                            gdk_atom_intern("CARDINAL", FALSE), 0, 4, FALSE, &type,
                                            &format, &length, &data);
    // Format 32 properties arrive as longs.
    const bool usable = found && data && format == 32 && length >= int(4 * sizeof(long));
    if (usable) {
        const long* values = reinterpret_cast<const long*>(data);
        *area = GdkRectangle{int(values[0]), int(values[1]), int(values[2]), int(values[3])};
    }
    g_free(data);
    return usable;
}

}  // namespace

std::vector<WorkArea> monitor_work_areas() {
    std::vector<WorkArea> areas;
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen) return areas;
    GdkRectangle desktop{0, 0, gdk_screen_get_width(screen), gdk_screen_get_height(screen)};
    desktop_work_area(screen, &desktop);
    const int count = gdk_screen_get_n_monitors(screen);
    for (int i = 0; i < count; ++i) {
        GdkRectangle monitor{};
        gdk_screen_get_monitor_geometry(screen, i, &monitor);
        GdkRectangle work{};
        if (!gdk_rectangle_intersect(&monitor, &desktop, &work)) continue;
        areas.push_back({work.width, work.height});
    }
    return areas;
}

}  // namespace platform
