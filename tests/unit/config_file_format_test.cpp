// The configuration file's text: keys per view, line reading, lenient integers,
// writing, the ".cfg" name rule, and a bounded fuzz run of the reader.
#include "config/config_file_format.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs read_pairs(const std::string& bytes) {
    Pairs pairs;
    ConfigLineReader reader(bytes.data(), int(bytes.size()));
    ConfigLine line;
    while (reader.next(&line)) pairs.emplace_back(std::string(line.key, size_t(line.key_length)), line.value);
    return pairs;
}

std::vector<ConfigKey> keys_for(bool advanced) {
    std::vector<ConfigKey> keys(CONFIG_KEY_CAPACITY);
    keys.resize(size_t(config_keys(advanced, keys.data())));
    return keys;
}

std::string formatted(const std::vector<ConfigKey>& keys, const std::vector<int>& values) {
    char text[CONFIG_FILE_MAX + 1];
    const int length = format_config_text(keys.data(), values.data(), int(keys.size()), text, sizeof text);
    EXPECT_GE(length, 0);
    return length < 0 ? "" : std::string(text, size_t(length));
}

int count_of(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(ConfigKeys, CompactViewHasSignalAndIoPerPin) {
    const auto keys = keys_for(false);
    ASSERT_EQ(keys.size(), 28u);
    EXPECT_STREQ(keys[0].key, "carnumber");
    EXPECT_STREQ(keys[1].key, "canlevel");
    EXPECT_STREQ(keys[2].key, "J1_3_signal");
    EXPECT_STREQ(keys[3].key, "J1_3_iotype");
    EXPECT_STREQ(keys[4].key, "J1_4_signal");
    EXPECT_STREQ(keys[27].key, "J2_12_iotype");
    EXPECT_EQ(keys[27].pin, PIN_J2_12);
    EXPECT_EQ(keys[27].kind, KEY_IOTYPE);
}

TEST(ConfigKeys, AdvancedViewHasAllFourPerPinInOrder) {
    const auto keys = keys_for(true);
    ASSERT_EQ(keys.size(), 54u);
    const char* first_pin[] = {"J1_3_signal", "J1_3_inv", "J1_3_iotype", "J1_3_trigger"};
    const ConfigKeyKind kinds[] = {KEY_SIGNAL, KEY_INV, KEY_IOTYPE, KEY_TRIGGER};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(keys[size_t(2 + i)].key, first_pin[i]);
        EXPECT_EQ(keys[size_t(2 + i)].kind, kinds[i]);
        EXPECT_EQ(keys[size_t(2 + i)].pin, PIN_J1_3);
    }
    const char* pins[] = {"J1_3", "J1_4", "J2_2", "J2_3", "J2_4", "J2_5", "J2_6",
                          "J2_7", "J2_8", "J2_9", "J2_10", "J2_11", "J2_12"};
    for (int pin = 0; pin < PIN_COUNT; ++pin) {
        EXPECT_EQ(std::string(keys[size_t(2 + pin * 4)].key), std::string(pins[pin]) + "_signal");
    }
    EXPECT_STREQ(keys[53].key, "J2_12_trigger");
}

TEST(ConfigText, CompactFileBeginsAsTheAudiA1Example) {
    const auto keys = keys_for(false);
    std::vector<int> values(keys.size(), 0);
    values[0] = 16;
    values[1] = 3;
    values[2] = 4;
    const std::string text = formatted(keys, values);
    EXPECT_EQ(text.rfind("carnumber=16\r\ncanlevel=3\r\nJ1_3_signal=4\r\nJ1_3_iotype=0\r\nJ1_4_signal=0\r\n", 0), 0u);
    EXPECT_EQ(count_of(text, "\r\n"), 28);
    EXPECT_EQ(count_of(text, "\n"), 28);
    EXPECT_EQ(count_of(text, "_inv"), 0);
    EXPECT_EQ(count_of(text, "_trigger"), 0);
}

TEST(ConfigText, AdvancedFileHasFiftyFourLinesAndNegativeValues) {
    const auto keys = keys_for(true);
    std::vector<int> values(keys.size(), -1);
    const std::string text = formatted(keys, values);
    EXPECT_EQ(count_of(text, "\r\n"), 54);
    EXPECT_EQ(count_of(text, "=-1\r\n"), 54);
    EXPECT_EQ(text.substr(text.size() - 18), "J2_12_trigger=-1\r\n");
}

