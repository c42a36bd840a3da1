// Greek: the texts that this language translates; every other id keeps the
// English text.
#pragma once

#include "i18n/translation.h"

inline constexpr Translation TRANSLATIONS_EL[] = {
    // Yes
    {0, "Ναι"},
    // No
    {1, "Όχι"},
    // Velmora programmer QV%s v.%d.%d.%d
    {2, "Προγραμματιστής Velmora QV%s v.%d.%d.%d"},
    // Searching for device...
    {3, "Αναζήτηση συσκευής..."},
    // Please wait...
    {4, "Παρακαλώ περιμένετε..."},
    // Signal monitor
    {5, "Παρακολούθηση σημάτων"},
    // Console
    {6, "Κονσόλα"},
    // year
    {7, "έτος"},
    // Command (hex):
    {8, "Εντολή (hex):"},
    // data:
    {9, "δεδομένα:"},
    // Send
    {10, "Αποστολή"},
    // CAN1 level:
    {11, "Επίπεδο CAN1:"},
    // Configuration loaded successfully.
    {12, "Η διαμόρφωση φορτώθηκε επιτυχώς."},
    // Configuration load error.
    {13, "Σφάλμα φόρτωσης διαμόρφωσης."},
    // Program will not work with this firmware version.\n(%04d-%02d%02d/%d-%d).
    {14, "Το πρόγραμμα δεν λειτουργεί με αυτή την έκδοση υλικολογισμικού.\n(%04d-%02d%02d/%d-%d)."},
    // Load from file
    {15, "Φόρτωση από αρχείο"},
    // Can not open file!
    {16, "Δεν είναι δυνατό το άνοιγμα του αρχείου!"},
    // Save to disk
    {17, "Αποθήκευση στο δίσκο"},
    // Configuration saved.
    {18, "Η διαμόρφωση αποθηκεύτηκε."},
    // Open
    {19, "Άνοιγμα"},
    // Tools
    {20, "Εργαλεία"},
    // Message
    {21, "Μήνυμα"},
    // Cancel
    {22, "Άκυρο"},
    // Select firmware file
    {23, "Επιλογή αρχείου υλικολογισμικού"},
    // File corrupted!
    {24, "Το αρχείο είναι κατεστραμμένο!"},
    // Write error!
    {25, "Σφάλμα εγγραφής!"},
    // Successfully programmed device.
    {26, "Η συσκευή προγραμματίστηκε επιτυχώς."},
    // Erasing flash memory...
    {27, "Διαγραφή μνήμης flash..."},
    // Log to file
    {28, "Καταγραφή σε αρχείο"},
    // Select log file
    {29, "Επιλογή αρχείου καταγραφής"},
    // Stop logging
    {30, "Διακοπή καταγραφής"},
    // Language
    {31, "Γλώσσα"},
    // Default settings
    {32, "Προεπιλογές"},
    // Load
    {33, "Ανάγνωση"},
    // Save
    {34, "Εγγραφή"},
    // Connected to server.
    {35, "Συνδέθηκε με τον διακομιστή."},
    // Themes
    {36, "Θέματα"},
    // Switching to flash programming mode
    {37, "Μετάβαση σε λειτουργία προγραμματισμού flash"},
    // Configuration file save error.
    {38, "Σφάλμα αποθήκευσης αρχείου διαμόρφωσης."},
    // Loading firmware... Do not close this window!
    {39, "Φόρτωση υλικολογισμικού... Μην κλείσετε αυτό το παράθυρο!"},
    // Device is not programmed properly\nSelect firmware file.
    {40, "Η συσκευή δεν είναι σωστά προγραμματισμένη\nΕπιλέξτε αρχείο υλικολογισμικού."},
    // Save configuration to file
    {41, "Αποθήκευση διαμόρφωσης σε αρχείο"},
    // Load configuration from file
    {42, "Φόρτωση διαμόρφωσης από αρχείο"},
    // File is not compatible with hardware
    {43, "Το αρχείο δεν είναι συμβατό με το υλικό"},
    // Question
    {44, "Ερώτηση"},
    // Help
    {45, "Βοήθεια"},
    // Firmware update from file
    {46, "Ενημέρωση υλικολογισμικού από αρχείο"},
    // Change firmware
    {47, "Αλλαγή υλικολογισμικού"},
    // Program
    {48, "Προγραμματισμός"},
    // %s version %04d
    {49, "%s έκδοση %04d"},
    // No firmware of this version for selected CAN level.
    {50, "Δεν υπάρχει υλικολογισμικό αυτής της έκδοσης για το επιλεγμένο επίπεδο CAN."},
    // CAN level change require firmware change.\nContinue?
    {51, "Η αλλαγή επιπέδου CAN απαιτεί αλλαγή υλικολογισμικού.\nΣυνέχεια;"},
    // Check for updates at startup
    {52, "Έλεγχος για ενημερώσεις κατά την εκκίνηση"},
    // Do not check for updates at startup
    {53, "Χωρίς έλεγχο για ενημερώσεις κατά την εκκίνηση"},
    // Checking for updates...
    {54, "Έλεγχος για ενημερώσεις..."},
    // Getting server's IP address.
    {55, "Λήψη της διεύθυνσης IP του διακομιστή."},
    // Checking for available version.
    {56, "Έλεγχος διαθέσιμης έκδοσης."},
    // Cannot find update server.
    {57, "Δεν βρέθηκε ο διακομιστής ενημερώσεων."},
    // Cannot connect to server
    {58, "Δεν είναι δυνατή η σύνδεση με τον διακομιστή"},
    // Update check error.
    {59, "Σφάλμα ελέγχου ενημερώσεων."},
    // Downloading update...
    {60, "Λήψη ενημέρωσης..."},
    // You have the latest version of program.
    {61, "Έχετε την τελευταία έκδοση του προγράμματος."},
    // Version %d.%d.%d is available.\nDo you want to download latest version?
    {62, "Η έκδοση %d.%d.%d είναι διαθέσιμη.\nΘέλετε να κατεβάσετε την τελευταία έκδοση;"},
    // Choose file.
    {63, "Επιλέξτε αρχείο."},
    // Save
    {64, "Αποθήκευση"},
    // Program can be run only once.
    {65, "Το πρόγραμμα μπορεί να εκτελεστεί μόνο μία φορά."},
    // J1-3: ORANGE
    {66, "J1-3: ΠΟΡΤΟΚΑΛΙ"},
    // J1-4: YELLOW
    {67, "J1-4: ΚΙΤΡΙΝΟ"},
    // J2-2: BROWN
    {68, "J2-2: ΚΑΦΕ"},
    // J2-3: WHITE
    {69, "J2-3: ΛΕΥΚΟ"},
    // J2-4: VIOLET
    {70, "J2-4: ΜΩΒ"},
    // J2-5: VIOLET/BLACK
    {71, "J2-5: ΜΩΒ/ΜΑΥΡΟ"},
    // J2-6: BLUE
    {72, "J2-6: ΜΠΛΕ"},
    // J2-7: GREEN
    {73, "J2-7: ΠΡΑΣΙΝΟ"},
    // J2-8: GREEN/BLACK
    {74, "J2-8: ΠΡΑΣΙΝΟ/ΜΑΥΡΟ"},
    // J2-9: PINK
    {75, "J2-9: ΡΟΖ"},
    // J2-10: GREY
    {76, "J2-10: ΓΚΡΙ"},
    // J2-11: GREY/BLACK
    {77, "J2-11: ΓΚΡΙ/ΜΑΥΡΟ"},
    // J2-12: WHITE/BLACK
    {78, "J2-12: ΛΕΥΚΟ/ΜΑΥΡΟ"},
    // Signal:
    {80, "Σήμα:"},
    // I/O type:
    {81, "Τύπος Ε/Ε:"},
    // none
    {83, "κανένα"},
};

static_assert(translation_ids_ascending(TRANSLATIONS_EL));
