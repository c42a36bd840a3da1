// The single-instance check over the process list.
#include "app/single_instance.h"

#include <cstdlib>
#include <cstring>

#include "i18n/messages.h"
#include "platform/process_list.h"
#include "ui/dialogs.h"

int count_own_instances(const std::vector<std::string>& running, const char* program_path) {
    const char* slash = std::strrchr(program_path, '/');
    const char* own = slash ? slash + 1 : program_path;
    int matches = 0;
    for (const std::string& name : running)
        if (name.find(own) != std::string::npos) ++matches;
    return matches;
}

void check_single_instance(const char* program_path) {
    if (count_own_instances(platform::running_program_names(), program_path) < 2) return;
    show_message(message_text(65));
    wait_message_closed();
    std::exit(1);
}
