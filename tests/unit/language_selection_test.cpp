// Start-up language selection and the restart command.
#include "i18n/languages.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "temp_folder.h"

namespace {

// Sets or clears an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Each test runs with its own empty profile folder (where save_settings writes), no
// locale variables, an empty stored language code and English selected.
class LanguageSelection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(profile_.path().empty());
        setenv("USERPROFILE", profile_.path().c_str(), 1);
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        unsetenv("LANG");
        saved_ = settings;
        std::memset(settings.language_code, 0, sizeof settings.language_code);
        set_current_language(LANGUAGE_ENGLISH);
    }
    void TearDown() override {
        settings = saved_;
        set_current_language(LANGUAGE_ENGLISH);
    }

    void select(std::vector<const char*> args) {
        args.insert(args.begin(), "/opt/qv450/qv450");
        select_language(int(args.size()), args.data());
    }

    // The settings file as save_settings left it; "<missing>" when there is none.
    std::string settings_file() const { return profile_.get(".qv450rc"); }
    // The language code stored in the settings file (the text after the flag byte).
    std::string saved_code() const {
        const std::string bytes = settings_file();
        if (bytes == "<missing>" || bytes.size() < 2) return "<missing>";
        return std::string(bytes.c_str() + 1);
    }

    TempFolder profile_;
    Settings saved_;
    ScopedEnv keep_profile_{"USERPROFILE", getenv("USERPROFILE")};
    ScopedEnv keep_lc_all_{"LC_ALL", getenv("LC_ALL")};
    ScopedEnv keep_lc_messages_{"LC_MESSAGES", getenv("LC_MESSAGES")};
    ScopedEnv keep_lang_{"LANG", getenv("LANG")};
};

std::vector<std::string> arguments(const platform::ProcessCommand& command) {
    std::vector<std::string> result;
    for (int i = 0; i < command.argc; ++i) result.emplace_back(command.argv[i]);
    EXPECT_EQ(command.argv[command.argc], nullptr);
    return result;
}

}  // namespace

TEST(RequestedLanguage, FirstLangSwitchBeforeTheLastArgument) {
    const char* a[] = {"prog", "--lang", "pl"};
    EXPECT_STREQ(requested_language(3, a), "pl");
    const char* b[] = {"prog", "-x", "--lang", "de", "--lang", "ru"};
    EXPECT_STREQ(requested_language(6, b), "de");
    const char* c[] = {"prog", "de", "--lang"};
    EXPECT_EQ(requested_language(3, c), nullptr);
    const char* d[] = {"--lang", "pl"};  // argv[0] is the program, never the switch
    EXPECT_EQ(requested_language(2, d), nullptr);
    const char* e[] = {"prog", "--LANG", "pl", "-lang", "pl"};
    EXPECT_EQ(requested_language(5, e), nullptr);
    const char* f[] = {"prog", "--lang", "--lang", "cs"};
    EXPECT_STREQ(requested_language(4, f), "--lang");
    EXPECT_EQ(requested_language(1, a), nullptr);
    EXPECT_EQ(requested_language(0, nullptr), nullptr);
}

TEST_F(LanguageSelection, LangSwitchSelectsStoresAndSaves) {
    select({"--lang", "pl"});
    EXPECT_EQ(current_language_index(), LANGUAGE_POLISH);
    EXPECT_STREQ(message_text(0), "Tak");
    EXPECT_STREQ(settings.language_code, "pl");
    EXPECT_EQ(saved_code(), "pl");
}

TEST_F(LanguageSelection, LangSwitchWithRegionSuffix) {
    select({"--lang", "pl_PL"});
    EXPECT_EQ(current_language_index(), LANGUAGE_POLISH);
    EXPECT_STREQ(settings.language_code, "pl_PL");
    EXPECT_EQ(saved_code(), "pl_PL");

    select({"--lang", "ja_JP_extra"});
    EXPECT_EQ(current_language_index(), find_language("ja"));
    EXPECT_STREQ(settings.language_code, "ja_JP_extra");
}

