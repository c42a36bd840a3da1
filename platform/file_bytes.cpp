// Whole-file reading and replacing with POSIX calls.
#include "platform/file_bytes.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Links followed at most, as the kernel does before giving ELOOP.
constexpr int MAX_LINKS = 40;
// Beside the target, and no longer than this whatever the target's name: a name of
// up to the system's 255 bytes still gets its temporary file.
constexpr char TEMPORARY_NAME[] = ".qv450-XXXXXX";

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

// The folder part of a path, with its final '/'; empty for a bare name.
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file that writing to `path` must replace: where a chain of symbolic links ends,
// even when nothing exists there yet, otherwise the path itself.
bool replacement_target(const char* path, std::string* target) {
    *target = path;
    for (int links = 0; links < MAX_LINKS; ++links) {
        struct stat status {};
        if (lstat(target->c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
        std::string content(size_t(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = readlink(target->c_str(), &content[0], content.size());
        if (length <= 0 || size_t(length) >= content.size()) return false;
        content.resize(size_t(length));
        *target = content[0] == '/' ? content : folder_of(*target) + content;
    }
    return false;
}

// Whether this process may write the file, by its effective ids as the kernel judges
// an open for writing (permission bits, access lists, read-only mounts).
bool may_write(const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0; }

mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int read_file_bytes(void* buffer, const char* path, int maximum) {
    // Opening a FIFO for reading waits for a writer, and opening a device may act on
    // it: look at what the path names before opening it.
    struct stat status {};
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return FILE_NOT_OPENED;
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FILE_NOT_OPENED;
    // The path may have been replaced in between.
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
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

long long regular_file_size(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    return static_cast<long long>(status.st_size);
}

bool write_file_bytes(const void* buffer, const char* path, int count) {
    if (count < 0) return false;
    std::string target;
    if (!replacement_target(path, &target)) return false;

    // Renaming over a file needs only the folder's permission: without these checks a
    // file the user made read-only, or a device node, would be replaced.
    mode_t mode = new_file_mode();
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode) || !may_write(target)) return false;
        mode = old.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }

    std::string temporary = folder_of(target) + TEMPORARY_NAME;
    const int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) return false;
    // Keeps the owner when the process may give files away (it runs as root);
    // otherwise the new file stays ours, as the kernel allows.
    const bool same_owner = !exists || (old.st_uid == geteuid() && old.st_gid == getegid());
    if (!same_owner && fchown(fd, old.st_uid, old.st_gid) != 0) {
        // not allowed: the file stays ours
    }
    bool ok = fchmod(fd, mode) == 0 && write_all(fd, static_cast<const uint8_t*>(buffer), count) &&
              fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

}  // namespace platform
