// Russian: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_RU[] = {
    // Yes
    {0, "Да"},
    // No
    {1, "Нет"},
    // Signal monitor
    {5, "Монитор сигналов"},
    // Console
    {6, "Консоль"},
    // data:
    {9, "данные:"},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Программа не работает с этой версией прошивки.\n(%04d-%02d%02d/%d-%d)."},
    // Can not open file!
    {16, "Не удаётся открыть файл!"},
    // Tools
    {20, "Сервис"},
    // Cancel
    {22, "Отмена"},
    // File corrupted!
    {24, "Файл повреждён!"},
    // Write error!
    {25, "Ошибка записи!"},
    // Default settings
    {32, "По умолчанию"},
    // Load
    {33, "Считать"},
    // Save
    {34, "Записать"},
    // Loading firmware... Do not close this window!
    {39, "Загрузка прошивки... Не закрывайте это окно!"},
    // File is not compatible with hardware
    {43, "Файл не подходит для этого устройства"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_RU));
