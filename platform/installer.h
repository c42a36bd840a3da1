// The update's installer as this platform takes it: the package file the update
// server offers for a version, and how the downloaded file is opened.
#pragma once

#include <cstddef>

namespace platform {

// The Debian package of this build's architecture for version MAJOR.MINOR.0, named as
// the packaging names its packages: "qv450_MAJOR.MINOR.0-1_ARCH.deb" (ARCH as dpkg
// calls it, "amd64" say). Cut to fit `size` with its terminator.
void installer_file_name(char* out, size_t size, int major, int minor);

// Hands the downloaded package to the desktop's package installer (xdg-open). False
// when nothing can open it: xdg-open is missing, or it ends with a failure within
// INSTALLER_OPEN_CHECK_MS (no program for such files).
constexpr int INSTALLER_OPEN_CHECK_MS = 2000;
bool open_installer(const char* path);

}  // namespace platform
