// Shared fixture of the configuration editor tests: an editor in a window of its own,
// a simulated module on an open link, virtual time, and helpers that read the lists
// and answer the dialogs.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/pin_config.h"
#include "device/hid_backend.h"
#include "platform/clock.h"
#include "sim/sim_backend.h"

// Passes everything to the simulator, except that after the n-th command frame it
// swallows the given number of polls, as a module that is slow to answer would.
class HoldingBackend : public HidBackend {
public:
    explicit HoldingBackend(SimBackend& inner) : inner_(inner) {}

    std::map<int, int> hold_after_frame;  // frame number (from 1) -> polls to swallow
    int frames = 0;
    int polls_swallowed = 0;

    int init() override { return inner_.init(); }
    HidDevice* open(uint16_t vendor_id, uint16_t product_id) override { return inner_.open(vendor_id, product_id); }
    int product_string(HidDevice* device, wchar_t* text, size_t max_chars) override {
        return inner_.product_string(device, text, max_chars);
    }
    int write(HidDevice* device, const uint8_t* data, size_t length) override;
    int read_timeout(HidDevice* device, uint8_t* data, size_t length, int timeout_ms) override {
        return inner_.read_timeout(device, data, length, timeout_ms);
    }
    int read(HidDevice* device, uint8_t* data, size_t length) override { return inner_.read(device, data, length); }
    int set_nonblocking(HidDevice* device, int nonblocking) override {
        return inner_.set_nonblocking(device, nonblocking);
    }
    void close(HidDevice* device) override { inner_.close(device); }

private:
    SimBackend& inner_;
    int holding_ = 0;
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the editor in the given view (after the window exists).
    void build(bool advanced);

    // The frames the module received since the last mark_frames.
    std::vector<SimFrame> frames_since_mark() const;
    void mark_frames() { frame_mark_ = module->received.size(); }

    platform::ScopedVirtualClock clock;
    std::unique_ptr<SimModule> module;
    std::unique_ptr<SimBackend> sim_backend;
    std::unique_ptr<HoldingBackend> backend;
    GtkWidget* window = nullptr;
    GtkWidget* box = nullptr;
    bool gui_ok = false;

private:
    size_t frame_mark_ = 0;
};

// Entries of a text combo box, and its active entry ("" for none).
std::vector<std::string> list_texts(GtkWidget* list);
std::string active_text(GtkWidget* list);
int active_position(GtkWidget* list);
// Chooses an entry as the user would (the "changed" handlers run).
void choose(GtkWidget* list, int position);
// Chooses the entry with this text; fails the test when there is none.
void choose_text(GtkWidget* list, const std::string& text);
int position_of(GtkWidget* list, const std::string& text);

// The texts of the message window, or nothing when it is closed.
std::vector<std::string> message_window_texts();

// Answers the next Yes/No question with Yes (true) or No; `asked` counts questions.
void answer_questions(bool yes);
void stop_answering_questions();
extern int questions_asked;
