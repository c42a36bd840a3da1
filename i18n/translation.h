// Building a language's text table at compile time from the English table and the
// texts that the language translates.
#pragma once

#include "i18n/messages.h"

#include <array>
#include <cstddef>

constexpr int MESSAGE_TEXT_COUNT = 106;  // ids 0..105 carry text, 106..111 are null

using MessageTable = std::array<const char*, MESSAGE_COUNT>;

// One translated text: the message id and the language's UTF-8 text.
struct Translation {
    int id;
    const char* text;
};

// True when the ids run strictly upwards within 0..105 (each id translated once).
template <size_t N>
constexpr bool translation_ids_ascending(const Translation (&translations)[N]) {
    int previous = -1;
    for (const Translation& t : translations) {
        if (t.id <= previous || t.id >= MESSAGE_TEXT_COUNT || t.text == nullptr) return false;
        previous = t.id;
    }
    return true;
}

// The English table with the given ids replaced by their translations.
template <size_t N>
constexpr MessageTable translated_table(const MessageTable& english,
                                        const Translation (&translations)[N]) {
    MessageTable table = english;
    for (const Translation& t : translations) table[size_t(t.id)] = t.text;
    return table;
}
