// The remote console's GTK side: the dialog that switches the tool into a console, the
// start-up from the command line, and the window title that says whose module it is.
#include "app/remote_console_window.h"

#include <cstdio>
#include <cstdlib>

#include "app/remote_console_wait.h"
#include "device/module_link.h"
#include "i18n/languages.h"
#include "operator/remote_console.h"
#include "platform/process.h"
#include "ui/dialogs.h"
#include "ui/main_window_elements.h"

namespace {

// Set in the environment of a console started from a local tool's dialog: a console
// that cannot start then gives the person their local tool back.
constexpr const char* FROM_LOCAL_TOOL = "QV450_CONSOLE_FROM_LOCAL_TOOL";

GtkWidget* add_entry(GtkWidget* table, int row, const char* caption) {
    GtkWidget* label = gtk_label_new(caption);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.5f);
    gtk_table_attach_defaults(GTK_TABLE(table), label, 0, 1, row, row + 1);
    GtkWidget* entry = gtk_entry_new();
    // Screen readers (and the end-to-end tests) find the field by its caption.
    atk_object_set_name(gtk_widget_get_accessible(entry), caption);
    gtk_table_attach_defaults(GTK_TABLE(table), entry, 1, 2, row, row + 1);
    return entry;
}

// Replaces the running copy by a console on `options`; returns only when that failed.
void restart_as_console(const RemoteConsoleOptions& options, std::string* error) {
    const std::vector<std::string> arguments = remote_console_arguments(options);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    static platform::ProcessCommand command;
    // A cut argument would start a console on another file or server.
    if (!platform::build_process_command(program_path(), pointers.data(), int(pointers.size()), &command) ||
        command.argc != int(pointers.size()) + 1 ||
        std::string(command.argv[command.argc - 1]) != arguments.back()) {
        *error = "the paths are too long to restart the tool as a remote console";
        return;
    }
    // The local module is released before the console takes the program over.
    module_link().close();
    setenv(FROM_LOCAL_TOOL, "1", 1);
    platform::replace_process(command);
}

}  // namespace

void open_remote_console_dialog() {
    GtkWidget* dialog = gtk_dialog_new_with_buttons("Remote console", GTK_WINDOW(main_window.window), GTK_DIALOG_MODAL,
                                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OK,
                                                    GTK_RESPONSE_OK, nullptr);
    GtkWidget* table = gtk_table_new(5, 2, FALSE);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 8);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);
    GtkWidget* server = add_entry(table, 0, "Relay server (host[:port])");
    GtkWidget* session = add_entry(table, 1, "Session code");
    GtkWidget* token_file = add_entry(table, 2, "Operator token file");
    GtkWidget* ca_file = add_entry(table, 3, "CA file (empty: the system's certificates)");
    GtkWidget* insecure = gtk_check_button_new_with_label("Insecure: plain text, for a relay without a certificate");
    gtk_table_attach_defaults(GTK_TABLE(table), insecure, 0, 2, 4, 5);
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), table, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        std::vector<const char*> argv = {"", REMOTE_CONSOLE_OPTION, gtk_entry_get_text(GTK_ENTRY(server)), "--session",
                                         gtk_entry_get_text(GTK_ENTRY(session))};
        // Empty fields leave the token to the environment and the trust to the system.
        const std::pair<const char*, GtkWidget*> files[] = {{"--token-file", token_file}, {"--ca-file", ca_file}};
        for (const auto& file : files) {
            const char* text = gtk_entry_get_text(GTK_ENTRY(file.second));
            if (!*text) continue;
            argv.push_back(file.first);
            argv.push_back(text);
        }
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(insecure))) argv.push_back("--insecure");
        RemoteConsoleOptions options;
        std::string error, token;
        if (parse_console_args(int(argv.size()), argv.data(), &options, &error) == ConsoleArgs::GIVEN &&
            read_console_token(options, &token, &error)) {
            restart_as_console(options, &error);
            if (error.empty()) error = "the tool could not be restarted as a remote console";
        }
        show_message(error.c_str());
        wait_message_closed();
    }
    gtk_widget_destroy(dialog);
}

void start_console_if_asked(int argc, char** argv, bool* remote) {
    const bool from_local_tool = std::getenv(FROM_LOCAL_TOOL) != nullptr;
    unsetenv(FROM_LOCAL_TOOL);
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
    if (!start_remote_console(options, &console_answer_wait(), &error)) {
        std::fprintf(stderr, "qv450: %s\n", error.c_str());
        std::string text = "The remote console cannot start: " + error;
        if (from_local_tool) text += "\n\nThe local tool starts again.";
        show_message(text.c_str());
        wait_message_closed();
        // Started from the local tool's dialog: the person gets that tool back.
        if (from_local_tool) restart_program(nullptr);
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
