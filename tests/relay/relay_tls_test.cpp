// The operator port over TLS with a throwaway certificate authority, and the operator
// tool's refusals: unverified servers, plain text unless asked, tokens on the command
// line.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include <openssl/ssl.h>

#include "operator/operator_link.h"
#include "operator/operator_token.h"
#include "relay/relay_server.h"
#include "relay_test_support.h"

namespace {

const char TOKEN[] = "operator-secret-16";

// A throwaway certificate authority and server certificate in a folder of their own, for
// one test suite.
struct TestCertificates {
    static void make(std::string* folder) {
        char pattern[] = "/tmp/qv450-tls-XXXXXX";
        *folder = mkdtemp(pattern);
        ASSERT_EQ(std::system((std::string(QV450_TEST_CERTIFICATES " ") + *folder).c_str()), 0);
    }
    static void remove(const std::string& folder) { EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0); }
};

class RelayTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TestCertificates::make(&folder); }
    static void TearDownTestSuite() { TestCertificates::remove(folder); }

    void start(bool tls, const char* address = "127.0.0.1") {
        RelayOptions options;
        options.bind_address = address;
        options.tool_port = options.operator_port = 0;
        options.operator_token = TOKEN;
        if (tls) {
            options.tls_certificate = folder + "/server.crt";
            options.tls_key = folder + "/server.key";
        }
        server.reset(new RelayServer(options, log_file));
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
        thread = std::thread([this] { server->run(); });
    }
    ~RelayTlsTest() override {
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
        server.reset();
        std::fclose(log_file);
    }
    // Looks for the pairing as the support console's main loop does, without waiting:
    // what check_paired says once it says something.
    static int check_until_known(OperatorLink& link, std::string* error) {
        int paired = 0;
        for (int i = 0; i < 500 && paired == 0; ++i) {
            paired = link.check_paired(error);
            if (paired == 0) usleep(10000);
        }
        return paired;
    }
    // Logs a tool in with `code` and passes a command through the pair.
    void pair_and_exchange(OperatorLink& link, const std::string& code) {
        std::string error;
        EXPECT_EQ(link.check_paired(&error), 0) << "no tool has logged in yet";
        int tool = connect_loopback(server->tool_port());
        timeval wait{5, 0};
        setsockopt(tool, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        send_text(tool, code + "\n");
        char got[3] = {};
        EXPECT_EQ(recv(tool, got, 2, MSG_WAITALL), 2);
        EXPECT_STREQ(got, "OK");
        ASSERT_EQ(check_until_known(link, &error), 1) << error;
        ASSERT_TRUE(link.send("@R", &error));
        EXPECT_EQ(recv(tool, got, 2, MSG_WAITALL), 2);
        EXPECT_STREQ(got, "@R");
        close(tool);
    }

    static std::string folder;
    std::unique_ptr<RelayServer> server;
    std::thread thread;
    FILE* log_file = std::tmpfile();
};
std::string RelayTlsTest::folder;

