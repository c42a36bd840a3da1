// The tool's private cache folder.
#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

bool make_folder(const char* path) { return mkdir(path, 0700) == 0 || errno == EEXIST; }

bool fail(char* path) {
    path[0] = '\0';
    return false;
}

}  // namespace

bool private_cache_folder(char* path, size_t size) {
    if (size == 0) return false;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    char base[1024];
    int n;
    if (cache && cache[0] == '/') {
        n = std::snprintf(base, sizeof base, "%s", cache);
    } else if (home && home[0] == '/') {
        n = std::snprintf(base, sizeof base, "%s/.cache", home);
    } else {
        return fail(path);
    }
    if (n < 0 || size_t(n) >= sizeof base || !make_folder(base)) return fail(path);
    n = std::snprintf(path, size, "%s/qv450", base);
    if (n < 0 || size_t(n) >= size || !make_folder(path)) return fail(path);

    struct stat st {};
    if (lstat(path, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return fail(path);
    if ((st.st_mode & 077) != 0 && chmod(path, 0700) != 0) return fail(path);
    return true;
}

}  // namespace platform
