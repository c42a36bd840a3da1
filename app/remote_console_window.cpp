// The remote console's GTK side: the dialog that switches the tool into a console, the
// start-up from the command line, and the window title that says whose module it is.
#include "app/remote_console_window.h"

#include <cstdio>
#include <cstdlib>

#include "app/remote_console.h"
#include "device/module_link.h"
#include "i18n/languages.h"
#include "platform/process.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

namespace {

GtkWidget* add_entry(GtkWidget* table, int row, const char* caption, const char* text) {
    GtkWidget* label = gtk_label_new(caption);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
    gtk_table_attach_defaults(GTK_TABLE(table), label, 0, 1, row, row + 1);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), text);
    gtk_table_attach_defaults(GTK_TABLE(table), entry, 1, 2, row, row + 1);
    return entry;
}

// Replaces the running copy by a console on `options`; returns only when that failed.
void restart_as_console(const RemoteConsoleOptions& options) {
    const std::vector<std::string> arguments = remote_console_arguments(options);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    static platform::ProcessCommand command;
    if (!platform::build_process_command(program_path(), pointers.data(), int(pointers.size()), &command)) return;
    // The local module is released before the console takes the program over.
    module_link().close();
    platform::replace_process(command);
}

}  // namespace

void open_remote_console_dialog() {
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Remote console", GTK_WINDOW(main_window.window), GTK_DIALOG_MODAL,
                                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OK,
                                                    GTK_RESPONSE_OK, nullptr);
    GtkWidget* table = gtk_table_new(3, 2, FALSE);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 8);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);
    GtkWidget* server = add_entry(table, 0, "Relay server (host[:port])", "");
    GtkWidget* session = add_entry(table, 1, "Session code", "");
    GtkWidget* token_file = add_entry(table, 2, "Operator token file", "");
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), table, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        const char* argv[] = {"", REMOTE_CONSOLE_OPTION, gtk_entry_get_text(GTK_ENTRY(server)), "--session",
                              gtk_entry_get_text(GTK_ENTRY(session)), "--token-file",
                              gtk_entry_get_text(GTK_ENTRY(token_file))};
        // An empty token file field leaves the token to the environment.
        const int argc = *argv[6] ? 7 : 5;
        RemoteConsoleOptions options;
        std::string error, token;
        if (parse_console_args(argc, argv, &options, &error) == ConsoleArgs::GIVEN &&
            read_console_token(options, &token, &error)) {
            restart_as_console(options);
            error = "the tool could not be restarted as a remote console";
        }
        show_message(error.c_str());
        wait_message_closed();
    }
    gtk_widget_destroy(dialog);
}

void start_console_if_asked(int argc, char** argv, bool* remote) {
    RemoteConsoleOptions options;
    std::string error;
    *remote = false;
    switch (parse_console_args(argc, argv, &options, &error)) {
    case ConsoleArgs::NONE:
        return;
    case ConsoleArgs::BAD:
        std::fprintf(stderr, "qv450: %s\n", error.c_str());
        std::exit(2);
    case ConsoleArgs::GIVEN:
        break;
    }
    if (!start_remote_console(options, &error)) {
        std::fprintf(stderr, "qv450: %s\n", error.c_str());
        const std::string text = "The remote console cannot start: " + error;
        show_message(text.c_str());
        wait_message_closed();
        std::exit(1);
    }
    *remote = true;
}

void mark_remote_title(int argc, char** argv) {
    RemoteConsoleOptions options;
    std::string error;
    if (!remote_console_active() || parse_console_args(argc, argv, &options, &error) != ConsoleArgs::GIVEN) return;
    GtkWindow* window = GTK_WINDOW(main_window.window);
    const std::string title = std::string(gtk_window_get_title(window)) + " - " + remote_console_caption(options);
    gtk_window_set_title(window, title.c_str());
}
