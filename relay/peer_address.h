// A connection's peer address as the relay's limits count it: an IPv4 address, or the
// /64 network of an IPv6 address (one subscriber's share; counting single IPv6
// addresses would give every attacker 2^64 fresh budgets).
#pragma once

#include <asio/ip/address.hpp>
#include <cstdint>
#include <functional>
#include <string>

struct PeerAddress {
    uint64_t high = 0;  // IPv6 network prefix, or 0 for IPv4
    uint64_t low = 0;   // 0xFFFF'xxxxxxxx for IPv4 (its mapped form)
    bool operator==(const PeerAddress& other) const { return high == other.high && low == other.low; }
};

inline PeerAddress peer_address_of(const asio::ip::address& address) {
    PeerAddress key;
    asio::ip::address_v6::bytes_type bytes{};
    if (address.is_v4()) {
        key.low = 0xFFFF00000000ull | address.to_v4().to_uint();
        return key;
    }
    asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return peer_address_of(asio::ip::make_address_v4(asio::ip::v4_mapped, v6));
    bytes = v6.to_bytes();
    for (int i = 0; i < 8; ++i) key.high = key.high << 8 | bytes[size_t(i)];
    return key;
}

// noexcept, so that hash maps keep no copy of the hash in each node: one per address
// of ten thousands.
struct PeerAddressHash {
    size_t operator()(const PeerAddress& a) const noexcept {
        return std::hash<uint64_t>()(a.high * 0x9E3779B97F4A7C15ull ^ a.low);
    }
};
