// The HID link against a scripted backend: exact reports, framing and failures.
#include "device/link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/frame_text.h"
#include "diag/event_log.h"
#include "platform/clock.h"
#include "scripted_backend.h"
#include "unit/fresh_link.h"

namespace {

// The text of a frame the module would send.
std::string module_frame(uint8_t code, std::initializer_list<uint8_t> data) {
    const std::vector<uint8_t> bytes(data);
    char text[FRAME_TEXT_CAPACITY];
    build_frame_text(code, bytes.data(), int(bytes.size()), text);
    return text;
}

const std::string HANDSHAKE_REPLY = module_frame(0x07, {0x02, 0x01});
const std::string EVENT_AB = module_frame(0xFF, {'A', 'B', '\r', '\n'});

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_with_fresh_link();
        clear_log();
        install_hid_backend(&backend);
    }
    void TearDown() override {
        link_close();
        install_hid_backend(nullptr);
        local_link().return_event_texts(false);
    }
    void open_link() {
        ASSERT_EQ(link_open(), 1);
        backend.writes.clear();
    }
    std::string reply_hex() const {
        std::string s;
        char b[4];
        for (int i = 0; i < local_link().reply().length; ++i) {
            std::snprintf(b, sizeof b, "%02X", local_link().reply().bytes[i]);
            s += b;
        }
        return s;
    }

    platform::ScopedVirtualClock clock;
    ScriptedBackend backend;
};

TEST_F(LinkTest, OpenTriesTheProductIdsInOrderAndWaits40ms) {
    backend.present_ids = {0xF1F4};
    backend.product = L"USB Bootloader";
    const uint64_t before = clock.now_ms();
    EXPECT_EQ(link_open(), 2);
    EXPECT_EQ(clock.now_ms() - before, 40u);
    EXPECT_EQ(backend.opened_ids, (std::vector<uint16_t>{0xF1F7, 0xF1F5, 0xF1F4}));
    EXPECT_EQ(local_link().mode(), LINK_BOOTLOADER);
}

TEST_F(LinkTest, OpenClassifiesByTheExactProductString) {
    struct Case {
        const wchar_t* product;
        int result;
        int mode;
    };
    const Case cases[] = {
        {L"USB HID Progr", 1, LINK_PROGRAMMER},
        {L"USBIC", 1, LINK_USBIC},
        {L"USB Bootloader", 2, LINK_BOOTLOADER},
        {L"USB HID Programmer", 0, LINK_NONE},  // only begins like ours
        {L"USB HID Prog", 0, LINK_NONE},
        {L"", 0, LINK_NONE},
    };
    for (const Case& c : cases) {
        backend.product = c.product;
        backend.closes = 0;
        EXPECT_EQ(link_open(), c.result);
        EXPECT_EQ(local_link().mode(), c.mode);
        EXPECT_EQ(link_is_open(), c.result != 0);
        if (c.result == 0) {
            EXPECT_EQ(backend.closes, 1) << "an unknown device is closed again";
        }
        link_close();
    }
}

TEST_F(LinkTest, OpenFindsNothingWhenNoDeviceAnswers) {
    backend.present_ids = {};
    EXPECT_EQ(link_open(), 0);
    EXPECT_FALSE(link_is_open());
    EXPECT_EQ(backend.opened_ids.size(), 3u);
}

TEST_F(LinkTest, CommandWithoutDataGoesAsTwoReports) {
    open_link();
    send_frame(0x04, nullptr, 0);
    ASSERT_EQ(backend.writes.size(), 2u);
    EXPECT_EQ(backend.writes[0].size(), 9u);
    EXPECT_EQ(backend.writes[0][0], 0x00);
    EXPECT_EQ(backend.writes[0][1], 0x0F);
    EXPECT_EQ(backend.payload(0, 7), "!0104AF");
    EXPECT_EQ(backend.writes[1][1], 0xC2);
    EXPECT_EQ(backend.payload(1, 1), "#");
}

TEST_F(LinkTest, FrameOfFourteenCharactersGoesAsSevenAndSeven) {
    open_link();
    const uint8_t data[3] = {0x81, 0x20, 0x00};
    send_frame(0x05, data, 3);
    EXPECT_EQ(backend.controls(), (std::vector<uint8_t>{0x0F, 0xCE}));
    EXPECT_EQ(backend.payload(0, 7) + backend.payload(1, 7), "!04058120005" "3#");
}

