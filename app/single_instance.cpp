// The single-instance check over the process list.
#include "app/single_instance.h"

#include <cstdlib>
#include <cstring>

#include "i18n/message_ids.h"
#include "i18n/messages.h"
#include "operator/remote_console.h"
#include "platform/process_list.h"
#include "ui/dialogs.h"

int count_own_instances(const std::vector<std::string>& running, const char* program_path) {
    const char* slash = std::strrchr(program_path, '/');
    const char* own = slash ? slash + 1 : program_path;
    const std::size_t own_length = std::strlen(own);
    static const std::string replaced_mark = " (deleted)";
    int matches = 0;
    for (std::string name : running) {
        // An executable replaced on disk while running is listed with this mark.
        if (name.size() > replaced_mark.size() &&
            name.compare(name.size() - replaced_mark.size(), replaced_mark.size(), replaced_mark) == 0)
            name.resize(name.size() - replaced_mark.size());
        // Our name must end the other's: the relay server and the operator tool
        // ("qv450-relay", "qv450-cli") carry it at their start and are other programs.
        if (name.size() >= own_length && name.compare(name.size() - own_length, own_length, own) == 0)
            ++matches;
    }
    return matches;
}

void check_single_instance(const char* program_path) {
    // A remote console owns no local module: it neither counts nor is counted.
    if (count_own_instances(platform::running_program_names(REMOTE_CONSOLE_OPTION), program_path) < 2) return;
    show_message(message_text(MSG_ONLY_ONCE));
    wait_message_closed();
    std::exit(1);
}
