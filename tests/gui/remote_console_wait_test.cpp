// The support console's waits for the fitter's tool: input held while an exchange
// waits, a stalled session said within a few seconds, and the user's choice.
#include "app/remote_console_wait.h"

#include <gtest/gtest.h>

#include "gui/gui_test_support.h"
#include "operator/operator_link.h"

namespace {

void press(const char* caption) {
    for (GtkWidget* button : find_widgets(stall_window(), GTK_TYPE_BUTTON))
        if (label_texts(button) == std::vector<std::string>{caption}) gtk_button_clicked(GTK_BUTTON(button));
}

std::string stall_text() { return stall_window() ? label_texts(stall_window()).front() : ""; }

TEST(ConsoleWait, AStalledSessionIsSaidAndTheUserKeepsWaitingOrGivesUp) {
    REQUIRE_GUI();
    AnswerWait& wait = console_answer_wait();
    // The main loop's poll holds no input; an exchange in a handler does.
    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS - 1, false));
    EXPECT_EQ(gtk_grab_get_current(), nullptr);
    EXPECT_TRUE(wait.waiting(1000, true));
    EXPECT_NE(gtk_grab_get_current(), nullptr);
    EXPECT_EQ(stall_window(), nullptr);

    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS, true));
    EXPECT_EQ(gtk_grab_get_current(), stall_window());  // its buttons take input
    EXPECT_NE(stall_text().find("stalled"), std::string::npos) << stall_text();
    EXPECT_NE(stall_text().find(" 3 s"), std::string::npos) << stall_text();
    press("Keep waiting");
    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS + 100, true));
    EXPECT_EQ(stall_window(), nullptr);
    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS + 99 + KEEP_WAITING_MS, true));
    EXPECT_EQ(stall_window(), nullptr);
    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS + 100 + KEEP_WAITING_MS, true));
    ASSERT_NE(stall_window(), nullptr);
    press("Give up");
    EXPECT_FALSE(wait.waiting(STALL_NOTICE_MS + 200 + KEEP_WAITING_MS, true));

    wait.wait_over();
    EXPECT_EQ(stall_window(), nullptr);
    EXPECT_EQ(gtk_grab_get_current(), nullptr);
    EXPECT_TRUE(wait.waiting(STALL_NOTICE_MS - 1, true));  // a new wait starts afresh
    wait.wait_over();
}

}  // namespace