TEST_F(LinkTest, LongFrameIsCutIntoSevenCharacterChunks) {
    open_link();
    uint8_t data[34] = {};
    send_frame(0x06, data, 34);  // 76 characters: ten chunks of 7 and one of 6
    const std::vector<uint8_t> controls = backend.controls();
    ASSERT_EQ(controls.size(), 11u);
    EXPECT_EQ(controls.front(), 0x0F);
    for (size_t i = 1; i + 1 < controls.size(); ++i) EXPECT_EQ(controls[i], 0x0E);
    EXPECT_EQ(controls.back(), 0xCC);
}

TEST_F(LinkTest, FrameWithTooManyDataBytesIsNotSent) {
    open_link();
    uint8_t data[126] = {};
    send_frame(0x06, data, 126);
    EXPECT_TRUE(backend.writes.empty());
    send_frame(0x06, data, 125);
    EXPECT_EQ(backend.writes.size(), 37u);  // 258 characters
}

TEST_F(LinkTest, UsbicModePausesAfterEveryFrame) {
    backend.product = L"USBIC";
    open_link();
    const uint64_t before = clock.now_ms();
    send_frame(0x01, nullptr, 0);
    EXPECT_EQ(clock.now_ms() - before, 100u);
}

TEST_F(LinkTest, FailedWriteClosesTheDeviceAndStopsTheFrame) {
    open_link();
    backend.short_write_length = 8;
    send_frame(0x04, nullptr, 0);
    EXPECT_EQ(backend.writes.size(), 1u);
    EXPECT_FALSE(link_is_open());
    send_frame(0x04, nullptr, 0);  // no device: nothing happens
    EXPECT_EQ(backend.writes.size(), 1u);
}

TEST_F(LinkTest, PollWritesOnePollReportAndPauses) {
    open_link();
    const uint64_t before = clock.now_ms();
    EXPECT_EQ(send_poll(), 0);
    EXPECT_EQ(clock.now_ms() - before, 10u);
    EXPECT_EQ(backend.controls(), std::vector<uint8_t>{0x60});
}

TEST_F(LinkTest, PollFailsBelowEightBytesWritten) {
    open_link();
    backend.short_write_length = 8;
    EXPECT_EQ(send_poll(), 0) << "eight bytes still count for a poll";
    backend.short_write_length = 7;
    EXPECT_EQ(send_poll(), -1);
    EXPECT_FALSE(link_is_open());
    EXPECT_EQ(send_poll(), 0) << "no device is not a failure";
}

TEST_F(LinkTest, ReadsAFrameSpreadOverReports) {
    open_link();
    backend.queue_transmission(HANDSHAKE_REPLY);
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(reply_hex(), "0307020161");
    EXPECT_EQ(local_link().reply().length, 5);
    EXPECT_FALSE(link_text_pending());
}

TEST_F(LinkTest, SecondFrameOfATransmissionComesWithoutANewPoll) {
    open_link();
    backend.queue_transmission(HANDSHAKE_REPLY + "!0101AC#");
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(local_link().reply().bytes[1], 0x07);
    EXPECT_TRUE(link_text_pending());
    const size_t polls = backend.writes.size();
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(local_link().reply().bytes[1], 0x01);
    EXPECT_EQ(backend.writes.size(), polls) << "no poll report for the pending frame";
    EXPECT_FALSE(link_text_pending());
}

TEST_F(LinkTest, ReportsWithoutTheDataBitAreSkipped) {
    open_link();
    backend.queue(0x0E, "!0101AC");  // a count but no bit 6
    backend.queue_transmission("!0101AC#");
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(reply_hex(), "0101AC");
}

TEST_F(LinkTest, DamagedFramesAreDroppedAndReadingGoesOn) {
    const char* damaged[] = {"!0101ac#", "!0101AD#", "0101AC#", "!0201AD#", "!01 1AC#"};
    for (const char* text : damaged) {
        open_link();
        backend.queue_transmission(text);
        EXPECT_FALSE(poll_frame()) << text;
        EXPECT_EQ(link_text_count(), 0) << text;
        // A good frame after a bad one is read by the same call, without a new poll.
        backend.queue_transmission(text);
        backend.queue_transmission("!0101AC#");
        ASSERT_TRUE(poll_frame()) << text;
        EXPECT_EQ(reply_hex(), "0101AC");
        EXPECT_EQ(backend.controls(), (std::vector<uint8_t>{0x60, 0x60}));
        link_close();
        backend.writes.clear();
    }
}

