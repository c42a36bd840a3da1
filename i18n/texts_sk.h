// Slovak: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_SK[] = {
    // Yes
    {0, "Áno"},
    // No
    {1, "Nie"},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Program nefunguje s touto verziou firmvéru.\n(%04d-%02d%02d/%d-%d)."},
    // Load
    {33, "Načítať"},
    // Save
    {34, "Zapísať"},
    // Loading firmware... Do not close this window!
    {39, "Nahrávanie firmvéru... Nezatvárajte toto okno!"},
    // J1-3: ORANGE
    {66, "J1-3: ORANŽOVÝ"},
    // J1-4: YELLOW
    {67, "J1-4: ŽLTÝ"},
    // J2-2: BROWN
    {68, "J2-2: HNEDÝ"},
    // J2-3: WHITE
    {69, "J2-3: BIELY"},
    // J2-4: VIOLET
    {70, "J2-4: FIALOVÝ"},
    // J2-5: VIOLET/BLACK
    {71, "J2-5: FIAL./ČIERNY"},
    // J2-6: BLUE
    {72, "J2-6: MODRÝ"},
    // J2-7: GREEN
    {73, "J2-7: ZELENÝ"},
    // J2-8: GREEN/BLACK
    {74, "J2-8: ZELENÝ/ČIERNY"},
    // J2-9: PINK
    {75, "J2-9: RUŽOVÝ"},
    // J2-10: GREY
    {76, "J2-10: SIVÝ"},
    // J2-11: GREY/BLACK
    {77, "J2-11: SIVÝ/ČIERNY"},
    // J2-12: WHITE/BLACK
    {78, "J2-12: BIELY/ČIERNY"},
    // Pin:
    {79, "Vývod:"},
    // Signal:
    {80, "Signál:"},
    // I/O type:
    {81, "Typ V/V:"},
    // Sig.Trigger:
    {82, "Spúšť sig.:"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_SK));
