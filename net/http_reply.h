// The update server's HTTP/1.0 exchanges: building the two requests and reading a
// reply's header and the version body. No toolkit, no sockets.
#pragma once

#include <cstddef>

// The reply header is searched in its first bytes only.
constexpr int REPLY_HEADER_SEARCH_SIZE = 2048;
// Larger lengths are refused: no installer comes near it, and counts stay in int.
constexpr long MAX_CONTENT_LENGTH = 1L << 30;

struct ReplyHeader {
    bool complete = false;    // the empty line was found
    int body_offset = 0;      // where the body starts, when complete
    long content_length = 0;  // from the last "Content-Length: " line; 0 when none
    int status = 0;           // the status line's code ("HTTP/1.1 200 OK" is 200); 0 when none
};

// Reads the header from the first min(size, REPLY_HEADER_SEARCH_SIZE) bytes:
//
//   status line         "HTTP/", a version, a blank and a three-digit code; only the
//                       code is kept
//   header lines        each ends with LF, optionally preceded by CRs
//   "Content-Length: N" exactly this case and one blank; N decimal digits, then only
//                       blanks or CRs; the last such line counts; a malformed or
//                       too large N counts as 0
//   empty line          nothing but CRs before its LF; the body starts after its LF
//
// A header without its empty line in the searched bytes is not complete and has
// length 0.
ReplyHeader parse_reply_header(const char* data, int size);

// "GET http://HOST/programator/QV450_version HTTP/1.0\r\n\r\n". Gives the length, or
// 0 when it does not fit in `size` bytes with its terminator.
int build_version_request(char* out, size_t size, const char* host);

// "GET http://HOST/programator/FILE HTTP/1.0\r\n\r\n" with the installer's file name
// (the platform's, platform::installer_file_name), or 0.
int build_installer_request(char* out, size_t size, const char* host, const char* file_name);

struct OfferedVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
};

// A body that begins with "VERSION " and three decimal numbers separated by dots;
// anything after the third number is ignored. Reads no further than `size` bytes.
bool parse_version_body(const char* body, int size, OfferedVersion* version);

// Whether the offered version differs from this program's in its major or minor
// number (higher or lower alike); the patch number takes no part.
bool is_other_version(const OfferedVersion& offered);
