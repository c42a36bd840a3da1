// The built-in vehicle catalogue: its shape, unusual rows, lookups, notes and labels.
#include "config/vehicle_catalogue.h"

#include "i18n/languages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint32_t FW_0A35 = 0x0A35;
constexpr uint32_t FW_0A37 = 0x0A37;
constexpr uint32_t FW_0A38 = 0x0A38;

struct RowRef {
    int make = -1;
    int model = -1;
    const VehicleModel* row = nullptr;
};

// Vehicle numbers are unique, so they name rows in these tests.
RowRef by_number(int number) {
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        for (uint32_t i = 0; i < vehicle_makes[m].count; ++i) {
            if (vehicle_makes[m].models[i].number == number)
                return {m, int(i), &vehicle_makes[m].models[i]};
        }
    }
    return {};
}

int make_index(const char* name) {
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        if (std::strcmp(vehicle_makes[m].name, name) == 0) return m;
    }
    return -1;
}

std::string describe(const VehicleMatch& match) {
    if (!match.found) return "none";
    const VehicleModel* row = vehicle_model(match.make, match.model);
    if (!row) return "bad index";
    return std::string(vehicle_makes[match.make].name) + " #" + std::to_string(row->number);
}

template <typename Visit>
void for_each_row(Visit visit) {
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        for (uint32_t i = 0; i < vehicle_makes[m].count; ++i) visit(vehicle_makes[m].models[i]);
    }
}

// ---- Shape of the table ----

TEST(VehicleCatalogue, HasTheMakesInDisplayOrderWithTheirModelCounts) {
    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"Acura", 1}, {"Alfa Romeo", 6}, {"Aston Martin", 1}, {"Audi", 29}, {"Bell", 1},
        {"Bentley", 1}, {"BMW", 66}, {"Caterpillar", 5}, {"Chevrolet", 9}, {"Chrysler", 5},
        {"Citroen", 31}, {"Dacia", 4}, {"DAF", 8}, {"Dodge", 9}, {"DS Automobiles", 4},
        {"EOBD", 1}, {"Fiat", 36}, {"Ford", 52}, {"Hamm", 1}, {"Honda", 16}, {"Hyundai", 18},
        {"ICE", 1}, {"Infiniti", 3}, {"Isuzu", 2}, {"Iveco", 7}, {"Jaguar", 5}, {"Jeep", 10},
        {"Kia", 23}, {"Lada", 3}, {"Lamborghini", 1}, {"Land Rover", 8}, {"Lexus", 7},
        {"Liebherr", 2}, {"MAN", 15}, {"Maserati", 1}, {"Mazda", 15}, {"Mercedes", 69},
        {"Mini", 10}, {"Mitsubishi", 15}, {"Nissan", 46}, {"OBD-II", 1}, {"Opel", 49},
        {"Peugeot", 26}, {"Porsche", 12}, {"Renault", 48}, {"Saab", 2}, {"Scania", 7},
        {"Seat", 23}, {"Skoda", 22}, {"Smart", 2}, {"Subaru", 22}, {"Suzuki", 12}, {"Tesla", 1},
        {"Toyota", 55}, {"Volkswagen", 71}, {"Volvo", 67},
    };
    ASSERT_EQ(expected.size(), size_t(VEHICLE_MAKE_COUNT));
    uint32_t total = 0;
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        ASSERT_NE(vehicle_makes[m].models, nullptr) << m;
        EXPECT_EQ(vehicle_makes[m].name, expected[size_t(m)].first) << m;
        EXPECT_EQ(vehicle_makes[m].count, expected[size_t(m)].second) << expected[size_t(m)].first;
        EXPECT_LE(vehicle_makes[m].count, uint32_t(MAX_MAKE_MODELS));
        total += vehicle_makes[m].count;
    }
    EXPECT_EQ(total, 967u);
    // The entry after the last make ends the list.
    EXPECT_EQ(vehicle_makes[VEHICLE_MAKE_COUNT].models, nullptr);
    EXPECT_EQ(vehicle_makes[VEHICLE_MAKE_COUNT].count, 0u);
}

TEST(VehicleCatalogue, VehicleNumbersAreUniqueAndWithinRange) {
    std::set<int> numbers;
    int rows = 0;
    for_each_row([&](const VehicleModel& row) {
        ++rows;
        EXPECT_GE(row.number, 1);
        EXPECT_LE(row.number, 1272);
        EXPECT_TRUE(numbers.insert(row.number).second) << "number used twice: " << row.number;
    });
    EXPECT_EQ(int(numbers.size()), rows);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 1272);
}

