// The relay's memory of failed logins: per address and side a budget for failures that
// guess a secret (wrong token, wrong code) and a larger one for failures that reveal
// nothing (time-outs, malformed lines, ended sessions); and one server-wide count of
// wrong session codes, which bounds what an attacker with many addresses can guess.
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
    int guesses = 10;          // per address and side within window_ms
    int noise = 50;            // likewise, for failures that reveal nothing
    uint64_t window_ms = 600000;
    size_t table_size = 65536;  // addresses and sides remembered at once
};

class FailureTable {
public:
    explicit FailureTable(const FailureLimits& limits) : limits_(limits) {}

    // True when logins of `side` from `address` are refused at `now_ms`: the address
    // spent a budget, or the table is full of blocked addresses and cannot count this
    // one.
    bool blocked(const PeerAddress& address, LoginSide side, uint64_t now_ms);

    enum class Outcome { COUNTED, NOW_BLOCKED, TABLE_FULL };
    // Counts one failure. A full table makes room by forgetting its oldest unblocked
    // entries, never a block; TABLE_FULL when every entry is a block.
    Outcome record(const PeerAddress& address, LoginSide side, FailureKind kind, uint64_t now_ms);

    size_t size() const { return entries_.size(); }

private:
    struct Key {
        PeerAddress address;
        LoginSide side;
        bool operator==(const Key& other) const { return address == other.address && side == other.side; }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const { return PeerAddressHash()(k.address) ^ size_t(k.side); }
    };
    struct Entry {
        int guesses = 0;
        int noise = 0;
        uint64_t since_ms = 0;  // start of the window, or of the block
        bool is_blocked = false;
        std::list<Key>::iterator order;  // in unblocked_ or blocked_, oldest first
    };
    using Entries = std::unordered_map<Key, Entry, KeyHash>;

    bool expired(const Entry& e, uint64_t now_ms) const { return now_ms - e.since_ms >= limits_.window_ms; }
    void forget(Entries::iterator it);
    void forget_expired(std::list<Key>& order, uint64_t now_ms);
    bool make_room(uint64_t now_ms);

    FailureLimits limits_;
    Entries entries_;
    std::list<Key> unblocked_;
    std::list<Key> blocked_;
};

// At most `limit` events within any `window_ms`: a sliding count.
class SlidingLimit {
public:
    SlidingLimit(size_t limit, uint64_t window_ms) : limit_(limit), window_ms_(window_ms) {}
    bool exhausted(uint64_t now_ms);
    void count(uint64_t now_ms);

private:
    size_t limit_;
    uint64_t window_ms_;
    std::deque<uint64_t> times_;
};
