// The message box in its slot, the Yes/No question and the closing of tool windows.
#include "i18n/message_ids.h"
#include "ui/dialogs.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "gui/gui_test_support.h"
#include "i18n/messages.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_GUI(); }
    void TearDown() override {
        close_message_window();
        process_pending_events();
    }
};

GtkWidget* message_ok_button() {
    for (GtkWidget* button : find_widgets(message_window, GTK_TYPE_BUTTON)) {
        if (label_texts(button) == std::vector<std::string>{"OK"}) return button;
    }
    return nullptr;
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(Dialogs, SecondMessageReplacesTheFirst) {
    show_message("first text");
    GtkWidget* first = message_window;
    show_message("second text");
    process_pending_events();

    ASSERT_NE(message_window, nullptr);
    EXPECT_NE(message_window, first);
    const std::vector<GtkWidget*> windows = visible_toplevels();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0], message_window);
    const std::vector<std::string> texts = label_texts(message_window);
    EXPECT_TRUE(contains(texts, "second text"));
    EXPECT_FALSE(contains(texts, "first text"));
}

TEST_F(Dialogs, MessageBoxIsAModalFixedWindowWithOnlyOk) {
    show_message("Text");
    GtkWindow* window = GTK_WINDOW(message_window);
    EXPECT_STREQ(gtk_window_get_title(window), message_text(MSG_MESSAGE_TITLE));
    EXPECT_TRUE(gtk_window_get_modal(window));
    EXPECT_FALSE(gtk_window_get_resizable(window));
    EXPECT_FALSE(gtk_window_get_deletable(window));
    GtkWindowPosition position;
    g_object_get(window, "window-position", &position, nullptr);
    EXPECT_EQ(position, GTK_WIN_POS_CENTER_ALWAYS);

    GtkWidget* ok = message_ok_button();
    ASSERT_NE(ok, nullptr);
    int width = 0, height = 0;
    gtk_widget_get_size_request(ok, &width, &height);
    EXPECT_EQ(width, 80);
    EXPECT_EQ(height, 25);
    EXPECT_EQ(find_widgets(message_window, GTK_TYPE_BUTTON).size(), 1u);
}

TEST_F(Dialogs, OkEmptiesTheSlotSoWaitingEnds) {
    show_message("Read me");
    bool clicked = false;
    g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
            *static_cast<bool*>(data) = true;
            gtk_button_clicked(GTK_BUTTON(message_ok_button()));
            return FALSE;
        },
        &clicked);
    wait_message_closed();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(message_window, nullptr);
    process_pending_events();
    EXPECT_TRUE(visible_toplevels().empty());
}

TEST_F(Dialogs, CloseMessageWindowWithAnEmptySlotIsHarmless) {
    EXPECT_EQ(message_window, nullptr);
    EXPECT_TRUE(close_message_window());
    wait_message_closed();  // returns at once
    EXPECT_EQ(message_window, nullptr);
}

TEST_F(Dialogs, WindowDestroyedElsewhereLeavesTheSlot) {
    show_message("Text");
    gtk_widget_destroy(message_window);
    EXPECT_EQ(message_window, nullptr);
}

// Answers the next question dialog from inside its modal loop.
struct Answer {
    enum Kind { YES, NO, ESCAPE };
    explicit Answer(Kind how) : kind(how) {}
    Kind kind;
    GtkWidget* expected_parent = nullptr;
    bool answered = false;
    bool rescued = false;  // the dialog had to be closed by the watchdog
    std::string title;
    std::vector<std::string> button_texts;  // of the ACCEPT and the NONE button
    size_t button_count = 0;
    std::vector<std::string> texts;
    bool modal = false, deletable = true, transient_ok = false;
    GtkWindowPosition position = GTK_WIN_POS_NONE;
};

GtkWidget* visible_dialog() {
    for (GtkWidget* window : visible_toplevels()) {
        if (GTK_IS_DIALOG(window)) return window;
    }
    return nullptr;
}

gboolean answer_question(gpointer data) {
    Answer& a = *static_cast<Answer*>(data);
    GtkWidget* dialog = visible_dialog();
    if (!dialog) return TRUE;  // not up yet: look again
    a.answered = true;
    GtkWindow* window = GTK_WINDOW(dialog);
    a.title = gtk_window_get_title(window);
    a.modal = gtk_window_get_modal(window);
    a.deletable = gtk_window_get_deletable(window);
    a.transient_ok = gtk_window_get_transient_for(window) == GTK_WINDOW(a.expected_parent);
    g_object_get(window, "window-position", &a.position, nullptr);
    a.texts = label_texts(gtk_dialog_get_content_area(GTK_DIALOG(dialog)));
    for (gint response : {GTK_RESPONSE_ACCEPT, GTK_RESPONSE_NONE}) {
        GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
        const std::vector<std::string> t = button ? label_texts(button) : std::vector<std::string>{};
        a.button_texts.push_back(t.empty() ? "" : t[0]);
    }
    a.button_count = find_widgets(gtk_dialog_get_action_area(GTK_DIALOG(dialog)), GTK_TYPE_BUTTON).size();
    switch (a.kind) {
    case Answer::YES:
        gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT)));
        break;
    case Answer::NO:
        gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_NONE)));
        break;
    case Answer::ESCAPE:
        send_key(dialog, GDK_KEY_Escape);
        break;
    }
    return FALSE;
}

