// The relay's command stream against the simulated module, on the local link seen
// through a recording link, with a scripted server side and serial port, on virtual time.
#include "net/relay.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "unit/fresh_link.h"

namespace {

// The server side: blocks to hand out one per receive, and what the relay sent.
class ScriptedSocket : public RelaySocket {
public:
    std::deque<std::string> inbox;
    std::string sent;
    bool closed = false;
    int send_limit = -1;  // -1: no limit; else fail sends once this many bytes went
    int send(const uint8_t* data, int n) override {
        if (send_limit >= 0 && int(sent.size()) + n > send_limit) return -1;
        sent.append(reinterpret_cast<const char*>(data), size_t(n));
        return n;
    }
    int receive(uint8_t* data, int n) override {
        if (inbox.empty()) return closed ? 0 : -1;
        std::string block = inbox.front();
        inbox.pop_front();
        EXPECT_LE(int(block.size()), n);
        std::copy(block.begin(), block.end(), data);
        return int(block.size());
    }
    int wait_readable(int timeout_ms) override {
        if (!inbox.empty() || closed) return 1;
        platform::sleep_ms(uint64_t(timeout_ms));
        return 0;
    }
};

class ScriptedSerial : public RelaySerialPort {
public:
    bool open_flag = false;
    std::string written, to_read;
    int write_limit = -1;
    bool is_open() override { return open_flag; }
    void open() override { open_flag = true; }
    void close() override { open_flag = false; }
    int read(uint8_t* data, int n) override {
        int take = std::min(n, int(to_read.size()));
        std::copy(to_read.begin(), to_read.begin() + take, data);
        to_read.erase(0, size_t(take));
        return take;
    }
    int write(const uint8_t* data, int n) override {
        int take = write_limit >= 0 ? std::min(n, write_limit) : n;
        written.append(reinterpret_cast<const char*>(data), size_t(take));
        return take;
    }
};

// The local link, counting how often the relay opens it; a test may make it report
// another mode.
class RecordingLink : public RawHidLink {
public:
    int opens = 0;
    int mode_shown = -1;  // -1: the local link's own
    int open() override {
        ++opens;
        return local_link().open();
    }
    void close() override { local_link().close(); }
    bool is_open() const override { return local_link().is_open(); }
    int mode() const override { return mode_shown >= 0 ? mode_shown : local_link().mode(); }
    void send_frame(uint8_t command, const uint8_t* data, int n) override { local_link().send_frame(command, data, n); }
    bool poll_frame() override { return local_link().poll_frame(); }
    bool boot_send(const uint8_t* data, int count) override { return local_link().boot_send(data, count); }
    bool boot_read(int attempts) override { return local_link().boot_read(attempts); }
    const ReplyRecord& reply() const override { return local_link().reply(); }
    int write_raw_report(const uint8_t* report, int n) override { return local_link().write_raw_report(report, n); }
    int read_raw_report(uint8_t* report, int n) override { return local_link().read_raw_report(report, n); }
    void set_blocking_reads() override { local_link().set_blocking_reads(); }
    void return_event_texts(bool returned) override { local_link().return_event_texts(returned); }
};

class RecordingView : public RelayView {
public:
    explicit RecordingView(RelayState& relay) : relay_(relay) {}
    std::string status;
    int lost = 0;
    void set_status(const char* text) override { status = text; }
    void connection_lost() override {
        ++lost;
        relay_disconnect(relay_);
    }

private:
    RelayState& relay_;
};

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(char(b));
    return s;
}

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_with_fresh_link();
        install_hid_backend(&backend);
        relay.view = &view;
        socket = new ScriptedSocket;
        relay.socket.reset(socket);
        *relay.image.size = 0;
    }
    void TearDown() override {
        relay.socket.reset();
        link_close();
        install_hid_backend(nullptr);
    }
    // Feeds blocks, one relay step each, and returns what the relay sent meanwhile.
    std::string feed(std::initializer_list<std::string> blocks) {
        size_t before = socket->sent.size();
        for (const std::string& b : blocks) {
            socket->inbox.push_back(b);
            relay_step(relay);
        }
        return socket->sent.substr(before);
    }

    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend{module, false};
    ScriptedSerial serial;
    RecordingLink link;
    RelayState relay{link, serial, relay_firmware_image()};
    RecordingView view{relay};
    ScriptedSocket* socket = nullptr;
};

