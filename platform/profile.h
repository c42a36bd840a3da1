// The user's profile folder, where the tool keeps its settings and theme files.
#pragma once

#include <cstddef>

namespace platform {

// $USERPROFILE when it is set and not empty, else $HOME when it is set and not
// empty, else nullptr. The bytes are the environment's own, used as they are in
// file calls.
const char* profile_folder();

// Writes profile_folder() + '/' + name into `path` (capacity bytes with the
// terminator). False, with `path` emptied, when there is no profile folder or the
// result does not fit.
bool profile_file_path(const char* name, char* path, size_t capacity);

}  // namespace platform
