// Folders of the installation a program belongs to, found from the program's path.
#include <gtest/gtest.h>

#include <string>

#include "platform/program_path.h"

namespace {

struct FolderCase {
    const char* program;
    const char* tail;
    const char* expected;  // nullptr: refused
};

TEST(InstallationFolder, PrefixIsThePathLessTheProgramAndItsFolder) {
    const FolderCase cases[] = {
        {"/opt/qv450/bin/qv450", "firmware/", "/opt/qv450/firmware/"},
        {"/work/build/bin/qv450", "share/themes/", "/work/build/share/themes/"},
        {"/bin/qv450", "firmware/", "/firmware/"},
        {"a/b/qv450", "firmware/", "a/firmware/"},
        {"/qv450", "firmware/", nullptr},
        {"qv450", "firmware/", nullptr},
        {"", "firmware/", nullptr},
        {nullptr, "firmware/", nullptr},
    };
    for (const FolderCase& c : cases) {
        char out[64] = "x";
        const bool ok = platform::installation_folder(c.program, c.tail, out, sizeof out);
        EXPECT_EQ(ok, c.expected != nullptr) << (c.program ? c.program : "null");
        EXPECT_EQ(std::string(out), c.expected ? c.expected : "") << (c.program ? c.program : "null");
    }
}

TEST(InstallationFolder, ResultThatDoesNotFitIsRefusedAndEmptied) {
    char out[20] = "x";
    EXPECT_FALSE(platform::installation_folder("/opt/qv450/bin/qv450", "firmware/", out, sizeof out));
    EXPECT_STREQ(out, "");
    char exact[21];  // "/opt/qv450/firmware/" is 20 characters
    EXPECT_TRUE(platform::installation_folder("/opt/qv450/bin/qv450", "firmware/", exact, sizeof exact));
}

}  // namespace
