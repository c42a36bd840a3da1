// The relay server's login lines: tool codes looked up in their turn, operators' OPEN
// and JOIN, refusals and the failures they count.
#include <algorithm>

#include "platform/clock.h"
#include "relay/relay_server.h"
#include "relay/relay_server_parts.h"

using relay_parts::CLOSING_GRACE_MS;
using relay_parts::side_name;

namespace {

const FailureKind GUESS = FailureKind::GUESS;
const FailureKind NOISE = FailureKind::NOISE;

}  // namespace

void RelayServer::read_login(RelayConnection& c, const char* data, size_t size) {
    std::string& inbox = c.inbox();
    inbox.append(data, size);
    size_t lf = inbox.find('\n');
    if (lf == std::string::npos) {
        if (inbox.size() >= LOGIN_LINE_MAX - 1)
            refuse(c, "login line too long", c.side == LoginSide::TOOL ? "NO" : "ERR line too long\n", &NOISE);
        return;
    }
    std::string line = c.take_inbox();
    // What follows the line belongs to the session.
    std::string rest = line.substr(lf + 1);
    line.resize(lf);
    if (c.side == LoginSide::TOOL) {
        c.inbox() = rest;  // held until the line's turn comes
        tool_line(c, line);
        return;
    }
    login_operator(c, line);
    if (!rest.empty() && c.is_open() && c.phase != ConnectionPhase::CLOSING) on_bytes(c, rest.data(), rest.size());
}

// A line that holds no code reveals nothing and costs nothing. A code waits for its turn.
void RelayServer::tool_line(RelayConnection& c, const std::string& line) {
    uint32_t code = 0;
    if (!parse_tool_line(line, &code)) {
        refuse(c, "not a session code", "NO", nullptr);
        return;
    }
    c.phase = ConnectionPhase::LOOKUP;
    int guesses = tool_guesses_.guesses(c.key(), platform::monotonic_ms());
    waiting_lines_.emplace(std::make_pair(guesses, next_line_++), WaitingLine{c.ref(), code});
    serve_waiting_lines();
}

// A line's turn comes once its address has waited out its last wrong code and, unless
// the code turns out to be open or once open, the guess budget has room for it.
void RelayServer::serve_waiting_lines() {
    uint64_t now = platform::monotonic_ms();
    uint64_t next_ms = UINT64_MAX;
    bool held_by_budget = false;
    for (auto it = waiting_lines_.begin(); it != waiting_lines_.end();) {
        RelayConnection& c = *it->second.c;
        if (!c.is_open() || c.phase != ConnectionPhase::LOOKUP) {
            it = waiting_lines_.erase(it);
            continue;
        }
        PeerAddress key = c.key();
        bool guessed = tool_guesses_.guesses(key, now) > 0;
        uint64_t due = std::max(tool_guesses_.slowed_until(key, now), guess_budget_.allows_from(guessed, now));
        if (due > now) {
            held_by_budget |= !guess_budget_.allows(guessed, now);
            next_ms = std::min(next_ms, due);
            ++it;
            continue;
        }
        WaitingLine line = std::move(it->second);
        it = waiting_lines_.erase(it);
        look_up(*line.c, line.code);
    }
    if (held_by_budget && !budget_spent_logged_)
        log("guesses_per_hour spent: tool logins wait for their turn to be looked up");
    budget_spent_logged_ = held_by_budget;
    if (next_ms == UINT64_MAX || (lines_timer_armed_ && lines_timer_due_ms_ <= next_ms)) return;
    lines_timer_armed_ = true;
    lines_timer_due_ms_ = next_ms;
    lines_timer_.expires_at(relay_time_after_ms(next_ms - now));
    lines_timer_.async_wait([this](const std::error_code& ec) {
        if (ec) return;
        lines_timer_armed_ = false;
        serve_waiting_lines();
    });
}

void RelayServer::look_up(RelayConnection& c, uint32_t code) {
    uint64_t now = platform::monotonic_ms();
    auto found = sessions_.find(code);
    // A code past its time is refused even if its timer has not had its turn yet.
    if (found != sessions_.end() && !found->second.code_used && now - found->second.since_ms >= unused_code_.limit_ms) {
        end_session(found->second, unused_code_.reason);
        found = sessions_.end();
    }
    if (found != sessions_.end() && !found->second.code_used) {
        login_tool(c, found->second);
        return;
    }
    // A tool back with its code after a dropped link is no guesser.
    if (found != sessions_.end() || retired_codes_.contains(code, now)) {
        refuse(c, "session code no longer open", "NO", nullptr);
        return;
    }
    guess_budget_.spend(now);
    tool_guesses_.record(c.key(), GUESS, now);
    note_crowded(tool_guesses_, "tool");
    refuse(c, "wrong session code", "NO", nullptr);
}

