// Bulgarian: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_BG[] = {
    // Yes
    {0, "Да"},
    // No
    {1, "Не"},
    // Velmora programmer QV%s v.%d.%d.%d
    {2, "Програматор Velmora QV%s v.%d.%d.%d"},
    // Searching for device...
    {3, "Търсене на устройство..."},
    // Please wait...
    {4, "Моля, изчакайте..."},
    // Signal monitor
    {5, "Монитор на сигналите"},
    // Console
    {6, "Конзола"},
    // year
    {7, "година"},
    // Command (hex):
    {8, "Команда (hex):"},
    // data:
    {9, "данни:"},
    // Configuration loaded successfully.
    {12, "Конфигурацията е заредена успешно."},
    // Configuration load error.
    {13, "Грешка при зареждане на конфигурацията."},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Програмата не работи с тази версия на фърмуера.\n(%04d-%02d%02d/%d-%d)."},
    // Load from file
    {15, "Зареждане от файл"},
    // Can not open file!
    {16, "Файлът не може да бъде отворен!"},
    // Save to disk
    {17, "Запис на диска"},
    // Configuration saved.
    {18, "Конфигурацията е записана."},
    // Open
    {19, "Отвори"},
    // Tools
    {20, "Инструменти"},
    // Message
    {21, "Съобщение"},
    // Cancel
    {22, "Отказ"},
    // File corrupted!
    {24, "Файлът е повреден!"},
    // Write error!
    {25, "Грешка при запис!"},
    // Successfully programmed device.
    {26, "Устройството е програмирано успешно."},
    // Erasing flash memory...
    {27, "Изтриване на флаш паметта..."},
    // Language
    {31, "Език"},
    // Default settings
    {32, "По подразбиране"},
    // Load
    {33, "Прочети"},
    // Save
    {34, "Запиши"},
    // Connected to server.
    {35, "Свързано със сървъра."},
    // Themes
    {36, "Теми"},
    // Loading firmware... Do not close this window!
    {39, "Зареждане на фърмуера... Не затваряйте този прозорец!"},
    // Device is not programmed properly\nSelect firmware file.
    {40, "Устройството не е програмирано правилно\nИзберете файл с фърмуер."},
    // Save configuration to file
    {41, "Запис на конфигурацията във файл"},
    // Load configuration from file
    {42, "Зареждане на конфигурацията от файл"},
    // File is not compatible with hardware
    {43, "Файлът не е съвместим с хардуера"},
    // Question
    {44, "Въпрос"},
    // Help
    {45, "Помощ"},
    // Firmware update from file
    {46, "Обновяване на фърмуера от файл"},
    // Change firmware
    {47, "Смяна на фърмуера"},
    // Program
    {48, "Програмирай"},
    // Check for updates at startup
    {52, "Проверка за обновления при стартиране"},
    // Do not check for updates at startup
    {53, "Без проверка за обновления при стартиране"},
    // Checking for updates...
    {54, "Проверка за обновления..."},
    // Getting server's IP address.
    {55, "Получаване на IP адреса на сървъра."},
    // Checking for available version.
    {56, "Проверка за налична версия."},
    // Downloading update...
    {60, "Изтегляне на обновлението..."},
    // You have the latest version of program.
    {61, "Имате най-новата версия на програмата."},
    // Version %d.%d.%d is available.\nDo you want to download latest version?
    {62, "Налична е версия %d.%d.%d.\nИскате ли да изтеглите най-новата версия?"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_BG));