TEST_F(RelayTest, SerialBytesPassBothWaysWithTheEscapeDoubled) {
    serial.open_flag = true;
    feed({"x@@y"});
    EXPECT_EQ(serial.written, "x@y");
    serial.to_read = "a@b";
    relay_step(relay);
    EXPECT_EQ(socket->sent, "a@@b");
    // "@" before a letter that is no command gives that letter alone.
    feed({"@z"});
    EXPECT_EQ(serial.written, "x@yz");
}

TEST_F(RelayTest, PlainBytesWithoutAnOpenSerialPortAreDropped) {
    EXPECT_EQ(feed({"hello"}), "");
    EXPECT_EQ(serial.written, "");
}

TEST_F(RelayTest, AnEscapeAtTheEndOfABlockJoinsTheNextBlocksLetter) {
    EXPECT_EQ(feed({"@", "H"}), "@1");
    EXPECT_EQ(link.mode(), LINK_PROGRAMMER);
    EXPECT_EQ(view.status, "Remote access active (M).");
}

TEST_F(RelayTest, DeviceCommandsAnswerTheStateAndDropTheRestOfTheBlock) {
    serial.open_flag = true;
    EXPECT_EQ(feed({"ab@Hcd@G"}), "@1");  // neither the plain bytes nor "@G" run
    EXPECT_EQ(serial.written, "");
    const int opens = link.opens;
    EXPECT_EQ(feed({"@H"}), "@1");  // already open: not opened again
    EXPECT_EQ(link.opens, opens);
    EXPECT_EQ(feed({"@!"}), "@!");
    EXPECT_FALSE(link_is_open());
    EXPECT_FALSE(serial.open_flag);
    EXPECT_EQ(view.status, "Disconnected.");
    EXPECT_EQ(link.mode(), 0);
    EXPECT_EQ(feed({"@#"}), "@#");
    EXPECT_EQ(view.status, "Remote access active (CAN).");
}

TEST_F(RelayTest, CollectAnswersEmptyOrReleaseByDevice) {
    EXPECT_EQ(feed({"@R"}), "@!");  // no application device
    feed({"@H"});
    EXPECT_EQ(feed({"@R"}), bytes({'@', 'R', 0}));
    module.settings();
    link.mode_shown = LINK_BOOTLOADER;
    EXPECT_EQ(feed({"@R"}), "@!");
}

TEST_F(RelayTest, ABlockOfCollectsLeavesTheWindowItsTurnWithinASecond) {
    feed({"@H"});
    std::string stream;
    for (int i = 0; i < RELAY_BLOCK_SIZE / 2; ++i) stream += "@R";
    socket->inbox.push_back(stream);
    const size_t before = socket->sent.size(), answers = size_t(RELAY_BLOCK_SIZE / 2) * 3;
    for (int step = 0; step < 10000 && socket->sent.size() - before < answers; ++step) {
        const uint64_t start = clock.now_ms();
        relay_step(relay);
        ASSERT_LT(clock.now_ms() - start, 1000u) << "step " << step;
        // What is left of the block waits for no main-loop pause.
        if (socket->sent.size() - before < answers) {
            ASSERT_EQ(relay_pause_ms(relay), 0) << "step " << step;
        }
    }
    EXPECT_EQ(socket->sent.size() - before, answers) << "every collect answered";
    EXPECT_EQ(relay_pause_ms(relay), RELAY_STEP_PAUSE_MS);
}

TEST_F(RelayTest, FramesTheServerSendsComeBackAsRFrames) {
    feed({"@H"});
    // "@i" read of the header (0x05: address 1, count 10), then collect.
    std::string answer = feed({bytes({'@', 'i', 0x05, 2, 0x01, 10}) + "@R"});
    ASSERT_GE(answer.size(), 5u);
    EXPECT_EQ(answer.substr(0, 2), "@R");
    EXPECT_EQ(uint8_t(answer[2]), answer.size() - 3);
    EXPECT_EQ(uint8_t(answer[3]), 0x06);  // reply code of a memory read
}

TEST_F(RelayTest, ACommandCutAtABlockBoundaryWaitsForItsBytes) {
    feed({"@H"});
    int frames = module.counters.frames;
    feed({bytes({'@', 'h', 0x05}), bytes({2, 0x01}), bytes({10})});
    EXPECT_EQ(module.counters.frames, frames + 1);
    EXPECT_EQ(module.received.back().command, 0x05);
    EXPECT_EQ(module.received.back().data, std::vector<uint8_t>({0x01, 10}));
    EXPECT_EQ(feed({"@", "G"}), bytes({'@', 'G', 0}));
}

