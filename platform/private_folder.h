// A folder of the tool's own under the user's cache folder that only the user can
// enter, for files that must not sit at a predictable name in a shared place.
#pragma once

#include <cstddef>

namespace platform {

// Writes "$XDG_CACHE_HOME/qv450" (or, when that is unset or relative,
// "$HOME/.cache/qv450") into `path`, creating the folders that are missing with mode
// 0700. The tool's folder must be a real folder (not a link) owned by the user; group
// and other permissions are taken away from it. False, with `path` emptied, when
// there is no home, the path does not fit or a check fails.
bool private_cache_folder(char* path, size_t size);

}  // namespace platform
