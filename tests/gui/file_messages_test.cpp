// The whole-file helpers tell the user about files they cannot open or write.
#include "files/file_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <string>

#include "gui/gui_test_support.h"
#include "i18n/messages.h"
#include "ui/dialogs.h"

namespace {

class FileMessages : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_GUI(); }
    void TearDown() override {
        close_message_window();
        process_pending_events();
    }
    static std::string formatted(int id, const std::string& path) {
        gchar* text = g_strdup_printf(message_text(id), path.c_str());
        std::string result = text;
        g_free(text);
        return result;
    }
    static std::vector<std::string> message_texts() {
        return message_window ? label_texts(message_window) : std::vector<std::string>{};
    }
};

TEST_F(FileMessages, UnopenableFileShowsTheOpeningErrorWithThePath) {
    const std::string fifo = gui_test_home() + "/a fifo.cfg";
    ASSERT_TRUE(mkfifo(fifo.c_str(), 0600) == 0 || errno == EEXIST);
    for (const std::string& path : {gui_test_home() + "/no such file.cfg", fifo}) {
        close_message_window();
        char buffer[8];
        EXPECT_EQ(read_whole_file(buffer, path.c_str(), sizeof buffer), 0);
        ASSERT_NE(message_window, nullptr);
        const auto texts = message_texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), formatted(102, path)), texts.end()) << path;
    }
}

TEST_F(FileMessages, UnwritableFileShowsTheWritingErrorWithThePath) {
    const std::string path = gui_test_home() + "/missing folder/out.cfg";
    EXPECT_FALSE(write_whole_file("x", path.c_str(), 1));
    ASSERT_NE(message_window, nullptr);
    const auto texts = message_texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), formatted(101, path)), texts.end());
}

TEST_F(FileMessages, SuccessShowsNothing) {
    const std::string path = gui_test_home() + "/written.cfg";
    EXPECT_TRUE(write_whole_file("abc", path.c_str(), 3));
    char buffer[8];
    EXPECT_EQ(read_whole_file(buffer, path.c_str(), sizeof buffer), 3);
    EXPECT_EQ(message_window, nullptr);
}

}  // namespace
