// xdg-open started from a child process.
#include "platform/desktop_open.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr int EXIT_POLL_MS = 50;

// True unless the child ends with a failure within wait_ms.
bool not_failed_within(pid_t child, int wait_ms) {
    const uint64_t deadline = monotonic_ms() + uint64_t(wait_ms > 0 ? wait_ms : 0);
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 || monotonic_ms() >= deadline) return true;
        sleep_ms(EXIT_POLL_MS);
    }
}

}  // namespace

bool open_with_desktop(const char* path, int wait_ms) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The child leaves the program's session and descriptors behind; a failed exec
        // writes its errno into the pipe, a successful one closes it.
        setsid();
        mark_descriptors_close_on_exec();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(path), nullptr};
        execvp(argv[0], argv);
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n > 0) {
        waitpid(child, nullptr, 0);
        return false;
    }
    return not_failed_within(child, wait_ms);
}

}  // namespace platform
