// The installer on Debian: the package file name and xdg-open.
#include "platform/installer.h"

#include <cstdio>

#include "platform/desktop_open.h"

// The architecture dpkg names this build's packages with; the build sets it.
#ifndef QV450_DEBIAN_ARCH
#define QV450_DEBIAN_ARCH "amd64"
#endif

namespace platform {
namespace {

constexpr char PACKAGE_NAME[] = "qv450";
// A release's package is its version's first Debian revision.
constexpr int PACKAGE_REVISION = 1;

}  // namespace

void installer_file_name(char* out, size_t size, int major, int minor) {
    std::snprintf(out, size, "%s_%d.%d.0-%d_%s.deb", PACKAGE_NAME, major, minor, PACKAGE_REVISION,
                  QV450_DEBIAN_ARCH);
}

bool open_installer(const char* path) { return open_with_desktop(path, INSTALLER_OPEN_CHECK_MS); }

}  // namespace platform
