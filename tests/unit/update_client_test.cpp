// The version query and the installer download against Debian's nginx and against
// scripted servers that break the rules.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "net/update_client.h"
#include "platform/clock.h"
#include "platform/installer.h"
#include "platform/private_folder.h"
#include "platform/tcp_socket.h"
#include "unit/http_servers.h"
#include "unit/temp_folder.h"

namespace {

UpdateSession session_for(const std::string& host, int timeout_ms = 3000) {
    UpdateSession s;
    EXPECT_TRUE(parse_update_server(host.c_str(), &s.server)) << host;
    s.timeout_ms = timeout_ms;
    return s;
}

int query(const std::string& host, OfferedVersion* v, int timeout_ms = 3000) {
    UpdateSession s = session_for(host, timeout_ms);
    return query_version(s, v);
}

// Downloads from `host` into a new folder; gives the result and the folder's names.
struct DownloadOutcome {
    int result;
    std::string path;
    std::vector<std::string> names;
    std::string bytes;
    unsigned mode = 0;  // the file's permissions
};
DownloadOutcome download(const std::string& host, int major = 2, int minor = 5, int timeout_ms = 3000,
                         const char* earlier_file = nullptr, void (*events)(void*) = nullptr) {
    TempFolder folder;
    if (earlier_file) folder.put(earlier_file, "an earlier download, longer than the new one");
    UpdateSession s = session_for(host, timeout_ms);
    s.progress.events = events;
    platform::resolve_ipv4("127.0.0.1", &s.address, platform::SocketWait{});
    char path[1200];
    DownloadOutcome out;
    out.result = download_installer(s, {major, minor, 7}, folder.path().c_str(), path, sizeof path);
    out.path = path;
    out.names = folder.names();
    if (!out.names.empty()) out.bytes = folder.get(out.names[0]);
    struct stat st {};
    if (!out.names.empty() && stat(folder.file(out.names[0]).c_str(), &st) == 0) out.mode = st.st_mode & 0777;
    return out;
}

// The installer's name on the server.
std::string package(int major, int minor) {
    char name[128];
    platform::installer_file_name(name, sizeof name, major, minor);
    return name;
}

std::string reply(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class WithNginx : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(nginx.start()) << "nginx did not start: " << nginx.error_log(); }
    NginxServer nginx;
};

TEST_F(WithNginx, RepliesMeetTheHeaderRulesAndTheAbsoluteUriFindsTheFile) {
    nginx.put("programator/QV450_version", "VERSION 2.5.3\n");
    OfferedVersion v;
    ASSERT_EQ(query(nginx.host(), &v), UPDATE_OK) << nginx.error_log();
    EXPECT_EQ(v.major, 2);
    EXPECT_EQ(v.minor, 5);
    EXPECT_EQ(v.patch, 3);

    // Another file under another name is not what the version query gets.
    nginx.put("programator/QV450_version", "VERSION 3.0.0\n");
    nginx.put("programator/QV450_versions", "VERSION 9.9.9\n");
    ASSERT_EQ(query(nginx.host(), &v), UPDATE_OK);
    EXPECT_EQ(v.major, 3);

    // Release notes after the version: with nginx's header the reply passes 4096 bytes.
    nginx.put("programator/QV450_version", "VERSION 2.6.0\n" + std::string(3900, 'n'));
    ASSERT_EQ(query(nginx.host(), &v), UPDATE_OK);
    EXPECT_EQ(v.minor, 6);
}

TEST_F(WithNginx, TheInstallerArrivesWholeExecutableAndUnderItsName) {
    std::string installer(300000, '\0');
    for (size_t i = 0; i < installer.size(); ++i) installer[i] = char(i * 7 + i / 251);
    nginx.put("programator/" + package(2, 5), installer);
    const DownloadOutcome out = download(nginx.host());
    ASSERT_EQ(out.result, UPDATE_OK) << nginx.error_log();
    ASSERT_EQ(out.names, std::vector<std::string>{package(2, 5)});
    EXPECT_EQ(out.bytes.size(), installer.size());
    EXPECT_TRUE(out.bytes == installer);
    EXPECT_EQ(out.mode, 0700u);
}

