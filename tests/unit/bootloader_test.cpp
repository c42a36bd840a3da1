// Programming through the simulated module's bootloader on virtual time, on the local
// link and through the relay from the operator's side: the exchanges, retry counts,
// progress, and the fault matrix (lost reports, refused blocks, the cable pulled at
// every block).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "connection/connection.h"
#include "device/link.h"
#include "firmware/bootloader.h"
#include "platform/clock.h"
#include "relay_module_link.h"
#include "sim/sim_backend.h"
#include "sim/sim_firmware_image.h"
#include "unit/scripted_backend.h"
#include "unit/fresh_link.h"

namespace {

FirmwareImage image_for(int size, int version, int variant_byte, uint8_t hw0 = 0x04, uint8_t hw1 = 0x50) {
    SimFirmwareIdentity identity;
    identity.firmware_version = version;
    identity.variant_byte = variant_byte;
    const std::vector<uint8_t> file = make_sim_firmware_file(size, identity, hw0, hw1);
    FirmwareImage image;
    std::memcpy(image.bytes, file.data(), file.size());
    image.size = int(file.size());
    return image;
}

class Bootloader : public ::testing::TestWithParam<LinkKind> {
protected:
    void SetUp() override { start(SimSettings()); }
    FrameLink& link() { return sim.link(); }
    void start(const SimSettings& settings) {
        ASSERT_TRUE(sim.start(settings)) << sim.error();
        module = &sim.module();
    }
    // The firmware version the module reports once it is found again.
    int identify_after_restart() {
        if (link().open() != 1 || !identify_module(link(), 20)) return -1;
        return link().reply().bytes[4] * 100 + link().reply().bytes[5];
    }
    // Runs the programming; `at_block(n)` runs before block n (0 first) goes out, and
    // with n = the block count before the end of programming.
    FlashResult program(const FirmwareImage& image, std::function<void(int)> at_block = nullptr) {
        permilles.clear();
        on_block = std::move(at_block);
        FlashProgress progress{[](void* self, int permille) {
                                   Bootloader* test = static_cast<Bootloader*>(self);
                                   if (test->on_block) test->on_block(int(test->permilles.size()));
                                   test->permilles.push_back(permille);
                               },
                               this};
        const FlashResult result = program_firmware(link(), image, progress, &blocks_written);
        link().close();
        return result;
    }
    // The module holds exactly the sent blocks: the image from offset 2048, the last
    // block padded with zeros.
    void expect_flash_holds(const FirmwareImage& image) {
        const std::vector<uint8_t>& flash = module->flash();
        const int sent = firmware_block_count(image.size) * FIRMWARE_BLOCK_SIZE;
        for (int i = 0; i < sent; ++i) {
            const int offset = FIRMWARE_FIRST_OFFSET + i;
            const uint8_t expected = offset < image.size ? image.bytes[offset] : 0;
            ASSERT_EQ(flash[size_t(i)], expected) << "flash byte " << i;
        }
    }

