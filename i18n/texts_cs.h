// Czech: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_CS[] = {
    // Yes
    {0, "Ano"},
    // No
    {1, "Ne"},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Program nefunguje s touto verzí firmwaru.\n(%04d-%02d%02d/%d-%d)."},
    // Can not open file!
    {16, "Soubor nelze otevřít!"},
    // Cancel
    {22, "Zrušit"},
    // File corrupted!
    {24, "Soubor je poškozený!"},
    // Write error!
    {25, "Chyba zápisu!"},
    // Load
    {33, "Načíst"},
    // Save
    {34, "Zapsat"},
    // Loading firmware... Do not close this window!
    {39, "Nahrávání firmwaru... Nezavírejte toto okno!"},
    // File is not compatible with hardware
    {43, "Soubor není kompatibilní s hardwarem"},
    // J1-3: ORANGE
    {66, "J1-3: ORANŽOVÝ"},
    // J1-4: YELLOW
    {67, "J1-4: ŽLUTÝ"},
    // J2-2: BROWN
    {68, "J2-2: HNĚDÝ"},
    // J2-3: WHITE
    {69, "J2-3: BÍLÝ"},
    // J2-4: VIOLET
    {70, "J2-4: FIALOVÝ"},
    // J2-5: VIOLET/BLACK
    {71, "J2-5: FIAL./ČERNÝ"},
    // J2-6: BLUE
    {72, "J2-6: MODRÝ"},
    // J2-7: GREEN
    {73, "J2-7: ZELENÝ"},
    // J2-8: GREEN/BLACK
    {74, "J2-8: ZELENÝ/ČERNÝ"},
    // J2-9: PINK
    {75, "J2-9: RŮŽOVÝ"},
    // J2-10: GREY
    {76, "J2-10: ŠEDÝ"},
    // J2-11: GREY/BLACK
    {77, "J2-11: ŠEDÝ/ČERNÝ"},
    // J2-12: WHITE/BLACK
    {78, "J2-12: BÍLÝ/ČERNÝ"},
    // Pin:
    {79, "Vývod:"},
    // Signal:
    {80, "Signál:"},
    // I/O type:
    {81, "Typ V/V:"},
    // Sig.Trigger:
    {82, "Spoušť sig.:"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_CS));