TEST_F(WithNginx, AMissingFileIsAFailedCheck) {
    OfferedVersion v;
    // nginx's 404 page has a length but no version.
    EXPECT_EQ(query(nginx.host(), &v), MSG_UPDATE_CHECK_ERROR);
    // Nor does its 404 page become an installer.
    const DownloadOutcome missing = download(nginx.host());
    EXPECT_EQ(missing.result, MSG_UPDATE_CHECK_ERROR);
    EXPECT_TRUE(missing.names.empty());
    nginx.stop();
    EXPECT_EQ(query(nginx.host(), &v), MSG_CANNOT_CONNECT);
    EXPECT_EQ(download(nginx.host()).result, MSG_CANNOT_CONNECT);
}

TEST(UpdateClient, BrokenVersionRepliesAreFailedChecks) {
    const std::string body = "VERSION 2.5.3\n";
    const struct {
        const char* name;
        std::vector<std::string> pieces;
    } cases[] = {
        {"no length", {"HTTP/1.0 200 OK\r\n\r\n" + body}},
        {"length in other case", {"HTTP/1.0 200 OK\r\ncontent-length: 14\r\n\r\n" + body}},
        {"no empty line", {"HTTP/1.0 200 OK\r\nContent-Length: 14\r\n" + body}},
        {"zero length", {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n" + body}},
        {"nothing of the body", {"HTTP/1.0 200 OK\r\nContent-Length: 40\r\n\r\n"}},
        {"header beyond 4096 bytes",
         {"HTTP/1.0 200 OK\r\n" + std::string(4100, 'h') + "\r\nContent-Length: 14\r\n\r\n" + body}},
        {"not a version", {reply("VERSION 2.5\n")}},
        {"nothing at all", {}},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.pieces);
        OfferedVersion v;
        EXPECT_EQ(query(server.host(), &v), MSG_UPDATE_CHECK_ERROR) << c.name;
    }
}

TEST(UpdateClient, HeaderAndBodyInSeparatePiecesStillRead) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
    } cases[] = {
        {"header, then body", {"HTTP/1.0 200 OK\r\nContent-Length: 14\r\n\r\n", "VERSION 2.5.3\n"}},
        {"header cut in the middle", {"HTTP/1.0 200 OK\r\nContent-Le", "ngth: 14\r\n\r", "\nVERSION 2.5.3\n"}},
        {"body in bytes", {"HTTP/1.0 200 OK\r\nContent-Length: 14\r\n\r\nVER", "SION 2.", "5.3\n"}},
        {"more than the length", {reply("VERSION 2.5.3\n") + "trailing junk"}},
        {"body shorter than its length", {"HTTP/1.0 200 OK\r\nContent-Length: 40\r\n\r\nVERSION 2.5.3\n"}},
        {"reply beyond 4096 bytes",
         {"HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\nVERSION 2.5.3\n" + std::string(9000, 'x')}},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.pieces);
        OfferedVersion v;
        ASSERT_EQ(query(server.host(), &v), UPDATE_OK) << c.name;
        EXPECT_EQ(v.minor, 5) << c.name;
        EXPECT_EQ(server.request(), "GET http://" + server.host() + "/programator/QV450_version HTTP/1.0\r\n\r\n");
    }
}

