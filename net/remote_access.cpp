// Remote-access state shared with the link and the main loop.
#include "net/remote_access.h"

namespace {
bool active = false;
}

bool remote_access_active() { return active; }

void set_remote_access_active(bool value) { active = value; }