TEST(VehicleCatalogue, FieldValuesStayWithinTheirDocumentedSets) {
    std::map<uint32_t, int> firmware_rows;
    std::set<int> alt_levels;
    int lowest_level = 1000, highest_level = -1;
    for_each_row([&](const VehicleModel& row) {
        ASSERT_NE(row.name, nullptr);
        ASSERT_NE(row.code, nullptr);
        ASSERT_NE(row.years, nullptr);
        EXPECT_EQ(row.reserved, 0) << row.number;
        ++firmware_rows[row.min_firmware];
        alt_levels.insert(row.alt_level);
        lowest_level = std::min(lowest_level, int(row.level));
        highest_level = std::max(highest_level, int(row.level));
    });
    EXPECT_EQ(firmware_rows, (std::map<uint32_t, int>{{FW_0A35, 930}, {FW_0A37, 1}, {FW_0A38, 36}}));
    EXPECT_EQ(alt_levels, (std::set<int>{0, 88, 110, 112, 113, 117, 246, 251}));
    EXPECT_EQ(lowest_level, 0);
    EXPECT_EQ(highest_level, 250);
}

// ---- Rows with unusual text ----

struct TextCase {
    int number;
    const char* name;
    const char* code;
    const char* years;
};

TEST(VehicleCatalogue, KeepsBlanksInsideAndAtTheEndOfNamesAndCodes) {
    const TextCase cases[] = {
        {191, "Accord ", "7 gen.", "2002-2008"},
        {159, "Astra ", "H", "2004-2009"},
        {50, "Passat B6 ", "3C", "2005-2009"},
        {1215, "Travego III O580 ", "", "2008->"},
        {68, "Polo   ", "9N ", "2001-2005"},
        {69, "Polo   ", "9N3", "2005-2009"},
        {283, "Clio III", "R ", "2005-2012"},
        {462, "FM 2gen  lift1", "", "2005-2010"},
        {463, "FM 2gen  lift2", "", "2010-2013"},
        {633, "", "", ""},                         // ICE: everything empty
        {1250, "B30D", "", ""},                    // no years
        {366, "Caravelle", "T5GP", "2010-214"},    // years as the row has them
        {17, "A3", "8P", "2003-2008"},
        {1272, "S", "", "2012->"},
    };
    for (const TextCase& c : cases) {
        const RowRef ref = by_number(c.number);
        ASSERT_NE(ref.row, nullptr) << c.number;
        EXPECT_STREQ(ref.row->name, c.name) << c.number;
        EXPECT_STREQ(ref.row->code, c.code) << c.number;
        EXPECT_STREQ(ref.row->years, c.years) << c.number;
    }
}

TEST(VehicleCatalogue, RowsCarryLevelsNumbersAndFirmwareAsListed) {
    struct Case {
        int number;
        const char* make;
        int level, alt_level;
        uint32_t min_firmware;
    };
    const Case cases[] = {
        {190, "Acura", 29, 0, FW_0A35},      {1258, "Aston Martin", 247, 0, FW_0A38},
        {16, "Audi", 3, 110, FW_0A35},       {816, "Caterpillar", 0, 0, FW_0A35},
        {1272, "Tesla", 250, 251, FW_0A37},  {1262, "Hyundai", 166, 246, FW_0A35},
        {602, "Ford", 159, 117, FW_0A35},    {434, "Liebherr", 120, 88, FW_0A35},
        {1231, "Renault", 50, 0, FW_0A38},   {1230, "Renault", 237, 0, FW_0A38},
        {1050, "Subaru", 239, 0, FW_0A38},   {1199, "Volvo", 230, 0, FW_0A35},
    };
    for (const Case& c : cases) {
        const RowRef ref = by_number(c.number);
        ASSERT_NE(ref.row, nullptr) << c.number;
        EXPECT_STREQ(vehicle_makes[ref.make].name, c.make) << c.number;
        EXPECT_EQ(ref.row->level, c.level) << c.number;
        EXPECT_EQ(ref.row->alt_level, c.alt_level) << c.number;
        EXPECT_EQ(ref.row->min_firmware, c.min_firmware) << c.number;
    }
}

// ---- Notes ----

struct NoteCase {
    int number;
    const char* en;  // nullptr: absent
    const char* pl;
    const char* ru;
};

