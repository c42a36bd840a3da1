// The console's waits: windows kept alive, a stalled session said, the user's choice.
#include "app/remote_console_wait.h"

#include "operator/operator_link.h"
#include "ui/main_window_elements.h"

namespace {

class ConsoleWait : public AnswerWait {
public:
    bool waiting(int waited_ms, bool blocking) override {
        // An exchange inside a handler must not be interrupted by another one: the
        // windows are redrawn, but their input goes nowhere until the answer comes.
        if (blocking && !blocker_) {
            blocker_ = gtk_invisible_new();
            gtk_grab_add(blocker_);
        }
        if (!window_ && notice_.due(waited_ms)) open_window();
        if (window_) show_seconds(waited_ms);
        if (blocking)
            while (gtk_events_pending()) gtk_main_iteration();
        const bool goes_on = notice_.decide(waited_ms);
        if (!notice_.due(waited_ms)) close_window();
        return goes_on;
    }

    void wait_over() override {
        close_window();
        if (blocker_) {
            gtk_grab_remove(blocker_);
            gtk_widget_destroy(blocker_);
            blocker_ = nullptr;
        }
        notice_.reset();
    }

    GtkWidget* window() const { return window_; }

private:
    static void on_keep_waiting(GtkWidget*, gpointer self) { static_cast<ConsoleWait*>(self)->notice_.keep_waiting(); }
    static void on_give_up(GtkWidget*, gpointer self) { static_cast<ConsoleWait*>(self)->notice_.give_up(); }
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
        gtk_label_set_text(GTK_LABEL(label_), stall_notice_text(waited_ms).c_str());
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
    StallNotice notice_;
};

ConsoleWait console_wait;

}  // namespace

AnswerWait& console_answer_wait() { return console_wait; }

GtkWidget* stall_window() { return console_wait.window(); }