TEST_F(RelayTest, ImageAppendAcrossBlocksAndFollowingCommands) {
    std::string data(1000, '\x02');
    // 300 bytes in the first block, the rest later; then "@G" in the same block.
    std::string answer = feed({bytes({'@', 'E', '1', 0x03, 0xE8}) + data.substr(0, 300), data.substr(300) + "@G"});
    uint32_t sum = 2000;
    EXPECT_EQ(answer, bytes({'@', 'E', '1', int(sum >> 8), int(sum & 0xFF), '@', 'G', 0}));
    EXPECT_EQ(*relay.image.size, 1000);
    EXPECT_EQ(relay.image.bytes[16], 2);
    EXPECT_EQ(feed({"@E0"}), "@E0");
    EXPECT_EQ(*relay.image.size, 0);
}

TEST_F(RelayTest, ImageSumIsModulo65535) {
    std::string data(65535, '\x01');
    socket->inbox.push_back(bytes({'@', 'E', '1', 0xFF, 0xFF}));
    for (size_t at = 0; at < data.size(); at += RELAY_BLOCK_SIZE) socket->inbox.push_back(data.substr(at, RELAY_BLOCK_SIZE));
    while (!socket->inbox.empty()) relay_step(relay);
    EXPECT_EQ(socket->sent, bytes({'@', 'E', '1', 0, 0}));
    // 300 bytes of 0xFF: 76500, which is 10965 (0x2AD5) modulo 65535 at every step.
    EXPECT_EQ(feed({bytes({'@', 'E', '1', 0x01, 0x2C}) + std::string(300, '\xFF')}), bytes({'@', 'E', '1', 0x2A, 0xD5}));
}

TEST_F(RelayTest, ImageBytesBeyondTheBufferAreRefusedAndTheStreamStaysInStep) {
    const RelayImage& image = relay.image;
    *image.size = image.capacity - 16 - 10;  // room for 10 more
    std::string answer = feed({bytes({'@', 'E', '1', 0, 20}) + std::string(20, 'q') + "@G"});
    EXPECT_EQ(answer, "@EX" + bytes({'@', 'G', 0}));
    EXPECT_EQ(*image.size, image.capacity - 16);
}

TEST_F(RelayTest, UnknownImageCommandsSayNothing) {
    EXPECT_EQ(feed({"@E5@E8@E2"}), "");
}

