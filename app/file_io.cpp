// Whole-file reading and writing with POSIX calls, and the UTF-8 to UTF-16 conversion.
#include "app/file_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool write_all(int fd, const uint8_t* bytes, int count) {
    while (count > 0) {
        const ssize_t written = write(fd, bytes, size_t(count));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        count -= int(written);
    }
    return true;
}

// The file that writing to `path` must replace: the target of a symbolic link, as
// opening the path for writing would reach, otherwise the path itself.
bool replacement_target(const char* path, char (&target)[PATH_MAX]) {
    struct stat link_status {};
    if (lstat(path, &link_status) == 0 && S_ISLNK(link_status.st_mode) &&
        realpath(path, target)) {
        return true;
    }
    if (std::strlen(path) >= sizeof target) return false;
    std::strcpy(target, path);
    return true;
}

// The permissions of the file being replaced, or those a newly created file gets.
mode_t replacement_mode(const char* target) {
    struct stat status {};
    if (stat(target, &status) == 0) return status.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int utf8_to_utf16(uint16_t* destination, const char* source) {
    int units = 0;
    unsigned accumulator = 0;
    int expected = 0;  // continuation bytes still due
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(source); *p; ++p) {
        const unsigned char c = *p;
        if (c < 0x80) {
            destination[units++] = c;
        } else if ((c & 0xE0) == 0xC0) {
            accumulator = c & 0x1Fu;
            expected = 1;
        } else if ((c & 0xF0) == 0xE0) {
            accumulator = c & 0x0Fu;
            expected = 2;
        } else if ((c & 0xC0) == 0x80) {
            accumulator = (accumulator << 6) + (c & 0x3Fu);
            // Without a sequence under way the count would only go below zero and
            // never come back before the next lead byte: stray continuation bytes
            // produce nothing.
            if (expected > 0 && --expected == 0) destination[units++] = uint16_t(accumulator);
        }
        // Lead bytes of four-byte sequences and above are skipped.
    }
    destination[units] = 0;
    return units;
}

int read_file_bytes(void* buffer, const char* path, int maximum) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FILE_NOT_OPENED;
    struct stat status {};
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        return FILE_NOT_OPENED;
    }
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    int total = 0;
    while (total < maximum) {
        const ssize_t got = read(fd, bytes + total, size_t(maximum - total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += int(got);
    }
    close(fd);
    return total;
}

bool write_file_bytes(const void* buffer, const char* path, int count) {
    if (count < 0) return false;
    char target[PATH_MAX];
    if (!replacement_target(path, target)) return false;
    char temporary[PATH_MAX + 8];
    const int length = std::snprintf(temporary, sizeof temporary, "%s.XXXXXX", target);
    if (length < 0 || size_t(length) >= sizeof temporary) return false;
    const mode_t mode = replacement_mode(target);

    const int fd = mkostemp(temporary, O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fchmod(fd, mode) == 0 && write_all(fd, static_cast<const uint8_t*>(buffer), count) &&
              fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temporary, target) == 0;
    if (!ok) unlink(temporary);
    return ok;
}