void expect_notes(const NoteCase& c) {
    const RowRef ref = by_number(c.number);
    ASSERT_NE(ref.row, nullptr) << c.number;
    auto same = [](const char* got, const char* want) {
        return (got == nullptr && want == nullptr) ||
               (got != nullptr && want != nullptr && std::strcmp(got, want) == 0);
    };
    EXPECT_TRUE(same(ref.row->note_en, c.en)) << c.number << " en";
    EXPECT_TRUE(same(ref.row->note_pl, c.pl)) << c.number << " pl";
    EXPECT_TRUE(same(ref.row->note_ru, c.ru)) << c.number << " ru";
}

TEST(VehicleCatalogue, NotesKeepTheirTextsByteForByte) {
    const NoteCase cases[] = {
        {73, "After facelift. (FL)", "Wersja po liftingu.", "После фейслифта"},
        {544, "Keyless trunk DO NOT unlock all doors", "Otwarcie bagażnika z Keyless NIE otwiera drzwi ",
         nullptr},
        {411, "Dedicated K-bus in BMW vehicles", "Dedykowana magistrala K-bus pojazdów BMW",
         "Шинные системы K-bus  в автомобилях BMW"},
        {399, "check installation diagram for proper level ", "sprawdź schemat: możliwe różne poziomy",
         nullptr},
        {571, "compatible vehicles", "Pojazdy zgodne z EOBD (EU)", "ранспортные средства соответствующие EOBD (EU)"},
        {657, "With FMS CAN enabled", nullptr, nullptr},
        {717, nullptr, nullptr, "Версия с системой keyless entry"},
        {1, nullptr, nullptr, nullptr},
    };
    for (const NoteCase& c : cases) expect_notes(c);
}

TEST(VehicleCatalogue, StarredRowsHaveTheirOwnPolishAndRussianTexts) {
    const NoteCase cases[] = {
        {1184, "Version without Keyless Entry.", "Wersja bez keyless.", nullptr},  // Citroen C3 Aircross
        {1189, "Version with Keyless Entry.", "Wersja z keyless.", nullptr},
        {1077, "After facelift. (FL)", "Wersja po liftingu.", nullptr},            // Honda CR-V
        {659, "With FMS CAN enabled", "Wymagane włączenie CAN FMS", nullptr},       // Mercedes Arocs
        {252, "Version without Keyless Entry.", "Wersja bez keyless. Facelift",
         "Версия без Keyless Entry. Фейслифта"},                                  // Qashqai J10
        {572, "compatible vehicles", "Pojazdy zgodne z OBD-II (USA)",
         "транспортные средства соответствующие OBD-II (USA)"},                   // OBD-II
        {375, "Estate", "Kombi", nullptr},                                         // Subaru Legacy
        {383, "Sedan", "Sedan", nullptr},
        {1052, "Version without Keyless Entry.", "Wersja bez keyless", nullptr},   // Subaru XV: no dot
        {569, "Door lock control w/o dead lock", "Sterowanie C-zamkiem bez rygli", nullptr},
    };
    for (const NoteCase& c : cases) expect_notes(c);
    // The unstarred neighbour keeps the note table's Russian text.
    expect_notes({568, "Door lock control w/o dead lock", "Sterowanie C-zamkiem bez rygli",
                  "Управление центральным замком без захвата"});
}

TEST(VehicleCatalogue, NoteFollowsTheLanguageAndFallsBackToEnglish) {
    const VehicleModel& legacy = *by_number(375).row;  // Subaru Legacy 2009-2014, Estate
    EXPECT_STREQ(model_note_for_language(legacy, LANGUAGE_POLISH), "Kombi");
    EXPECT_STREQ(model_note_for_language(legacy, LANGUAGE_RUSSIAN), "Estate");
    const VehicleModel& a4 = *by_number(73).row;
    EXPECT_STREQ(model_note_for_language(a4, LANGUAGE_RUSSIAN), "После фейслифта");
    // Every other language, known or not, gets English.
    for (int language : {0, 2, 4, 5, 6, 7, 8, 9, 10, -1, 11, 1000}) {
        EXPECT_STREQ(model_note_for_language(a4, language), "After facelift. (FL)") << language;
    }
    // No note at all, or only a Russian one: an empty text, never null.
    const VehicleModel& plain = *by_number(1).row;
    EXPECT_STREQ(model_note_for_language(plain, LANGUAGE_POLISH), "");
    const VehicleModel& outback = *by_number(717).row;
    EXPECT_STREQ(model_note_for_language(outback, 0), "");
    EXPECT_STREQ(model_note_for_language(outback, LANGUAGE_POLISH), "");
    EXPECT_STREQ(model_note_for_language(outback, LANGUAGE_RUSSIAN), "Версия с системой keyless entry");
}

