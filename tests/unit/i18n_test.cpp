// The message catalogue and the language list.
#include "i18n/languages.h"
#include "i18n/messages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int TEXT_IDS = 106;  // ids 0..105 carry text

// The printf conversions of a text, in order: "%s", "%04d", "%%", ...
std::vector<std::string> conversions(const char* text) {
    std::vector<std::string> result;
    for (const char* p = text; *p; ++p) {
        if (*p != '%') continue;
        const char* start = p++;
        while (*p && std::strchr("-+ #0", *p)) ++p;                 // flags
        while (*p && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '*')) ++p;  // width
        if (*p == '.') {                                            // precision
            ++p;
            while (*p && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '*')) ++p;
        }
        while (*p && std::strchr("hlLqjzt", *p)) ++p;               // length
        if (!*p) {
            result.emplace_back(start);  // a broken conversion at the end still counts
            break;
        }
        result.emplace_back(start, size_t(p - start + 1));
    }
    return result;
}

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool valid_utf8(const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        int extra;
        unsigned min;
        unsigned cp;
        if (*s < 0x80) { ++s; continue; }
        if ((*s & 0xE0) == 0xC0) { extra = 1; min = 0x80; cp = *s & 0x1F; }
        else if ((*s & 0xF0) == 0xE0) { extra = 2; min = 0x800; cp = *s & 0x0F; }
        else if ((*s & 0xF8) == 0xF0) { extra = 3; min = 0x10000; cp = *s & 0x07; }
        else return false;
        ++s;
        for (int i = 0; i < extra; ++i, ++s) {
            if ((*s & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (*s & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    }
    return true;
}

std::set<int> ids(std::initializer_list<std::pair<int, int>> ranges) {
    std::set<int> result;
    for (const auto& [first, last] : ranges)
        for (int id = first; id <= last; ++id) result.insert(id);
    return result;
}

// The ids with a text of their own, per language (the language table).
std::set<int> translated_ids(const std::string& code) {
    if (code == "en" || code == "pl") return ids({{0, 105}});
    if (code == "de") return ids({{0, 1}, {5, 5}, {14, 14}, {16, 16}, {20, 20}, {22, 22}, {24, 25}, {32, 34}, {39, 39}, {43, 43}});
    if (code == "ru") return ids({{0, 1}, {5, 6}, {9, 9}, {14, 14}, {16, 16}, {20, 20}, {22, 22}, {24, 25}, {32, 34}, {39, 39}, {43, 43}});
    if (code == "bg") return ids({{0, 9}, {12, 22}, {24, 27}, {31, 36}, {39, 48}, {52, 56}, {60, 62}});
    if (code == "cs") return ids({{0, 1}, {14, 14}, {16, 16}, {22, 22}, {24, 25}, {33, 34}, {39, 39}, {43, 43}, {66, 82}});
    if (code == "fr") return {};
    if (code == "el") return ids({{0, 78}, {80, 81}, {83, 83}});
    if (code == "lt") return ids({{0, 1}, {14, 14}, {16, 16}, {22, 22}, {24, 25}, {33, 34}, {39, 39}, {43, 43}, {66, 81}});
    if (code == "sk") return ids({{0, 1}, {14, 14}, {33, 34}, {39, 39}, {66, 82}});
    if (code == "ja") return ids({{66, 82}});
    ADD_FAILURE() << "no id list for " << code;
    return {};
}

const char* const* english() { return languages[LANGUAGE_ENGLISH].table; }
const char* const* polish() { return languages[LANGUAGE_POLISH].table; }

class CurrentLanguage : public ::testing::Test {
protected:
    void TearDown() override { set_current_language(LANGUAGE_ENGLISH); }
};

}  // namespace

TEST(Conversions, ParsesThePrintfConversions) {
    EXPECT_EQ(conversions("plain"), std::vector<std::string>{});
    EXPECT_EQ(conversions("QV%s v.%d.%d.%d"), (std::vector<std::string>{"%s", "%d", "%d", "%d"}));
    EXPECT_EQ(conversions("(%04d-%02d%02d/%d-%d)"),
              (std::vector<std::string>{"%04d", "%02d", "%02d", "%d", "%d"}));
    EXPECT_EQ(conversions("Sending %d%%"), (std::vector<std::string>{"%d", "%%"}));
    EXPECT_EQ(conversions("%-5.2lf"), std::vector<std::string>{"%-5.2lf"});
}

TEST(MessageCatalogue, EveryTableHasTextsFor0To105AndNullAbove) {
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        SCOPED_TRACE(languages[i].code);
        const char* const* table = languages[i].table;
        ASSERT_NE(table, nullptr);
        for (int id = 0; id < TEXT_IDS; ++id) {
            ASSERT_NE(table[id], nullptr) << "id " << id;
            EXPECT_GT(std::strlen(table[id]), 0u) << "id " << id;
            EXPECT_TRUE(valid_utf8(table[id])) << "id " << id;
        }
        for (int id = TEXT_IDS; id < MESSAGE_COUNT; ++id) EXPECT_EQ(table[id], nullptr) << "id " << id;
    }
}

TEST(MessageCatalogue, EveryTranslationKeepsTheEnglishConversionsInOrder) {
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        SCOPED_TRACE(languages[i].code);
        for (int id = 0; id < TEXT_IDS; ++id)
            EXPECT_EQ(conversions(languages[i].table[id]), conversions(english()[id])) << "id " << id;
    }
}

