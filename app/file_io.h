// Whole-file reading and writing, for the files the user picks (UTF-8 path names
// from the file choosers) and for the tool's own files. On this platform a UTF-8
// path goes to the file calls as it is; utf8_to_utf16 serves the code that needs
// UTF-16 text.
#pragma once

#include <cstdint>

// Converts a zero-terminated UTF-8 text to zero-terminated UTF-16, one unit per one-,
// two- or three-byte sequence. Four-byte sequences and stray continuation bytes give
// nothing: characters outside the Basic Multilingual Plane are dropped. The
// destination must hold one unit per source byte plus one. Returns the number of
// units before the terminator.
int utf8_to_utf16(uint16_t* destination, const char* source);

// The file calls themselves, without any message, for code that reports nothing or
// runs without a display.

// Returned by read_file_bytes when the file cannot be opened.
constexpr int FILE_NOT_OPENED = -1;

// Opens an existing file for reading and reads at most `maximum` bytes into
// `buffer`. Returns the number of bytes read (0 for an empty file or a failed read),
// or FILE_NOT_OPENED when it is missing, unreadable or a folder.
int read_file_bytes(void* buffer, const char* path, int maximum);

// Replaces the file at `path` (created when missing) with exactly `count` bytes.
// The bytes go to a temporary file beside it, which is flushed to the disk and then
// renamed over the target, so the path always names either the old file or the
// complete new one; the old file's permissions are kept and a symbolic link is
// written through. Returns false when any step fails: the old file is untouched and
// the temporary file removed.
bool write_file_bytes(const void* buffer, const char* path, int count);

// The same with the user told about failures: read_whole_file shows "Error opening
// file %s !" when the file cannot be opened and returns 0; write_whole_file shows
// "Error writing file %s !" and returns false. Both messages are non-blocking.
int read_whole_file(void* buffer, const char* path, int maximum);
bool write_whole_file(const void* buffer, const char* path, int count);
