// The version query and the installer download over the platform's TCP sockets.
#include "net/update_client.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "i18n/message_ids.h"
#include "platform/clock.h"
#include "platform/installer.h"
#include "platform/tcp_socket.h"

namespace {

constexpr int HTTP_OK = 200;

bool is_host_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

void set_bar(UpdateSession& s, double fraction, int message_id = 0) {
    if (s.progress.set) s.progress.set(s.progress.context, fraction, message_id);
}

void step(UpdateSession& s, double fraction, int message_id = 0) {
    set_bar(s, fraction, message_id);
    if (s.progress.pump) s.progress.pump(s.progress.context);
}

void pending_events(void* context) {
    auto* s = static_cast<UpdateSession*>(context);
    if (s->progress.events) s->progress.events(s->progress.context);
}

void start_limit(UpdateSession& s) { s.deadline_ms = platform::monotonic_ms() + UPDATE_CHECK_LIMIT_MS; }

bool limit_passed(const UpdateSession& s) { return s.deadline_ms && platform::monotonic_ms() >= s.deadline_ms; }

// A stage that ran out of time ends as a failed connection, whatever step it was in.
int failure_or_limit(const UpdateSession& s, int failure) {
    return limit_passed(s) ? MSG_CANNOT_CONNECT : failure;
}

// Each wait ends by the stage's deadline at the latest.
platform::SocketWait network_wait(UpdateSession& s) {
    platform::SocketWait wait;
    wait.timeout_ms = s.timeout_ms;
    if (s.deadline_ms) {
        const uint64_t now = platform::monotonic_ms();
        const uint64_t left = s.deadline_ms > now ? s.deadline_ms - now : 0;
        if (left < uint64_t(wait.timeout_ms)) wait.timeout_ms = int(left);
    }
    wait.hook = pending_events;
    wait.context = &s;
    return wait;
}

// Closes the socket when the scope ends, on every path.
struct Connection {
    int fd = -1;
    ~Connection() { platform::close_socket(fd); }
};

int connect_to_server(UpdateSession& s, Connection& c) {
    c.fd = platform::tcp_connect(s.address, s.server.port, network_wait(s));
    return c.fd >= 0 ? UPDATE_OK : MSG_CANNOT_CONNECT;
}

bool send_request(UpdateSession& s, Connection& c, const char* request, int length) {
    return length > 0 && platform::send_all(c.fd, request, size_t(length), network_wait(s)) == size_t(length);
}

// Receives into `buffer` until the header is complete (and, with `whole_body`, its
// declared body too), the header cannot end within the searched bytes, the buffer is
// full, the peer closes, a receive fails or times out, or the stage's time is up.
// Gives the bytes held; `header` describes them.
int receive_reply_start(UpdateSession& s, Connection& c, char* buffer, int size, bool whole_body,
                        ReplyHeader* header) {
    int held = 0;
    while (held < size && !limit_passed(s)) {
        const int n = platform::receive_some(c.fd, buffer + held, size_t(size - held), network_wait(s));
        if (n <= 0) break;
        held += n;
        *header = parse_reply_header(buffer, held);
        if (header->complete && (!whole_body || held - header->body_offset >= header->content_length))
            break;
        if (!header->complete && held >= REPLY_HEADER_SEARCH_SIZE) break;
    }
    *header = parse_reply_header(buffer, held);
    return held;
}

// The download's file: written under a temporary name, renamed when complete,
// removed otherwise.
class PartFile {
public:
    bool create(const char* folder) {
        if (std::snprintf(temp_, sizeof temp_, "%s/.download-XXXXXX", folder) >= int(sizeof temp_)) return false;
        fd_ = mkostemp(temp_, O_CLOEXEC);
        return fd_ >= 0;
    }
    bool write_all(const char* data, long size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size_t(size));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= n;
        }
        return true;
    }
    bool finish(const char* path) {
        const bool done = fsync(fd_) == 0 && fchmod(fd_, 0700) == 0;
        const bool closed = close(fd_) == 0;
        fd_ = -1;
        if (!done || !closed || rename(temp_, path) != 0) return false;
        temp_[0] = '\0';
        return true;
    }
    ~PartFile() {
        if (fd_ >= 0) close(fd_);
        if (temp_[0]) unlink(temp_);
    }

private:
    int fd_ = -1;
    char temp_[1100] = {};
};

}  // namespace

bool parse_update_server(const char* text, UpdateServer* server) {
    if (!text) return false;
    const size_t length = std::strlen(text);
    if (length == 0 || length >= sizeof server->host) return false;
    const char* colon = std::strchr(text, ':');
    const size_t name_length = colon ? size_t(colon - text) : length;
    if (name_length == 0) return false;
    for (size_t i = 0; i < name_length; ++i)
        if (!is_host_character(text[i])) return false;
    UpdateServer parsed;
    if (colon) {
        const char* digits = colon + 1;
        if (!*digits || std::strlen(digits) > 5 || digits[0] == '0') return false;
        long port = 0;
        for (const char* p = digits; *p; ++p) {
            if (*p < '0' || *p > '9') return false;
            port = port * 10 + (*p - '0');
        }
        if (port > 65535) return false;
        parsed.port = uint16_t(port);
    }
    std::memcpy(parsed.host, text, length + 1);
    std::memcpy(parsed.name, text, name_length);
    parsed.name[name_length] = '\0';
    *server = parsed;
    return true;
}

