// The event log's text: stamps, line ends, the cut at capacity.
#include "diag/event_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "unit/temp_folder.h"

namespace {

void log_text(LogDirection direction, const std::string& text) {
    log_message(direction, reinterpret_cast<const uint8_t*>(text.data()), int(text.size()));
}

std::string log_string() { return std::string(event_log.log_text, size_t(event_log.log_end)); }

const std::string STAMP = R"(\[\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\])";

// What the view would be told.
struct Seen {
    std::string last_line;
    int cuts = 0;
    int clears = 0;
    std::string failed_path;
};
Seen seen;

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        seen = Seen();
        event_log_hooks.appended = [](const char*, int, const char* last_line, bool cut) {
            seen.last_line = std::string(last_line);
            seen.cuts += cut;
        };
        event_log_hooks.cleared = [] { ++seen.clears; };
        event_log_hooks.file_failed = [](const char* path) { seen.failed_path = path; };
        clear_log();
        seen.clears = 0;
        event_log.line_start_pending = true;
    }
    void TearDown() override {
        close_log_file();
        event_log_hooks = EventLogHooks();
    }
};

TEST_F(EventLogTest, ModuleTextsContinueALineUntilItEnds) {
    log_text(LOG_RECEIVED, "* IGN ");
    log_text(LOG_RECEIVED, "on\n");
    log_text(LOG_RECEIVED, "next\r\n");
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">\\* IGN on\r\n" + STAMP + ">next\r\n")))
        << log_string();
}

TEST_F(EventLogTest, SentTextStartsOnALineOfItsOwn) {
    log_text(LOG_RECEIVED, "done\n");
    log_text(LOG_SENT, "\\x05 \\x01\n");
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">done\r\n\n" + STAMP + "<\\\\x05 \\\\x01\r\n")))
        << log_string();
}

TEST_F(EventLogTest, OnlyTheLowSevenBitsCountAndZeroEndsTheMessage) {
    const uint8_t bytes[] = {'a', 0x8A, 'b', 0x00, 'c'};
    log_message(LOG_RECEIVED, bytes, 5);
    EXPECT_TRUE(std::regex_match(log_string(), std::regex(STAMP + ">a\r\n" + STAMP + ">b"))) << log_string();
}

TEST_F(EventLogTest, StampTakesTwentyTwoCharacters) {
    log_text(LOG_RECEIVED, "x");
    EXPECT_EQ(event_log.log_end, LOG_STAMP_LENGTH + 1);
    EXPECT_EQ(event_log.log_text[LOG_STAMP_LENGTH - 1], '>');
}

TEST_F(EventLogTest, FullLogDropsItsOldestFiftyThousandBytes) {
    const std::string line(99, 'x');
    while (event_log.log_end < LOG_CAPACITY - LOG_MIN_FREE) log_text(LOG_RECEIVED, line);
    const int before = event_log.log_end;
    log_message(LOG_RECEIVED, nullptr, 0);  // an empty module text cuts as well
    EXPECT_EQ(seen.cuts, 1) << "the view hears of every cut";
    log_text(LOG_RECEIVED, "y");
    EXPECT_EQ(event_log.log_end, before - LOG_CUT + 1);
    EXPECT_EQ(event_log.log_text[event_log.log_end - 1], 'y');
    EXPECT_EQ(event_log.log_text[event_log.log_end], '\0');
}

TEST_F(EventLogTest, AMessageOfLineEndsNeverOverflowsTheLog) {
    // Each LF becomes CR LF plus a stamp: far more text than the 2048 bytes kept free.
    const std::string line_ends(4000, '\n');
    for (int i = 0; i < 5; ++i) log_text(LOG_RECEIVED, line_ends);
    EXPECT_LT(event_log.log_end, LOG_CAPACITY);
    EXPECT_EQ(event_log.log_text[event_log.log_end], '\0');
}

TEST_F(EventLogTest, ContinuedLineIsJudgedFromItsStampedStart) {
    log_text(LOG_RECEIVED, "first\n");
    log_text(LOG_RECEIVED, "1* DOOR ");
    log_text(LOG_RECEIVED, "opened\n");
    EXPECT_TRUE(std::regex_match(seen.last_line, std::regex(STAMP + ">1\\* DOOR opened\r\n"))) << seen.last_line;
    log_text(LOG_SENT, "x\n");
    EXPECT_TRUE(std::regex_match(seen.last_line, std::regex(STAMP + "<x\r\n"))) << seen.last_line;
}