TEST(ConfigText, TextThatDoesNotFitIsRefusedWhole) {
    const auto keys = keys_for(true);
    const std::vector<int> values(keys.size(), INT_MIN);
    char big[CONFIG_FILE_MAX + 1];
    const int full = format_config_text(keys.data(), values.data(), int(keys.size()), big, sizeof big);
    ASSERT_GT(full, 0);
    ASSERT_LT(full, 2000);  // a full advanced file is far below the limit
    std::vector<char> exact(size_t(full) + 1);
    EXPECT_EQ(format_config_text(keys.data(), values.data(), int(keys.size()), exact.data(), full + 1), full);
    std::vector<char> short_by_one(size_t(full), 'x');
    EXPECT_EQ(format_config_text(keys.data(), values.data(), int(keys.size()), short_by_one.data(), full), -1);
    EXPECT_EQ(short_by_one[0], '\0');
    // More keys than CONFIG_FILE_MAX can hold, whatever the buffer.
    std::vector<ConfigKey> many(400, keys[53]);
    std::vector<int> many_values(many.size(), INT_MIN);
    std::vector<char> huge(20000);
    EXPECT_EQ(format_config_text(many.data(), many_values.data(), int(many.size()), huge.data(), int(huge.size())), -1);
}

TEST(ConfigLines, CrLfLfOnlyAndUnterminatedFilesReadTheSame) {
    const Pairs expected = {{"carnumber", "16"}, {"canlevel", "3"}, {"J1_3_signal", "4"}};
    EXPECT_EQ(read_pairs("carnumber=16\r\ncanlevel=3\r\nJ1_3_signal=4\r\n"), expected);
    EXPECT_EQ(read_pairs("carnumber=16\ncanlevel=3\nJ1_3_signal=4\n"), expected);
    EXPECT_EQ(read_pairs("carnumber=16\ncanlevel=3\nJ1_3_signal=4"), expected);
    EXPECT_EQ(read_pairs("carnumber=16\r\ncanlevel=3\r\nJ1_3_signal=4\r"), expected);
    EXPECT_EQ(read_pairs("car\rnumber=1\r6\r\r\ncanlevel=3\nJ1_3_signal=4"), expected);
}

