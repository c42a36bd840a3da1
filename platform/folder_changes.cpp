// Folder change notifications through inotify.
#include "platform/folder_changes.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace platform {

namespace {
// Everything that can make a file appear, change its time or become readable; a
// folder that is itself moved or removed also counts.
constexpr uint32_t WATCHED_EVENTS = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
}  // namespace

FolderChanges::~FolderChanges() { stop(); }

bool FolderChanges::watch(const char* folder) {
    stop();
    first_ = true;
    if (!folder || std::strlen(folder) >= sizeof folder_) return false;
    std::strcpy(folder_, folder);
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return fd_ >= 0 && add_watch();
}

void FolderChanges::stop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    watch_id_ = -1;
    folder_[0] = '\0';
}

bool FolderChanges::add_watch() {
    watch_id_ = inotify_add_watch(fd_, folder_, WATCHED_EVENTS | IN_ONLYDIR);
    return watch_id_ >= 0;
}

bool FolderChanges::changed() {
    bool any = first_;
    first_ = false;
    if (fd_ < 0) return true;
    alignas(inotify_event) char events[4096];
    ssize_t got;
    while ((got = read(fd_, events, sizeof events)) > 0) {
        any = true;
        for (ssize_t at = 0; at < got;) {
            const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
            // The watch is gone with the folder: a folder made again under the same
            // name is watched anew below.
            if (event->mask & IN_IGNORED) watch_id_ = -1;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    // Without a watch (the folder is missing, or the kernel's limit is reached) every
    // look must list.
    if (watch_id_ < 0 && !add_watch()) return true;
    return any;
}

}  // namespace platform
