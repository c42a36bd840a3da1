// The simulated QV450 module: its application firmware (frame protocol, configuration
// memory, signal map, event texts, relay commands) and its bootloader (raw boot
// transfer, flashing), seen from the USB side as 9-byte output and 8-byte input
// reports. Optionally kept in a folder, like a real module keeps its memory.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/sim_settings.h"

constexpr int SIM_MEMORY_SIZE = 256;
constexpr int SIM_FLASH_BLOCK = 1024;
constexpr int SIM_FLASH_BLOCKS = 96;
constexpr int SIM_FLASH_SIZE = SIM_FLASH_BLOCK * SIM_FLASH_BLOCKS;

constexpr uint64_t SIM_SIGNAL_MASK = 0xFFFFFFFFFFull;  // the 40 signal bits

using SimReport = std::array<uint8_t, 8>;

// A frame the module received: command and data.
struct SimFrame {
    uint8_t command = 0;
    std::vector<uint8_t> data;
};

class SimModule {
public:
    explicit SimModule(const SimSettings& settings = SimSettings());

    // Keeps the module in `folder` (created when missing): module.conf, memory.bin and
    // flash.bin. A folder without them starts as a factory-new module. False with a
    // reason when the folder cannot be used.
    bool attach_folder(const std::string& folder, std::string* error);
    const std::string& folder() const { return folder_; }

    // --- USB side ---
    bool plugged() const { return plugged_; }
    uint16_t product_id() const;
    std::string product_string() const;
    // Changes whenever the module re-enumerates (restart, unplug); handles opened
    // before then are dead.
    int usb_generation() const { return generation_; }
    // One output report (report id first). Returns the bytes taken or -1.
    int host_write(const uint8_t* report, size_t length);
    // The next input report, if one is waiting.
    bool host_read(SimReport* report);
    // Lets the demo move on to `now_ms`, and runs the folder's command file when one
    // has appeared (see sim_commands.h).
    void advance_to(uint64_t now_ms);

    // --- what the module is ---
    const SimSettings& settings() const { return settings_; }
    bool running_bootloader() const { return bootloader_; }
    uint8_t* memory() { return memory_.data(); }
    const std::vector<uint8_t>& flash() const { return flash_; }
    // The map the module reports: its own signals (the demo's, or set_signal_map's)
    // with the held bits over them.
    uint64_t signal_map() const { return (signal_map_ | held_on_) & ~held_off_; }
    void set_signal_map(uint64_t map) { signal_map_ = map & SIM_SIGNAL_MASK; }
    // Holds bits on (or off) whatever the module's own signals do, until released.
    void hold_signals(uint64_t bits, bool on);
    void release_signals(uint64_t bits);
    void set_demo(bool on) { settings_.demo = on; }
    // Module texts read with command 0x57.
    std::vector<std::string>& text_lines() { return text_lines_; }
    // Queues an unsolicited event text (reply code 0xFF), e.g. "1* DOOR opened\r\n" (tagged DOOR).
    void queue_event_text(const std::string& text);

    // --- faults ---
    void lose_input_reports(int count) { lose_input_reports_ += count; }
    // Replies not sent (the commands still act); a large count makes a silent module.
    void lose_replies(int count) { lose_replies_ += count; }
    // Memory writes not stored and answered with reply code 0x02 instead of the
    // acknowledgement, as a module that refuses them.
    void refuse_writes(int count) { refuse_writes_ += count; }
    void corrupt_replies(int count) { corrupt_replies_ += count; }
    void refuse_blocks(int count) { refuse_blocks_ += count; }
    void answer_not_ready(int count) { not_ready_answers_ += count; }
    void unplug();
    void replug();
    // Pulls the cable after this many more output reports have been taken.
    void unplug_after_reports(int count) { unplug_after_ = count; }
    // Pulls the cable once the bootloader has written the block at `index` (0 is the
    // image's first) and before it answers; -1 disarms.
    void unplug_at_block(int index) { unplug_at_block_ = index; }
    // Pulls the cable when the `count`-th configuration memory write from now (1: the
    // next) arrives, before it is stored; 0 disarms.
    void unplug_at_memory_write(int count) { unplug_at_write_ = count; }
    // Writes the memory back into the default image (a factory reset).
    void reset_memory();

    // --- what happened, for tests and benchmarks ---
    struct Counters {
        int output_reports = 0;
        int polls = 0;
        int input_reports = 0;
        int frames = 0;       // valid frames received
        int bad_frames = 0;   // frames dropped for their checksum, length or digits
        int blocks = 0;       // flash blocks accepted
    };
    Counters counters;
    std::vector<SimFrame> received;  // every valid frame, in order

    // The default pin area, addresses 0x81..0xDC.
    static const uint8_t DEFAULT_PIN_AREA[92];

private:
    // Application firmware.
    void app_output_report(const uint8_t* report);
    void app_poll();
    void handle_frame(const SimFrame& frame);
    void reply(uint8_t code, const std::vector<uint8_t>& data);
    void identity_reply();
    void text_line_reply(bool first);
    // Bootloader.
    void boot_output_report(const uint8_t* report);
    void boot_poll();
    void boot_message(const std::vector<uint8_t>& message);
    void boot_answer(const std::vector<uint8_t>& bytes, int busy_polls = 0);
    bool accept_block(const std::vector<uint8_t>& block);
    // Both.
    void start_firmware();
    void switch_to_bootloader();
    void persist_memory();
    void persist_settings();
    void persist_flash();
    void demo_step(uint64_t now_ms);
    void take_command_file(uint64_t now_ms);

    SimSettings settings_;
    std::string folder_;
    bool plugged_ = true;
    int generation_ = 1;
    bool bootloader_ = false;
    std::array<uint8_t, SIM_MEMORY_SIZE> memory_{};
    std::vector<uint8_t> flash_;
    uint64_t signal_map_ = 0;
    uint64_t held_on_ = 0;
    uint64_t held_off_ = 0;
    std::vector<std::string> text_lines_;
    std::deque<SimReport> input_;  // reports waiting for the host

    // Application firmware state.
    std::string rx_text_;       // frame text being received
    std::deque<std::string> replies_;  // frame texts to send at the next polls
    int text_line_index_ = 0;
    bool switch_pending_ = false;  // 0x10 answered: go to the bootloader once it is read

    // Bootloader state.
    std::vector<uint8_t> boot_rx_;
    std::vector<uint8_t> boot_answer_;
    int boot_busy_polls_ = 0;
    bool restart_pending_ = false;  // "3" answered: restart once the answer is read
    bool flash_dirty_ = false;

    // Faults.
    int lose_input_reports_ = 0;
    int lose_replies_ = 0;
    int corrupt_replies_ = 0;
    int refuse_blocks_ = 0;
    int refuse_writes_ = 0;
    int not_ready_answers_ = 0;
    int unplug_after_ = -1;
    int unplug_at_block_ = -1;
    int unplug_at_write_ = 0;

    // Demo.
    uint64_t demo_last_ms_ = 0;
    int demo_phase_ = -1;

    // Command file.
    uint64_t next_command_check_ms_ = 0;
};
