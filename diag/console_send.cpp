// Sending a console command: history, echo, frame, and the response wait.
#include "diag/console_send.h"

#include "device/link.h"
#include "device/module_link.h"
#include "diag/console_text.h"
#include "diag/event_log.h"
#include "platform/clock.h"

namespace {

constexpr uint8_t ACKNOWLEDGE = 0x01;

void log_text(LogDirection direction, const char* text, int n) {
    log_message(direction, reinterpret_cast<const uint8_t*>(text), n);
}

void wait_for_response(FrameLink& link) {
    for (int pause = 0; pause < RESPONSE_PAUSES; ++pause) {
        platform::sleep_ms(RESPONSE_PAUSE_MS);
        while (link.poll_frame()) {
            const ReplyRecord& reply = link.reply();
            if (reply.bytes[1] != ACKNOWLEDGE) continue;
            const int n = reply.bytes[0] - 1;
            char line[RESPONSE_LINE_CAPACITY];
            log_text(LOG_RECEIVED, line, format_response_line(reply.bytes + 2, n > 0 ? n : 0, line));
            return;
        }
    }
}

}  // namespace

ConsoleSend console_send_texts(const char* command, const char* data, bool wait_response) {
    return console_send_texts(module_link(), command, data, wait_response);
}

ConsoleSend console_send_texts(FrameLink& link, const char* command, const char* data, bool wait_response) {
    const int code = parse_console_command(command);
    if (code < 0) return ConsoleSend::BAD_COMMAND;
    uint8_t bytes[FRAME_MAX_DATA];
    const int n = parse_console_data(data, bytes, FRAME_MAX_DATA);
    if (n < 0) return ConsoleSend::DATA_TOO_LONG;

    history_remember(command_history, command, data);
    char echo[CONSOLE_DATA_MAX_CHARS + 16];
    log_text(LOG_SENT, echo, format_console_echo(command, data, echo, int(sizeof echo)));
    link.send_command(uint8_t(code), bytes, n);
    if (wait_response) wait_for_response(link);
    return ConsoleSend::SENT;
}
