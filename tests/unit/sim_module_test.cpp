// The simulated module's exchanges, driven through the real link on virtual time.
#include "sim/sim_module.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "device/link.h"
#include "diag/event_log.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "sim/sim_commands.h"
#include "sim/sim_firmware_image.h"
#include "unit/fresh_link.h"

namespace {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_with_fresh_link();
        clear_log();
        install_hid_backend(&backend);
    }
    void TearDown() override {
        link_close();
        EXPECT_EQ(backend.open_handles(), 0);
        install_hid_backend(nullptr);
    }

    // Sends a command and polls up to `attempts` times for a reply with `code`.
    bool exchange(uint8_t command, std::vector<uint8_t> data, uint8_t code, int attempts = 19) {
        send_command(command, data.data(), int(data.size()));
        for (int i = 0; i < attempts; ++i)
            if (poll_frame() && local_link().reply().bytes[1] == code) return true;
        return false;
    }
    std::vector<uint8_t> reply_data() const {
        return std::vector<uint8_t>(local_link().reply().bytes + 2, local_link().reply().bytes + local_link().reply().bytes[0] + 1);
    }
    bool boot_exchange(const std::vector<uint8_t>& message, int attempts) {
        return boot_send(message.data(), int(message.size())) && boot_read(attempts);
    }
    // Sends every 1024-byte block of a firmware file from offset 2048 on.
    int flash_blocks(const std::vector<uint8_t>& file) {
        int accepted = 0;
        for (size_t f = 2048; f < file.size(); f += 1024) {
            std::vector<uint8_t> block(1028, 0);
            for (size_t i = 0; i < 1024 && f + i < file.size(); ++i) block[i] = file[f + i];
            const unsigned address = unsigned(f - 2048) / 64;
            block[1024] = uint8_t(address);
            block[1025] = uint8_t(address >> 8);
            unsigned sum = 0;
            for (int i = 0; i < 1026; ++i) sum += block[size_t(i)];
            block[1026] = uint8_t(sum);
            block[1027] = uint8_t(sum >> 8);
            if (boot_exchange(block, 90) && local_link().reply().bytes[0] == 'z') ++accepted;
        }
        return accepted;
    }

    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend{module};
};

TEST_F(SimTest, HandshakeAndIdentity) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x01, {}, 0x07));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0x02, 0x01}));
    ASSERT_TRUE(exchange(0x04, {}, 0x08));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0xC2, 0x01, 16, 5, 0x01}));
}

TEST_F(SimTest, IdentityFollowsTheSettings) {
    SimSettings settings;
    settings.model_as_dash = true;
    settings.firmware_version = 1611;
    settings.variant_byte = -1;
    SimModule other(settings);
    SimBackend other_backend(other);
    install_hid_backend(&other_backend);
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x04, {}, 0x08));
    EXPECT_EQ(local_link().reply().bytes[0], 5) << "no variant byte: four data bytes";
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0x2D, 0x20, 16, 11}));
    link_close();
}

TEST_F(SimTest, PresentsItselfAsEachProduct) {
    struct Case {
        SimProduct product;
        bool programmed;
        int result;
        int mode;
    };
    const Case cases[] = {
        {SimProduct::PROGRAMMER, true, 1, LINK_PROGRAMMER},
        {SimProduct::USBIC, true, 1, LINK_USBIC},
        {SimProduct::PROGRAMMER, false, 2, LINK_BOOTLOADER},
    };
    for (const Case& c : cases) {
        SimSettings settings;
        settings.product = c.product;
        settings.programmed = c.programmed;
        SimModule other(settings);
        SimBackend other_backend(other);
        install_hid_backend(&other_backend);
        EXPECT_EQ(link_open(), c.result);
        EXPECT_EQ(local_link().mode(), c.mode);
        link_close();
    }
    install_hid_backend(&backend);
}

