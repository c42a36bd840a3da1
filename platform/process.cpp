// Restart by execv.
#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

// Marks every descriptor from 3 up close-on-exec, as CreateProcess without handle
// inheritance would leave them behind (the display connection among them, so that the
// old window goes away with the old program).
void mark_descriptors_close_on_exec() {
#if defined(SYS_close_range)
    constexpr unsigned CLOSE_RANGE_CLOEXEC_FLAG = 1u << 2;  // CLOSE_RANGE_CLOEXEC
    if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC_FLAG) == 0) return;
#endif
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir)) {
            const int fd = atoi(entry->d_name);
            if (fd > 2) fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        closedir(dir);
        return;
    }
    const long max = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (max > 0 && max < 65536 ? max : 65536); ++fd)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool build_process_command(const char* executable, const char* const* arguments, int count,
                           ProcessCommand* out) {
    if (!out) return false;
    memset(out->text, 0, sizeof out->text);
    for (char*& arg : out->argv) arg = nullptr;
    out->argc = 0;

    const char* exe = executable ? executable : "";
    const size_t exe_length = strlen(exe);
    if (exe_length + 1 > sizeof out->text) return false;
    memcpy(out->text, exe, exe_length + 1);
    out->argv[0] = out->text;
    out->argc = 1;

    size_t used = exe_length + 1;
    for (int i = 0; i < count && out->argc < PROCESS_MAX_ARGUMENTS; ++i) {
        const size_t room = sizeof out->text - used;  // bytes left, terminator included
        if (room < 2) break;
        const char* arg = arguments && arguments[i] ? arguments[i] : "";
        const size_t length = strlen(arg);
        const size_t copied = length < room - 1 ? length : room - 1;
        memcpy(out->text + used, arg, copied);
        out->text[used + copied] = '\0';
        out->argv[out->argc++] = out->text + used;
        used += copied + 1;
    }
    out->argv[out->argc] = nullptr;
    return true;
}

void replace_process(const ProcessCommand& command) {
    fflush(nullptr);
    if (command.argc > 0 && command.argv[0] && command.argv[0][0] != '\0') {
        mark_descriptors_close_on_exec();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(command.argv[0], command.argv);
    }
    _exit(0);
}

}  // namespace platform
