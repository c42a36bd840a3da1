// Failed logins per address, the server-wide guess budget, and the codes once open.
#include "relay/login_limits.h"

#include <algorithm>

uint64_t guess_delay_ms(int guesses) {
    if (guesses <= FREE_GUESSES) return 0;
    int doublings = std::min(guesses - FREE_GUESSES - 1, 16);
    return std::min(MAX_GUESS_DELAY_MS, uint64_t(500) << doublings);
}

void FailureTable::forget(Entries::iterator it) {
    (it->second.is_blocked ? blocked_ : unblocked_).erase(it->second.order);
    entries_.erase(it);
}

// Entries join their list in time order, so the expired ones are at its front.
void FailureTable::forget_expired(std::list<PeerAddress>& order, uint64_t now_ms) {
    while (!order.empty()) {
        auto it = entries_.find(order.front());
        if (!expired(it->second, now_ms)) return;
        forget(it);
    }
}

void FailureTable::make_room(uint64_t now_ms) {
    crowded_ = false;
    if (entries_.size() < limits_.table_size) return;
    forget_expired(unblocked_, now_ms);
    forget_expired(blocked_, now_ms);
    if (entries_.size() < limits_.table_size) return;
    // A block forgotten early lets its address try again sooner; refusing an address the
    // table cannot hold would refuse one that never failed.
    crowded_ = true;
    forget(entries_.find(!unblocked_.empty() ? unblocked_.front() : blocked_.front()));
}

FailureTable::Entries::iterator FailureTable::find(const PeerAddress& address, uint64_t now_ms) {
    auto it = entries_.find(address);
    if (it != entries_.end() && expired(it->second, now_ms)) {
        forget(it);
        return entries_.end();
    }
    return it;
}

bool FailureTable::blocked(const PeerAddress& address, uint64_t now_ms) {
    auto it = find(address, now_ms);
    return it != entries_.end() && it->second.is_blocked;
}

int FailureTable::guesses(const PeerAddress& address, uint64_t now_ms) {
    auto it = find(address, now_ms);
    return it == entries_.end() ? 0 : it->second.guesses;
}

uint64_t FailureTable::slowed_until(const PeerAddress& address, uint64_t now_ms) {
    auto it = find(address, now_ms);
    return it == entries_.end() ? 0 : it->second.slowed_until_ms;
}

FailureTable::Outcome FailureTable::record(const PeerAddress& address, FailureKind kind, uint64_t now_ms) {
    auto it = find(address, now_ms);
    if (it == entries_.end()) {
        make_room(now_ms);
        it = entries_.emplace(address, Entry{}).first;
        it->second.since_ms = now_ms;
        it->second.order = unblocked_.insert(unblocked_.end(), address);
    }
    Entry& e = it->second;
    if (e.is_blocked) return Outcome::COUNTED;
    int& count = kind == FailureKind::GUESS ? e.guesses : e.noise;
    ++count;
    if (!limits_.blocks) {
        if (kind == FailureKind::GUESS) e.slowed_until_ms = now_ms + guess_delay_ms(e.guesses);
        return Outcome::COUNTED;
    }
    if (count < (kind == FailureKind::GUESS ? limits_.guesses : limits_.noise)) return Outcome::COUNTED;
    // A block lasts a whole window from the failure that spent the budget.
    unblocked_.erase(e.order);
    e.order = blocked_.insert(blocked_.end(), address);
    e.is_blocked = true;
    e.since_ms = now_ms;
    return Outcome::NOW_BLOCKED;
}

GuessBudget::GuessBudget(int per_hour)
    : interval_ms_(std::max<uint64_t>(1, 3600000 / uint64_t(std::max(1, per_hour)))),
      capacity_(uint64_t(std::max(1, per_hour)) * interval_ms_),
      reserve_(uint64_t(std::max(1, per_hour)) / 3),
      level_(capacity_) {}

void GuessBudget::refill(uint64_t now_ms) {
    if (now_ms > last_ms_) level_ = std::min(capacity_, level_ + (now_ms - last_ms_));
    last_ms_ = std::max(last_ms_, now_ms);
}

bool GuessBudget::allows(bool guessed_before, uint64_t now_ms) {
    refill(now_ms);
    return level_ >= needed(guessed_before);
}

uint64_t GuessBudget::allows_from(bool guessed_before, uint64_t now_ms) {
    refill(now_ms);
    uint64_t need = needed(guessed_before);
    return level_ >= need ? now_ms : now_ms + (need - level_);
}

void GuessBudget::spend(uint64_t now_ms) {
    refill(now_ms);
    level_ -= std::min(level_, interval_ms_);
}

void RetiredCodes::remember(uint32_t code, uint64_t now_ms) {
    codes_[code] = now_ms;
    order_.emplace_back(now_ms, code);
    while (!order_.empty() && (order_.size() > capacity_ || now_ms - order_.front().first >= KEPT_MS)) {
        auto it = codes_.find(order_.front().second);
        // Retired again since: its later entry forgets it.
        if (it != codes_.end() && it->second == order_.front().first) codes_.erase(it);
        order_.pop_front();
    }
}

bool RetiredCodes::contains(uint32_t code, uint64_t now_ms) {
    auto it = codes_.find(code);
    return it != codes_.end() && now_ms - it->second < KEPT_MS;
}