    SimulatedModuleOnLink sim{GetParam()};
    SimModule* module = nullptr;
    std::vector<int> permilles;
    std::function<void(int)> on_block;
    int blocks_written = 0;
};

// The steps' own counts and the cable pulled, on the local link only.
using LocalBootloader = Bootloader;

TEST_P(Bootloader, FullImageLeavesExactlyTheSentBytesAndTheModuleRestartsAsTheImage) {
    const FirmwareImage image = image_for(FIRMWARE_IMAGE_CAPACITY, 1611, 0x02);
    EXPECT_EQ(program(image), FlashResult::PROGRAMMED);
    EXPECT_EQ(blocks_written, 96);
    expect_flash_holds(image);
    EXPECT_EQ(identify_after_restart(), 1611);
    EXPECT_EQ(module->settings().variant_byte, 0x02);
    // Progress: 2% before the first block, then rising, 100% at the end.
    EXPECT_EQ(permilles.front() / 10, 2);
    EXPECT_EQ(permilles.back(), 1000);
    EXPECT_TRUE(std::is_sorted(permilles.begin(), permilles.end()));
}

TEST_P(Bootloader, TenThousandBytesGoAsEightBlocksTheLastPaddedWithZeros) {
    // An earlier, longer image in the same buffer must not leak into the last block.
    FirmwareImage image = image_for(FIRMWARE_IMAGE_CAPACITY, 1605, 0x01);
    const FirmwareImage small = image_for(10000, 1601, 0x01);
    std::memcpy(image.bytes, small.bytes, size_t(small.size));
    image.size = small.size;
    EXPECT_EQ(program(image), FlashResult::PROGRAMMED);
    EXPECT_EQ(module->counters.blocks, 8);
    expect_flash_holds(small);
    EXPECT_EQ(identify_after_restart(), 1601);
}

TEST_P(Bootloader, EachBlockHasItsOwnTwelveTries) {
    const FirmwareImage image = image_for(12000, 1611, 0x01);
    // Eleven refusals before every block: the twelfth try of each succeeds.
    EXPECT_EQ(program(image, [this](int) { module->refuse_blocks(11); }), FlashResult::PROGRAMMED);
    expect_flash_holds(image);
}

TEST_P(Bootloader, TwelveRefusalsOfOneBlockEndTheUpdateWithoutTheEnd) {
    const FirmwareImage image = image_for(12000, 1611, 0x01);
    EXPECT_EQ(program(image, [this](int block) {
                  if (block == 3) module->refuse_blocks(12);
              }),
              FlashResult::WRITE_ERROR);
    EXPECT_EQ(blocks_written, 3);
    EXPECT_FALSE(module->settings().programmed);  // still in its bootloader, flashable
}

TEST_P(Bootloader, HardwareIdMismatchEndsBeforeAnyBlock) {
    EXPECT_EQ(program(image_for(12000, 1611, 0x01, 0x04, 0x51)), FlashResult::INCOMPATIBLE);
    EXPECT_EQ(module->counters.blocks, 0);
    EXPECT_TRUE(permilles.empty());
}

TEST_P(Bootloader, ModuleWithoutFirmwareIsProgrammedOverTheOpenBootloaderLink) {
    SimSettings settings;
    settings.programmed = false;
    start(settings);
    EXPECT_EQ(link().mode(), LINK_BOOTLOADER);
    EXPECT_FALSE(request_bootloader(link()));  // no reply 0x03: ignored
    EXPECT_EQ(program(image_for(12000, 1611, 0x01)), FlashResult::PROGRAMMED);
    EXPECT_EQ(identify_after_restart(), 1611);
}

TEST_P(LocalBootloader, RetryCountsOfTheSingleCommands) {
    link_close();
    // Without a device every step fails (the handshake once it has looked for one).
    module->unplug();
    EXPECT_FALSE(boot_handshake(local_link()));
    EXPECT_EQ(boot_identify(local_link(), 0x04, 0x50), BootIdentity::NO_ANSWER);
    EXPECT_FALSE(boot_finish(local_link()));
    module->replug();
    ASSERT_EQ(link_open(), 1);
    EXPECT_TRUE(request_bootloader(local_link()));
    const int polls_before = module->counters.polls;
    EXPECT_TRUE(boot_handshake(local_link()));
    EXPECT_EQ(module->counters.polls - polls_before, 1);
    EXPECT_EQ(boot_identify(local_link(), 0x04, 0x50), BootIdentity::MATCH);
    EXPECT_EQ(boot_identify(local_link(), 0x05, 0x50), BootIdentity::MISMATCH);
    // Every answer report lost: "0" is sent 24 times, each read with 19 polls.
    const int polls = module->counters.polls;
    module->lose_input_reports(1000000);
    EXPECT_FALSE(boot_handshake(local_link()));
    EXPECT_EQ(module->counters.polls - polls, 24 * 19);
}

TEST(BootHandshake, OnlyTheListeningAnswerCounts) {
    platform::ScopedVirtualClock clock;
    for (const auto& answer : {std::make_pair("1", true), std::make_pair("?", false)}) {
        ScriptedBackend backend;
        backend.product = L"USB Bootloader";
        install_hid_backend(&backend);
        start_with_fresh_link();
        ASSERT_EQ(link_open(), 2);
        backend.queue(0x02, answer.first);  // a one-byte answer to "0"
        EXPECT_EQ(boot_handshake(local_link()), answer.second) << answer.first;
        link_close();
        install_hid_backend(nullptr);
    }
}

// A module on USB leaves the bus at the hand-over and comes back as its bootloader a
// moment later: the handshake opens it again; one that never comes back fails.
TEST(BootHandshake, FindsTheModuleAgainAfterTheHandOver) {
    for (const bool comes_back : {true, false}) {
        platform::ScopedVirtualClock clock;
        ScriptedBackend backend;
        install_hid_backend(&backend);
        start_with_fresh_link();
        ASSERT_EQ(link_open(), 1);
        link_close();  // the application firmware has left the bus
        backend.product = L"USB Bootloader";
        if (!comes_back) backend.present_ids.clear();
        backend.queue(0x02, "1");
        // The window is drawn while the module is looked for.
        static int reports = 0;
        reports = 0;
        FlashProgress progress;
        progress.report = [](void*, int permille) { reports += permille == 0; };
        EXPECT_EQ(boot_handshake(local_link(), &progress), comes_back);
        EXPECT_EQ(local_link().mode(), comes_back ? LINK_BOOTLOADER : LINK_NONE);
        if (!comes_back) {
            EXPECT_GE(clock.now_ms(), uint64_t(BOOTLOADER_LOOKS * BOOTLOADER_LOOK_PAUSE_MS));
            EXPECT_EQ(reports, BOOTLOADER_LOOKS);
        }
        link_close();
        install_hid_backend(nullptr);
    }
}

TEST_P(Bootloader, LostReportsAndBusyAnswersAreRidden) {
    const FirmwareImage image = image_for(16000, 1611, 0x01);
    EXPECT_EQ(program(image, [this](int block) {
                  if (block % 2) module->lose_input_reports(1);
                  if (block % 3 == 0) module->answer_not_ready(3);
              }),
              FlashResult::PROGRAMMED);
    expect_flash_holds(image);
    EXPECT_EQ(identify_after_restart(), 1611);
}

// The cable pulled at every block of a full image, part-way into the block: never a
// success, the module stays flashable, and the next attempt programs it whole.
TEST_P(LocalBootloader, UnplugAtEveryBlockNeverSucceedsAndTheNextAttemptDoes) {
    const FirmwareImage image = image_for(FIRMWARE_IMAGE_CAPACITY, 1611, 0x02);
    const int blocks = firmware_block_count(image.size);
    for (int cut = 0; cut <= blocks; ++cut) {
        SCOPED_TRACE(cut);
        start(SimSettings());
        const int reports_into_block = cut == blocks ? 0 : (cut * 37) % 160;
        const FlashResult result = program(image, [&](int block) {
            if (block == cut) module->unplug_after_reports(reports_into_block);
        });
        // The last cut falls on the end of programming.
        ASSERT_NE(result, FlashResult::PROGRAMMED) << "cut at block " << cut;
        module->replug();
        ASSERT_GT(link().open(), 0) << cut;
        ASSERT_EQ(program(image), FlashResult::PROGRAMMED) << "after the cut at block " << cut;
        expect_flash_holds(image);
        ASSERT_EQ(identify_after_restart(), 1611) << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, Bootloader, ::testing::Values(LinkKind::LOCAL, LinkKind::RELAY),
                         [](const auto& info) { return std::string(link_kind_name(info.param)); });
INSTANTIATE_TEST_SUITE_P(Links, LocalBootloader, ::testing::Values(LinkKind::LOCAL),
                         [](const auto& info) { return std::string(link_kind_name(info.param)); });

}  // namespace