bool update_server_from_environment(UpdateServer* server) {
    const char* value = std::getenv("QV450_UPDATE_SERVER");
    return parse_update_server(value && *value ? value : QV450_UPDATE_SERVER_DEFAULT, server);
}

bool update_server_configured() {
    const char* value = std::getenv("QV450_UPDATE_SERVER");
    return (value && *value) || *QV450_UPDATE_SERVER_DEFAULT;
}

int query_version(UpdateSession& s, OfferedVersion* offered) {
    start_limit(s);
    if (!platform::resolve_ipv4(s.server.name, &s.address, network_wait(s)))
        return failure_or_limit(s, MSG_CANNOT_FIND_SERVER);
    step(s, 0.33, MSG_CHECKING_VERSION);
    Connection c;
    if (connect_to_server(s, c) != UPDATE_OK) return MSG_CANNOT_CONNECT;
    step(s, 0.66);
    char request[512];
    if (!send_request(s, c, request, build_version_request(request, sizeof request, s.server.host)))
        return failure_or_limit(s, MSG_UPDATE_CHECK_ERROR);

    char reply[VERSION_REPLY_SIZE];
    ReplyHeader header;
    const int held = receive_reply_start(s, c, reply, sizeof reply, true, &header);
    // A reply longer than the buffer, or a body cut short (by the server or by the
    // limit), still names its version in what did arrive.
    const long arrived = held - header.body_offset;
    const long body = header.content_length < arrived ? header.content_length : arrived;
    if (!header.complete || body <= 0 || !parse_version_body(reply + header.body_offset, int(body), offered))
        return failure_or_limit(s, MSG_UPDATE_CHECK_ERROR);
    step(s, 1.0);
    s.deadline_ms = 0;
    return UPDATE_OK;
}

int download_installer(UpdateSession& s, const OfferedVersion& offered, const char* folder, char* path,
                       size_t path_size) {
    if (path_size) path[0] = '\0';
    start_limit(s);
    Connection c;
    if (connect_to_server(s, c) != UPDATE_OK) return MSG_CANNOT_CONNECT;
    step(s, 0.02);

    char name[128];
    platform::installer_file_name(name, sizeof name, offered.major, offered.minor);
    char target[1100];
    const int target_length = std::snprintf(target, sizeof target, "%s/%s", folder ? folder : "", name);
    PartFile file;
    if (!folder || !*folder || target_length < 0 || size_t(target_length) >= sizeof target || size_t(target_length) >= path_size ||
        !file.create(folder))
        return MSG_UPDATE_CHECK_ERROR;

    char request[512];
    if (!send_request(s, c, request, build_installer_request(request, sizeof request, s.server.host, name)))
        return failure_or_limit(s, MSG_UPDATE_CHECK_ERROR);

    static char buffer[DOWNLOAD_CHUNK_SIZE];
    ReplyHeader header;
    const int held = receive_reply_start(s, c, buffer, VERSION_REPLY_SIZE, false, &header);
    if (limit_passed(s)) return MSG_CANNOT_CONNECT;
    // The body moves the bar, and has a limit of its own: a server that trickles bytes
    // must not hold the tool for ever.
    s.deadline_ms = platform::monotonic_ms() + UPDATE_DOWNLOAD_LIMIT_MS;
    // An error page is no installer, whatever its length.
    if (!header.complete || header.content_length <= 0 || header.content_length > MAX_INSTALLER_SIZE ||
        header.status != HTTP_OK)
        return MSG_UPDATE_CHECK_ERROR;
    const long length = header.content_length;
    step(s, 0.01);
    long received = held - header.body_offset;
    if (received > length) received = length;  // bytes past the declared body are not the installer's
    if (!file.write_all(buffer + header.body_offset, received)) return MSG_UPDATE_CHECK_ERROR;

    while (received < length) {
        set_bar(s, 0.01 + 0.99 * double(received) / double(length));
        pending_events(&s);
        const int n = platform::receive_some(c.fd, buffer, sizeof buffer, network_wait(s));
        if (n <= 0) return failure_or_limit(s, MSG_UPDATE_CHECK_ERROR);
        const long useful = n < length - received ? n : length - received;
        if (!file.write_all(buffer, useful)) return MSG_UPDATE_CHECK_ERROR;
        received += useful;
    }
    step(s, 1.0);
    platform::close_socket(c.fd);
    c.fd = -1;
    if (!file.finish(target)) return MSG_UPDATE_CHECK_ERROR;
    std::memcpy(path, target, size_t(target_length) + 1);
    return UPDATE_OK;
}
