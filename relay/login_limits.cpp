// Failed-login budgets per address and server-wide.
#include "relay/login_limits.h"

void FailureTable::forget(Entries::iterator it) {
    (it->second.is_blocked ? blocked_ : unblocked_).erase(it->second.order);
    entries_.erase(it);
}

// Entries join their list in time order, so the expired ones are at its front.
void FailureTable::forget_expired(std::list<Key>& order, uint64_t now_ms) {
    while (!order.empty()) {
        auto it = entries_.find(order.front());
        if (!expired(it->second, now_ms)) return;
        forget(it);
    }
}

bool FailureTable::make_room(uint64_t now_ms) {
    if (entries_.size() < limits_.table_size) return true;
    forget_expired(unblocked_, now_ms);
    forget_expired(blocked_, now_ms);
    if (entries_.size() < limits_.table_size) return true;
    if (unblocked_.empty()) return false;
    forget(entries_.find(unblocked_.front()));
    return true;
}

bool FailureTable::blocked(const PeerAddress& address, LoginSide side, uint64_t now_ms) {
    auto it = entries_.find(Key{address, side});
    if (it == entries_.end()) {
        if (entries_.size() < limits_.table_size) return false;
        forget_expired(blocked_, now_ms);
        return entries_.size() >= limits_.table_size && unblocked_.empty();
    }
    if (expired(it->second, now_ms)) {
        forget(it);
        return false;
    }
    return it->second.is_blocked;
}

FailureTable::Outcome FailureTable::record(const PeerAddress& address, LoginSide side, FailureKind kind,
                                           uint64_t now_ms) {
    Key key{address, side};
    auto it = entries_.find(key);
    if (it != entries_.end() && expired(it->second, now_ms)) {
        forget(it);
        it = entries_.end();
    }
    if (it == entries_.end()) {
        if (!make_room(now_ms)) return Outcome::TABLE_FULL;
        it = entries_.emplace(key, Entry{}).first;
        it->second.since_ms = now_ms;
        it->second.order = unblocked_.insert(unblocked_.end(), key);
    }
    Entry& e = it->second;
    if (e.is_blocked) return Outcome::COUNTED;
    int& count = kind == FailureKind::GUESS ? e.guesses : e.noise;
    ++count;
    if (count < (kind == FailureKind::GUESS ? limits_.guesses : limits_.noise)) return Outcome::COUNTED;
    // A block lasts a whole window from the failure that spent the budget.
    unblocked_.erase(e.order);
    e.order = blocked_.insert(blocked_.end(), key);
    e.is_blocked = true;
    e.since_ms = now_ms;
    return Outcome::NOW_BLOCKED;
}

bool SlidingLimit::exhausted(uint64_t now_ms) {
    while (!times_.empty() && now_ms - times_.front() >= window_ms_) times_.pop_front();
    return times_.size() >= limit_;
}

void SlidingLimit::count(uint64_t now_ms) {
    if (!exhausted(now_ms)) times_.push_back(now_ms);
}
