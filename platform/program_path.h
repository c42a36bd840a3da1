// Where the running program's executable lives: the stand-in for the Windows
// argv[0], which there is the full path the program was started from.
#pragma once

#include <cstddef>

namespace platform {

// Writes the path of the running executable into `out` (`size` bytes, always
// terminated when size > 0): the resolved /proc/self/exe when it can be read and fits
// whole, otherwise `argv0` (null counts as ""), cut to fit. Returns true when the
// resolved path was used.
bool program_path(const char* argv0, char* out, size_t size);

// The folder `tail` of the installation a program belongs to: a program installed as
// <prefix>/<folder>/<program> gives "<prefix>/<tail>". So /opt/qv450/bin/qv450 with
// "firmware/" gives /opt/qv450/firmware/. False, with `out` emptied, when the path
// has fewer than two '/' or the result does not fit `size` bytes.
bool installation_folder(const char* program, const char* tail, char* out, size_t size);

}  // namespace platform