TEST_F(EventLogTest, CutComesAtAboutOneHundredNinetyEightThousandBytes) {
    const std::string line(77, 'x');  // 101 bytes a line with stamp and CR LF
    int lines = 0;
    while (seen.cuts == 0) {
        log_text(LOG_RECEIVED, line + "\n");
        ++lines;
    }
    EXPECT_EQ(lines, 1961);  // 197960 bytes logged before it
    EXPECT_EQ(event_log.log_end, 1961 * 101 - LOG_CUT);
    EXPECT_EQ(std::string(event_log.log_text, 22).find('['), std::string::npos)
        << "the log starts inside a line once the oldest bytes are gone";
}

TEST_F(EventLogTest, ClearEmptiesTheTextButNotTheFile) {
    TempFolder folder;
    log_text(LOG_RECEIVED, "before\n");
    ASSERT_TRUE(open_log_file(folder.file("run.log").c_str()));
    clear_log();
    EXPECT_EQ(event_log.log_end, 0);
    EXPECT_EQ(seen.clears, 1);
    EXPECT_TRUE(log_file_open());
    log_text(LOG_RECEIVED, "after\n");
    EXPECT_TRUE(std::regex_match(folder.get("run.log"), std::regex(STAMP + ">before\r\n" + STAMP + ">after\r\n")));
}

TEST_F(EventLogTest, ChosenLogFileKeepsItsContentAndGetsTheWholeLog) {
    TempFolder folder;
    folder.put("old.log", "earlier run\r\n");
    log_text(LOG_RECEIVED, "one\n");
    ASSERT_TRUE(open_log_file(folder.file("old.log").c_str()));
    log_text(LOG_SENT, "two\n");
    close_log_file();
    log_text(LOG_RECEIVED, "not in the file\n");
    EXPECT_TRUE(std::regex_match(folder.get("old.log"),
                                 std::regex("earlier run\r\n" + STAMP + ">one\r\n\n" + STAMP + "<two\r\n")))
        << folder.get("old.log");
}

TEST_F(EventLogTest, LogFileThatCannotBeOpened) {
    TempFolder folder;
    EXPECT_FALSE(open_log_file(folder.path().c_str())) << "a folder";
    EXPECT_FALSE(open_log_file(folder.file("missing/x.log").c_str()));
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(open_log_file(folder.file("pipe").c_str())) << "a pipe, without hanging";
    log_text(LOG_RECEIVED, "something\n");
    EXPECT_FALSE(open_log_file("/dev/full")) << "the current log does not fit";
    EXPECT_FALSE(log_file_open());
}

TEST_F(EventLogTest, FullDiskStopsLoggingWithTheFilesName) {
    TempFolder folder;
    const std::string path = folder.file("full.log");
    ASSERT_TRUE(open_log_file(path.c_str()));
    {
        ScopedFileSizeLimit limit(100);
        log_text(LOG_RECEIVED, "fits\n");
        EXPECT_TRUE(log_file_open());
        log_text(LOG_RECEIVED, std::string(200, 'z') + "\n");
    }
    EXPECT_FALSE(log_file_open());
    EXPECT_EQ(seen.failed_path, path);
    EXPECT_NE(std::string(event_log.log_text).find(std::string(200, 'z')), std::string::npos)
        << "the log text keeps the line";
}

TEST_F(EventLogTest, ATerminalNobodyReadsStopsLoggingInsteadOfBlocking) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string terminal = ptsname(master);
    for (const std::string& path : {terminal, std::string("/dev/ptmx")}) {
        clear_log();
        ASSERT_TRUE(open_log_file(path.c_str())) << path;
        alarm(20);  // a blocked write ends the run rather than hang it
        for (int i = 0; i < 5000 && log_file_open(); ++i) log_text(LOG_RECEIVED, std::string(100, 't') + "\n");
        alarm(0);
        EXPECT_FALSE(log_file_open()) << path;
        EXPECT_EQ(seen.failed_path, path);
    }
    close(master);
}

TEST_F(EventLogTest, RemovedFolderStopsLogging) {
    std::string path;
    {
        TempFolder folder;
        path = folder.file("gone.log");
        ASSERT_TRUE(open_log_file(path.c_str()));
    }
    log_text(LOG_RECEIVED, "into the void\n");
    EXPECT_FALSE(log_file_open());
    EXPECT_EQ(seen.failed_path, path);
}

}  // namespace
