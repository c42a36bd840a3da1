// The relay server's sessions: what their connections may read, forwarding, leaving, and
// the timers of unused codes and idle sessions.
#include <algorithm>

#include "platform/clock.h"
#include "relay/relay_server.h"
#include "relay/relay_server_parts.h"

using relay_parts::CLOSING_GRACE_MS;
using relay_parts::side_name;

namespace {

const FailureKind LOGIN_TIMED_OUT = FailureKind::NOISE;
// A connection whose bytes come again within this counts as busy (RelayConnection::set_busy);
// a session quiet for as long gives its connections' read buffers back.
constexpr uint64_t BUSY_GAP_MS = 1000;

}  // namespace

RelayConnection* RelayServer::peer_of(const RelayConnection& c) const {
    if (!c.session) return nullptr;
    return (c.side == LoginSide::TOOL ? c.session->op : c.session->tool).get();
}

size_t RelayServer::room_for(RelayConnection& c) {
    switch (c.phase) {
    case ConnectionPhase::LOGIN:
    case ConnectionPhase::LOOKUP:
        return LOGIN_LINE_MAX - std::min(LOGIN_LINE_MAX, c.inbox_size());
    case ConnectionPhase::WAITING:
        return RELAY_CONNECTION_BUFFER - std::min(RELAY_CONNECTION_BUFFER, c.inbox_size());
    case ConnectionPhase::PAIRED: {
        // Stop reading while the other side's buffer is full: back-pressure.
        RelayConnection* peer = peer_of(c);
        return peer ? RELAY_CONNECTION_BUFFER - std::min(RELAY_CONNECTION_BUFFER, peer->pending())
                    : RELAY_CONNECTION_BUFFER;
    }
    case ConnectionPhase::CLOSING:
        break;
    }
    return RELAY_CONNECTION_BUFFER;
}

void RelayServer::on_bytes(RelayConnection& c, const char* data, size_t size) {
    switch (c.phase) {
    case ConnectionPhase::LOGIN:
        read_login(c, data, size);
        return;
    case ConnectionPhase::LOOKUP:   // a tool's, sent before its answer
    case ConnectionPhase::WAITING:  // an operator's, for the tool once it comes
        c.inbox().append(data, size);
        return;
    case ConnectionPhase::PAIRED:
        if (c.session && c.session->code_used) {
            uint64_t now = platform::monotonic_ms();
            c.set_busy(uint32_t(now) - c.last_bytes_ms < BUSY_GAP_MS);
            c.last_bytes_ms = uint32_t(now);
            c.session->since_ms = now;
            idle_.queue.move_to_back(*c.session);
            if (c.busy()) watch_busy();
        }
        // A tool's bytes with no operator attached have nobody to go to.
        if (RelayConnection* peer = peer_of(c)) peer->send(data, size);
        return;
    case ConnectionPhase::CLOSING:
        return;
    }
}

void RelayServer::on_end(RelayConnection& c, const char* why) {
    if (c.phase == ConnectionPhase::LOGIN) {
        // A login cut short reveals nothing, but counts against an operator's address.
        std::string reason = std::string("connection ") + why + " before the login line";
        log("%s login refused from %s: %s", side_name(c.side), c.address().c_str(), reason.c_str());
        count_failure(c, FailureKind::NOISE);
        return;
    }
    if (c.phase == ConnectionPhase::LOOKUP) {
        log("tool login from %s given up before its turn", c.address().c_str());
        return;
    }
    RelaySession* s = c.session;
    if (!s) return;
    if (c.side == LoginSide::TOOL) {
        end_session(*s, "tool left");
        return;
    }
    c.session = nullptr;
    s->op.reset();
    log("session %llu: operator left", (unsigned long long)s->id);
}

void RelayServer::on_sent(RelayConnection& c) {
    // Room again: the side that fills this buffer may read again, once half of it is
    // free, so that a slow reader is served in large pieces, not in a read and a write
    // for every few bytes it takes.
    RelayConnection* source = peer_of(c);
    if (source && c.pending() <= RELAY_CONNECTION_BUFFER / 2) source->resume_reading();
}

void RelayServer::on_timer(RelayConnection& c) {
    switch (c.phase) {
    case ConnectionPhase::LOGIN:
        // Waiting for a handshake is the server's doing, not the peer's.
        if (c.tls() && !c.started()) refuse(c, "login timed out waiting for a TLS handshake", "", nullptr);
        else refuse(c, "login timed out", "", &LOGIN_TIMED_OUT);
        return;
    case ConnectionPhase::LOOKUP:
        refuse(c, "login timed out waiting for its turn", "", nullptr);
        return;
    default:
        c.close();  // the grace time after a last answer ran out
    }
}

