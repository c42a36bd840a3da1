// Update requests, reply header reading, the version body and the server setting,
// with a bounded fuzz run of the header reader.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/http_reply.h"
#include "net/update_client.h"
#include "platform/installer.h"

namespace {

ReplyHeader parse(const std::string& reply) { return parse_reply_header(reply.data(), int(reply.size())); }

TEST(ReplyHeader, LengthAndBodyStartFollowTheHeaderRules) {
    const struct {
        const char* name;
        std::string reply;
        bool complete;
        int body_offset;
        long length;
    } cases[] = {
        {"CRLF lines", "HTTP/1.1 200 OK\r\nContent-Length: 14\r\n\r\nVERSION 2.5.3\n", true, 39, 14},
        {"bare LF lines", "HTTP/1.0 200 OK\nContent-Length: 5\n\nhello", true, 35, 5},
        {"several CRs before LF", "S\r\r\nContent-Length: 3\r\r\n\r\r\r\nabc", true, 28, 3},
        {"last length line counts", "S\r\nContent-Length: 3\r\nContent-Length: 7\r\n\r\n", true, 43, 7},
        {"other case", "S\r\ncontent-length: 14\r\n\r\nVERSION 2.5.3\n", true, 25, 0},
        {"no blank after colon", "S\r\nContent-Length:14\r\n\r\nx", true, 24, 0},
        {"two blanks", "S\r\nContent-Length:  14\r\n\r\nx", true, 26, 0},
        {"not a number", "S\r\nContent-Length: abc\r\n\r\n", true, 26, 0},
        {"digits then text", "S\r\nContent-Length: 12ab\r\n\r\n", true, 27, 0},
        {"trailing blanks", "S\r\nContent-Length: 12  \r\n\r\n", true, 27, 12},
        {"too large", "S\r\nContent-Length: 99999999999999999999\r\n\r\n", true, 43, 0},
        {"no length", "S\r\nServer: x\r\n\r\nbody", true, 16, 0},
        {"no empty line", "S\r\nContent-Length: 4\r\nbody", false, 0, 0},
        {"empty reply", "", false, 0, 0},
        {"header cut before its LF", "S\r\nContent-Length: 4\r\n\r", false, 0, 0},
        {"blank line is not empty", "S\r\nContent-Length: 4\r\n \r\nbody", false, 0, 0},
        {"empty first line", "\r\nContent-Length: 4\r\n\r\n", true, 2, 0},
    };
    for (const auto& c : cases) {
        const ReplyHeader h = parse(c.reply);
        EXPECT_EQ(h.complete, c.complete) << c.name;
        if (c.complete) {
            EXPECT_EQ(h.body_offset, c.body_offset) << c.name;
        }
        EXPECT_EQ(h.content_length, c.length) << c.name;
    }
}

TEST(ReplyHeader, StatusCodeOfTheFirstLine) {
    const std::pair<const char*, int> cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", 200}, {"HTTP/1.0 404 Not Found\n\n", 404}, {"HTTP/1.0 200\r\n\r\n", 200},
        {"HTTP/1.0 20 OK\r\n\r\n", 0},    {"HTTP/1.0 2000 OK\r\n\r\n", 0},    {"Content-Length: 2\r\n\r\n", 0}};
    for (const auto& c : cases) EXPECT_EQ(parse(c.first).status, c.second) << c.first;
}

TEST(ReplyHeader, OnlyTheFirst2048BytesAndNoMoreThanReceivedAreSearched) {
    const std::string padding = "X-Pad: " + std::string(2020, 'p') + "\r\n";
    const std::string fits = "S\r\nContent-Length: 2\r\n" + std::string(2048 - 24 - 2, 'y') + "\r\n\r\nok";
    ASSERT_EQ(fits.find("\r\n\r\n") + 4, 2048u);
    EXPECT_TRUE(parse(fits).complete);
    EXPECT_EQ(parse(fits).content_length, 2);
    const std::string late = "S\r\nContent-Length: 2\r\n" + padding + "\r\nok";
    EXPECT_FALSE(parse(late).complete);
    EXPECT_EQ(parse(late).content_length, 0);
    // A bigger size must not reach bytes past what was received.
    const std::string reply = "S\r\nContent-Length: 2\r\n\r\nok";
    EXPECT_FALSE(parse_reply_header(reply.data(), 10).complete);
    EXPECT_FALSE(parse_reply_header(reply.data(), -5).complete);
}

TEST(VersionBody, WordBlankAndThreeNumbersDecideTheOffer) {
    OfferedVersion v;
    for (const char* good : {"VERSION 2.5.3", "VERSION 2.4.0\r\nanything", "VERSION 10.20.30beta"})
        EXPECT_TRUE(parse_version_body(good, int(strlen(good)), &v)) << good;
    EXPECT_EQ(v.major * 10000 + v.minor * 100 + v.patch, 102030);
    for (const char* bad : {"VERSION 2.5", "VERSION 2.5.", "VERSION  2.5.3", "VERSION -2.5.3", "version 2.5.3",
                            "VERSION2.5.3", "VERSION 2,5,3", "", " VERSION 2.5.3"})
        EXPECT_FALSE(parse_version_body(bad, int(strlen(bad)), &v)) << bad;
    EXPECT_FALSE(parse_version_body("VERSION 2.5.3", 12, &v));  // not read past the body's length

    // Only the major and minor number count, higher or lower alike.
    const std::pair<OfferedVersion, bool> offers[] = {{{2, 4, 0}, false}, {{2, 4, 9}, false}, {{2, 5, 3}, true},
                                                      {{2, 3, 0}, true},  {{3, 0, 0}, true},  {{3, 4, 0}, true}};
    for (const auto& o : offers) EXPECT_EQ(is_other_version(o.first), o.second) << o.first.major << o.first.minor;
}

