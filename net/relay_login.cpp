// The relay's session with the server: where it is, the login, the disconnect, and the
// status the window shows.
#include <cstdio>
#include <cstdlib>

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "net/relay_commands.h"
#include "net/relay_stream.h"

namespace {

constexpr int LOGIN_TIMEOUT_MS = 10000;
constexpr int LOGIN_ANSWER_WAIT_MS = 100;

void forget_stream_state(RelayState& relay) {
    relay.escape = false;
    relay.command_fill = 0;
    relay.image_remaining = 0;
    relay.block_next = relay.block_end = 0;
}

}  // namespace

void relay_server_address(std::string* host, int* port) {
    *port = RELAY_PORT;
    const char* value = std::getenv("QV450_RELAY_SERVER");
    std::string text = value && *value ? value : QV450_RELAY_SERVER_DEFAULT;
    size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        long number = std::strtol(text.c_str() + colon + 1, &end, 10);
        if (end && *end == '\0' && number > 0 && number <= 65535 && colon > 0) {
            *port = int(number);
            text.resize(colon);
        }
    }
    *host = text;
}

RelayLoginResult relay_login(RelayState& relay, const std::string& password) {
    relay.socket.reset();
    forget_stream_state(relay);
    std::string host;
    int port = 0;
    relay_server_address(&host, &port);
    std::unique_ptr<RelaySocket> socket;
    switch (connect_relay_socket(host, port, LOGIN_TIMEOUT_MS, &socket)) {
    case RELAY_NO_HOST: return LOGIN_NO_HOST;
    case RELAY_NO_CONNECTION: return LOGIN_NO_CONNECTION;
    case RELAY_CONNECTED: break;
    }
    // The line must fit its 40 bytes and be one line.
    if (password.size() > size_t(RELAY_PASSWORD_MAX) || password.find_first_of("\r\n") != std::string::npos) {
        relay.socket = std::move(socket);
        return LOGIN_REFUSED;
    }
    std::string line = password + "\n";
    if (socket->send(reinterpret_cast<const uint8_t*>(line.data()), int(line.size())) != int(line.size()))
        return LOGIN_NO_CONNECTION;
    // The answer may come in pieces; a server that never answers must not hang the window.
    uint8_t answer[2];
    int got = 0;
    for (int waited = 0; got < 2 && waited < LOGIN_TIMEOUT_MS; waited += LOGIN_ANSWER_WAIT_MS) {
        if (socket->wait_readable(LOGIN_ANSWER_WAIT_MS) <= 0) continue;
        int n = socket->receive(answer + got, 2 - got);
        if (n <= 0) break;
        got += n;
    }
    if (got != 2) return LOGIN_NO_CONNECTION;
    relay.socket = std::move(socket);
    return answer[0] == 'O' && answer[1] == 'K' ? LOGIN_OK : LOGIN_REFUSED;
}

void relay_disconnect(RelayState& relay) {
    relay.link.close();
    if (relay.socket) {
        const uint8_t released[2] = {RELAY_ESCAPE, RELAY_RELEASE};
        relay.socket->send(released, 2);
        relay.socket.reset();
    }
    relay.idle_countdown = 0;
    forget_stream_state(relay);
}

void refresh_relay_status(RelayState& relay) {
    const bool released = relay.released;
    relay.released = false;
    if (!relay.view) return;
    const bool serial_open = relay.serial.is_open();
    const int mode = relay.link.mode();
    if (released) {
        relay.view->set_status(message_text(MSG_DISCONNECTED));
    } else if (mode == LINK_NONE && !serial_open) {
        relay.view->set_status(message_text(MSG_NO_USB_DEVICE));
    } else {
        const char* name = serial_open ? "CAN" : mode == LINK_PROGRAMMER ? "M" : mode == LINK_BOOTLOADER ? "BOOT" : "A";
        char text[256];
        std::snprintf(text, sizeof text, message_text(MSG_REMOTE_ACCESS_ACTIVE), name);
        relay.view->set_status(text);
    }
}

void show_relay_waiting(RelayState& relay) {
    if (relay.view) relay.view->set_status(message_text(MSG_WAITING_FOR_REMOTE_ACCESS));
}
