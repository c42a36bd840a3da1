// The first-in, first-out list behind the relay's shared session timers.
#include <gtest/gtest.h>

#include <string>

#include "relay/deadline_queue.h"

namespace {

struct Item {
    char name;
    Item* queue_prev = nullptr;
    Item* queue_next = nullptr;
};

// Front to back, and back to front, so that a broken link in either direction shows.
std::string order(const DeadlineQueue<Item>& queue) {
    std::string forward, backward;
    const Item* last = nullptr;
    for (const Item* i = queue.front(); i; i = i->queue_next) forward += i->name, last = i;
    for (const Item* i = last; i; i = i->queue_prev) backward.insert(backward.begin(), i->name);
    return forward == backward ? forward : forward + "|" + backward;
}

TEST(DeadlineQueue, KeepsTheOrderTheirTimesStarted) {
    // Each step: '+' pushes, '-' removes, '>' moves to the back; then the expected order.
    const struct {
        const char* steps;
        const char* expected;
    } cases[] = {
        {"+a+b+c", "abc"}, {"+a+b+c>a", "bca"}, {"+a+b+c>c", "abc"}, {"+a+b+c-b", "ac"},
        {"+a+b+c-a-c", "b"}, {"+a-a", ""},      {"+a+b-b+c>a", "ca"},  {"+a+b+c>b-a>c-b", "c"},
    };
    for (const auto& c : cases) {
        Item items[3] = {{'a'}, {'b'}, {'c'}};
        DeadlineQueue<Item> queue;
        for (const char* s = c.steps; *s; s += 2) {
            Item& item = items[s[1] - 'a'];
            if (*s == '+') queue.push_back(item);
            else if (*s == '-') queue.remove(item);
            else queue.move_to_back(item);
        }
        EXPECT_EQ(order(queue), c.expected) << c.steps;
        EXPECT_EQ(queue.empty(), *c.expected == '\0') << c.steps;
    }
}

}  // namespace
