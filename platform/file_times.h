// File write times as the firmware watch counts them: 100 ns units since 1601-01-01
// UTC, and the files of a folder with their times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Seconds between 1601-01-01 and 1970-01-01, both UTC.
constexpr uint64_t FILE_TIME_EPOCH_OFFSET_S = 11644473600ull;

// A time since 1970 (seconds and nanoseconds, as stat gives it) in 100 ns units since
// 1601. Times before 1601 give 0.
uint64_t file_time_from_unix(int64_t seconds, long nanoseconds);

// The current system time in the same units.
uint64_t file_time_now();

struct FileStamp {
    std::string name;     // the entry's name in the folder
    uint64_t write_time;  // last modification, 100 ns units since 1601
};

// The regular files of `folder` whose names end in `suffix` (compared without regard
// to ASCII case, as the names are matched on the module's home platform), with their
// write times. False when the folder cannot be opened.
bool list_files_with_suffix(const char* folder, const char* suffix, std::vector<FileStamp>* files);

}  // namespace platform
