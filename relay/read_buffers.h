// Read buffers lent for the length of one read's delivery, so that reads waiting for
// bytes hold none. One thread's buffers serve only that thread.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// The thread's read buffers, each DRAINING_READ_MAX bytes: the last one given back is
// the next one lent. Only the few reads completed and not yet handled hold one.
constexpr size_t DRAINING_READ_MAX = 16 * 1024;
class ReadBuffers {
public:
    static ReadBuffers& mine() {
        thread_local ReadBuffers buffers;
        return buffers;
    }
    char* lend() {
        ++lent_;
        if (free_.empty()) return new char[DRAINING_READ_MAX];
        char* buffer = free_.back().release();
        free_.pop_back();
        return buffer;
    }
    void give_back(char* buffer) {
        --lent_;
        if (free_.size() < KEPT) free_.emplace_back(buffer);
        else delete[] buffer;
    }
    size_t lent() const { return lent_; }

private:
    static constexpr size_t KEPT = 16;  // more are lent at once only in a burst
    std::vector<std::unique_ptr<char[]>> free_;
    size_t lent_ = 0;
};

// A buffer lent by the thread's ReadBuffers, given back when this goes.
class LentBuffer {
public:
    LentBuffer() = default;
    static LentBuffer lend() { return LentBuffer(ReadBuffers::mine().lend()); }
    LentBuffer(LentBuffer&& other) noexcept : buffer_(other.buffer_) { other.buffer_ = nullptr; }
    LentBuffer& operator=(LentBuffer&& other) noexcept {
        std::swap(buffer_, other.buffer_);
        return *this;
    }
    ~LentBuffer() {
        if (buffer_) ReadBuffers::mine().give_back(buffer_);
    }
    char* data() const { return buffer_; }

private:
    explicit LentBuffer(char* buffer) : buffer_(buffer) {}
    char* buffer_ = nullptr;
};
