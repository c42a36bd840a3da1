// Start-up in its fixed order, then the main loop.
#include <csignal>

#include "app/app.h"
#include "app/settings.h"
#include "app/single_instance.h"
#include "app/themes.h"
#include "i18n/languages.h"
#include "net/update_check.h"
#include "sim/backend_choice.h"

void run_program(int argc, char** argv) {
    // The socket layer: a peer that closes its end must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    load_settings();
    select_language(argc, argv);
    add_theme_resource_file();
    gtk_init(&argc, &argv);
    check_single_instance(program_path());
    const char* update_text = check_for_updates();
    install_backend_from_environment();
    link_init();
    build_main_window(update_text);
    run_main_loop();
}