TEST_F(RelayTlsTest, OperatorsOnlyTalkToAServerTheyCanVerify) {
    struct Case {
        bool server_tls;
        bool trust_test_ca;
        bool insecure;
        const char* address;  // the certificate names 127.0.0.1, not 127.0.0.2
        const char* error;  // nullptr: the session opens
        const char* never;  // advice the error must not give: plain text for a server with TLS
    } cases[] = {
        {true, true, false, "127.0.0.1", nullptr, nullptr},
        {true, false, false, "127.0.0.1", "unable to get local issuer certificate", "--insecure"},
        {true, false, false, "127.0.0.1", "--ca-file", "--insecure"},
        {true, true, false, "127.0.0.2", "does not name 127.0.0.2", "--insecure"},
        {true, false, true, "127.0.0.1", "closed the connection", nullptr},
        {false, true, false, "127.0.0.1", "needs --insecure", nullptr},
        {false, false, true, "127.0.0.1", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        start(c.server_tls, c.address);
        OperatorSecurity security;
        security.insecure = c.insecure;
        if (c.trust_test_ca) security.ca_file = folder + "/ca.crt";
        OperatorLink link;
        link.set_security(security);
        std::string code, error;
        bool opened =
            link.open(std::string(c.address) + ":" + std::to_string(server->operator_port()), TOKEN, "", &code, &error);
        EXPECT_EQ(opened, c.error == nullptr) << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
        if (c.never) {
            EXPECT_EQ(error.find(c.never), std::string::npos) << error;
        }
        if (!c.error) pair_and_exchange(link, code);
        server->stop();
        thread.join();
    }
    char line[512];
    int refused = 0;
    std::rewind(log_file);
    while (std::fgets(line, sizeof line, log_file))
        refused += std::strstr(line, "operator login refused from 127.0.0.1: connection TLS handshake failed") != nullptr;
    EXPECT_GE(refused, 1);  // the plain-text operator (and the one that could not verify, if logged in time)
}

// The end of a session names the side that ended it: the fitter's tool saying it
// leaves, the relay ending the session, or the relay server gone.
TEST_F(RelayTlsTest, TheEndOfASessionNamesTheSideThatEndedIt) {
    const struct {
        const char* name;
        bool tls;
        const char* join;       // a code to join; nullptr: open a session and pair it
        const char* tool_says;  // before it closes; nullptr: the server goes instead
        const char* error;
    } cases[] = {
        {"the tool leaves", true, nullptr, "@!", "the fitter's tool left the session"},
        {"the tool is gone", true, nullptr, "", "the relay server ended the session"},
        {"the server is gone", true, nullptr, nullptr, "the connection to the relay server was cut"},
        {"the server is gone, plain text", false, nullptr, nullptr, "the relay server closed the connection"},
        {"a code nobody opened", true, "99999999", nullptr, "has no session 99999999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.tls);
        OperatorSecurity security;
        security.insecure = !c.tls;
        if (c.tls) security.ca_file = folder + "/ca.crt";
        OperatorLink link;
        link.set_security(security);
        std::string code, error;
        const std::string server_address = "127.0.0.1:" + std::to_string(server->operator_port());
        if (c.join) {
            EXPECT_FALSE(link.open(server_address, TOKEN, c.join, &code, &error));
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            server->stop();
            thread.join();
            continue;
        }
        ASSERT_TRUE(link.open(server_address, TOKEN, "", &code, &error)) << error;
        int tool = connect_loopback(server->tool_port());
        send_text(tool, code + "\n");
        char got[3] = {};
        timeval wait{5, 0};
        setsockopt(tool, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        EXPECT_EQ(recv(tool, got, 2, MSG_WAITALL), 2);
        ASSERT_TRUE(link.wait_paired(&error)) << error;
        if (c.tool_says) {
            send_text(tool, c.tool_says);
            close(tool);
        } else {
            server->stop();
            thread.join();
            server.reset();
            close(tool);
        }
        ToolMessage message;
        while (link.next(&message, 5000, &error)) {
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_TRUE(link.broken());
        if (thread.joinable()) {
            server->stop();
            thread.join();
        }
    }
}

TEST_F(RelayTlsTest, ASessionThatEndsBeforeThePairingIsReported) {
    start(false);
    OperatorSecurity plain_text;
    plain_text.insecure = true;
    OperatorLink link;
    link.set_security(plain_text);
    std::string code, error;
    ASSERT_TRUE(link.open("127.0.0.1:" + std::to_string(server->operator_port()), TOKEN, "", &code, &error)) << error;
    EXPECT_EQ(link.check_paired(&error), 0);
    server->stop();
    thread.join();
    server.reset();
    EXPECT_EQ(check_until_known(link, &error), -1);
    EXPECT_FALSE(error.empty());
}

// A client's first flight (its ClientHello) as a flood replays it, made with memory
// buffers in place of a socket.
std::string client_hello() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context);
    BIO* out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, BIO_new(BIO_s_mem()), out);
    SSL_connect(ssl);  // stops for want of the server's answer
    char* data = nullptr;
    long size = BIO_get_mem_data(out, &data);
    std::string hello(data, size_t(size));
    SSL_free(ssl);
    SSL_CTX_free(context);
    return hello;
}

class RelayHandshakeTest : public RelayServerTest {
protected:
    static void SetUpTestSuite() { TestCertificates::make(&folder); }
    static void TearDownTestSuite() { TestCertificates::remove(folder); }
    void SetUp() override {
        options.tls_certificate = folder + "/server.crt";
        options.tls_key = folder + "/server.key";
        RelayServerTest::SetUp();
    }
    // A connection from `source` that sends a ClientHello and nothing more.
    int hello_from(const std::string& source) {
        int fd = track(connect_loopback(server->operator_port(), source.c_str()));
        send_text(fd, hello);
        return fd;
    }
    bool answered(int fd) { return !receive(*server, fd, 1, nullptr, 10).empty(); }
    std::string hello = client_hello();
    static std::string folder;
};
std::string RelayHandshakeTest::folder;

// Each handshake costs the one event loop a key exchange: only so many run at once, and
// only so many for one address; the others wait for one to end.
TEST_F(RelayHandshakeTest, HandshakesInProgressAreBoundedPerAddressAndInAll) {
    std::vector<int> first;
    for (int i = 0; i < options.max_tls_handshakes_per_address; ++i) first.push_back(hello_from("127.0.0.1"));
    int third = hello_from("127.0.0.1");
    for (int fd : first) EXPECT_TRUE(answered(fd));
    EXPECT_FALSE(answered(third));
    hang_up(first.front());
    EXPECT_TRUE(answered(third));

    std::vector<int> others;
    for (int i = options.max_tls_handshakes_per_address; i < options.max_tls_handshakes; ++i)
        others.push_back(hello_from(peer_source(2 + uint32_t(i))));
    for (int fd : others) EXPECT_TRUE(answered(fd));
    int over = hello_from("127.0.1.1");
    EXPECT_FALSE(answered(over));
    EXPECT_FALSE(log_lines("TLS handshakes at their limit").empty());
    hang_up(others.back());
    EXPECT_TRUE(answered(over));
}

TEST(OperatorToken, FromAFileButNeverTheCommandLine) {
    char path[] = "/tmp/qv450-token-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_EQ(write(fd, "from-the-file-16\r\nrest\n", 23), 23);
    close(fd);
    std::string token, error;
    EXPECT_TRUE(read_token_file(path, &token, &error));
    EXPECT_EQ(token, "from-the-file-16");
    std::ofstream(path, std::ios::trunc) << "\n";
    EXPECT_FALSE(read_token_file(path, &token, &error));
    unlink(path);
    EXPECT_FALSE(read_token_file(path, &token, &error));

    FILE* run = popen(QV450_CLI " --server 127.0.0.1:1 --token secret-on-the-line state 2>&1", "r");
    char said[512] = {};
    size_t n = std::fread(said, 1, sizeof said - 1, run);
    EXPECT_NE(pclose(run), 0);
    EXPECT_NE(std::string(said, n).find("--token-file"), std::string::npos) << said;
}

}  // namespace