TEST(VehicleCatalogue, NoteAndLabelFollowTheCurrentLanguage) {
    const VehicleModel& legacy = *by_number(375).row;
    set_current_language(LANGUAGE_POLISH);
    EXPECT_STREQ(model_note(legacy), "Kombi");
    EXPECT_STREQ(model_label(legacy).text, "Legacy  rocznik 2009-2014");
    set_current_language(LANGUAGE_RUSSIAN);
    EXPECT_STREQ(model_note(legacy), "Estate");
    set_current_language(LANGUAGE_ENGLISH);
    EXPECT_STREQ(model_note(legacy), "Estate");
    EXPECT_STREQ(model_label(legacy).text, "Legacy  year 2009-2014");
}

// ---- Labels ----

TEST(VehicleCatalogue, LabelHasAllFourPartsEvenWhenEmpty) {
    const std::pair<int, const char*> cases[] = {
        {17, "A3 8P year 2003-2008"},
        {1140, "Giulia  year 2017->"},           // no code: two blanks
        {1250, "B30D  year "},                   // no years: ends in a blank
        {633, "  year "},                        // ICE
        {191, "Accord  7 gen. year 2002-2008"},
        {68, "Polo    9N  year 2001-2005"},
        {283, "Clio III R  year 2005-2012"},
        {1215, "Travego III O580   year 2008->"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(model_label_with(*by_number(c.first).row, "year").text, c.second) << c.first;
    }
    EXPECT_STREQ(model_label_with(*by_number(17).row, "rocznik").text, "A3 8P rocznik 2003-2008");
}

TEST(VehicleCatalogue, LabelLeavesOutAbsentPartsWithTheirBlank) {
    VehicleModel row = *by_number(17).row;
    EXPECT_STREQ(model_label_with(row, nullptr).text, "A3 8P 2003-2008");
    row.code = nullptr;
    EXPECT_STREQ(model_label_with(row, "year").text, "A3 year 2003-2008");
    row.name = nullptr;
    row.years = nullptr;
    EXPECT_STREQ(model_label_with(row, "year").text, "year");
}

TEST(VehicleCatalogue, OverlongLabelIsCutWithoutSplittingACharacter) {
    const VehicleModel& row = *by_number(17).row;
    // "A3 8P xy" is 8 bytes, so the two-byte characters after it reach the last free
    // byte with half a character.
    std::string word = "xy";
    while (word.size() < size_t(MODEL_LABEL_SIZE) * 2) word += "ł";
    const std::string label = model_label_with(row, word.c_str()).text;
    ASSERT_EQ(label.size(), size_t(MODEL_LABEL_SIZE) - 2);
    EXPECT_EQ(label.compare(0, 8, "A3 8P xy"), 0);
    EXPECT_EQ(label.compare(label.size() - 2, 2, "ł"), 0);  // whole, and nothing after the cut

    // A word that fits exactly leaves no room for the years, which are dropped whole.
    const std::string exact(size_t(MODEL_LABEL_SIZE) - 1 - 6, 'y');
    EXPECT_EQ(std::string(model_label_with(row, exact.c_str()).text), "A3 8P " + exact);
}

// ---- Visible models ----

TEST(VehicleCatalogue, VisibleModelsHideRowsNewerThanTheFirmware) {
    const int aston = make_index("Aston Martin");
    EXPECT_EQ(visible_models(aston, FW_0A35).count, 0);
    EXPECT_EQ(visible_models(aston, FW_0A38).count, 1);

    const int renault = make_index("Renault");
    const ModelList old_list = visible_models(renault, FW_0A35);
    EXPECT_EQ(old_list.count, 46);
    for (int i = 0; i < old_list.count; ++i) {
        EXPECT_STRNE(vehicle_makes[renault].models[old_list.indexes[i]].name, "Zoe");
        if (i > 0) {
            EXPECT_LT(old_list.indexes[i - 1], old_list.indexes[i]);  // table order
        }
    }
    EXPECT_EQ(visible_models(renault, FW_0A38).count, 48);

    const int tesla = make_index("Tesla");
    EXPECT_EQ(visible_models(tesla, FW_0A35).count, 0);
    EXPECT_EQ(visible_models(tesla, FW_0A37).count, 1);

    int all_new = 0, all_old = 0;
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        all_new += visible_models(m, 0xFFFF).count;
        all_old += visible_models(m, FW_0A35).count;
    }
    EXPECT_EQ(all_new, 967);
    EXPECT_EQ(all_old, 930);
    EXPECT_EQ(visible_models(make_index("Audi"), 0x0A34).count, 0);  // older than every row
}

