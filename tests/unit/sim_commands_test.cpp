// Driving the simulated module from outside: the command lines and the command file.
#include "sim/sim_commands.h"

#include <gtest/gtest.h>

#include "device/link.h"
#include "diag/event_log.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "unit/temp_folder.h"
#include "unit/fresh_link.h"

namespace {

constexpr uint64_t bit(int n) { return uint64_t(1) << n; }

TEST(SimCommands, HeldBitsLieOverTheModulesOwnSignals) {
    SimModule module;
    module.set_signal_map(bit(1) | bit(2));
    std::vector<std::string> errors;
    run_sim_commands(module, "set 37 0\nclear 2\n# a comment\n\n", &errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(module.signal_map(), bit(0) | bit(1) | bit(37));
    module.set_signal_map(bit(2) | bit(5));  // the demo moves on
    EXPECT_EQ(module.signal_map(), bit(0) | bit(5) | bit(37));
    run_sim_commands(module, "release 0\nclear 37\n", &errors);
    EXPECT_EQ(module.signal_map(), bit(5));
    run_sim_commands(module, "release all\n", &errors);
    EXPECT_EQ(module.signal_map(), bit(2) | bit(5));
    EXPECT_TRUE(errors.empty());
}

TEST(SimCommands, BadLinesAreReportedAndSkipped) {
    SimModule module;
    std::vector<std::string> errors;
    run_sim_commands(module,
                     "set 40\nset x\nset\nclear all\ndemo maybe\nfly\nunplug now\nunplug at-block\n"
                     "unplug at-write 0\nunplug at-block -1\nunplug at-block 2x\nset 3\n",
                     &errors);
    EXPECT_EQ(errors.size(), 11u);
    EXPECT_NE(errors[0].find("line 1"), std::string::npos);
    EXPECT_EQ(module.signal_map(), bit(3));
}

TEST(SimCommands, TextEscapes) {
    EXPECT_EQ(decode_sim_text("a\\r\\n\\t\\\\\\x41\\x4"), "a\r\n\t\\Ax4");
    EXPECT_EQ(decode_sim_text("end\\"), "end\\");
}

TEST(SimCommands, CableAndDemo) {
    SimModule module;
    run_sim_commands(module, "unplug\n", nullptr);
    EXPECT_FALSE(module.plugged());
    run_sim_commands(module, "plug\ndemo on\n", nullptr);
    EXPECT_TRUE(module.plugged());
    EXPECT_TRUE(module.settings().demo);
}

class SimCommandFile : public ::testing::Test {
protected:
    void SetUp() override {
        start_with_fresh_link();
        clear_log();
        event_log.line_start_pending = true;
        std::string error;
        ASSERT_TRUE(module.attach_folder(folder.path(), &error)) << error;
        install_hid_backend(&backend);
        ASSERT_EQ(link_open(), 1);
    }
    void TearDown() override {
        link_close();
        install_hid_backend(nullptr);
    }
    TempFolder folder;
    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend{module};
};

TEST_F(SimCommandFile, TakenWhileTheToolPollsAndThenRemoved) {
    folder.put(SIM_COMMANDS_FILE, "set 37\nevent 1* DOOR opened\ntext part one, \ntext part two\\r\\n\n");
    for (int i = 0; i < 10 && module.signal_map() == 0; ++i) poll_frame();
    EXPECT_EQ(module.signal_map(), bit(37));
    poll_frame();
    const std::string log(event_log.log_text, size_t(event_log.log_end));
    EXPECT_NE(log.find(">1* DOOR opened\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(">part one, part two\r\n"), std::string::npos) << log;
    EXPECT_EQ(folder.get(SIM_COMMANDS_FILE), "<missing>");
    EXPECT_EQ(folder.get(std::string(SIM_COMMANDS_FILE) + ".taken"), "<missing>");
}

TEST_F(SimCommandFile, UnpluggedModuleStillReadsItsCommands) {
    folder.put(SIM_COMMANDS_FILE, "unplug\n");
    for (int i = 0; i < 10 && link_is_open(); ++i) poll_frame();
    EXPECT_FALSE(link_is_open());
    folder.put(SIM_COMMANDS_FILE, "plug\n");
    int result = 0;
    for (int i = 0; i < 10 && result != 1; ++i) result = link_open();
    EXPECT_EQ(result, 1);
}

}  // namespace
