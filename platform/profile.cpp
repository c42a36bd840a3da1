// The user's profile folder from the environment.
#include "platform/profile.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace platform {

const char* profile_folder() {
    for (const char* variable : {"USERPROFILE", "HOME"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return nullptr;
}

bool profile_file_path(const char* name, char* path, size_t capacity) {
    if (capacity == 0) return false;
    path[0] = '\0';
    const char* folder = profile_folder();
    if (!folder) return false;
    const int length = std::snprintf(path, capacity, "%s/%s", folder, name);
    if (length < 0 || size_t(length) >= capacity) {
        path[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace platform