TEST_F(LinkTest, TooMuchTextIsDiscarded) {
    open_link();
    for (int i = 0; i < 144; ++i) backend.queue(0x6E, "0000000");  // 1008 characters, more follows
    EXPECT_FALSE(poll_frame());
    EXPECT_EQ(link_text_count(), 0);
    EXPECT_EQ(backend.reads_attempted, 144);
}

TEST_F(LinkTest, EventTextGoesToTheLogAndReadingGoesOn) {
    open_link();
    backend.queue_transmission(EVENT_AB);
    EXPECT_FALSE(poll_frame()) << "nothing follows the event text";
    EXPECT_NE(std::strstr(event_log.log_text, ">AB\r\n"), nullptr) << event_log.log_text;

    backend.queue_transmission(EVENT_AB + "!0101AC#");
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(local_link().reply().bytes[1], 0x01);
}

TEST_F(LinkTest, EventTextIsAFrameWhilePassedThrough) {
    open_link();
    local_link().return_event_texts(true);
    backend.queue_transmission(EVENT_AB);
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(local_link().reply().bytes[1], 0xFF);
    EXPECT_EQ(event_log.log_end, 0);
}

TEST_F(LinkTest, SendCommandDrainsStaleFramesFirst) {
    open_link();
    backend.queue_transmission("!0101AC#");
    send_command(0x04, nullptr, 0);
    // poll (stale frame), poll (nothing), then the two chunks of the command
    EXPECT_EQ(backend.controls(), (std::vector<uint8_t>{0x60, 0x60, 0x0F, 0xC2}));
}

TEST_F(LinkTest, NoDeviceMeansEveryOperationReturnsAtOnce) {
    EXPECT_FALSE(read_frame());
    EXPECT_FALSE(poll_frame());
    EXPECT_EQ(send_poll(), 0);
    send_frame(0x01, nullptr, 0);
    drain_frames();
    const uint8_t byte = '0';
    EXPECT_FALSE(boot_send(&byte, 1));
    EXPECT_FALSE(boot_wait_ready());
    EXPECT_FALSE(boot_read(20));
    EXPECT_TRUE(backend.writes.empty());
}

TEST_F(LinkTest, BootReadMakesOneAttemptFewerThanItsCount) {
    open_link();
    EXPECT_FALSE(boot_read(20));
    EXPECT_EQ(backend.writes.size(), 19u);
    for (const auto& r : backend.writes) EXPECT_EQ(r[1], 0x60);
    EXPECT_EQ(clock.now_ms(), 40u + 19 * 25) << "no pause besides the read time-outs";
}

TEST_F(LinkTest, BootReadTakesTheFirstReportWithData) {
    open_link();
    backend.queue(0x00, "");            // count 0: no data yet
    backend.queue(0x08, std::string("\x01\x00\x04\x50", 4));  // four bytes
    ASSERT_TRUE(boot_read(30));
    EXPECT_EQ(local_link().reply().length, 4);
    EXPECT_EQ(local_link().reply().bytes[0], 0x01);
    EXPECT_EQ(local_link().reply().bytes[3], 0x50);
    EXPECT_EQ(backend.writes.size(), 2u);
}

TEST_F(LinkTest, WaitReadyGivesUpAfterTenAttempts) {
    open_link();
    for (int i = 0; i < 12; ++i) backend.queue(0x00, "\x01");  // busy
    EXPECT_FALSE(boot_wait_ready());
    EXPECT_EQ(backend.writes.size(), 10u);
    for (const auto& r : backend.writes) EXPECT_EQ(r[1], 0x20);
}

TEST_F(LinkTest, WaitReadyAcceptsAZeroAfterTheControlByte) {
    open_link();
    backend.queue(0x00, "\x01");
    backend.queue(0x00, "");
    EXPECT_TRUE(boot_wait_ready());
    EXPECT_EQ(backend.writes.size(), 2u);
}

TEST_F(LinkTest, BootSendCutsABlockIntoSegmentsWithReadyHandshakes) {
    open_link();
    for (int i = 0; i < 8; ++i) backend.queue(0x00, "");  // ready after each full segment
    uint8_t block[1028];
    for (int i = 0; i < 1028; ++i) block[i] = uint8_t(i);
    ASSERT_TRUE(boot_send(block, 1028));

    std::vector<uint8_t> expected;
    for (int segment = 0; segment < 8; ++segment) {
        expected.push_back(0x0F);  // 7 bytes, first report of the segment
        for (int i = 1; i < 17; ++i) expected.push_back(0x0E);
        expected.push_back(0x8E);  // the last 7 bytes end the segment
        expected.push_back(0x20);  // ready query
    }
    expected.push_back(0x0F);
    expected.push_back(0x0E);
    expected.push_back(0xCC);  // 6 bytes, last report of the message
    EXPECT_EQ(backend.controls(), expected);

    std::vector<uint8_t> sent;
    for (const auto& r : backend.writes)
        if (r[1] != 0x20) sent.insert(sent.end(), r.begin() + 2, r.begin() + 2 + ((r[1] >> 1) & 7));
    EXPECT_EQ(sent, std::vector<uint8_t>(block, block + 1028));
}

