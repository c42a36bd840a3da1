// Remote-access state shared with the link and the main loop.
#include "net/remote_access.h"

#include "ui/dialogs.h"

namespace {
bool active = false;
}

bool remote_access_active() { return active; }

void set_remote_access_active(bool value) { active = value; }

void open_remote_access_window() {
    // The relay window takes the device over: tool windows close first.
    close_tool_windows();
}

void relay_step() {}