// Keeps a broken answer from hanging the test program.
gboolean watchdog(gpointer data) {
    if (GtkWidget* dialog = visible_dialog()) {
        static_cast<Answer*>(data)->rescued = true;
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    }
    return TRUE;
}

bool ask_and_answer(GtkWidget* parent, const char* text, Answer& answer) {
    answer.expected_parent = parent;
    const guint answering = g_timeout_add(50, answer_question, &answer);
    const guint watching = g_timeout_add(5000, watchdog, &answer);
    const bool result = ask_question(parent, text);
    if (!answer.answered) g_source_remove(answering);
    g_source_remove(watching);
    process_pending_events();
    return result;
}

class Question : public Dialogs {
protected:
    void SetUp() override {
        Dialogs::SetUp();
        if (IsSkipped()) return;
        parent_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_show(parent_);
    }
    void TearDown() override {
        if (parent_) gtk_widget_destroy(parent_);
        Dialogs::TearDown();
    }
    GtkWidget* parent_ = nullptr;
};

TEST_F(Question, YesReturnsTrue) {
    Answer answer(Answer::YES);
    EXPECT_TRUE(ask_and_answer(parent_, "Flash now?", answer));
    EXPECT_TRUE(answer.answered);
    EXPECT_FALSE(answer.rescued);
    EXPECT_EQ(answer.title, message_text(MSG_QUESTION_TITLE));
    EXPECT_EQ(answer.button_texts, (std::vector<std::string>{message_text(MSG_YES), message_text(MSG_NO)}));
    EXPECT_EQ(answer.button_count, 2u);
    EXPECT_TRUE(contains(answer.texts, "Flash now?"));
    EXPECT_TRUE(answer.modal);
    EXPECT_FALSE(answer.deletable);
    EXPECT_TRUE(answer.transient_ok);
    EXPECT_EQ(answer.position, GTK_WIN_POS_CENTER_ON_PARENT);
    EXPECT_EQ(visible_dialog(), nullptr);
}

TEST_F(Question, NoReturnsFalse) {
    Answer answer(Answer::NO);
    EXPECT_FALSE(ask_and_answer(parent_, "Flash now?", answer));
    EXPECT_TRUE(answer.answered);
    EXPECT_FALSE(answer.rescued);
    EXPECT_EQ(visible_dialog(), nullptr);
}

TEST_F(Question, EscapeReturnsFalse) {
    Answer answer(Answer::ESCAPE);
    EXPECT_FALSE(ask_and_answer(parent_, "Flash now?", answer));
    EXPECT_TRUE(answer.answered);
    EXPECT_FALSE(answer.rescued);
    EXPECT_EQ(visible_dialog(), nullptr);
}

TEST_F(Question, WorksWithoutAParent) {
    Answer answer(Answer::YES);
    EXPECT_TRUE(ask_and_answer(nullptr, "Continue?", answer));
    EXPECT_FALSE(answer.rescued);
}

// The list of closers is program-wide, so one test covers all of it.
std::vector<int> closed_in_order;
void close_first_tool() { closed_in_order.push_back(1); }
void close_second_tool() { closed_in_order.push_back(2); }
template <int N>
void spare_closer() {}

TEST_F(Dialogs, CloseToolWindowsClosesTheMessageAndRunsTheClosersInOrder) {
    EXPECT_TRUE(register_tool_window_closer(close_first_tool));
    EXPECT_TRUE(register_tool_window_closer(close_second_tool));
    EXPECT_TRUE(register_tool_window_closer(close_first_tool));  // already there
    show_message("Busy");
    close_tool_windows();
    EXPECT_EQ(message_window, nullptr);
    EXPECT_EQ(closed_in_order, (std::vector<int>{1, 2}));

    // Other windows' closers may be in the list already: fill what is left.
    const ToolWindowCloser spares[TOOL_WINDOW_CLOSER_CAPACITY] = {
        spare_closer<0>, spare_closer<1>, spare_closer<2>, spare_closer<3>,
        spare_closer<4>, spare_closer<5>, spare_closer<6>, spare_closer<7>};
    int taken = 0;
    for (ToolWindowCloser spare : spares) taken += register_tool_window_closer(spare);
    EXPECT_GT(taken, 0);
    EXPECT_LT(taken, TOOL_WINDOW_CLOSER_CAPACITY);  // all places taken
}

}  // namespace
