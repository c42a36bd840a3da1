// Loopback clients for the relay server tests: blocking-free sockets driven together
// with the server's poll loop in one thread.
#pragma once

#include <string>

#include "relay/relay_server.h"

// Connects to port on `address` (IPv4 or IPv6) from `source` (an address of this host,
// so that tests can speak for many peers: all of 127.0.0.0/8 is loopback); -1 on failure.
int connect_loopback(int port, const char* source = "127.0.0.1", const char* address = "127.0.0.1");

// Sends everything (the kernel buffers are large enough for the tests' sizes).
void send_text(int fd, const std::string& text);

// Runs the server and collects what arrives on fd until `count` bytes came, the peer
// closed, or `rounds` rounds passed. *closed tells whether the peer closed.
std::string receive(RelayServer& server, int fd, size_t count, bool* closed = nullptr, int rounds = 200);

// Runs the server a few rounds.
void pump(RelayServer& server, int rounds = 5);
