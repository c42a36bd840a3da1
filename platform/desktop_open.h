// Opening a file with the desktop's default handler.
#pragma once

namespace platform {

// Starts "xdg-open PATH" in a session of its own, not waiting for it. False when it
// cannot be started.
bool open_with_desktop(const char* path);

}  // namespace platform