TEST_F(SimTest, ReadsTheFactoryConfiguration) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x05, {0x01, 10}, 0x06));
    std::vector<uint8_t> header = reply_data();
    ASSERT_EQ(header.size(), 12u);
    EXPECT_EQ(header[2], 2) << "CAN level 3 is stored as 2";
    EXPECT_EQ(header[6], 0);
    EXPECT_EQ(header[7], 0);
    ASSERT_TRUE(exchange(0x05, {0xC1, 28}, 0x06));
    const std::vector<uint8_t> tail = reply_data();
    EXPECT_EQ(std::vector<uint8_t>(tail.begin() + 2, tail.end()),
              std::vector<uint8_t>(SimModule::DEFAULT_PIN_AREA + 64, SimModule::DEFAULT_PIN_AREA + 92));
}

TEST_F(SimTest, WrittenBytesAreAcknowledgedAndReadBack) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x06, {0x05, 2, 0x04, 0xF8}, 0x01, 20));
    EXPECT_EQ(module.memory()[0x05], 0x04);
    EXPECT_EQ(module.memory()[0x06], 0xF8);
    ASSERT_TRUE(exchange(0x05, {0x05, 2}, 0x06));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0x05, 2, 0x04, 0xF8}));
}

TEST_F(SimTest, RequestsOutsideTheMemoryAreNotAnswered) {
    ASSERT_EQ(link_open(), 1);
    EXPECT_FALSE(exchange(0x05, {0xF0, 32}, 0x06));
    EXPECT_FALSE(exchange(0x06, {0xFF, 2, 1, 2}, 0x01));
    EXPECT_FALSE(exchange(0x06, {0x10, 3, 1, 2}, 0x01)) << "count does not match the bytes";
}

TEST_F(SimTest, SignalMapIsSentLeastSignificantBitFirst) {
    module.set_signal_map((uint64_t(1) << 37) | 1);
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x08, {0x00}, 0x09));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0x01, 0, 0, 0, 0x20}));
}

TEST_F(SimTest, RelayCommandsAndTextLines) {
    module.text_lines() = {"first\r\n", "second"};
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x57, {0x01}, 0x06));
    std::vector<uint8_t> data = reply_data();
    ASSERT_EQ(data[1], 7);
    EXPECT_EQ(std::string(data.begin() + 3, data.end()), "first\r\n");
    ASSERT_TRUE(exchange(0x57, {0x00}, 0x06));
    EXPECT_EQ(reply_data()[1], 6);
    ASSERT_TRUE(exchange(0x57, {0x00}, 0x06));
    EXPECT_EQ(reply_data()[1], 0) << "an empty line ends the texts";
    EXPECT_TRUE(exchange(0x56, {0x01, 0x00}, 0x07));
    EXPECT_TRUE(exchange(0x66, {0x12, 0x34}, 0x07));
}

TEST_F(SimTest, OtherCommandsAreAcknowledgedWithTheirData) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x7F, {0x41, 0x42}, 0x01));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0x7F, 0x41, 0x42}));
}

TEST_F(SimTest, EventTextsReachTheLogWhilePolling) {
    ASSERT_EQ(link_open(), 1);
    module.queue_event_text("* DOOR Front left door opened\r\n");
    EXPECT_FALSE(poll_frame());
    EXPECT_NE(std::strstr(event_log.log_text, ">* DOOR Front left door opened\r\n"), nullptr);
}

TEST_F(SimTest, SeveralFramesShareOneTransmission) {
    ASSERT_EQ(link_open(), 1);
    module.queue_event_text("one\r\n");
    module.queue_event_text("two\r\n");
    send_frame(0x01, nullptr, 0);
    const int polls = module.counters.polls;
    ASSERT_TRUE(poll_frame());
    EXPECT_EQ(local_link().reply().bytes[1], 0x07);
    EXPECT_EQ(module.counters.polls, polls + 1) << "both texts and the reply came with one poll";
    EXPECT_NE(std::strstr(event_log.log_text, "two"), nullptr);
}