TEST_F(RelayTest, RawReportsAndBootTransfer) {
    feed({"@H"});
    // A raw poll report written; its result is the byte count.
    std::string poll = bytes({0x00, 0x60, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(feed({bytes({'@', 'E', '3', 9}) + poll}), bytes({'@', 'E', '3', 9}));
    // Into the bootloader, then its handshake "0" over "@E6" and "@E7".
    feed({bytes({'@', 'h', 0x10, 0}) + "@R"});
    EXPECT_EQ(feed({bytes({'@', 'E', '6', 0, 1, '0'})}), "@E6");
    std::string answer = feed({bytes({'@', 'E', '7', 20})});
    ASSERT_GE(answer.size(), 5u);
    EXPECT_EQ(answer.substr(0, 3), "@E7");
    EXPECT_EQ(answer[4], '1');
    EXPECT_EQ(uint8_t(answer[3]), answer.size() - 4 + 1);
}

TEST_F(RelayTest, RawCommandsWithoutADeviceAnswerFailure) {
    EXPECT_EQ(feed({bytes({'@', 'E', '3', 1, 0})}), bytes({'@', 'E', '3', 0xFF}));
    EXPECT_EQ(feed({bytes({'@', 'E', '4', 8})}), bytes({'@', 'E', '4', 0xFF}));
    EXPECT_EQ(feed({bytes({'@', 'E', '6', 0, 1, '0'})}), "@EX");
    EXPECT_EQ(feed({bytes({'@', 'E', '7', 3})}), bytes({'@', 'E', '7', 0}));
}

TEST_F(RelayTest, TextLinesEndWithG) {
    feed({"@H"});
    module.text_lines() = {"first\r\n", "second"};
    std::string answer = feed({"@f"});
    EXPECT_EQ(answer, bytes({'@', 'f', 5}) + "first" + bytes({'@', 'f', 6}) + "second@g");
}

TEST_F(RelayTest, FailureMarkStaysOnceSet) {
    feed({"@H"});
    EXPECT_EQ(feed({bytes({'@', 'F', 1, 0}), "@G"}), bytes({'@', 'G', 0}));
    module.lose_replies(1);
    EXPECT_EQ(feed({bytes({'@', 'F', 1, 0}), "@G"}), bytes({'@', 'G', 1}));
    EXPECT_EQ(feed({bytes({'@', 'F', 1, 0}), "@G"}), bytes({'@', 'G', 1}));
}

TEST_F(RelayTest, IdleCountdownAndStatus) {
    feed({"@G"});
    EXPECT_EQ(relay.idle_countdown, IDLE_COUNTDOWN_START);
    view.status = "";
    for (int i = 0; i < IDLE_COUNTDOWN_START; ++i) relay_step(relay);
    EXPECT_EQ(view.status, "");
    relay_step(relay);
    EXPECT_EQ(view.status, "Waiting for remote access.");
    feed({"@G"});
    EXPECT_EQ(view.status, "No USB device found.");
}

TEST_F(RelayTest, AShortSerialWriteReleasesTheDevices) {
    feed({"@H"});
    serial.open_flag = true;
    serial.write_limit = 2;
    EXPECT_EQ(feed({"abc"}), "@!");
    EXPECT_FALSE(link_is_open());
    EXPECT_FALSE(serial.open_flag);
}

TEST_F(RelayTest, LostConnectionOrShortSendDisconnects) {
    socket->send_limit = 0;
    feed({"@G"});
    EXPECT_EQ(view.lost, 1);
    EXPECT_EQ(relay.socket, nullptr);
    socket = new ScriptedSocket;
    relay.socket.reset(socket);
    socket->closed = true;
    relay_step(relay);
    EXPECT_EQ(view.lost, 2);
    EXPECT_EQ(relay.socket, nullptr);
}

TEST(RelayServerAddress, HostAndOptionalPort) {
    struct Case {
        const char* value;
        const char* host;
        int port;
    } cases[] = {
        {nullptr, QV450_RELAY_SERVER_DEFAULT, 55555}, {"", QV450_RELAY_SERVER_DEFAULT, 55555},
        {"127.0.0.1", "127.0.0.1", 55555},     {"localhost:4000", "localhost", 4000},
        {"host:99999", "host:99999", 55555},   {"host:", "host:", 55555},
    };
    for (const Case& c : cases) {
        if (c.value) setenv("QV450_RELAY_SERVER", c.value, 1);
        else unsetenv("QV450_RELAY_SERVER");
        std::string host;
        int port = 0;
        relay_server_address(&host, &port);
        EXPECT_EQ(host, c.host) << (c.value ? c.value : "unset");
        EXPECT_EQ(port, c.port) << (c.value ? c.value : "unset");
    }
    unsetenv("QV450_RELAY_SERVER");
}

// Random streams, biased towards the escape and the command letters: the relay must
// never read or write out of bounds (run under the sanitizers) and keep its limits.
TEST_F(RelayTest, BoundedRandomStreamsKeepEveryLimit) {
    std::mt19937 random(450);
    const char alphabet[] = "@@@@!#HhiRfFGE0123467\x05\x01\x10\xFF\x00xy";
    serial.open_flag = true;
    for (int round = 0; round < 20000; ++round) {
        std::string block;
        int length = 1 + int(random() % 48);
        for (int i = 0; i < length; ++i)
            block.push_back(random() % 4 == 0 ? char(random() % 256) : alphabet[random() % (sizeof alphabet - 1)]);
        if (!relay.socket) {
            socket = new ScriptedSocket;
            relay.socket.reset(socket);
        }
        socket->inbox.push_back(block);
        relay_step(relay);
        if (socket->sent.size() > 1 << 20) socket->sent.clear();
        const RelayImage& image = relay.image;
        ASSERT_LE(*image.size, image.capacity - IMAGE_HEADER_SIZE);
        ASSERT_LE(relay.relay_fill, RELAY_BUFFER_SIZE);
        ASSERT_LT(relay.command_fill, RELAY_COMMAND_MAX);
        if (round % 2000 == 0) module.replug();
    }
}

}  // namespace
