// The running executable's path from /proc/self/exe.
#include "platform/program_path.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace platform {

bool program_path(const char* argv0, char* out, size_t size) {
    if (!out || size == 0) return false;
    // readlink does not terminate; a result that fills the whole buffer may be cut.
    const ssize_t n = readlink("/proc/self/exe", out, size - 1);
    if (n > 0 && size_t(n) < size - 1) {
        out[n] = '\0';
        // An executable replaced on disk while it runs (a rebuild, an upgrade) reads
        // "... (deleted)": its path is where the new copy is.
        const char deleted[] = " (deleted)";
        const size_t suffix = sizeof deleted - 1;
        if (size_t(n) > suffix && strcmp(out + n - suffix, deleted) == 0) out[n - suffix] = '\0';
        return true;
    }
    const char* fallback = argv0 ? argv0 : "";
    const size_t length = strlen(fallback);
    const size_t copied = length < size - 1 ? length : size - 1;
    memcpy(out, fallback, copied);
    out[copied] = '\0';
    return false;
}

bool installation_folder(const char* program, const char* tail, char* out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = '\0';
    if (!program || !tail) return false;
    const char* last = strrchr(program, '/');
    if (!last) return false;
    const char* second_last = nullptr;
    for (const char* p = program; p < last; ++p) {
        if (*p == '/') second_last = p;
    }
    if (!second_last) return false;
    const int length = snprintf(out, size, "%.*s/%s", int(second_last - program), program, tail);
    if (length < 0 || size_t(length) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace platform
