// The console's waits: windows kept alive, a stalled session said, the user's choice.
#include "app/remote_console_wait.h"

#include <string>

#include "operator/operator_link.h"
#include "ui/main_window_elements.h"

namespace {

enum class Choice { NONE, KEEP_WAITING, GIVE_UP };

class ConsoleWait : public AnswerWait {
public:
    bool waiting(int waited_ms, bool blocking) override {
        // An exchange inside a handler must not be interrupted by another one: the
        // windows are redrawn, but their input goes nowhere until the answer comes.
        if (blocking && !blocker_) {
            blocker_ = gtk_invisible_new();
            gtk_grab_add(blocker_);
        }
        if (!window_ && waited_ms >= notice_at_ms_) open_window();
        if (window_) show_seconds(waited_ms);
        if (blocking)
            while (gtk_events_pending()) gtk_main_iteration();
        if (choice_ == Choice::KEEP_WAITING) {
            choice_ = Choice::NONE;
            close_window();
            notice_at_ms_ = waited_ms + KEEP_WAITING_MS;
        }
        return choice_ != Choice::GIVE_UP;
    }

    void wait_over() override {
        close_window();
        if (blocker_) {
            gtk_grab_remove(blocker_);
            gtk_widget_destroy(blocker_);
            blocker_ = nullptr;
        }
        notice_at_ms_ = STALL_NOTICE_MS;
        choice_ = Choice::NONE;
    }

    GtkWidget* window() const { return window_; }

private:
    static void on_keep_waiting(GtkWidget*, gpointer self) {
        static_cast<ConsoleWait*>(self)->choice_ = Choice::KEEP_WAITING;
    }
    static void on_give_up(GtkWidget*, gpointer self) { static_cast<ConsoleWait*>(self)->choice_ = Choice::GIVE_UP; }
    static gboolean on_close(GtkWidget* widget, GdkEvent*, gpointer self) {
        on_keep_waiting(widget, self);
        return TRUE;
    }

    void open_window() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* window = GTK_WINDOW(window_);
        gtk_window_set_title(window, "Remote session stalled");
        if (main_window.window) gtk_window_set_transient_for(window, GTK_WINDOW(main_window.window));
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
        gtk_window_set_resizable(window, FALSE);
        gtk_container_set_border_width(GTK_CONTAINER(window_), 8);
        g_signal_connect(window_, "delete-event", G_CALLBACK(on_close), this);
        GtkWidget* box = gtk_vbox_new(FALSE, 8);
        gtk_container_add(GTK_CONTAINER(window_), box);
        label_ = gtk_label_new("");
        gtk_box_pack_start(GTK_BOX(box), label_, FALSE, FALSE, 0);
        GtkWidget* row = gtk_hbutton_box_new();
        gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
        GtkWidget* keep = gtk_button_new_with_label("Keep waiting");
        g_signal_connect(keep, "clicked", G_CALLBACK(on_keep_waiting), this);
        gtk_container_add(GTK_CONTAINER(row), keep);
        GtkWidget* give_up = gtk_button_new_with_label("Give up");
        g_signal_connect(give_up, "clicked", G_CALLBACK(on_give_up), this);
        gtk_container_add(GTK_CONTAINER(row), give_up);
        gtk_widget_show_all(window_);
        // Above any grab of the waiting exchange: only this window takes input.
        gtk_grab_add(window_);
        shown_seconds_ = -1;
    }

    void show_seconds(int waited_ms) {
        const int seconds = waited_ms / 1000;
        if (seconds == shown_seconds_) return;
        shown_seconds_ = seconds;
        const std::string text = "The remote session is stalled: the fitter's tool has not answered for " +
                                 std::to_string(seconds) + " s.\nThe line may be slow or broken.";
        gtk_label_set_text(GTK_LABEL(label_), text.c_str());
    }

    void close_window() {
        if (!window_) return;
        gtk_grab_remove(window_);
        gtk_widget_destroy(window_);
        window_ = label_ = nullptr;
    }

    GtkWidget* blocker_ = nullptr;
    GtkWidget* window_ = nullptr;
    GtkWidget* label_ = nullptr;
    int shown_seconds_ = -1;
    int notice_at_ms_ = STALL_NOTICE_MS;
    Choice choice_ = Choice::NONE;
};

ConsoleWait console_wait;

}  // namespace

AnswerWait& console_answer_wait() { return console_wait; }

GtkWidget* stall_window() { return console_wait.window(); }