TEST(MessageCatalogue, EachLanguageTranslatesExactlyItsListedIds) {
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        const std::string code = languages[i].code;
        SCOPED_TRACE(code);
        if (code == "en") continue;
        const std::set<int> own = translated_ids(code);
        for (int id = 0; id < TEXT_IDS; ++id) {
            const bool same = std::strcmp(languages[i].table[id], english()[id]) == 0;
            if (own.count(id) == 0) {
                EXPECT_TRUE(same) << "id " << id << " should hold the English text";
            } else if (!(code == "pl" && id == 79)) {  // Polish "Pin:" reads as in English
                EXPECT_FALSE(same) << "id " << id << " should be translated";
            }
        }
    }
    EXPECT_STREQ(polish()[79], "Pin:");
}

TEST(MessageCatalogue, FrenchHoldsTheEnglishTextsThroughout) {
    const int fr = find_language("fr");
    ASSERT_EQ(fr, 6);
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
        if (english()[id] == nullptr) {
            EXPECT_EQ(languages[fr].table[id], nullptr);
        } else {
            EXPECT_STREQ(languages[fr].table[id], english()[id]);
        }
    }
}

TEST(MessageCatalogue, EnglishTexts) {
    EXPECT_STREQ(english()[0], "Yes");
    EXPECT_STREQ(english()[1], "No");
    EXPECT_STREQ(english()[2], "Velmora programmer QV%s v.%d.%d.%d");
    EXPECT_STREQ(english()[14],
                 "Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).");
    EXPECT_STREQ(english()[40], "Device is not programmed properly\nSelect firmware file.");
    EXPECT_STREQ(english()[64], "Save");
    EXPECT_STREQ(english()[98], "Sending firmware %d%%");
    EXPECT_STREQ(english()[103],
                 "Communication problem occured. Disconnect and reconnect programming interface "
                 "to computer.");
    EXPECT_STREQ(english()[105], "Filter settings");

    char title[100];
    std::snprintf(title, sizeof title, english()[2], "450", 2, 4, 0);
    EXPECT_STREQ(title, "Velmora programmer QV450 v.2.4.0");
}

