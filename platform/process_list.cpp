// Running programs from /proc: the base name of each process's executable.
#include "platform/process_list.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iterator>

namespace platform {

namespace {
constexpr size_t MAX_PROCESSES = 4096;

// The arguments after the program's own name, NUL-separated in /proc.
bool has_argument(const std::string& pid, const std::string& argument) {
    std::ifstream file("/proc/" + pid + "/cmdline", std::ios::binary);
    const std::string line{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (size_t start = line.find('\0'); start != std::string::npos && start + 1 < line.size();) {
        const size_t end = line.find('\0', start + 1);
        if (line.compare(start + 1, end == std::string::npos ? std::string::npos : end - start - 1, argument) == 0)
            return true;
        start = end;
    }
    return false;
}
}

std::vector<std::string> running_program_names(const char* except_argument) {
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
        if (except_argument && has_argument(entry->d_name, except_argument)) continue;
        const std::string path(target);
        names.push_back(path.substr(path.rfind('/') + 1));
    }
    closedir(proc);
    return names;
}

}  // namespace platform