TEST(ConfigLines, KeyIsTheTextBeforeTheFirstEquals) {
    struct Case {
        const char* text;
        Pairs expected;
    };
    const Case cases[] = {
        {"canlevel= 3", {{"canlevel", " 3"}}},
        {"carnumber =16", {{"carnumber ", "16"}}},
        {" canlevel=3", {{" canlevel", "3"}}},
        {"a=b=c", {{"a", "b=c"}}},
        {"=5", {{"", "5"}}},
        {"canlevel=", {{"canlevel", ""}}},
        {"no equals sign\n\n\nx=1", {{"x", "1"}}},
        {"", {}},
        {"\n\r\n", {}},
        {"CANLEVEL=3", {{"CANLEVEL", "3"}}},
        {"canlevel=3\ncanlevel=7", {{"canlevel", "3"}, {"canlevel", "7"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(read_pairs(c.text), c.expected) << c.text;
}

TEST(ConfigLines, OnlyTheFirst255CharactersOfALineCount) {
    const std::string key(250, 'k');
    // The value is cut at the 255th character; the rest is not a line of its own.
    EXPECT_EQ(read_pairs(key + "=1234567890=x=y\ncanlevel=3"),
              (Pairs{{key, "1234"}, {"canlevel", "3"}}));
    // An "=" beyond the significant part does not make a pair.
    EXPECT_EQ(read_pairs(std::string(255, 'k') + "=1\ncanlevel=3"), (Pairs{{"canlevel", "3"}}));
    // CRs do not count against the limit.
    EXPECT_EQ(read_pairs(std::string(300, '\r') + key + "=1234\r"), (Pairs{{key, "1234"}}));
}

TEST(ConfigLines, ZeroBytesAndMalformedUtf8) {
    const std::string with_zero_in_key("canlevel\0x=3", 12);
    const Pairs read = read_pairs(with_zero_in_key);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].first, std::string("canlevel\0x", 10));
    ConfigKey canlevel = {"canlevel", KEY_CANLEVEL, -1};
    EXPECT_FALSE(config_key_matches(canlevel, "canlevel\0x", 10));
    EXPECT_TRUE(config_key_matches(canlevel, "canlevel", 8));
    EXPECT_FALSE(config_key_matches(canlevel, "canleve", 7));
    EXPECT_EQ(read_pairs(std::string("canlevel=3\0" "9", 12)), (Pairs{{"canlevel", "3"}}));
    EXPECT_EQ(read_pairs("canlevel=3\xff" "9"), (Pairs{{"canlevel", "3"}}));
    EXPECT_EQ(read_pairs("canlevel=3\xc3"), (Pairs{{"canlevel", "3"}}));
    EXPECT_EQ(read_pairs("canlevel=\xc3\xa9" "3"), (Pairs{{"canlevel", "\xc3\xa9" "3"}}));
}

TEST(ConfigInteger, LenientDecimalReading) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"3", 3},           {" 3", 3},         {"\t 17", 17},      {"+5", 5},
        {"-7", -7},         {"12abc", 12},     {"3 4", 3},         {"abc", 0},
        {"", 0},            {"-", 0},          {"+", 0},           {" - 3", 0},
        {"--3", 0},         {"0x1F", 0},       {"007", 7},         {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},  {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN}, {"-99999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(config_integer_value(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(config_integer_value(nullptr), 0);
}

TEST(ConfigFileName, CfgAppendedUnlessAlreadyLowerOrUpperCase) {
    struct Case {
        const char* chosen;
        const char* saved;
    };
    const Case cases[] = {
        {"/tmp/conf", "/tmp/conf.cfg"},          {"/tmp/conf.CFG", "/tmp/conf.CFG"},
        {"/tmp/conf.Cfg", "/tmp/conf.Cfg.cfg"},  {"/tmp/conf.cfg", "/tmp/conf.cfg"},
        {"/tmp/conf.cfg.txt", "/tmp/conf.cfg.txt.cfg"}, {"/tmp/cfg", "/tmp/cfg.cfg"},
        {"", ".cfg"},
    };
    for (const Case& c : cases) EXPECT_EQ(config_file_name(c.chosen), c.saved) << c.chosen;
}

TEST(ConfigText, WrittenValuesReadBackTheSame) {
    std::mt19937 random(450);
    for (bool advanced : {false, true}) {
        const auto keys = keys_for(advanced);
        std::vector<int> values(keys.size());
        for (int& v : values) v = int(random() % 2000000000u) - 1000000000;
        const Pairs read = read_pairs(formatted(keys, values));
        ASSERT_EQ(read.size(), keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(read[i].first, keys[i].key);
            EXPECT_EQ(config_integer_value(read[i].second.c_str()), values[i]);
        }
    }
}

// Bounded fuzz run: random bytes and mutations of a real file through the reader and
// the integer reading. The sanitizer build turns any overrun into a failure; the
// checks below are what must hold for every input.
TEST(ConfigFuzz, ReaderKeepsItsLimitsOnRandomAndMutatedInput) {
    std::mt19937 random(20240611);
    const auto keys = keys_for(true);
    std::vector<int> values(keys.size());
    for (size_t i = 0; i < values.size(); ++i) values[i] = int(i % 7);
    const std::string seed = formatted(keys, values);
    const char alphabet[] = "=\r\n\t -+0123456789canlevrumbJ_12signvotype\xc3\xa9\xff";
    for (int round = 0; round < 20000; ++round) {
        std::string input;
        if (round % 2 == 0) {
            const size_t length = random() % (round % 10 == 0 ? 9000 : 600);
            for (size_t i = 0; i < length; ++i) {
                input += random() % 4 ? alphabet[random() % (sizeof alphabet - 1)] : char(random());
            }
        } else {
            input = seed;
            const int edits = 1 + int(random() % 12);
            for (int e = 0; e < edits && !input.empty(); ++e) {
                const size_t at = random() % input.size();
                switch (random() % 4) {
                case 0: input[at] = char(random()); break;
                case 1: input.erase(at, 1 + random() % 40); break;
                case 2: input.insert(at, std::string(1 + random() % 300, alphabet[random() % 3])); break;
                default: input.insert(at, input.substr(random() % input.size(), 1 + random() % 80)); break;
                }
            }
        }
        // At most what a load reads.
        const int count = int(input.size() < size_t(CONFIG_FILE_MAX) ? input.size() : CONFIG_FILE_MAX);
        ConfigLineReader reader(input.data(), count);
        ConfigLine line;
        int lines = 0;
        while (reader.next(&line)) {
            ++lines;
            ASSERT_GE(line.key_length, 0);
            const size_t value_length = std::strlen(line.value);
            ASSERT_LE(size_t(line.key_length) + 1 + value_length, size_t(CONFIG_LINE_MAX));
            ASSERT_EQ(line.key[line.key_length], '\0');
            const std::string key(line.key, size_t(line.key_length));
            ASSERT_EQ(key.find_first_of("=\r\n"), std::string::npos);
            ASSERT_EQ(std::string(line.value).find_first_of("\r\n"), std::string::npos);
            ASSERT_TRUE(g_utf8_validate(line.value, -1, nullptr));
            const int number = config_integer_value(line.value);
            if (line.value[0] >= '0' && line.value[0] <= '9') {
                ASSERT_GE(number, 0);
            }
        }
        ASSERT_LE(lines, count_of(input.substr(0, size_t(count)), "\n") + 1);
        // The same bytes without any CR, or with CR LF line ends, read the same.
        std::string without_cr;
        for (char c : input.substr(0, size_t(count))) {
            if (c != '\r') without_cr += c;
        }
        std::string crlf;
        for (char c : without_cr) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        const Pairs original = read_pairs(input.substr(0, size_t(count)));
        ASSERT_EQ(read_pairs(without_cr), original);
        ASSERT_EQ(read_pairs(crlf), original);
    }
}