TEST_F(LinkTest, BootSendOfOneByteIsOneReport) {
    open_link();
    const uint8_t zero = '0';
    ASSERT_TRUE(boot_send(&zero, 1));
    EXPECT_EQ(backend.controls(), std::vector<uint8_t>{0xC3});
}

TEST_F(LinkTest, BootSendStopsWhenTheBootloaderIsNotReady) {
    open_link();
    uint8_t block[300] = {};
    EXPECT_FALSE(boot_send(block, 300));
    EXPECT_EQ(backend.writes.size(), 18u + 10u) << "one segment, then ten ready queries";
}

TEST_F(LinkTest, FailedRawWriteClosesTheDeviceOnce) {
    open_link();
    backend.fail_writes_from = 0;
    const uint8_t zero = '0';
    EXPECT_FALSE(boot_send(&zero, 1));
    EXPECT_FALSE(link_is_open());
    EXPECT_EQ(backend.closes, 1);
    EXPECT_FALSE(boot_read(20));
    EXPECT_EQ(backend.writes.size(), 1u);
}

// A bootloader that leaves the bus right after it answered (the end of programming)
// may have answered an earlier poll late: what arrived before it went is still taken.
TEST_F(LinkTest, BootReadTakesWhatArrivedBeforeTheModuleLeft) {
    struct Case {
        std::vector<std::pair<uint8_t, const char*>> waiting;  // control and payload of the reports waiting
        bool answered;
    };
    const Case cases[] = {
        {{{0x00, ""}, {0x02, "k"}}, true}, {{{0x02, "k"}}, true}, {{{0x00, ""}, {0x00, ""}}, false}, {{}, false}};
    for (const Case& c : cases) {
        open_link();
        backend.reads.clear();
        for (const auto& report : c.waiting) backend.queue(report.first, report.second);
        backend.fail_writes_from = 0;
        EXPECT_EQ(boot_read(100), c.answered);
        EXPECT_FALSE(link_is_open());
        EXPECT_EQ(backend.writes.size(), 1u) << "no poll after the failed one";
        if (c.answered) {
            EXPECT_EQ(local_link().reply().bytes[0], 'k');
        }
        backend.fail_writes_from = -1;
    }
}

TEST_F(LinkTest, OpenNamesAModuleThisUserMayNotOpen) {
    backend.present_ids.clear();
    backend.refused = "/dev/hidraw3";
    EXPECT_EQ(link_open(), 0);
    EXPECT_STREQ(link_refused_node(), "/dev/hidraw3");
    backend.refused.clear();
    EXPECT_EQ(link_open(), 0);
    EXPECT_STREQ(link_refused_node(), "");
}

TEST_F(LinkTest, ReceivedTextSurvivesAClose) {
    open_link();
    backend.queue_transmission("!0101AC#!0101AC#");
    ASSERT_TRUE(poll_frame());
    link_close();
    EXPECT_TRUE(link_text_pending());
    EXPECT_EQ(local_link().reply().bytes[1], 0x01);
}

TEST_F(LinkTest, ANewConnectionStartsWithNoTextOfTheLastOne) {
    // Left behind: part of a transmission whose module then went, or a whole frame unread.
    for (const std::string& left : {std::string("!0101"), std::string("!0101AC#!0101AC#")}) {
        open_link();
        if (left.size() < 7) backend.queue(0x6A, left);  // more was to follow
        else backend.queue_transmission(left);
        poll_frame();
        open_link();
        backend.queue_transmission(HANDSHAKE_REPLY);
        ASSERT_TRUE(poll_frame()) << left;
        EXPECT_EQ(reply_hex(), "0307020161") << left;
    }
}

TEST(HidapiLink, NoModuleAttachedMeansNothingFound) {
    platform::ScopedVirtualClock clock;
    install_hid_backend(nullptr);
    ASSERT_EQ(hid_backend().init(), 0);
    EXPECT_EQ(link_open(), 0);
    EXPECT_FALSE(link_is_open());
}

}  // namespace
