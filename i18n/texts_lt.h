// Lithuanian: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_LT[] = {
    // Yes
    {0, "Taip"},
    // No
    {1, "Ne"},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Programa neveikia su šia mikroprogramos versija.\n(%04d-%02d%02d/%d-%d)."},
    // Can not open file!
    {16, "Nepavyko atidaryti failo!"},
    // Cancel
    {22, "Atšaukti"},
    // File corrupted!
    {24, "Failas sugadintas!"},
    // Write error!
    {25, "Rašymo klaida!"},
    // Load
    {33, "Nuskaityti"},
    // Save
    {34, "Įrašyti"},
    // Loading firmware... Do not close this window!
    {39, "Įkeliama mikroprograma... Neuždarykite šio lango!"},
    // File is not compatible with hardware
    {43, "Failas nesuderinamas su įranga"},
    // J1-3: ORANGE
    {66, "J1-3: ORANŽINIS"},
    // J1-4: YELLOW
    {67, "J1-4: GELTONAS"},
    // J2-2: BROWN
    {68, "J2-2: RUDAS"},
    // J2-3: WHITE
    {69, "J2-3: BALTAS"},
    // J2-4: VIOLET
    {70, "J2-4: VIOLETINIS"},
    // J2-5: VIOLET/BLACK
    {71, "J2-5: VIOL./JUODAS"},
    // J2-6: BLUE
    {72, "J2-6: MĖLYNAS"},
    // J2-7: GREEN
    {73, "J2-7: ŽALIAS"},
    // J2-8: GREEN/BLACK
    {74, "J2-8: ŽALIAS/JUODAS"},
    // J2-9: PINK
    {75, "J2-9: ROŽINIS"},
    // J2-10: GREY
    {76, "J2-10: PILKAS"},
    // J2-11: GREY/BLACK
    {77, "J2-11: PILKAS/JUODAS"},
    // J2-12: WHITE/BLACK
    {78, "J2-12: BALTAS/JUODAS"},
    // Pin:
    {79, "Kontaktas:"},
    // Signal:
    {80, "Signalas:"},
    // I/O type:
    {81, "Į/I tipas:"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_LT));
