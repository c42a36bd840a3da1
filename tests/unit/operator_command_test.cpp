// The command-line tool's commands on the local link and through the relay: what
// write-config writes for a file (what the editor would), the files it refuses, and
// what the commands say once the module is gone or runs only its bootloader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>

#include "cli/cli_commands.h"
#include "config/memory_blocks.h"
#include "relay_module_link.h"
#include "sim/sim_firmware_image.h"

namespace {

struct Outcome {
    int status = 0;
    std::string out, notes, error;
};

// One pin's choices in an image as the editor shows them in the advanced view.
PinSetting choices(const uint8_t* memory, int pin) {
    ConfigImage image;
    std::memcpy(image.data(), memory, image.size());
    PinRole role;
    return decode_image(image, pin, true, &role);
}

class OperatorCommand : public ::testing::TestWithParam<LinkKind> {
public:
    void SetUp() override { start(); }
    void start() {
        ASSERT_TRUE(sim.start(SimSettings())) << sim.error();
        module().memory()[0x85] |= 0x40;  // J2-4 inverted
        module().memory()[0xCB] = 0x96;   // J2-8 triggered on edge+0.75s
    }
    SimModule& module() { return sim.module(); }
    bool relayed() const { return GetParam() == LinkKind::RELAY; }

    Outcome run(const std::vector<std::string>& words) {
        Outcome result;
        char *out = nullptr, *notes = nullptr;
        size_t out_size = 0, notes_size = 0;
        FILE* out_file = open_memstream(&out, &out_size);
        FILE* notes_file = open_memstream(&notes, &notes_size);
        {
            std::unique_ptr<CliSession> session =
                relayed() ? std::make_unique<CliSession>(sim.connection(), out_file, notes_file)
                          : std::make_unique<CliSession>(sim.link(), out_file, notes_file);
            result.status = session->run(words, &result.error) ? EXIT_DONE : session->status();
        }
        std::fclose(out_file);
        std::fclose(notes_file);
        result.out.assign(out, out_size);
        result.notes.assign(notes, notes_size);
        std::free(out);
        std::free(notes);
        return result;
    }
    std::string file(const std::string& name, const std::string& contents) {
        const std::string path = testing::TempDir() + "qv450-operator-" + name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }
    // The frames the module got since `from`: the relay's tool sends the last ones once
    // a later exchange has gone through it.
    std::vector<uint8_t> commands_since(size_t from) {
        sim.link().poll_frame();
        std::vector<uint8_t> commands;
        for (size_t i = from; i < module().received.size(); ++i) commands.push_back(module().received[i].command);
        return commands;
    }