TEST_F(SimTest, LostAndCorruptRepliesGiveNoFrame) {
    ASSERT_EQ(link_open(), 1);
    module.lose_replies(1);
    EXPECT_FALSE(exchange(0x01, {}, 0x07, 3));
    module.corrupt_replies(1);
    EXPECT_FALSE(exchange(0x01, {}, 0x07, 3));
    EXPECT_TRUE(exchange(0x01, {}, 0x07, 3));
}

TEST_F(SimTest, LostInputReportBreaksTheFrame) {
    ASSERT_EQ(link_open(), 1);
    send_frame(0x04, nullptr, 0);
    module.lose_input_reports(1);
    EXPECT_FALSE(poll_frame());
    EXPECT_TRUE(exchange(0x04, {}, 0x08));
}

TEST_F(SimTest, BadFramesFromTheHostAreIgnored) {
    ASSERT_EQ(link_open(), 1);
    const uint8_t report[9] = {0, 0xCF, '!', '0', '1', '0', '1', 'A', 'D'};  // wrong checksum, no "#"
    local_link().write_raw_report(report, 9);
    EXPECT_FALSE(poll_frame());
    EXPECT_EQ(module.counters.bad_frames, 1);
}

TEST_F(SimTest, UnplugFailsEveryOperationUntilReplugged) {
    ASSERT_EQ(link_open(), 1);
    module.unplug();
    EXPECT_FALSE(poll_frame());
    EXPECT_FALSE(link_is_open()) << "the failed poll closed the device";
    EXPECT_EQ(link_open(), 0);
    module.replug();
    EXPECT_EQ(link_open(), 1);
    EXPECT_TRUE(exchange(0x01, {}, 0x07));
}

TEST_F(SimTest, UnplugInTheMiddleOfAFrame) {
    ASSERT_EQ(link_open(), 1);
    module.unplug_after_reports(1);
    send_frame(0x04, nullptr, 0);
    EXPECT_FALSE(link_is_open());
    EXPECT_FALSE(module.plugged());
}

TEST_F(SimTest, SwitchesToTheBootloaderAndFlashesAnImage) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x10, {}, 0x03));
    EXPECT_TRUE(module.running_bootloader());
    ASSERT_TRUE(boot_exchange({'0'}, 20));
    EXPECT_EQ(local_link().reply().bytes[0], '1');
    ASSERT_TRUE(boot_exchange({'5'}, 30));
    ASSERT_EQ(local_link().reply().length, 4);
    EXPECT_EQ(std::vector<uint8_t>(local_link().reply().bytes, local_link().reply().bytes + 4),
              (std::vector<uint8_t>{0x01, 0x00, 0x04, 0x50}));

    SimFirmwareIdentity identity;
    identity.firmware_version = 1611;
    identity.variant_byte = 0x82;
    const std::vector<uint8_t> file = make_sim_firmware_file(10000, identity, 0x04, 0x50);
    EXPECT_EQ(flash_blocks(file), 8);
    EXPECT_EQ(module.counters.blocks, 8);
    ASSERT_TRUE(boot_exchange({'3'}, 100));
    link_close();

    EXPECT_FALSE(module.running_bootloader());
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x04, {}, 0x08));
    EXPECT_EQ(reply_data(), (std::vector<uint8_t>{0xC2, 0x01, 16, 11, 0x82}));
}

TEST_F(SimTest, TheOldHandleDiesWhenTheNewFirmwareStarts) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x10, {}, 0x03));
    ASSERT_TRUE(boot_exchange({'3'}, 100));
    EXPECT_FALSE(boot_exchange({'0'}, 20));
    EXPECT_FALSE(link_is_open());
}

