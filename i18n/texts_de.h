// German: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_DE[] = {
    // Yes
    {0, "Ja"},
    // No
    {1, "Nein"},
    // Signal monitor
    {5, "Signalmonitor"},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Das Programm funktioniert nicht mit dieser Firmware-Version.\n(%04d-%02d%02d/%d-%d)."},
    // Can not open file!
    {16, "Datei kann nicht geöffnet werden!"},
    // Tools
    {20, "Extras"},
    // Cancel
    {22, "Abbrechen"},
    // File corrupted!
    {24, "Datei beschädigt!"},
    // Write error!
    {25, "Schreibfehler!"},
    // Default settings
    {32, "Standardwerte"},
    // Load
    {33, "Lesen"},
    // Save
    {34, "Schreiben"},
    // Loading firmware... Do not close this window!
    {39, "Firmware wird geladen... Fenster nicht schließen!"},
    // File is not compatible with hardware
    {43, "Datei passt nicht zur Hardware"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_DE));
