// Opening a file with the desktop's default handler.
#pragma once

namespace platform {

// Starts "xdg-open PATH" in a session of its own. False when it cannot be started,
// or when it ends with a failure within `wait_ms` (measured on the platform clock);
// still running after that counts as opened (the handler may run for long).
bool open_with_desktop(const char* path, int wait_ms = 0);

}  // namespace platform