TEST(UpdateRequests, AbsoluteUriNamesTheHostAsGiven) {
    char out[256];
    build_version_request(out, sizeof out, "127.0.0.1:8080");
    EXPECT_STREQ(out, "GET http://127.0.0.1:8080/programator/QV450_version HTTP/1.0\r\n\r\n");
    platform::installer_file_name(out, sizeof out, 2, 5);
    EXPECT_EQ(std::string(out), std::string("qv450_2.5.0-1_") + QV450_DEBIAN_ARCH + ".deb") << "as the packaging names it";
    build_installer_request(out, sizeof out, "updates.example", "qv450_2.5.0-1_amd64.deb");
    EXPECT_STREQ(out, "GET http://updates.example/programator/qv450_2.5.0-1_amd64.deb HTTP/1.0\r\n\r\n");
    EXPECT_EQ(build_version_request(out, 20, "updates.example"), 0);  // does not fit
}

TEST(UpdateServerSetting, HostOrHostAndPort) {
    const struct {
        const char* text;
        bool ok;
        const char* name;
        int port;
    } cases[] = {
        {"updates.example", true, "updates.example", 80}, {"127.0.0.1:8080", true, "127.0.0.1", 8080},
        {"host:65535", true, "host", 65535}, {"host:65536", false, "", 0}, {"host:0", false, "", 0},
        {"host:", false, "", 0}, {":80", false, "", 0}, {"", false, "", 0}, {"host:80:1", false, "", 0},
        {"host/evil", false, "", 0}, {"host\r\nX: y", false, "", 0}, {"[::1]:80", false, "", 0},
    };
    for (const auto& c : cases) {
        UpdateServer s;
        EXPECT_EQ(parse_update_server(c.text, &s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_STREQ(s.name, c.name);
            EXPECT_STREQ(s.host, c.text);
            EXPECT_EQ(s.port, c.port);
        }
    }
    UpdateServer s;
    unsetenv("QV450_UPDATE_SERVER");
    EXPECT_EQ(update_server_configured(), *QV450_UPDATE_SERVER_DEFAULT != '\0');
    EXPECT_EQ(update_server_from_environment(&s), update_server_configured());
    setenv("QV450_UPDATE_SERVER", "bad host", 1);
    EXPECT_TRUE(update_server_configured());
    EXPECT_FALSE(update_server_from_environment(&s));
    unsetenv("QV450_UPDATE_SERVER");
}

// Random and mutated replies: the reader stays inside the bytes it is given (the
// sanitizer build checks that), and what it reports is consistent with them.
TEST(ReplyHeaderFuzz, RandomAndMutatedRepliesStayInBounds) {
    std::mt19937 random(4501);
    const std::vector<std::string> seeds = {
        "HTTP/1.1 200 OK\r\nServer: nginx\r\nContent-Length: 14\r\nConnection: close\r\n\r\nVERSION 2.5.3\n",
        "HTTP/1.0 200 OK\nContent-Length: 5\n\nhello",
        "S\r\r\nContent-Length: 3\r\nContent-Length: 9\r\n\r\r\n123456789",
    };
    const char alphabet[] = "\r\n: 0123456789Content-Length\x00\xff";
    for (int round = 0; round < 20000; ++round) {
        std::string reply;
        if (round % 2) {
            reply = seeds[size_t(random()) % seeds.size()];
            for (int m = int(random() % 6); m >= 0 && !reply.empty(); --m) {
                const size_t at = size_t(random()) % reply.size();
                switch (random() % 3) {
                    case 0: reply[at] = alphabet[size_t(random()) % (sizeof alphabet - 1)]; break;
                    case 1: reply.erase(at, 1 + size_t(random()) % 4); break;
                    default: reply.insert(at, size_t(random()) % 3000 == 0 ? 2100 : 1 + random() % 3, alphabet[size_t(random()) % (sizeof alphabet - 1)]);
                }
            }
        } else {
            reply.resize(size_t(random()) % 2600);
            for (char& c : reply) c = alphabet[size_t(random()) % (sizeof alphabet - 1)];
        }
        // An exact-size copy, so that reading one byte too far is caught.
        std::vector<char> bytes(reply.begin(), reply.end());
        const ReplyHeader h = parse_reply_header(bytes.data(), int(bytes.size()));
        if (h.complete) {
            ASSERT_GT(h.body_offset, 0);
            ASSERT_LE(h.body_offset, int(bytes.size()));
            ASSERT_LE(h.body_offset, REPLY_HEADER_SEARCH_SIZE);
            ASSERT_EQ(bytes[size_t(h.body_offset) - 1], '\n');
        } else {
            ASSERT_EQ(h.content_length, 0);
        }
        ASSERT_GE(h.content_length, 0);
        ASSERT_LE(h.content_length, MAX_CONTENT_LENGTH);
        OfferedVersion v;
        if (h.complete) {
            const int body = int(bytes.size()) - h.body_offset;
            parse_version_body(bytes.data() + h.body_offset, body, &v);
        }
    }
}

}  // namespace
