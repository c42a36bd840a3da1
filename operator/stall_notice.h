// When a support console says that its session has stalled, and what it says: a wait
// for the fitter's tool is said to be stalled after STALL_NOTICE_MS, and once the user
// keeps waiting, again after KEEP_WAITING_MS more; giving up ends the wait. The window
// that shows it is the GUI's; no GTK here.
#pragma once

#include <string>

// A wait this long is said to be stalled.
constexpr int STALL_NOTICE_MS = 3000;
// "Keep waiting" asks again after this much more silence.
constexpr int KEEP_WAITING_MS = 30000;

class StallNotice {
public:
    // Whether the notice is due in a wait that has lasted waited_ms.
    bool due(int waited_ms) const { return waited_ms >= notice_at_ms_; }
    // The user's answers in the notice, taken by the next decide().
    void keep_waiting() { choice_ = Choice::KEEP_WAITING; }
    void give_up() { choice_ = Choice::GIVE_UP; }
    // Takes the user's answer at waited_ms: "Keep waiting" puts the notice off until
    // KEEP_WAITING_MS later (it is no longer due). False once the user gave up.
    bool decide(int waited_ms);
    // The wait is over: the next one starts afresh.
    void reset();

private:
    enum class Choice { NONE, KEEP_WAITING, GIVE_UP };
    int notice_at_ms_ = STALL_NOTICE_MS;
    Choice choice_ = Choice::NONE;
};

// The notice's text after waited_ms, in whole seconds.
std::string stall_notice_text(int waited_ms);