TEST_F(LanguageSelection, UnknownLangSwitchSelectsEnglishButIsStoredAndSaved) {
    set_current_language(LANGUAGE_POLISH);
    select({"--lang", "xx"});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "xx");
    EXPECT_EQ(saved_code(), "xx");
    switch_language("en");  // English is current: nothing happens
}

TEST_F(LanguageSelection, CodesCompareCaseSensitively) {
    select({"--lang", "PL"});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "PL");
}

TEST_F(LanguageSelection, EmptyLangValueSelectsEnglish) {
    std::strcpy(settings.language_code, "de");
    select({"--lang", ""});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "");
}

TEST_F(LanguageSelection, LangSwitchBeatsStoredCodeAndLocale) {
    std::strcpy(settings.language_code, "de");
    setenv("LANG", "cs_CZ.UTF-8", 1);
    select({"-v", "--lang", "ru", "--lang", "bg"});
    EXPECT_EQ(current_language_index(), LANGUAGE_RUSSIAN);
    EXPECT_STREQ(settings.language_code, "ru");
}

TEST_F(LanguageSelection, LangSwitchInLastPositionIsIgnored) {
    std::strcpy(settings.language_code, "de");
    select({"--lang"});
    EXPECT_EQ(current_language_index(), find_language("de"));
    EXPECT_STREQ(settings.language_code, "de");
    EXPECT_EQ(settings_file(), "<missing>");  // only a "--lang" request saves

    std::memset(settings.language_code, 0, sizeof settings.language_code);
    setenv("LANG", "sk_SK.UTF-8", 1);
    select({"pl", "--lang"});
    EXPECT_EQ(current_language_index(), find_language("sk"));
}

TEST_F(LanguageSelection, OverlongLangValueIsCutToTheField) {
    // A settings record laid out in memory: the fields around language_code must stay.
    settings.check_updates_at_startup = 0x5A;
    const char* folder = "/some/folder";
    settings.firmware_folder = folder;

    const std::string longest(300, 'q');
    select({"--lang", longest.c_str()});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_EQ(std::strlen(settings.language_code), size_t(LANGUAGE_CODE_SIZE - 1));
    EXPECT_EQ(std::string(settings.language_code), longest.substr(0, LANGUAGE_CODE_SIZE - 1));
    EXPECT_EQ(settings.check_updates_at_startup, 0x5A);
    EXPECT_EQ(settings.firmware_folder, folder);
    EXPECT_EQ(saved_code(), longest.substr(0, LANGUAGE_CODE_SIZE - 1));

    // The candidate itself is cut at "_" before the comparison: a long region still matches.
    const std::string polish_long = "pl_" + std::string(200, 'X');
    select({"--lang", polish_long.c_str()});
    EXPECT_EQ(current_language_index(), LANGUAGE_POLISH);
    EXPECT_EQ(std::string(settings.language_code), polish_long.substr(0, LANGUAGE_CODE_SIZE - 1));
    EXPECT_EQ(settings.check_updates_at_startup, 0x5A);
}

TEST_F(LanguageSelection, StoredCodeDecidesWithoutLangSwitch) {
    std::strcpy(settings.language_code, "ru_RU");
    setenv("LANG", "de_DE.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_RUSSIAN);
    EXPECT_STREQ(settings.language_code, "ru_RU");
    EXPECT_EQ(settings_file(), "<missing>");
}

TEST_F(LanguageSelection, UnknownStoredCodeSelectsEnglish) {
    std::strcpy(settings.language_code, "es");
    select({"--other"});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "es");
}

TEST_F(LanguageSelection, UnterminatedStoredCodeIsReadWithinItsField) {
    std::memset(settings.language_code, 'z', sizeof settings.language_code);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_EQ(std::string(settings.language_code), std::string(LANGUAGE_CODE_SIZE - 1, 'z'));
}