TEST(MessageCatalogue, PolishTexts) {
    EXPECT_STREQ(polish()[0], "Tak");
    EXPECT_STREQ(polish()[13], "Błąd odczytu konfiguracji");
    EXPECT_STREQ(polish()[16], "Nie można otworzyć pliku !");
    EXPECT_STREQ(polish()[39], "Programowanie firmware'u");
    EXPECT_STREQ(polish()[51], "Zmiana poziomu CAN wymaga zmiany firmware'u.\nczy kontunuować?");
    EXPECT_STREQ(polish()[67], "J1-4: ŻÓŁTY");
    EXPECT_STREQ(polish()[82], "Wyzw.wyjść:");
    EXPECT_STREQ(polish()[105], "Ustawienia filtra");
}

TEST(MessageCatalogue, ATranslationPerLanguage) {
    EXPECT_STREQ(languages[find_language("de")].table[22], "Abbrechen");
    EXPECT_STREQ(languages[find_language("ru")].table[0], "Да");
    EXPECT_STREQ(languages[find_language("bg")].table[31], "Език");
    EXPECT_STREQ(languages[find_language("cs")].table[1], "Ne");
    EXPECT_STREQ(languages[find_language("el")].table[83], "κανένα");
    EXPECT_STREQ(languages[find_language("lt")].table[0], "Taip");
    EXPECT_STREQ(languages[find_language("sk")].table[0], "Áno");
    EXPECT_STREQ(languages[find_language("ja")].table[80], "信号:");
}

TEST(Languages, ListInSpecOrderEndingWithNullCode) {
    const char* codes[] = {"en", "pl", "de", "ru", "bg", "cs", "fr", "el", "lt", "sk", "ja"};
    const char* names[] = {"English", "Polski", "Deutsch", "Русский", "български", "český",
                           "Français", "ελληνικά", "Lietuvių", "Slovenský", "日本語 (にほんご)"};
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        EXPECT_STREQ(languages[i].code, codes[i]);
        EXPECT_STREQ(languages[i].display_name, names[i]);
        EXPECT_NE(languages[i].table, nullptr);
        EXPECT_EQ(languages[i].action, &switch_language);
        EXPECT_EQ(find_language(codes[i]), i);
    }
    EXPECT_EQ(languages[LANGUAGE_COUNT].code, nullptr);
    EXPECT_STREQ(languages[LANGUAGE_POLISH].code, "pl");
    EXPECT_STREQ(languages[LANGUAGE_RUSSIAN].code, "ru");
}

TEST(Languages, FindIsExactAndCaseSensitive) {
    EXPECT_EQ(find_language("PL"), -1);
    EXPECT_EQ(find_language("pl_PL"), -1);
    EXPECT_EQ(find_language("p"), -1);
    EXPECT_EQ(find_language(""), -1);
    EXPECT_EQ(find_language("es"), -1);
    EXPECT_EQ(find_language(nullptr), -1);
}

TEST_F(CurrentLanguage, MessageTextFollowsTheCurrentLanguage) {
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(message_text(0), "Yes");
    set_current_language(LANGUAGE_POLISH);
    EXPECT_EQ(current_language_index(), LANGUAGE_POLISH);
    EXPECT_EQ(current_language_table(), polish());
    EXPECT_STREQ(message_text(0), "Tak");
    EXPECT_STREQ(message_text(105), "Ustawienia filtra");
    EXPECT_EQ(message_text(106), nullptr);
    EXPECT_EQ(message_text(111), nullptr);
    EXPECT_EQ(message_text(112), nullptr);
    EXPECT_EQ(message_text(-1), nullptr);
    set_current_language(find_language("ja"));
    EXPECT_STREQ(message_text(0), "Yes");  // untranslated: the English text
    EXPECT_STREQ(message_text(79), "ピン:");
    set_current_language(LANGUAGE_COUNT);  // outside the list: English
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    set_current_language(-3);
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
}

TEST_F(CurrentLanguage, SwitchingToTheCurrentLanguageDoesNothing) {
    switch_language("en");  // would restart (and never return) otherwise
    set_current_language(find_language("de"));
    switch_language("de");
    switch_language(nullptr);
    EXPECT_EQ(current_language_index(), find_language("de"));
}