TEST_F(SimTest, DamagedAndRefusedBlocksAreNotWritten) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x10, {}, 0x03));
    std::vector<uint8_t> block(1028, 0x11);
    block[1024] = 0;
    block[1025] = 0;
    block[1026] = 0x12;  // wrong sum
    block[1027] = 0x34;
    ASSERT_TRUE(boot_exchange(block, 90));
    EXPECT_NE(local_link().reply().bytes[0], 'z');

    unsigned sum = 0;
    for (int i = 0; i < 1026; ++i) sum += block[size_t(i)];
    block[1026] = uint8_t(sum);
    block[1027] = uint8_t(sum >> 8);
    module.refuse_blocks(1);
    ASSERT_TRUE(boot_exchange(block, 90));
    EXPECT_NE(local_link().reply().bytes[0], 'z');
    ASSERT_TRUE(boot_exchange(block, 90));
    EXPECT_EQ(local_link().reply().bytes[0], 'z');
    EXPECT_EQ(module.counters.blocks, 1);

    block[1024] = 7;  // not on a block boundary
    sum += 7;
    block[1026] = uint8_t(sum);
    block[1027] = uint8_t(sum >> 8);
    ASSERT_TRUE(boot_exchange(block, 90));
    EXPECT_NE(local_link().reply().bytes[0], 'z');
}

TEST_F(SimTest, BusyBootloaderDelaysTheSegmentHandshake) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x10, {}, 0x03));
    module.answer_not_ready(9);
    std::vector<uint8_t> message(200, 0);
    EXPECT_TRUE(boot_send(message.data(), 200)) << "ready on the tenth query";
    module.answer_not_ready(10);
    EXPECT_FALSE(boot_send(message.data(), 200));
}

TEST_F(SimTest, UnplugDuringAFlashLeavesOnlyTheBootloader) {
    ASSERT_EQ(link_open(), 1);
    ASSERT_TRUE(exchange(0x10, {}, 0x03));
    const std::vector<uint8_t> file = make_sim_firmware_file(10000, SimFirmwareIdentity(), 0x04, 0x50);
    std::vector<uint8_t> first(file.begin(), file.begin() + 2048 + 1024);
    EXPECT_EQ(flash_blocks(first), 1);
    module.unplug();
    link_close();
    module.replug();
    EXPECT_EQ(link_open(), 2);
}

// The command file's armed faults pull the cable at a given block of a flash or a
// given configuration write: what came before is kept, the rest never arrives.
TEST_F(SimTest, ArmedUnplugPullsTheCableAtItsBlockOrWrite) {
    struct Case {
        const char* line;
        int blocks_written;  // of a 10-block image; -1: no flash
        int writes_stored;   // of three one-byte writes; -1: no writes
    };
    const Case cases[] = {
        {"unplug at-block 0", 1, -1}, {"unplug at-block 4", 5, -1},  {"unplug at-block 9", 10, -1},
        {"unplug at-write 1", -1, 0}, {"unplug at-write 3", -1, 2},
    };
    const std::vector<uint8_t> file = make_sim_firmware_file(2048 + 10 * 1024, SimFirmwareIdentity(), 0x04, 0x50);
    for (const Case& c : cases) {
        SimModule fresh;
        SimBackend fresh_backend{fresh};
        install_hid_backend(&fresh_backend);
        std::vector<std::string> errors;
        run_sim_commands(fresh, c.line, &errors);
        EXPECT_TRUE(errors.empty()) << c.line;
        ASSERT_EQ(link_open(), 1) << c.line;
        if (c.blocks_written >= 0) {
            ASSERT_TRUE(exchange(0x10, {}, 0x03)) << c.line;
            flash_blocks(file);
            EXPECT_EQ(fresh.counters.blocks, c.blocks_written) << c.line;
        } else {
            for (uint8_t i = 0; i < 3; ++i) exchange(0x06, {uint8_t(0x10 + i), 1, 0xA5}, 0x01);
            int stored = 0;
            for (int i = 0; i < 3; ++i) stored += fresh.memory()[0x10 + i] == 0xA5;
            EXPECT_EQ(stored, c.writes_stored) << c.line;
        }
        EXPECT_FALSE(fresh.plugged()) << c.line;
        link_close();
        install_hid_backend(&backend);
    }
}

class SimFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv450-sim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = std::string(pattern) + "/module";
    }
    void TearDown() override {
        EXPECT_EQ(std::system(("rm -rf " + folder.substr(0, folder.rfind('/'))).c_str()), 0);
    }
    std::string read(const std::string& name) {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string folder;
    platform::ScopedVirtualClock clock;
};