TEST(VehicleCatalogue, UnknownIndexesGiveNothing) {
    for (int make : {-1, VEHICLE_MAKE_COUNT, 1000}) {
        EXPECT_EQ(visible_models(make, FW_0A38).count, 0) << make;
        EXPECT_EQ(vehicle_model(make, 0), nullptr) << make;
    }
    EXPECT_EQ(vehicle_model(0, -1), nullptr);
    EXPECT_EQ(vehicle_model(0, 1), nullptr);  // Acura has one model
    EXPECT_NE(vehicle_model(0, 0), nullptr);
    EXPECT_EQ(vehicle_model(make_index("Volvo"), 67), nullptr);
    EXPECT_NE(vehicle_model(make_index("Volvo"), 66), nullptr);
}

// ---- find_vehicle ----

TEST(VehicleCatalogue, FindVehicleEdgeCases) {
    struct Case {
        int level, number;
        uint32_t firmware;
        const char* expected;  // "Make #number" or "none"
        const char* why;
    };
    const Case cases[] = {
        {3, 17, FW_0A35, "Audi #17", "exact: Audi A3 8P 2003-2008"},
        {110, 17, FW_0A35, "Audi #17", "exact through the alternative level"},
        {3, 9999, FW_0A35, "Audi #16", "first row of level 3: Audi A1 8X"},
        {251, 0, FW_0A38, "Tesla #1272", "second choice: alternative level 251"},
        {251, 0, FW_0A35, "none", "Tesla S needs 0x0A37"},
        {251, 1272, FW_0A37, "Tesla #1272", "exact through the alternative level"},
        {250, 1272, FW_0A37, "Tesla #1272", "exact"},
        {0, 190, FW_0A35, "Acura #190", "level 0 matches rows without alternative level"},
        {0, 16, FW_0A35, "Caterpillar #816", "Audi A1 has alternative level 110"},
        {0, 0, FW_0A35, "Caterpillar #816", "number 0 never matches exactly"},
        {3, 0, FW_0A35, "Audi #16", "number 0 finds the first row of the level"},
        {88, 1250, FW_0A35, "Bell #1250", "exact"},
        {88, 9999, FW_0A35, "Bell #1250", "first row with level 88"},
        {120, 9999, FW_0A35, "Liebherr #434", "first row with level 120"},
        {112, 9999, FW_0A35, "Citroen #87", "only alternative level 112 exists"},
        {10, 294, FW_0A35, "Citroen #87", "number of another level falls back to the level"},
        {247, 1258, FW_0A35, "none", "Aston Martin needs 0x0A38"},
        {247, 1258, FW_0A38, "Aston Martin #1258", "exact"},
        {50, 1231, FW_0A35, "Renault #275", "hidden Zoe row: first visible row of level 50"},
        {50, 1231, FW_0A38, "Renault #1231", "visible Zoe row"},
        {255, 1, FW_0A38, "none", "no row has level 255"},
        {-1, 1, FW_0A38, "none", "negative level"},
        {65536 + 3, 17, FW_0A38, "none", "levels do not wrap around"},
        {3, 65536 + 17, FW_0A38, "Audi #16", "numbers do not wrap around"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(find_vehicle(c.level, c.number, c.firmware)), c.expected)
            << c.level << "/" << c.number << ": " << c.why;
    }
}

TEST(VehicleCatalogue, EveryRowIsFoundByItsOwnLevelAndNumber) {
    for (int m = 0; m < VEHICLE_MAKE_COUNT; ++m) {
        for (uint32_t i = 0; i < vehicle_makes[m].count; ++i) {
            const VehicleModel& row = vehicle_makes[m].models[i];
            const VehicleMatch match = find_vehicle(row.level, row.number, row.min_firmware);
            EXPECT_TRUE(match.found && match.make == m && match.model == int(i)) << row.number;
            if (row.alt_level != 0) {
                const VehicleMatch alt = find_vehicle(row.alt_level, row.number, row.min_firmware);
                EXPECT_TRUE(alt.found && alt.make == m && alt.model == int(i)) << row.number;
            }
        }
    }
}

}  // namespace
