// A temporary folder for tests that touch files, removed with everything in it, and a
// file size limit that makes writes fail half-way.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <dirent.h>

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/qv450-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempFolder() {
        if (!path_.empty()) nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // The names in the folder, without "." and "..".
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") result.push_back(name);
            }
            closedir(dir);
        }
        return result;
    }

    void put(const std::string& name, const std::string& bytes) const {
        if (FILE* f = std::fopen(file(name).c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    }

    // The file's bytes; "<missing>" when it cannot be read.
    std::string get(const std::string& name) const { return read_path(file(name)); }

    static std::string read_path(const std::string& path) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return "<missing>";
        std::string bytes;
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
        std::fclose(f);
        return bytes;
    }

private:
    static int remove_entry(const char* path, const struct stat*, int, FTW*) { return ::remove(path); }
    std::string path_;
};

// While it lives, writing past `bytes` in any file fails (EFBIG) instead of raising
// SIGXFSZ: a disk that fills up during a write, without needing permissions, which
// tests running as root would ignore.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_limit_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_limit_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_limit_);
        std::signal(SIGXFSZ, old_handler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit old_limit_ {};
    void (*old_handler_)(int) = nullptr;
};