void RelayServer::on_handshaken(RelayConnection& c) { handshake_over(c); }

void RelayServer::on_closed(RelayConnection& c) {
    --open_connections_;
    handshake_over(c);
    joined_session(c);  // leaves the connections outside sessions, if among them
    auto use = address_use_.find(c.key());
    if (use != address_use_.end() && --use->second.open <= 0) address_use_.erase(use);
    if (c.session) on_end(c, "closed");
}

RelaySession* RelayServer::new_session(const PeerAddress& opener) {
    uint32_t code;
    do code = random_session_code();
    while (sessions_.count(code));
    RelaySession& s = sessions_[code];
    s.id = next_session_id_++;
    s.code = code;
    open_codes_[code] = opener;
    ++open_codes_by_address_[opener];
    start_timeout(s, unused_code_, platform::monotonic_ms());
    return &s;
}

void RelayServer::code_closed(RelaySession& s) {
    auto it = open_codes_.find(s.code);
    if (it == open_codes_.end()) return;
    auto mine = open_codes_by_address_.find(it->second);
    if (mine != open_codes_by_address_.end() && --mine->second <= 0) open_codes_by_address_.erase(mine);
    open_codes_.erase(it);
}

void RelayServer::start_timeout(RelaySession& s, SessionTimeout& t, uint64_t now_ms) {
    s.since_ms = now_ms;
    t.queue.push_back(s);
    arm(t);
}

// The timer runs for the front only; an earlier front's time restarted meanwhile makes
// it run early, find nothing due and wait again.
void RelayServer::arm(SessionTimeout& t) {
    if (t.armed || t.queue.empty()) return;
    uint64_t due_ms = t.queue.front()->since_ms + t.limit_ms, now_ms = platform::monotonic_ms();
    t.armed = true;
    t.timer.expires_at(relay_time_after_ms(due_ms > now_ms ? due_ms - now_ms : 0));
    t.timer.async_wait([this, &t](const std::error_code& ec) {
        if (!ec) timeout_ran(t);
    });
}

void RelayServer::timeout_ran(SessionTimeout& t) {
    t.armed = false;
    uint64_t now_ms = platform::monotonic_ms();
    while (RelaySession* s = t.queue.front()) {
        if (now_ms - s->since_ms < t.limit_ms) break;
        end_session(*s, t.reason);
    }
    arm(t);
}

// Busy connections hold a read buffer each; once their session has been quiet for
// BUSY_GAP_MS they give it back. The sessions that went quiet since the last look are
// found from the back of the idle queue, where the recent ones are.
void RelayServer::watch_busy() {
    if (busy_watch_armed_) return;
    busy_watch_armed_ = true;
    busy_watch_.expires_at(relay_time_after_ms(BUSY_GAP_MS));
    busy_watch_.async_wait([this](const std::error_code& ec) {
        busy_watch_armed_ = false;
        if (!ec) quiet_down_busy();
    });
}

void RelayServer::quiet_down_busy() {
    uint64_t now_ms = platform::monotonic_ms(), quiet_before = now_ms - std::min(now_ms, BUSY_GAP_MS);
    for (RelaySession* s = idle_.queue.back(); s && s->since_ms >= busy_quiet_before_ms_; s = s->queue_prev) {
        if (s->since_ms >= quiet_before) continue;
        for (RelayConnection* c : {s->tool.get(), s->op.get()})
            if (c) c->quiet_down();
    }
    busy_quiet_before_ms_ = quiet_before;
    RelaySession* latest = idle_.queue.back();
    if (latest && latest->since_ms >= quiet_before) watch_busy();
}

void RelayServer::end_session(RelaySession& s, const char* reason) {
    log("session %llu closed: %s", (unsigned long long)s.id, reason);
    ConnectionPtr tool = std::move(s.tool);
    ConnectionPtr op = std::move(s.op);
    timeout_of(s).queue.remove(s);
    code_closed(s);
    retired_codes_.remember(s.code, platform::monotonic_ms());
    sessions_.erase(s.code);
    for (const ConnectionPtr& c : {tool, op}) {
        if (!c) continue;
        c->session = nullptr;
        if (c->phase == ConnectionPhase::WAITING) c->send(std::string("ERR ") + reason + "\n");
        c->finish(CLOSING_GRACE_MS);
    }
}
