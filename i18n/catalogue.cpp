// The message catalogue: the eleven text tables, built at compile time, and the
// language list.
#include "i18n/languages.h"
#include "i18n/texts_bg.h"
#include "i18n/texts_cs.h"
#include "i18n/texts_de.h"
#include "i18n/texts_el.h"
#include "i18n/texts_en.h"
#include "i18n/texts_ja.h"
#include "i18n/texts_lt.h"
#include "i18n/texts_pl.h"
#include "i18n/texts_ru.h"
#include "i18n/texts_sk.h"
#include "i18n/translation.h"

namespace {

constexpr MessageTable TEXTS_DE = translated_table(TEXTS_EN, TRANSLATIONS_DE);
constexpr MessageTable TEXTS_RU = translated_table(TEXTS_EN, TRANSLATIONS_RU);
constexpr MessageTable TEXTS_BG = translated_table(TEXTS_EN, TRANSLATIONS_BG);
constexpr MessageTable TEXTS_CS = translated_table(TEXTS_EN, TRANSLATIONS_CS);
constexpr MessageTable TEXTS_EL = translated_table(TEXTS_EN, TRANSLATIONS_EL);
constexpr MessageTable TEXTS_LT = translated_table(TEXTS_EN, TRANSLATIONS_LT);
constexpr MessageTable TEXTS_SK = translated_table(TEXTS_EN, TRANSLATIONS_SK);
constexpr MessageTable TEXTS_JA = translated_table(TEXTS_EN, TRANSLATIONS_JA);

}  // namespace

// French has no texts of its own: its record shows the English table.
const LanguageRecord languages[LANGUAGE_COUNT + 1] = {
    {"en", TEXTS_EN.data(), "English", switch_language},
    {"pl", TEXTS_PL.data(), "Polski", switch_language},
    {"de", TEXTS_DE.data(), "Deutsch", switch_language},
    {"ru", TEXTS_RU.data(), "Русский", switch_language},
    {"bg", TEXTS_BG.data(), "български", switch_language},
    {"cs", TEXTS_CS.data(), "český", switch_language},
    {"fr", TEXTS_EN.data(), "Français", switch_language},
    {"el", TEXTS_EL.data(), "ελληνικά", switch_language},
    {"lt", TEXTS_LT.data(), "Lietuvių", switch_language},
    {"sk", TEXTS_SK.data(), "Slovenský", switch_language},
    {"ja", TEXTS_JA.data(), "日本語 (にほんご)", switch_language},
    {nullptr, nullptr, nullptr, nullptr},
};
