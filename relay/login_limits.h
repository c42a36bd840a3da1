// The relay's memory of failed logins, and its budget for looking up session codes that
// never existed.
//
// Per port, a table of addresses with their failures within a window: failures that
// guess a secret (a wrong token, a code that never existed) and failures that reveal
// nothing (time-outs, malformed lines). On the operator port an address that spends a
// budget is blocked for a window; on the tool port wrong codes only slow their address
// down, since a block would also turn away the valid codes of every fitter behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <unordered_map>

#include "relay/peer_address.h"

enum class LoginSide : uint8_t { TOOL, OPERATOR };
enum class FailureKind { GUESS, NOISE };

struct FailureLimits {
    bool blocks = true;        // false: count guesses and slow the address down instead
    int guesses = 10;          // per address within window_ms, for a block
    int noise = 50;            // likewise, for failures that reveal nothing
    uint64_t window_ms = 600000;
    size_t table_size = 65536;  // addresses remembered at once
};

// How long an address that guessed `guesses` times within its window waits before its
// next line is looked up: nothing for the first few (typing slips), then doubling.
uint64_t guess_delay_ms(int guesses);
constexpr int FREE_GUESSES = 3;
constexpr uint64_t MAX_GUESS_DELAY_MS = 4000;  // well within the tool's 10 s wait for an answer

class FailureTable {
public:
    explicit FailureTable(const FailureLimits& limits) : limits_(limits) {}

    // True when `address` spent a budget within its window. An address the table does
    // not hold never is.
    bool blocked(const PeerAddress& address, uint64_t now_ms);
    // Guesses from `address` within its window, and when it may be heard again.
    int guesses(const PeerAddress& address, uint64_t now_ms);
    uint64_t slowed_until(const PeerAddress& address, uint64_t now_ms);

    enum class Outcome { COUNTED, NOW_BLOCKED };
    // Counts one failure. A full table makes room by forgetting its oldest entries,
    // unblocked ones first; crowded() then tells that it had to.
    Outcome record(const PeerAddress& address, FailureKind kind, uint64_t now_ms);
    bool crowded() const { return crowded_; }

    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        int guesses = 0;
        int noise = 0;
        uint64_t since_ms = 0;      // start of the window, or of the block
        uint64_t slowed_until_ms = 0;
        bool is_blocked = false;
        std::list<PeerAddress>::iterator order;  // in unblocked_ or blocked_, oldest first
    };
    using Entries = std::unordered_map<PeerAddress, Entry, PeerAddressHash>;

    // The live entry of `address`, or end(); an expired one is forgotten.
    Entries::iterator find(const PeerAddress& address, uint64_t now_ms);
    bool expired(const Entry& e, uint64_t now_ms) const { return now_ms - e.since_ms >= limits_.window_ms; }
    void forget(Entries::iterator it);
    void forget_expired(std::list<PeerAddress>& order, uint64_t now_ms);
    void make_room(uint64_t now_ms);

    FailureLimits limits_;
    Entries entries_;
    std::list<PeerAddress> unblocked_;
    std::list<PeerAddress> blocked_;
    bool crowded_ = false;
};

// The server-wide budget for lookups of session codes that never existed: a bucket of
// `per_hour` tokens that refills at `per_hour` an hour. Lines from addresses that
// guessed before may only take tokens above a reserve (a third of the bucket), which
// stays for addresses without a wrong code on record: the fitters.
class GuessBudget {
public:
    explicit GuessBudget(int per_hour);
    // Whether a line may be looked up now; else the time from which it may.
    bool allows(bool guessed_before, uint64_t now_ms);
    uint64_t allows_from(bool guessed_before, uint64_t now_ms);
    // A looked-up code never existed.
    void spend(uint64_t now_ms);

private:
    void refill(uint64_t now_ms);
    uint64_t needed(bool guessed_before) const { return (guessed_before ? reserve_ + 1 : 1) * interval_ms_; }

    uint64_t interval_ms_;  // per token
    uint64_t capacity_;     // in token milliseconds: tokens * interval_ms_
    uint64_t reserve_;      // tokens
    uint64_t level_;        // token milliseconds
    uint64_t last_ms_ = 0;
};

// Session codes that were open once: used, ended or expired. A tool that comes back
// with one is no guesser. Kept for a day, the oldest forgotten first beyond `capacity`.
class RetiredCodes {
public:
    explicit RetiredCodes(size_t capacity) : capacity_(capacity) {}
    void remember(uint32_t code, uint64_t now_ms);
    bool contains(uint32_t code, uint64_t now_ms);

private:
    static constexpr uint64_t KEPT_MS = 24 * 3600 * 1000ull;
    size_t capacity_;
    std::deque<std::pair<uint64_t, uint32_t>> order_;  // when retired, oldest first
    std::unordered_map<uint32_t, uint64_t> codes_;      // when last retired
};