// Bytes that come one at a time, none of them late enough to time out, end the version
// query and the download's body each at its own limit, leaving no file behind.
TEST(UpdateClient, AnAnswerThatDragsOnEndsAtItsLimit) {
    const struct {
        const char* stage;
        std::string head;  // sent at once
        std::string trickle;
        int limit_ms;
        uint64_t step_ms;  // the clock runs this far for each piece sent
    } cases[] = {
        // The README's limits: 30 seconds for the version check, ten minutes for the body.
        {"version query", "", reply("VERSION 2.5.3\n").substr(0, 16), 30 * 1000, 2000},
        {"installer body", "HTTP/1.0 200 OK\r\nContent-Length: 9000\r\n\r\n", "0123456789", 10 * 60 * 1000,
         60000},
    };
    // The clock follows the server: a step for each piece it sent, however many times the
    // client looked in between (that depends on how busy the machine is).
    static uint64_t step_ms = 0;
    static const ScriptedServer* trickling = nullptr;
    static int counted = 0;
    for (const auto& c : cases) {
        std::vector<std::string> pieces = {c.head};
        for (char b : c.trickle) pieces.emplace_back(1, b);
        ScriptedServer server(pieces, 150, true);
        platform::ScopedVirtualClock clock;
        step_ms = c.step_ms;
        trickling = &server;
        counted = 0;
        auto pass_time = [](void*) {
            const int sent = trickling->pieces_sent();
            platform::sleep_ms(step_ms * uint64_t(sent - counted));
            counted = sent;
        };
        DownloadOutcome out{};
        if (c.head.empty()) {
            UpdateSession s = session_for(server.host());
            s.progress.events = pass_time;
            OfferedVersion v;
            out.result = query_version(s, &v);
        } else {
            out = download(server.host(), 2, 5, 3000, nullptr, pass_time);
        }
        EXPECT_EQ(out.result, MSG_CANNOT_CONNECT) << c.stage;
        EXPECT_TRUE(out.names.empty()) << c.stage;
        EXPECT_GE(clock.now_ms(), uint64_t(c.limit_ms)) << c.stage;
        EXPECT_LT(clock.now_ms(), uint64_t(c.limit_ms) + c.step_ms + UPDATE_TIMEOUT_MS) << c.stage;
    }
}

TEST(UpdateClient, UnknownServerCannotBeFound) {
    OfferedVersion v;
    EXPECT_EQ(query("update.qv450.invalid", &v, 3000), MSG_CANNOT_FIND_SERVER);
}

TEST(UpdateClient, APartialInstallerLeavesNothingBehind) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 20000\r\n\r\n";
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        bool hold_open;
    } cases[] = {
        {"closed mid-body", {head + std::string(9000, 'a'), std::string(5000, 'b')}, false},
        {"stalls mid-body", {head + std::string(9000, 'a')}, true},
        {"no length", {"HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'a')}, false},
        {"no empty line", {"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n" + std::string(5000, 'a')}, false},
        {"header over 4096 bytes", {"HTTP/1.0 200 OK\r\n" + std::string(5000, 'h') + "\r\n\r\n"}, false},
        {"an error page", {"HTTP/1.0 403 Forbidden\r\nContent-Length: 4\r\n\r\nnope"}, false},
        {"longer than any installer", {"HTTP/1.0 200 OK\r\nContent-Length: 67108865\r\n\r\n" + std::string(9000, 'a')}, true},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.pieces, 30, c.hold_open);
        const DownloadOutcome out = download(server.host(), 2, 5, 400);
        EXPECT_EQ(out.result, MSG_UPDATE_CHECK_ERROR) << c.name;
        EXPECT_TRUE(out.names.empty()) << c.name << ": " << (out.names.empty() ? "" : out.names[0]);
        EXPECT_TRUE(out.path.empty()) << c.name;
    }
}

TEST(UpdateClient, AnInstallerInAnyPiecesReplacesTheEarlierOneWholeAndNoFurther) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 3000\r\n\r\n";
    const std::string body = std::string(1000, 'x') + std::string(2000, 'y');
    const std::vector<std::string> layouts[] = {
        {head, body.substr(0, 700), body.substr(700) + "extra bytes past the length"},
        {head + body + "extra bytes past the length"},
    };
    for (const auto& pieces : layouts) {
        ScriptedServer server(pieces);
        const DownloadOutcome out = download(server.host(), 3, 0, 3000, package(3, 0).c_str());
        ASSERT_EQ(out.result, UPDATE_OK);
        EXPECT_EQ(out.names, std::vector<std::string>{package(3, 0)});
        EXPECT_TRUE(out.bytes == body) << pieces.size() << " pieces";
        EXPECT_EQ(server.request(), "GET http://" + server.host() + "/programator/" + package(3, 0) + " HTTP/1.0\r\n\r\n");
    }
}

TEST(PrivateCacheFolder, OnlyTheUserMayEnterIt) {
    TempFolder cache;
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    char path[1024];
    for (mode_t found : {0u, 0755u, 0777u}) {  // missing, or already there and open to others
        if (found) chmod(cache.file("qv450").c_str(), found);
        ASSERT_TRUE(platform::private_cache_folder(path, sizeof path)) << found;
        struct stat st {};
        ASSERT_EQ(stat(path, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << std::oct << found;
    }
    unsetenv("XDG_CACHE_HOME");
}

}  // namespace
