// Whole-file reading and replacing with the system's file calls, without any message:
// for the tool's own files, the files the user picks, and the simulated module's store.
#pragma once

namespace platform {

// Returned by read_file_bytes when the file cannot be opened.
constexpr int FILE_NOT_OPENED = -1;

// Opens an existing regular file for reading and reads at most `maximum` bytes into
// `buffer`. Returns the number of bytes read (0 for an empty file or a failed read),
// or FILE_NOT_OPENED when it is missing or unreadable, or is not a regular file (a
// folder, a FIFO, a device): those are refused at once, never waited on.
int read_file_bytes(void* buffer, const char* path, int maximum);

// The size of the regular file at `path`, or -1 when there is none.
long long regular_file_size(const char* path);

// Replaces the file at `path` (created when missing) with exactly `count` bytes.
// The bytes go to a temporary file in the same folder, which is flushed to the disk
// and then renamed over the target, so the path always names either the old file or
// the complete new one. An existing target keeps its permission bits; a symbolic
// link is written where it points and stays a link. Returns false, leaving the old
// file untouched and no temporary file behind, when any step fails or when the
// target exists and is not a regular file or may not be written by this process.
bool write_file_bytes(const void* buffer, const char* path, int count);

}  // namespace platform
