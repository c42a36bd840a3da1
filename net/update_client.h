// The update check's network side, without the toolkit: which server, the version
// query and the installer download. Progress goes to the caller through hooks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "i18n/message_ids.h"
#include "net/http_reply.h"

// Used when QV450_UPDATE_SERVER is unset or empty. A build for a real deployment
// names its server with the CMake variable QV450_UPDATE_SERVER_DEFAULT; empty, the
// build has no update server.
#ifndef QV450_UPDATE_SERVER_DEFAULT
#define QV450_UPDATE_SERVER_DEFAULT ""
#endif

constexpr int UPDATE_PORT = 80;
constexpr int UPDATE_TIMEOUT_MS = 5000;  // for the lookup, connecting, and each send and receive
// The whole version query, however slowly the server answers, and the download up to
// its reply header; past it the check ends as a failed connection.
constexpr int UPDATE_CHECK_LIMIT_MS = 30000;
// The installer's body, however it trickles in; past it the download ends as a failed
// connection. Ten minutes carry a 64 MiB installer at 110 KB/s.
constexpr int UPDATE_DOWNLOAD_LIMIT_MS = 600000;
// No installer is larger: a longer declared body is a broken reply.
constexpr long MAX_INSTALLER_SIZE = 64L * 1024 * 1024;
constexpr int VERSION_REPLY_SIZE = 4096;
constexpr int DOWNLOAD_CHUNK_SIZE = 8192;

// Results: 0, or the message to show (MSG_CANNOT_FIND_SERVER, MSG_CANNOT_CONNECT or
// MSG_UPDATE_CHECK_ERROR).
constexpr int UPDATE_OK = 0;

struct UpdateServer {
    char host[256] = {};  // as given, with ":port" when one was given; names the host in requests
    char name[256] = {};  // the part that is resolved
    uint16_t port = UPDATE_PORT;
};

// "host" or "host:port" (port 1 to 65535). The host is a name or an IPv4 address:
// letters, digits, '.', '-' and '_' only. False for anything else.
bool parse_update_server(const char* text, UpdateServer* server);

// QV450_UPDATE_SERVER when set and not empty, else the default. False when the
// variable holds no valid server, or neither names one.
bool update_server_from_environment(UpdateServer* server);

// Whether QV450_UPDATE_SERVER or the build names an update server at all.
bool update_server_configured();

// How a check shows its progress.
struct UpdateProgress {
    // Sets the bar to `fraction` and, unless message_id is 0, its text to that message.
    void (*set)(void* context, double fraction, int message_id) = nullptr;
    // Pauses 10 ms, then handles every pending GUI event.
    void (*pump)(void* context) = nullptr;
    // Handles every pending GUI event without pausing (between download chunks and
    // while a network call waits).
    void (*events)(void* context) = nullptr;
    void* context = nullptr;
};

struct UpdateSession {
    UpdateServer server;
    uint32_t address = 0;  // found by query_version, reused for the download
    int timeout_ms = UPDATE_TIMEOUT_MS;
    uint64_t deadline_ms = 0;  // on the platform clock; set by each stage that has a limit
    UpdateProgress progress;
};

// Resolves the server, connects, asks for the current version and reads the reply:
// bar 0.33, 0.66, 1 with texts 55 and 56. UPDATE_OK with `offered` filled, or 57, 58
// or 59. Only the reply's first VERSION_REPLY_SIZE bytes are read; the version comes
// from the body's first Content-Length bytes, or from as many as arrived. A reply
// whose header is not complete, has no length or no body byte, or whose body does not
// begin with a version is 59. Not done within UPDATE_CHECK_LIMIT_MS: 58.
int query_version(UpdateSession& session, OfferedVersion* offered);

// Downloads the installer of the offered major and minor number into `folder` (bar
// 0.02, 0.01, then by the bytes received, then 1). The file is written under a
// temporary name and renamed to its server name (platform::installer_file_name) only when
// every byte of the body has arrived and been written; it is then executable by its
// owner. A reply whose status is not 200 is refused like a broken one: an error page
// is not an installer, and so is a body over MAX_INSTALLER_SIZE. UPDATE_OK with its path in
// `path`, or 58 or 59 with no file left behind (59 also when `folder` is null or empty; 58
// when the reply header is not in within UPDATE_CHECK_LIMIT_MS or the body within
// UPDATE_DOWNLOAD_LIMIT_MS).
int download_installer(UpdateSession& session, const OfferedVersion& offered, const char* folder,
                       char* path, size_t path_size);