void RelayServer::login_tool(RelayConnection& c, RelaySession& s) {
    uint64_t now = platform::monotonic_ms();
    logged_in(c);
    code_closed(s);
    unused_code_.queue.remove(s);
    s.code_used = true;
    s.tool = c.ref();
    c.session = &s;
    c.phase = ConnectionPhase::PAIRED;
    c.send("OK");
    start_timeout(s, idle_, now);
    log("session %llu: tool logged in from %s", (unsigned long long)s.id, c.address().c_str());
    std::string early = c.take_inbox();
    RelayConnection* op = s.op.get();
    if (!op) return;  // what the tool sent early has nobody to go to
    op->send("PAIRED\n");
    op->phase = ConnectionPhase::PAIRED;
    std::string held = op->take_inbox();
    c.send(held.data(), held.size());
    op->send(early.data(), early.size());
    op->resume_reading();
}

const char* RelayServer::cannot_open(const PeerAddress& key) const {
    if (sessions_.size() >= size_t(options_.max_sessions)) return "server full";
    if (open_codes_.size() >= size_t(options_.max_open_codes)) return "too many open codes";
    auto mine = open_codes_by_address_.find(key);
    if (mine != open_codes_by_address_.end() && mine->second >= options_.max_open_codes_per_address)
        return "too many open codes from this address";
    return nullptr;
}

void RelayServer::login_operator(RelayConnection& c, const std::string& line) {
    OperatorLine parsed = parse_operator_line(line);
    if (operator_failures_.blocked(c.key(), platform::monotonic_ms())) {
        refuse(c, "too many failed logins", "ERR too many failed logins\n", nullptr);
        return;
    }
    if (parsed.kind == OperatorLine::MALFORMED) {
        refuse(c, "malformed login line", "ERR expected OPEN <token> or JOIN <token> <code>\n", &NOISE);
        return;
    }
    if (!tokens_equal(parsed.token, options_.operator_token)) {
        refuse(c, "wrong token", "ERR wrong operator token\n", &GUESS);
        return;
    }
    RelaySession* s = nullptr;
    if (parsed.kind == OperatorLine::OPEN) {
        if (const char* why = cannot_open(c.key())) {
            refuse(c, why, std::string("ERR ") + why + "\n", nullptr);
            return;
        }
        s = new_session(c.key());
        log("session %llu: opened by operator from %s", (unsigned long long)s->id, c.address().c_str());
    } else {
        uint32_t code = 0;
        auto found = parse_session_code(parsed.code, &code) ? sessions_.find(code) : sessions_.end();
        if (found == sessions_.end()) {
            refuse(c, "no such session", "ERR no such session\n", &NOISE);
            return;
        }
        s = &found->second;
        if (s->op) {
            refuse(c, "session already has an operator", "ERR session already has an operator\n", nullptr);
            return;
        }
        log("session %llu: operator joined from %s", (unsigned long long)s->id, c.address().c_str());
    }
    logged_in(c);
    s->op = c.ref();
    c.session = s;
    c.send("CODE " + session_code_text(s->code) + "\n");
    if (s->tool) {
        c.send("PAIRED\n");
        c.phase = ConnectionPhase::PAIRED;
        s->since_ms = platform::monotonic_ms();
        idle_.queue.move_to_back(*s);
    } else {
        c.phase = ConnectionPhase::WAITING;
    }
}

void RelayServer::logged_in(RelayConnection& c) {
    c.cancel_timer();
    joined_session(c);
}

void RelayServer::refuse(RelayConnection& c, const char* reason, const std::string& answer,
                         const FailureKind* kind) {
    log("%s login refused from %s: %s", side_name(c.side), c.address().c_str(), reason);
    c.send(answer);
    c.finish(CLOSING_GRACE_MS);
    if (kind) count_failure(c, *kind);
}

// Only operators are blocked: a tool's failures either reveal nothing or are guesses,
// which slow their address down instead (serve_waiting_lines).
void RelayServer::count_failure(RelayConnection& c, FailureKind kind) {
    if (c.side != LoginSide::OPERATOR) return;
    PeerAddress key = c.key();
    FailureTable::Outcome outcome = operator_failures_.record(key, kind, platform::monotonic_ms());
    note_crowded(operator_failures_, "operator");
    if (outcome != FailureTable::Outcome::NOW_BLOCKED) return;
    log("address %s blocked for operator logins after too many failed logins", c.address().c_str());
    // Its other connections still logging in on that port go at once.
    std::vector<ConnectionPtr> others;
    for (Loose* l = loose_order_.front(); l; l = l->queue_next)
        if (l->c != &c && l->c->side == c.side && l->c->phase == ConnectionPhase::LOGIN && l->c->key() == key)
            others.push_back(l->c->ref());
    for (const ConnectionPtr& other : others)
        refuse(*other, "too many failed logins", "ERR too many failed logins\n", nullptr);
}

void RelayServer::note_crowded(const FailureTable& table, const char* port) {
    bool& logged = crowded_logged_[&table == &operator_failures_ ? 1 : 0];
    if (table.crowded() && !logged)
        log("failure table of the %s port full: the oldest addresses in it are forgotten early", port);
    logged = table.crowded();
}