TEST_F(LanguageSelection, LocaleDecidesWhenNothingIsStored) {
    setenv("LANG", "de_DE.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), find_language("de"));
    EXPECT_STREQ(settings.language_code, "de");       // kept for the next save
    EXPECT_EQ(settings_file(), "<missing>");          // but not saved now
}

TEST_F(LanguageSelection, LocalePolishWithEncoding) {
    setenv("LANG", "pl_PL.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_POLISH);
    EXPECT_STREQ(settings.language_code, "pl");
}

TEST_F(LanguageSelection, LocalePrecedenceLcAllThenLcMessagesThenLang) {
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_MESSAGES", "cs_CZ.UTF-8", 1);
    setenv("LC_ALL", "el_GR.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), find_language("el"));

    std::memset(settings.language_code, 0, sizeof settings.language_code);
    setenv("LC_ALL", "", 1);  // empty: the next one decides
    select({});
    EXPECT_EQ(current_language_index(), find_language("cs"));

    std::memset(settings.language_code, 0, sizeof settings.language_code);
    unsetenv("LC_MESSAGES");
    select({});
    EXPECT_EQ(current_language_index(), find_language("de"));
}

TEST_F(LanguageSelection, CLocaleSelectsEnglishAndStoresNothing) {
    setenv("LANG", "pl_PL.UTF-8", 1);
    setenv("LC_ALL", "C", 1);  // the deciding value names no language
    set_current_language(LANGUAGE_POLISH);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "");

    setenv("LC_ALL", "POSIX", 1);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "");

    unsetenv("LC_ALL");
    unsetenv("LANG");
    select({});  // no locale at all
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "");
}

TEST_F(LanguageSelection, LocaleFrenchSelectsFrenchWithEnglishTexts) {
    setenv("LANG", "fr_FR.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), find_language("fr"));
    EXPECT_STREQ(message_text(22), "Cancel");
}

TEST_F(LanguageSelection, LocaleOfAnUnlistedLanguageSelectsEnglish) {
    setenv("LANG", "es_ES.UTF-8", 1);
    select({});
    EXPECT_EQ(current_language_index(), LANGUAGE_ENGLISH);
    EXPECT_STREQ(settings.language_code, "es");
}

TEST_F(LanguageSelection, RecordsTheResolvedProgramPath) {
    char expected[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
    ASSERT_GT(n, 0);
    expected[n] = '\0';
    select({});
    EXPECT_STREQ(program_path(), expected);
}

TEST(RestartCommand, WithLanguageCode) {
    platform::ProcessCommand command;
    ASSERT_TRUE(build_restart_command("/opt/qv450/qv450", "de", &command));
    EXPECT_EQ(arguments(command), (std::vector<std::string>{"/opt/qv450/qv450", "--lang", "de"}));
}

TEST(RestartCommand, WithoutLanguageCode) {
    platform::ProcessCommand command;
    ASSERT_TRUE(build_restart_command("/opt/my programs/qv450", nullptr, &command));
    EXPECT_EQ(arguments(command), (std::vector<std::string>{"/opt/my programs/qv450"}));
}

TEST(RestartCommand, OverlongCodeIsCutWithinTheBuffer) {
    platform::ProcessCommand command;
    const std::string path = "/p/" + std::string(platform::PROCESS_COMMAND_SIZE - 100, 'd') + "/qv450";
    const std::string code(500, 'c');
    ASSERT_TRUE(build_restart_command(path.c_str(), code.c_str(), &command));
    const auto args = arguments(command);
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0], path);
    EXPECT_EQ(args[1], "--lang");
    const size_t room = platform::PROCESS_COMMAND_SIZE - (path.size() + 1) - 7 - 1;
    EXPECT_EQ(args[2], code.substr(0, room));
    EXPECT_EQ(command.argv[2] + args[2].size() + 1, command.text + platform::PROCESS_COMMAND_SIZE);
}

TEST(RestartCommand, ProgramPathThatDoesNotFitGivesNoCommand) {
    platform::ProcessCommand command;
    const std::string path(platform::PROCESS_COMMAND_SIZE, 'p');
    EXPECT_FALSE(build_restart_command(path.c_str(), "pl", &command));
    EXPECT_EQ(command.argc, 0);
    EXPECT_EQ(command.argv[0], nullptr);
}