TEST_F(SimFolderTest, AFreshFolderIsAFactoryNewModule) {
    SimModule module;
    std::string error;
    ASSERT_TRUE(module.attach_folder(folder, &error)) << error;
    const std::string memory = read("memory.bin");
    ASSERT_EQ(memory.size(), 256u);
    EXPECT_EQ(memory[0x01], 2);
    EXPECT_EQ(memory.substr(0x81, 92), std::string(reinterpret_cast<const char*>(SimModule::DEFAULT_PIN_AREA), 92));
    EXPECT_NE(read("module.conf").find("firmware = 1605"), std::string::npos);
}

TEST_F(SimFolderTest, MemoryAndFirmwareSurviveARestart) {
    {
        SimModule module;
        std::string error;
        ASSERT_TRUE(module.attach_folder(folder, &error));
        SimBackend backend(module);
        install_hid_backend(&backend);
        ASSERT_EQ(link_open(), 1);
        const uint8_t write[] = {0x01, 1, 0x1C};
        send_command(0x06, write, 3);
        EXPECT_TRUE(poll_frame());
        link_close();
        install_hid_backend(nullptr);
    }
    SimModule again;
    std::string error;
    ASSERT_TRUE(again.attach_folder(folder, &error));
    EXPECT_EQ(again.memory()[0x01], 0x1C);
    EXPECT_EQ(read("memory.bin")[0x01], 0x1C);
}

TEST_F(SimFolderTest, SettingsFileChoosesTheModule) {
    ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
    std::ofstream(folder + "/module.conf") << "model = 451\nfirmware = 1702\nvariant = none\nprogrammed = no\n";
    SimModule module;
    std::string error;
    ASSERT_TRUE(module.attach_folder(folder, &error));
    EXPECT_EQ(module.settings().model, 451);
    EXPECT_EQ(module.settings().firmware_version, 1702);
    EXPECT_EQ(module.settings().variant_byte, -1);
    EXPECT_TRUE(module.running_bootloader());
}

TEST_F(SimFolderTest, AFileWhereTheFolderShouldBeIsRefused) {
    ASSERT_EQ(std::system(("mkdir -p " + folder.substr(0, folder.rfind('/')) + " && touch " + folder).c_str()), 0);
    SimModule module;
    std::string error;
    EXPECT_FALSE(module.attach_folder(folder, &error));
    EXPECT_FALSE(error.empty());
}

TEST(SimSettings, ParsesGoodValuesAndReportsBadOnes) {
    std::vector<std::string> errors;
    const SimSettings s = parse_sim_settings(
        "# comment\nmodel = dash\nfirmware=1611\nvariant = 0x81\nhardware_id = 0x1234\n"
        "product = usbic\ndemo = yes\nfirmware = 16\nvariant = 300\ncolour = red\nnonsense\n",
        &errors);
    EXPECT_TRUE(s.model_as_dash);
    EXPECT_EQ(s.firmware_version, 1611);
    EXPECT_EQ(s.variant_byte, 0x81);
    EXPECT_EQ(s.hardware_id[0], 0x12);
    EXPECT_EQ(s.hardware_id[1], 0x34);
    EXPECT_EQ(s.product, SimProduct::USBIC);
    EXPECT_TRUE(s.demo);
    EXPECT_EQ(errors.size(), 4u);
}

TEST(SimSettings, FormattedSettingsReadBackTheSame) {
    SimSettings s;
    s.model = 451;
    s.variant_byte = -1;
    s.programmed = false;
    s.product_string = "USB HID Progr X";
    std::vector<std::string> errors;
    const SimSettings back = parse_sim_settings(format_sim_settings(s), &errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(back.model, 451);
    EXPECT_EQ(back.variant_byte, -1);
    EXPECT_FALSE(back.programmed);
    EXPECT_EQ(back.product_string, "USB HID Progr X");
}

}  // namespace
