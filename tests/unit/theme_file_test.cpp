// Themes without the toolkit: the theme folder beside the program, its listing with
// order and limits, and the resource file written whole.
#include "app/theme_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "unit/temp_folder.h"

namespace {

// Sets an environment variable for the scope and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedVariable() {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

std::vector<std::string> names_of(const ThemeList& list) {
    return std::vector<std::string>(list.names, list.names + list.count);
}

std::vector<std::string> listed(const std::string& folder) {
    auto list = std::make_unique<ThemeList>();
    EXPECT_TRUE(list_theme_names(folder.c_str(), *list));
    return names_of(*list);
}

}  // namespace

TEST(ThemeFolder, DropsProgramAndItsFolderThenAddsShareThemes) {
    struct Case {
        const char* program;
        const char* folder;
    };
    const Case cases[] = {
        {"/usr/bin/qv450", "/usr/share/themes/"},
        {"/opt/velmora/bin/qv450", "/opt/velmora/share/themes/"},
        {"/bin/qv450", "/share/themes/"},
        {"tools/bin/qv450", "tools/share/themes/"},
        {"/a/b/", "/a/share/themes/"},
    };
    for (const Case& c : cases) {
        char out[256];
        EXPECT_TRUE(theme_folder_for_program(c.program, out, sizeof out)) << c.program;
        EXPECT_STREQ(out, c.folder) << c.program;
    }
}

TEST(ThemeFolder, PathsWithoutTwoSlashesOrTooLongGiveNone) {
    for (const char* program : {"qv450", "bin/qv450", "/qv450", "", static_cast<const char*>(nullptr)}) {
        char out[256] = "stale";
        EXPECT_FALSE(theme_folder_for_program(program, out, sizeof out)) << (program ? program : "null");
        EXPECT_STREQ(out, "");
    }
    char small[18] = "stale";  // "/usr/share/themes/" needs 19 with its terminator
    EXPECT_FALSE(theme_folder_for_program("/usr/bin/qv450", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(ThemeList, SortsByteWiseUpperCaseFirst) {
    TempFolder themes;
    for (const char* name : {"bluecurve", "Raleigh", "MS-Windows"}) {
        ASSERT_EQ(mkdir(themes.file(name).c_str(), 0755), 0);
    }
    EXPECT_EQ(listed(themes.path()), (std::vector<std::string>{"MS-Windows", "Raleigh", "bluecurve"}));
}

TEST(ThemeList, KeepsFilesAndFoldersButNotHiddenEntries) {
    TempFolder themes;
    ASSERT_EQ(mkdir(themes.file("Folder").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(themes.file(".hidden-folder").c_str(), 0755), 0);
    themes.put("plain-file", "x");
    themes.put(".hidden", "x");
    EXPECT_EQ(listed(themes.path()), (std::vector<std::string>{"Folder", "plain-file"}));
}

TEST(ThemeList, EmptyFolderGivesEmptyListMissingFolderGivesNone) {
    TempFolder themes;
    EXPECT_TRUE(listed(themes.path()).empty());
    auto list = std::make_unique<ThemeList>();
    list->count = 3;
    EXPECT_FALSE(list_theme_names(themes.file("missing").c_str(), *list));
    EXPECT_EQ(list->count, 0);
    EXPECT_FALSE(list_theme_names(nullptr, *list));
    themes.put("a-file", "x");
    EXPECT_FALSE(list_theme_names(themes.file("a-file").c_str(), *list));
}

TEST(ThemeList, NamesOverNinetyNineBytesUnquotableOrNotUtf8AreSkipped) {
    TempFolder themes;
    const std::string longest(99, 'a');
    themes.put(longest, "");
    themes.put(std::string(100, 'b'), "");
    themes.put("quote\"name", "");
    themes.put("back\\slash", "");
    themes.put("new\nline", "");
    themes.put("Ünïcode", "");
    themes.put("latin1-\xe9", "");
    EXPECT_EQ(listed(themes.path()), (std::vector<std::string>{longest, "Ünïcode"}));
}

TEST(ThemeList, KeepsTheFiveHundredSmallestNamesWhateverTheirOrder) {
    auto forwards = std::make_unique<ThemeList>();
    auto backwards = std::make_unique<ThemeList>();
    std::vector<std::string> names;
    for (int i = 0; i < 700; ++i) names.push_back("theme-" + std::to_string(1000 + i));
    for (const std::string& name : names) add_theme_name(*forwards, name.c_str());
    for (auto it = names.rbegin(); it != names.rend(); ++it) add_theme_name(*backwards, it->c_str());
    const std::vector<std::string> expected(names.begin(), names.begin() + THEME_LIST_CAPACITY);
    EXPECT_EQ(names_of(*forwards), expected);
    EXPECT_EQ(names_of(*backwards), expected);
}

TEST(ThemeFile, ThreeLinesWithTheSameQuotedName) {
    char text[512];
    const int length = format_theme_file("Raleigh", text, sizeof text);
    const std::string expected =
        "gtk-theme-name = \"Raleigh\"\n"
        "gtk-cursor-theme-name = \"Raleigh\"\n"
        "gtk-icon-theme-name = \"Raleigh\"\n";
    EXPECT_EQ(std::string(text, size_t(length)), expected);
    char small[20];
    EXPECT_EQ(format_theme_file("Raleigh", small, sizeof small), -1);
}

TEST(ThemeFile, WrittenWholeInTheProfileFolderReplacingTheOldOne) {
    TempFolder profile;
    ScopedVariable user_profile("USERPROFILE", profile.path().c_str());
    profile.put(".qvgrc-2.0", "an older and much longer theme file than the new one\n\n\n\n");
    ASSERT_TRUE(write_theme_file("MS-Windows"));
    EXPECT_EQ(profile.get(".qvgrc-2.0"),
              "gtk-theme-name = \"MS-Windows\"\n"
              "gtk-cursor-theme-name = \"MS-Windows\"\n"
              "gtk-icon-theme-name = \"MS-Windows\"\n");
    EXPECT_EQ(profile.names(), std::vector<std::string>{".qvgrc-2.0"});  // no temporary left
}

TEST(ThemeFile, FailedWriteKeepsTheOldFile) {
    TempFolder profile;
    ScopedVariable user_profile("USERPROFILE", profile.path().c_str());
    ASSERT_TRUE(write_theme_file("Raleigh"));
    const std::string before = profile.get(".qvgrc-2.0");
    {
        ScopedFileSizeLimit full_disk(10);
        EXPECT_FALSE(write_theme_file("bluecurve"));
    }
    EXPECT_EQ(profile.get(".qvgrc-2.0"), before);
    EXPECT_EQ(profile.names(), std::vector<std::string>{".qvgrc-2.0"});
}

TEST(ThemeFile, NoProfileFolderWritesNothing) {
    ScopedVariable user_profile("USERPROFILE", nullptr);
    ScopedVariable home("HOME", nullptr);
    EXPECT_FALSE(write_theme_file("Raleigh"));
}
