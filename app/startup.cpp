// Start-up in its fixed order, then the main loop.
#include <csignal>

#include "app/app.h"
#include "app/command_line.h"
#include "app/remote_console_window.h"
#include "app/single_instance.h"
#include "app/themes.h"
#include "config/signal_monitor.h"
#include "device/link.h"
#include "diag/console.h"
#include "diag/event_log.h"
#include "i18n/languages.h"
#include "net/update_check.h"
#include "settings/settings.h"
#include "sim/backend_choice.h"
#include "ui/dialogs.h"

void run_program(int argc, char** argv) {
    answer_help_and_version(argc, argv);
    // The socket layer: a peer that closes its end must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    load_settings();
    select_language(argc, argv);
    add_theme_resource_file();
    gtk_init(&argc, &argv);
    bool remote = false;
    start_console_if_asked(argc, argv, &remote);
    // A remote console owns no local module: it may run beside the local tool.
    if (!remote) check_single_instance(program_path());
    const char* update_text = check_for_updates();
    install_backend_from_environment();
    link_init();
    // Texts the module sends on its own go to the event log.
    link_hooks.event_text = log_event_text;
    // The console closes before the signal monitor when the module is taken over.
    register_tool_window_closer(close_console);
    register_tool_window_closer(destroy_signal_monitor);
    build_main_window(update_text);
    mark_remote_title(argc, argv);
    run_main_loop();
}
