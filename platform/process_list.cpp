// Running programs from /proc: the base name of each process's executable.
#include "platform/process_list.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>

namespace platform {

namespace {
constexpr size_t MAX_PROCESSES = 4096;
}

std::vector<std::string> running_program_names() {
    std::vector<std::string> names;
    DIR* proc = opendir("/proc");
    if (!proc) return names;
    while (dirent* entry = readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        if (names.size() >= MAX_PROCESSES) break;
        const std::string link = std::string("/proc/") + entry->d_name + "/exe";
        char target[4096];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;  // kernel threads, other users' processes
        target[n] = '\0';
        const std::string path(target);
        names.push_back(path.substr(path.rfind('/') + 1));
    }
    closedir(proc);
    return names;
}

}  // namespace platform
