// File write times in 100 ns units since 1601, and folder listings with them.
#include "platform/file_times.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>

#include <cstring>

namespace platform {

uint64_t file_time_from_unix(int64_t seconds, long nanoseconds) {
    const int64_t since_1601 = seconds + int64_t(FILE_TIME_EPOCH_OFFSET_S);
    if (since_1601 < 0) return 0;
    return uint64_t(since_1601) * 10000000ull + uint64_t(nanoseconds / 100);
}

uint64_t file_time_now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return file_time_from_unix(now.tv_sec, now.tv_nsec);
}

bool list_files_with_suffix(const char* folder, const char* suffix, std::vector<FileStamp>* files) {
    files->clear();
    DIR* dir = opendir(folder);
    if (!dir) return false;
    const size_t suffix_length = std::strlen(suffix);
    while (const dirent* entry = readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (length < suffix_length || strcasecmp(entry->d_name + length - suffix_length, suffix) != 0) continue;
        struct stat info {};
        if (fstatat(dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
        files->push_back({entry->d_name, file_time_from_unix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec)});
    }
    closedir(dir);
    return true;
}

}  // namespace platform
