// The command-line tool on a local (simulated) module: the exit status and output a
// script gets for each outcome, and the JSON and progress forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

#include <sys/stat.h>

#include "cli/cli_commands.h"
#include "cli/json_output.h"
#include "cli/module_wait.h"
#include "cli/progress_bar.h"
#include "device/link.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"
#include "sim/sim_firmware_image.h"
#include "unit/temp_folder.h"

namespace {

struct CliCase {
    const char* name;
    std::vector<std::string> words;  // "@" in a word stands for the test's folder
    VariantAnswer variant;
    bool json;
    std::function<void(SimModule&)> fault;
    int status;
    const char* output;  // what standard output starts with; nullptr: not checked
    const char* firmware = "";  // the firmware folder, within the test's folder
};

// A simulated module on the local link, on a virtual clock, with the test's files.
class CliBench {
public:
    CliBench() : backend_(module_, false) {
        install_hid_backend(&backend_);
        folder_.put("good.cfg", "carnumber=7\ncanlevel=5\n");
        folder_.put("bad.cfg", "canlevel=999\n");
        // The key that matters comes after the size limit.
        folder_.put("long.cfg", "carnumber=7\n" + std::string(CONFIG_FILE_MAX, '\n') + "canlevel=5\n");
        folder_.put("variant_b.cfg", "canlevel=151\n");
        folder_.put("junk.bin", std::string(FIRMWARE_MIN_SIZE + 1024, 'x'));
        SimFirmwareIdentity b;
        b.variant_byte = 0x02;
        const std::vector<uint8_t> file = make_sim_firmware_file(FIRMWARE_MIN_SIZE + 1024, b, 0x04, 0x50);
        std::ofstream(folder_.file("QV450_1605_GRUPA_B.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        // A file named for variant B that holds variant A.
        const std::vector<uint8_t> a = make_sim_firmware_file(FIRMWARE_MIN_SIZE + 1024, SimFirmwareIdentity(), 0x04, 0x50);
        mkdir(folder_.file("mislabelled").c_str(), 0700);
        std::ofstream(folder_.file("mislabelled/QV450_1605_GRUPA_B.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(a.data()), std::streamsize(a.size()));
    }
    ~CliBench() {
        link_close();
        install_hid_backend(nullptr);
    }

    // Runs one command; the status (0 for success) and standard output.
    int run(const CliCase& c, std::string* output) {
        if (c.fault) c.fault(module_);
        char* text = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&text, &size);
        CliSession session(local_link(), out, nullptr);
        CliOptions options;
        options.json = c.json;
        options.variant_change = c.variant;
        options.firmware_folder = folder_.path() + "/" + c.firmware;
        if (options.firmware_folder.back() != '/') options.firmware_folder += '/';
        session.set_options(options);
        std::vector<std::string> words = c.words;
        for (std::string& word : words)
            if (word[0] == '@') word = folder_.file(word.substr(1));
        std::string error;
        const int status = session.run(words, &error) ? EXIT_DONE : session.status();
        std::fclose(out);
        output->assign(text, size);
        std::free(text);
        return status;
    }

    SimModule& module() { return module_; }
    SimBackend& backend() { return backend_; }

private:
    platform::ScopedVirtualClock clock_;
    SimModule module_;
    SimBackend backend_;
    TempFolder folder_;
};

const VariantAnswer UNSET = VariantAnswer::UNSET, YES = VariantAnswer::YES, NO = VariantAnswer::NO;
const auto silent = [](SimModule& m) { m.lose_replies(100000); };

const CliCase CASES[] = {
    {"identify", {"identify"}, UNSET, false, nullptr, EXIT_DONE, "QV450-1605 variant A\n"},
    {"identify json", {"identify"}, UNSET, true, nullptr, EXIT_DONE,
     "{\"model\":450,\"firmware\":\"16.05\",\"firmware_number\":1605,\"variant\":\"A\",\"status\":\"QV450-1605\"}\n"},
    {"no module", {"identify"}, UNSET, false, [](SimModule& m) { m.unplug(); }, EXIT_NO_MODULE, ""},
    {"silent module", {"read-config"}, UNSET, false, silent, EXIT_TRANSFER, ""},
    {"read-config json", {"read-config"}, UNSET, true, nullptr, EXIT_DONE, "{\"carnumber\":"},
    {"unknown command", {"erase"}, UNSET, false, nullptr, EXIT_USAGE, ""},
    {"text-lines needs a relay", {"text-lines"}, UNSET, false, nullptr, EXIT_USAGE, ""},
    {"write-config", {"write-config", "@good.cfg"}, UNSET, false, nullptr, EXIT_DONE,
     "configuration written: CAN level 5, vehicle number 7\n"},
    {"missing .cfg", {"write-config", "@none.cfg"}, UNSET, false, nullptr, EXIT_BAD_FILE, ""},
    {"bad value", {"write-config", "@bad.cfg"}, UNSET, false, nullptr, EXIT_BAD_FILE, ""},
    {"over-long .cfg", {"write-config", "@long.cfg"}, UNSET, false, nullptr, EXIT_BAD_FILE, ""},
    {"refused write", {"write-config", "@good.cfg"}, UNSET, false, [](SimModule& m) { m.refuse_writes(1); },
     EXIT_TRANSFER, ""},
    {"variant unanswered", {"write-config", "@variant_b.cfg"}, UNSET, false, nullptr, EXIT_VARIANT_DECLINED, ""},
    {"variant declined", {"write-config", "@variant_b.cfg"}, NO, false, nullptr, EXIT_VARIANT_DECLINED, ""},
    {"variant changed", {"write-config", "@variant_b.cfg"}, YES, false, nullptr, EXIT_DONE, "firmware written"},
    {"variant file of another variant", {"write-config", "@variant_b.cfg"}, YES, false, nullptr, EXIT_TRANSFER,
     "firmware written", "mislabelled"},
    {"flash junk", {"flash", "@junk.bin"}, UNSET, false, nullptr, EXIT_BAD_FILE, ""},
    {"flash refused", {"flash", "@QV450_1605_GRUPA_B.bin"}, UNSET, false, [](SimModule& m) { m.refuse_blocks(100); },
     EXIT_TRANSFER, ""},
    {"monitor", {"monitor", "2"}, UNSET, false,
     [](SimModule& m) {
         m.set_demo(false);
         m.set_signal_map(0x2000000001ull);  // LOCK and REVERSE_LIGHT, least significant byte first
     },
     EXIT_DONE, "signals: 01 00 00 00 20\nsignals: 01 00 00 00 20\n"},
};

TEST(LocalCli, EachOutcomeHasItsStatusAndOutput) {
    for (const CliCase& c : CASES) {
        SCOPED_TRACE(c.name);
        CliBench bench;
        std::string output;
        EXPECT_EQ(bench.run(c, &output), c.status);
        if (c.output) {
            EXPECT_EQ(output.substr(0, std::strlen(c.output)), c.output);
        }
    }
}

// A module the system does not let this user open: status 3 with the reason and what
// to do, at once, also for --wait, which would otherwise wait for ever.
TEST(LocalCli, AModuleThisUserMayNotOpenIsNamed) {
    platform::ScopedVirtualClock clock;
    SimModule module;
    SimBackend backend(module, false);
    backend.refuse_access("/dev/hidraw5");
    install_hid_backend(&backend);
    for (const bool wait : {false, true}) {
        CliSession session(local_link(), stdout, nullptr);
        CliOptions options;
        options.wait = wait;
        session.set_options(options);
        std::string error;
        EXPECT_FALSE(session.run({"identify"}, &error));
        EXPECT_EQ(session.status(), EXIT_NO_MODULE);
        EXPECT_EQ(error.find(std::string(MODULE_ACCESS_REFUSED) + " (/dev/hidraw5): install"), 0u) << error;
    }
    EXPECT_LT(clock.now_ms(), 2000u);
    install_hid_backend(nullptr);
}

TEST(LocalCli, NothingReachesTheModuleWhenTheVariantChangeIsDeclined) {
    CliBench bench;
    const auto run = [&bench](const CliCase& c, std::string* output) { return bench.run(c, output); };
    std::string output;
    run({"", {"write-config", "@variant_b.cfg"}, NO, false, nullptr, 0, nullptr}, &output);
    run({"", {"read-config"}, UNSET, true, nullptr, 0, nullptr}, &output);
    EXPECT_NE(output.find("\"canlevel\":"), std::string::npos);
    EXPECT_EQ(output.find("\"canlevel\":151"), std::string::npos);
    run({"", {"write-config", "@variant_b.cfg"}, YES, false, nullptr, 0, nullptr}, &output);
    run({"", {"identify"}, UNSET, false, nullptr, 0, nullptr}, &output);
    EXPECT_EQ(output, "QV450-1605 variant B\n");
}

// Pulls the module's cable and puts it back at given times of virtual time; the user
// may open it once it is back only from `access_us` on, as when the system's device
// manager is slow to apply its rules.
class CableClock : public platform::VirtualClock {
public:
    CableClock(SimBackend& backend, uint64_t pull_us, uint64_t back_us, uint64_t access_us)
        : backend_(backend), pull_(pull_us), back_(back_us), access_(access_us) {}
    void sleep_us(uint64_t us) override {
        const uint64_t from = now_us();
        VirtualClock::sleep_us(us);
        // Both may fall within one sleep: out and in again between two looks.
        if (from < pull_ && now_us() >= pull_) backend_.module().unplug();
        if (from < back_ && now_us() >= back_) {
            backend_.module().replug();
            if (now_us() < access_) backend_.refuse_access("/dev/hidraw3");
        }
        if (from < access_ && now_us() >= access_) backend_.refuse_access("");
    }

private:
    SimBackend& backend_;
    uint64_t pull_, back_, access_;
};

TEST(LocalCli, WaitTakesTheModulePluggedInAfterThePresentOne) {
    constexpr uint64_t NEVER = UINT64_MAX;
    const struct {
        const char* name;
        uint64_t pull_us, back_us, access_us;
        bool taken;
        uint64_t ends_after_us;
    } cables[] = {
        {"a second out", 1000000, 2000000, 0, true, 2000000},
        {"out for less than a look", 1000000, 1010000, 0, true, 1010000},
        {"back, and open to the user a second later", 1000000, 2000000, 3000000, true, 3000000},
        {"back, and never open to the user", 1000000, 2000000, NEVER, false, 7000000},
    };
    for (const auto& cable : cables) {
        SCOPED_TRACE(cable.name);
        CliBench bench;
        CableClock clock(bench.backend(), cable.pull_us, cable.back_us, cable.access_us);
        platform::install_clock(&clock);
        EXPECT_EQ(wait_for_next_module(local_link(), nullptr, 100, 20000), cable.taken);
        EXPECT_GE(clock.now_us(), cable.ends_after_us);
        EXPECT_LT(clock.now_us(), cable.ends_after_us + 1000000);
        if (cable.taken) {
            EXPECT_FALSE(wait_for_next_module(local_link(), nullptr, 100, 1000));  // the same module stays
        }
        platform::install_clock(nullptr);
    }
}

TEST(CliOptions, ValuesAreTakenAsAScriptMeansThem) {
    const struct {
        std::vector<const char*> argv;
        int taken;
        const char* folder;
        VariantAnswer variant;
    } cases[] = {
        {{"--firmware-folder", "/opt/fw"}, 2, "/opt/fw/", UNSET},
        {{"--firmware-folder", "fw/"}, 2, "fw/", UNSET},
        {{"--firmware-folder", ""}, -1, "", UNSET},
        {{"--firmware-folder"}, -1, "", UNSET},
        {{"--variant-change", "yes"}, 2, "", YES},
        {{"--variant-change", "maybe"}, -1, "", UNSET},
        {{"--json"}, 1, "", UNSET},
        {{"identify"}, 0, "", UNSET},
    };
    for (const auto& c : cases) {
        CliOptions options;
        std::string error;
        std::vector<char*> argv;
        for (const char* word : c.argv) argv.push_back(const_cast<char*>(word));
        EXPECT_EQ(take_cli_option(int(argv.size()), argv.data(), 0, &options, &error), c.taken) << c.argv[0];
        EXPECT_EQ(options.firmware_folder, c.folder) << c.argv[0];
        EXPECT_EQ(options.variant_change, c.variant) << c.argv[0];
        EXPECT_EQ(error.empty(), c.taken >= 0) << error;
    }
}

TEST(JsonOutput, EscapesWhatAStringCannotHold) {
    EXPECT_EQ(json_string("a\"b\\c\n\xE9"), "\"a\\\"b\\\\c\\u000a\\u00e9\"");
}

TEST(ProgressBar, PlainLinesEveryTenthWhenNotATerminal) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ProgressBar bar = progress_bar_for(out, "flash");
    for (int permille : {0, 50, 120, 130, 999, 1000}) show_progress(bar, permille);
    std::fclose(out);
    EXPECT_EQ(std::string(text, size), "flash: 0%\nflash: 10%\nflash: 90%\nflash: 100%\n");
    std::free(text);
}

}  // namespace
