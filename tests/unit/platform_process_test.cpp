// The platform stand-ins for language selection: the user's language, the program path and the
// restart command; opening the downloaded installer.
#include "platform/installer.h"
#include "platform/locale.h"
#include "platform/process.h"
#include "platform/program_path.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "unit/temp_folder.h"

namespace {

std::string language(const char* lc_all, const char* lc_messages, const char* lang,
                     bool expect_found = true) {
    char out[100] = "garbage";
    const bool found = platform::language_from_locale(lc_all, lc_messages, lang, out, sizeof out);
    EXPECT_EQ(found, expect_found) << (lc_all ? lc_all : "-") << " " << (lc_messages ? lc_messages : "-")
                                   << " " << (lang ? lang : "-");
    if (!found) {
        EXPECT_STREQ(out, "");
    }
    return out;
}

}  // namespace

TEST(Locale, LanguagePartOfTheDecidingValue) {
    EXPECT_EQ(language(nullptr, nullptr, "pl_PL.UTF-8"), "pl");
    EXPECT_EQ(language(nullptr, nullptr, "de"), "de");
    EXPECT_EQ(language(nullptr, nullptr, "de.UTF-8"), "de");
    EXPECT_EQ(language(nullptr, nullptr, "sr@latin"), "sr");
    EXPECT_EQ(language(nullptr, nullptr, "en_GB@euro"), "en");
    EXPECT_EQ(language(nullptr, nullptr, "es_ES"), "es");
}

TEST(Locale, PrecedenceLcAllLcMessagesLang) {
    EXPECT_EQ(language("el_GR.UTF-8", "cs_CZ", "de_DE"), "el");
    EXPECT_EQ(language("", "cs_CZ", "de_DE"), "cs");
    EXPECT_EQ(language(nullptr, "cs_CZ", "de_DE"), "cs");
    EXPECT_EQ(language(nullptr, "", "de_DE"), "de");
}

TEST(Locale, NoLanguage) {
    language(nullptr, nullptr, nullptr, false);
    language("", "", "", false);
    language("C", "pl_PL", "pl_PL", false);  // LC_ALL decides, and names none
    language(nullptr, "POSIX", "pl_PL", false);
    language(nullptr, nullptr, "C.UTF-8", false);
    language(nullptr, nullptr, "_PL", false);
    language(nullptr, nullptr, ".UTF-8", false);
}

TEST(Locale, CutToTheBuffer) {
    char small[3];
    EXPECT_TRUE(platform::language_from_locale(nullptr, nullptr, "pl_PL", small, sizeof small));
    EXPECT_STREQ(small, "pl");
    char tiny[2] = {'x', 'x'};
    EXPECT_TRUE(platform::language_from_locale(nullptr, nullptr, "pl_PL", tiny, sizeof tiny));
    EXPECT_STREQ(tiny, "p");
    const std::string long_value(300, 'a');
    char out[100];
    EXPECT_TRUE(platform::language_from_locale(nullptr, nullptr, long_value.c_str(), out, sizeof out));
    EXPECT_EQ(std::string(out), long_value.substr(0, 99));
    EXPECT_FALSE(platform::language_from_locale(nullptr, nullptr, "pl", out, 0));
}

TEST(Locale, ReadsTheEnvironment) {
    const std::string old_all = getenv("LC_ALL") ? getenv("LC_ALL") : "";
    const std::string old_messages = getenv("LC_MESSAGES") ? getenv("LC_MESSAGES") : "";
    const std::string old_lang = getenv("LANG") ? getenv("LANG") : "";
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "lt_LT.UTF-8", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    char out[100];
    EXPECT_TRUE(platform::user_language(out, sizeof out));
    EXPECT_STREQ(out, "lt");
    setenv("LC_ALL", old_all.c_str(), 1);
    setenv("LC_MESSAGES", old_messages.c_str(), 1);
    setenv("LANG", old_lang.c_str(), 1);
}