    SimulatedModuleOnLink sim{GetParam()};
};

std::string random_bytes(size_t n) {
    std::mt19937 random(26);
    std::string bytes(n, '\0');
    for (char& b : bytes) b = char(random());
    return bytes;
}

using MemoryCheck = std::function<void(const uint8_t* before, const uint8_t* after, const Outcome& run)>;

// The editor's Save writes the whole pin area afresh from the choices it shows: a
// file is laid over the module's choices, never over its bytes.
TEST_P(OperatorCommand, WriteConfigWritesWhatTheEditorWouldAndRefusesWhatItCouldNotShow) {
    const MemoryCheck same_choices = [](const uint8_t* before, const uint8_t* after, const Outcome&) {
        for (int pin = 0; pin < PIN_COUNT; ++pin) {
            const PinSetting was = choices(before, pin), is = choices(after, pin);
            EXPECT_EQ(std::vector<int>({is.signal, is.inverted, is.io, is.trigger}),
                      std::vector<int>({was.signal, was.inverted, was.io, was.trigger}))
                << PinMap[pin].key;
        }
    };
    const struct {
        const char* name;
        std::string text;
        int status;
        MemoryCheck check;
    } cases[] = {
        {"the number alone", "carnumber=77\r\n", EXIT_DONE,
         [&](const uint8_t* before, const uint8_t* after, const Outcome& run) {
             same_choices(before, after, run);
             EXPECT_EQ(after[NUMBER_ADDRESS + 1], 77);
             EXPECT_EQ(after[LEVEL_ADDRESS], before[LEVEL_ADDRESS]);
         }},
        // The default image keeps second trigger bytes that a read falls back to.
        {"level triggers", "J2_2_trigger=0\r\nJ2_7_trigger=0\r\nJ2_8_trigger=0\r\nJ2_9_trigger=0\r\n", EXIT_DONE,
         [](const uint8_t*, const uint8_t* after, const Outcome&) {
             for (int pin : {PIN_J2_7, PIN_J2_8, PIN_J2_9}) EXPECT_EQ(choices(after, pin).trigger, 0) << pin;
         }},
        {"trigger keys without _inv keys", "J2_4_signal=1\r\nJ2_4_iotype=2\r\nJ2_4_trigger=5\r\n", EXIT_DONE,
         [](const uint8_t*, const uint8_t* after, const Outcome&) {
             EXPECT_EQ(choices(after, PIN_J2_4).io, 2);  // "Output+ (max 32mA)", not a compact entry
             EXPECT_EQ(choices(after, PIN_J2_4).trigger, 5);
         }},
        {"compact view", "J2_4_signal=1\r\nJ2_4_iotype=1\r\n", EXIT_DONE,
         [](const uint8_t*, const uint8_t* after, const Outcome&) {
             EXPECT_EQ(choices(after, PIN_J2_4).io, 5);  // "Output- (max 16mA)"
             EXPECT_TRUE(choices(after, PIN_J2_4).inverted);
         }},
        {"skipped lines are named", "carnumber=5\r\nfoo=1\r\nJ2_4_signal=x\r\njunk\r\n", EXIT_DONE,
         [](const uint8_t*, const uint8_t*, const Outcome& run) {
             for (const char* line : {"line 2: ", "line 3: ", "line 4: "})
                 EXPECT_NE(run.notes.find(line), std::string::npos) << line << " in " << run.notes;
         }},
        {"empty", "", EXIT_BAD_FILE, nullptr},
        {"random bytes", random_bytes(3000), EXIT_BAD_FILE, nullptr},
        {"text", "two lines\nof text\n", EXIT_BAD_FILE, nullptr},
        {"level 0", "canlevel=0\r\n", EXIT_BAD_FILE, nullptr},
        {"level no number", "canlevel=abc\r\n", EXIT_BAD_FILE, nullptr},
        {"vehicle number past two bytes", "carnumber=65536\r\n", EXIT_BAD_FILE, nullptr},
        {"no such signal", "J2_4_signal=99\r\n", EXIT_BAD_FILE, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        uint8_t before[SIM_MEMORY_SIZE];
        std::memcpy(before, module().memory(), sizeof before);
        const size_t mark = module().received.size();
        const Outcome done = run({"write-config", file("write.cfg", c.text)});
        EXPECT_EQ(done.status, c.status) << done.error;
        const std::vector<uint8_t> commands = commands_since(mark);
        if (c.status != EXIT_DONE) {
            EXPECT_EQ(0, std::memcmp(before, module().memory(), sizeof before));
            EXPECT_EQ(std::count(commands.begin(), commands.end(), COMMAND_WRITE_MEMORY), 0);
            continue;
        }
        // The module takes the configuration into use with command 0x09, after the writes.
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), COMMAND_CONFIGURATION_DONE);
        c.check(before, module().memory(), done);
    }
    EXPECT_EQ(run({"write-config", "/dev/null"}).status, EXIT_BAD_FILE);
    module().refuse_writes(1);
    const Outcome refused = run({"write-config", file("write.cfg", "carnumber=5\r\n")});
    EXPECT_EQ(refused.status, EXIT_TRANSFER);
    EXPECT_NE(refused.error.find("refused"), std::string::npos) << refused.error;
}

// After a flash that did not end, or with the module pulled out at the fitter's end,
// every command says what is there now: the status a script acts on is "no module".
TEST_P(OperatorCommand, CommandsSayWhatIsOpenAfterAFailedFlashOrAnUnplug) {
    const std::vector<uint8_t> firmware = make_sim_firmware_file(12000, SimFirmwareIdentity(), 0x04, 0x50);
    const std::string bin = file("firmware.bin", std::string(firmware.begin(), firmware.end()));
    const struct {
        const char* name;
        std::function<void(OperatorCommand&)> fault;
        std::vector<std::string> words;
        bool relay_only;
        int status;
        const char* says;  // in the output, or else in the error; nullptr: not checked
    } cases[] = {
        {"refused flash", [](OperatorCommand& t) { t.module().refuse_blocks(100); }, {"flash", bin}, false,
         EXIT_TRANSFER, "needs firmware"},
        {"identify after it", nullptr, {"identify"}, false, EXIT_NO_MODULE, "bootloader"},
        {"state after it", nullptr, {"state"}, true, EXIT_DONE, "2 bootloader"},
        {"read-config unplugged", [](OperatorCommand& t) { t.start(), t.module().unplug(); }, {"read-config"},
         false, EXIT_NO_MODULE, nullptr},
        {"identify unplugged", [](OperatorCommand& t) { t.start(), t.module().unplug(); }, {"identify"}, false,
         EXIT_NO_MODULE, nullptr},
        {"state unplugged", [](OperatorCommand& t) { t.start(), t.module().unplug(); }, {"state"}, true, EXIT_DONE,
         "! no device"},
    };
    for (const auto& c : cases) {
        if (c.relay_only && !relayed()) continue;
        SCOPED_TRACE(c.name);
        if (c.fault) c.fault(*this);
        const Outcome done = run(c.words);
        EXPECT_EQ(done.status, c.status) << done.error;
        const std::string& said = c.status == EXIT_DONE ? done.out : done.error;
        if (c.says) {
            EXPECT_NE(said.find(c.says), std::string::npos) << said;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Links, OperatorCommand, ::testing::Values(LinkKind::LOCAL, LinkKind::RELAY),
                         [](const auto& info) { return std::string(link_kind_name(info.param)); });

}  // namespace
