// Learning from the kernel that a folder's entries changed, so that a watcher lists the
// folder only when there is something new to see.
#pragma once

namespace platform {

class FolderChanges {
public:
    FolderChanges() = default;
    ~FolderChanges();
    FolderChanges(const FolderChanges&) = delete;
    FolderChanges& operator=(const FolderChanges&) = delete;

    // Watches `folder` from now on (and no longer the one before). False when the
    // kernel cannot watch it; changed() then always says yes, so nothing is missed.
    bool watch(const char* folder);

    // Stops watching.
    void stop();

    // True when an entry of the folder was created, written, closed after writing,
    // renamed, removed or had its permissions or times changed since the last call, or
    // when the notifications cannot be trusted (none set up, or the kernel's queue
    // overflowed). The first call after watch() says yes. Never blocks.
    bool changed();

private:
    bool add_watch();

    int fd_ = -1;
    int watch_id_ = -1;
    bool first_ = true;
    char folder_[4096] = {};
};

}  // namespace platform