TEST(ProgramPath, ResolvedExecutable) {
    char expected[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
    ASSERT_GT(n, 0);
    expected[n] = '\0';
    char out[PATH_MAX];
    EXPECT_TRUE(platform::program_path("qv450", out, sizeof out));
    EXPECT_STREQ(out, expected);
    EXPECT_EQ(out[0], '/');
}

TEST(ProgramPath, FallsBackToArgv0CutToFit) {
    char small[4];  // too small for the resolved path
    EXPECT_FALSE(platform::program_path("ab", small, sizeof small));
    EXPECT_STREQ(small, "ab");
    EXPECT_FALSE(platform::program_path("./qv450", small, sizeof small));
    EXPECT_STREQ(small, "./q");
    EXPECT_FALSE(platform::program_path(nullptr, small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(ProcessCommand, ExecutableAndArguments) {
    platform::ProcessCommand command;
    const char* args[] = {"--lang", nullptr, "x"};
    ASSERT_TRUE(platform::build_process_command("/bin/qv450", args, 3, &command));
    ASSERT_EQ(command.argc, 4);
    EXPECT_STREQ(command.argv[0], "/bin/qv450");
    EXPECT_STREQ(command.argv[1], "--lang");
    EXPECT_STREQ(command.argv[2], "");
    EXPECT_STREQ(command.argv[3], "x");
    EXPECT_EQ(command.argv[4], nullptr);
}

TEST(ProcessCommand, AtMostTheArgumentSlots) {
    platform::ProcessCommand command;
    const char* args[20];
    for (auto& a : args) a = "a";
    ASSERT_TRUE(platform::build_process_command("/bin/qv450", args, 20, &command));
    EXPECT_EQ(command.argc, platform::PROCESS_MAX_ARGUMENTS);
    EXPECT_EQ(command.argv[platform::PROCESS_MAX_ARGUMENTS], nullptr);
}

TEST(ProcessCommand, ArgumentsBeyondTheBufferAreDropped) {
    platform::ProcessCommand command;
    const std::string exe(platform::PROCESS_COMMAND_SIZE - 2, 'e');  // leaves one byte
    const char* args[] = {"--lang", "pl"};
    ASSERT_TRUE(platform::build_process_command(exe.c_str(), args, 2, &command));
    EXPECT_EQ(command.argc, 1);
    EXPECT_EQ(std::string(command.argv[0]), exe);
    EXPECT_EQ(command.argv[1], nullptr);
}

TEST(ProcessCommand, ExecutableMustFitWhole) {
    platform::ProcessCommand command;
    const std::string exe(platform::PROCESS_COMMAND_SIZE - 1, 'e');  // exactly fits
    EXPECT_TRUE(platform::build_process_command(exe.c_str(), nullptr, 0, &command));
    EXPECT_EQ(command.argc, 1);
    const std::string longer(platform::PROCESS_COMMAND_SIZE, 'e');
    EXPECT_FALSE(platform::build_process_command(longer.c_str(), nullptr, 0, &command));
    EXPECT_EQ(command.argc, 0);
}

TEST(Installer, NotOpenedWhenNothingOnTheDesktopCanOpenIt) {
    TempFolder bin;
    const std::string path = std::getenv("PATH");
    setenv("PATH", bin.path().c_str(), 1);
    EXPECT_FALSE(platform::open_installer("/tmp/qv450.deb")) << "no xdg-open at all";
    for (const auto& run : {std::make_pair("exit 3", false), std::make_pair("exit 0", true)}) {
        bin.put("xdg-open", std::string("#!/bin/sh\n") + run.first + "\n");
        chmod(bin.file("xdg-open").c_str(), 0755);
        EXPECT_EQ(platform::open_installer("/tmp/qv450.deb"), run.second) << run.first;
    }
    setenv("PATH", path.c_str(), 1);
}
