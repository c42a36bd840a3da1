// Firmware update through the bootloader: file chooser, progress window, result.
#include "firmware/flash.h"

#include <gtk/gtk.h>

#include <string>

#include "device/link.h"
#include "device/module_link.h"
#include "files/file_io.h"
#include "firmware/bootloader.h"
#include "firmware/firmware_image.h"
#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/chooser_folder.h"
#include "ui/dialogs.h"

namespace {

constexpr int EVENT_PAUSE_MS = 10;
constexpr int PROGRESS_WIDTH = 600;
constexpr int PROGRESS_HEIGHT = 40;

void process_events() {
    while (gtk_events_pending()) gtk_main_iteration();
}

void pause_with_events(int ms) {
    platform::sleep_ms(uint64_t(ms));
    process_events();
}

struct ProgressWindow {
    GtkWidget* window = nullptr;
    GtkWidget* bar = nullptr;
};

ProgressWindow open_progress_window() {
    ProgressWindow progress;
    progress.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(progress.window);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_deletable(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(progress.window), 4);
    gtk_window_set_title(window, message_text(MSG_LOADING_FIRMWARE));
    // A module left half-programmed would need the bootloader path: no closing.
    g_signal_connect(progress.window, "delete-event", G_CALLBACK(gtk_true), nullptr);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(progress.window), box);
    GtkWidget* label = gtk_label_new("");
    gtk_widget_set_size_request(label, PROGRESS_WIDTH, PROGRESS_HEIGHT);
    gtk_misc_set_alignment(GTK_MISC(label), 0.5f, 0.5f);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    progress.bar = gtk_progress_bar_new();
    gtk_widget_set_size_request(progress.bar, PROGRESS_WIDTH, PROGRESS_HEIGHT);
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress.bar), 0.0);
    gtk_box_pack_start(GTK_BOX(box), progress.bar, FALSE, FALSE, 0);
    gtk_widget_show_all(progress.window);
    return progress;
}

void show_progress(void* context, int permille) {
    GtkProgressBar* bar = GTK_PROGRESS_BAR(static_cast<ProgressWindow*>(context)->bar);
    gtk_progress_bar_set_fraction(bar, permille / 1000.0);
    char text[16];
    g_snprintf(text, sizeof text, "%d%%", permille / 10);
    gtk_progress_bar_set_text(bar, text);
    process_events();
}

// What a flash that stopped after its first block leaves, and how to mend it.
std::string left_without_firmware() {
    if (module_link_is_remote())
        return "\n\nThe module at the fitter's end was left without working firmware: it runs only its "
               "bootloader. Flash it again (Tools > Firmware update from file) in this session or, if the "
               "session was lost, in a new one; or the fitter programs it at the module (\"Program\").";
    return "\n\nThe module was left without working firmware: it runs only its bootloader. Flash it "
           "again: once the tool finds it, \"Program\" in the window it shows does that.";
}

int result_message(FlashResult result) {
    switch (result) {
    case FlashResult::PROGRAMMED:
        return MSG_PROGRAMMED;
    case FlashResult::INCOMPATIBLE:
        return MSG_NOT_COMPATIBLE;
    case FlashResult::WRITE_ERROR:
        break;
    }
    return MSG_WRITE_ERROR;
}

// Programs the checked image in firmware_image with the progress window up, then
// closes the module and shows the result until the user closes it (a success only
// when `announce_success`).
FlashResult run_update(bool announce_success = true) {
    close_tool_windows();
    // The progress window handles events until the module is closed again.
    const ModuleLinkBusy busy;
    FrameLink& link = module_link();
    if (link.is_open()) {
        link.drain_frames();
        pause_with_events(EVENT_PAUSE_MS);
    }
    ProgressWindow progress = open_progress_window();
    pause_with_events(EVENT_PAUSE_MS);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress.bar), message_text(MSG_SWITCHING));
    pause_with_events(EVENT_PAUSE_MS);

    int blocks_written = 0;
    const FlashResult result =
        program_firmware(link, firmware_image, FlashProgress{show_progress, &progress}, &blocks_written);

    // Success or not, the module restarts or is gone: the main loop finds it afresh.
    link.close();
    gtk_widget_destroy(progress.window);
    if (result != FlashResult::PROGRAMMED || announce_success) {
        std::string text = message_text(result_message(result));
        // Its old firmware is gone with the first block: the user must know what is left.
        if (result != FlashResult::PROGRAMMED && blocks_written > 0) text += left_without_firmware();
        show_message(text.c_str());
        wait_message_closed();
    }
    return result;
}

void show_and_wait(int message) {
    show_message(message_text(message));
    wait_message_closed();
}

}  // namespace

gchar* choose_firmware_file(const char* pattern) {
    char filter_name[64];
    g_snprintf(filter_name, sizeof filter_name, "Firmware files (%s)", pattern);
    const FileChooserText text = {message_text(MSG_SELECT_FIRMWARE_FILE), GTK_FILE_CHOOSER_ACTION_OPEN,
                                  message_text(MSG_OPEN), filter_name, pattern};
    return run_file_chooser(text, &settings.firmware_folder);
}

FlashOutcome flash_given_file(const char* path, int quiet) {
    switch (load_firmware_file(path, firmware_image)) {
    case ImageLoad::NOT_OPENED:
        if (!(quiet & FLASH_QUIET_NOT_OPENED)) report_file_not_opened(path);
        return FlashOutcome::NOT_OPENED;
    case ImageLoad::TOO_SMALL:
    case ImageLoad::TOO_LARGE:
    case ImageLoad::CORRUPT:
        return FlashOutcome::BAD_FILE;
    case ImageLoad::GOOD:
        break;
    }
    const bool announce = !(quiet & FLASH_QUIET_SUCCESS);
    return run_update(announce) == FlashResult::PROGRAMMED ? FlashOutcome::PROGRAMMED : FlashOutcome::FAILED;
}

int flash_firmware(FlashMode mode, const char* path) {
    if (mode == FLASH_GIVEN_FILE) {
        const FlashOutcome outcome = flash_given_file(path);
        return outcome == FlashOutcome::NOT_OPENED || outcome == FlashOutcome::BAD_FILE ? 0 : 1;
    }
    if (mode == FLASH_CHOOSER_OPEN && !module_link().is_open()) return 1;
    for (;;) {
        gchar* file = choose_firmware_file("*.bin");
        if (!file) return 1;
        const ImageLoad load = load_firmware_file(file, firmware_image);
        if (load == ImageLoad::NOT_OPENED) report_file_not_opened(file);
        g_free(file);
        switch (load) {
        case ImageLoad::NOT_OPENED:
            // The chooser comes back once the user has read why.
            wait_message_closed();
            continue;
        case ImageLoad::TOO_SMALL:
            show_and_wait(MSG_FILE_CORRUPTED);
            continue;
        case ImageLoad::TOO_LARGE: {
            const std::string text = std::string(message_text(MSG_FILE_CORRUPTED)) +
                                     "\nThe file is larger than a firmware image can be (" +
                                     std::to_string(FIRMWARE_IMAGE_CAPACITY) + " bytes).";
            show_message(text.c_str());
            wait_message_closed();
            continue;
        }
        case ImageLoad::CORRUPT:
            show_message(message_text(MSG_FILE_CORRUPTED));
            return 1;
        case ImageLoad::GOOD:
            break;
        }
        run_update();
        return 1;
    }
}
