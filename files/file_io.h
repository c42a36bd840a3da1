// Whole-file reading and writing, for the files the user picks (UTF-8 path names
// from the file choosers) and for the tool's own files. On this platform a UTF-8
// path goes to the file calls as it is; utf8_to_utf16 serves the code that needs
// UTF-16 text.
#pragma once

#include <cstdint>

#include "platform/file_bytes.h"

// Converts a zero-terminated UTF-8 text to zero-terminated UTF-16, one unit per one-,
// two- or three-byte sequence. Four-byte sequences and stray continuation bytes give
// nothing: characters outside the Basic Multilingual Plane are dropped. The
// destination must hold one unit per source byte plus one. Returns the number of
// units before the terminator.
int utf8_to_utf16(uint16_t* destination, const char* source);

// The file calls themselves, without any message, for code that reports nothing or
// runs without a display.
using platform::FILE_NOT_OPENED;
using platform::read_file_bytes;
using platform::write_file_bytes;

// The same with the user told about failures: read_whole_file shows "Error opening
// file %s !" when the file cannot be opened (or is no regular file) and returns 0;
// write_whole_file shows "Error writing file %s !" and returns false, also for a
// file the user may not write. Both messages are non-blocking.
int read_whole_file(void* buffer, const char* path, int maximum);

// Shows "Error opening file %s !" for the path (non-blocking), for callers that read
// with read_file_bytes because they must tell an empty file from a missing one.
void report_file_not_opened(const char* path);
bool write_whole_file(const void* buffer, const char* path, int count);
