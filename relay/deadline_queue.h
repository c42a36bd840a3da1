// An intrusive first-in, first-out list for time-outs that all last the same: entries go
// in at the back as their time starts, so the front always runs out first and one timer
// serves the whole list. Entries carry their own links (`queue_prev`, `queue_next`).
#pragma once

template <typename T>
class DeadlineQueue {
public:
    T* front() const { return head_; }
    T* back() const { return tail_; }
    bool empty() const { return head_ == nullptr; }

    void push_back(T& item) {
        item.queue_prev = tail_;
        item.queue_next = nullptr;
        if (tail_) tail_->queue_next = &item;
        else head_ = &item;
        tail_ = &item;
    }

    // The item must be in this queue.
    void remove(T& item) {
        if (item.queue_prev) item.queue_prev->queue_next = item.queue_next;
        else head_ = item.queue_next;
        if (item.queue_next) item.queue_next->queue_prev = item.queue_prev;
        else tail_ = item.queue_prev;
        item.queue_prev = item.queue_next = nullptr;
    }

    // Its time starts again.
    void move_to_back(T& item) {
        if (tail_ == &item) return;
        remove(item);
        push_back(item);
    }

private:
    T* head_ = nullptr;
    T* tail_ = nullptr;
};
