// The AUTOFLASH watch: first look, the 3-second rule, touched files, retries; file
// times since 1601 and the folder listing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/autoflash_watch.h"
#include "platform/folder_changes.h"
#include "unit/temp_folder.h"

namespace {

constexpr uint64_t SECOND = 10000000;  // 100 ns units

std::vector<std::string> flashed;
std::vector<std::string> reported;  // files said to be unreadable
AutoflashTry flash_result = AutoflashTry::DONE;
AutoflashTry record_flash(const char* path, bool report_not_opened) {
    flashed.push_back(path);
    if (flash_result == AutoflashTry::NOT_OPENED && report_not_opened) reported.push_back(path);
    return flash_result;
}

class Autoflash : public ::testing::Test {
protected:
    void SetUp() override {
        flashed.clear();
        reported.clear();
        flash_result = AutoflashTry::DONE;
        state.folder = "/watch";
    }
    void look(const std::vector<platform::FileStamp>& files, uint64_t now) {
        autoflash_look(state, files, now, record_flash);
    }
    AutoflashState state;
};

const uint64_t T0 = 130000000000000000ull;

TEST_F(Autoflash, FilesPresentAtTheFirstLookAreOnlyRecorded) {
    look({{"QV450_1605.bin", T0}}, T0 + 100 * SECOND);
    EXPECT_TRUE(flashed.empty());
    EXPECT_EQ(state.newest_time, T0);
    look({{"QV450_1605.bin", T0}}, T0 + 200 * SECOND);
    EXPECT_TRUE(flashed.empty());
}

TEST_F(Autoflash, NewFileIsFlashedOnceItIsThreeSecondsOld) {
    look({{"QV450_1605.bin", T0}}, T0 + SECOND);
    const uint64_t t1 = T0 + 10 * SECOND;
    const std::vector<platform::FileStamp> files = {{"QV450_1605.bin", T0}, {"new.bin", t1}};
    look(files, t1 + 3 * SECOND - 1);  // 29,999,999 units: not yet
    EXPECT_TRUE(flashed.empty());
    EXPECT_EQ(state.newest_time, T0);
    look(files, t1 + 3 * SECOND);
    EXPECT_EQ(flashed, std::vector<std::string>{"/watch/new.bin"});
    look(files, t1 + 10 * SECOND);  // done: not again
    EXPECT_EQ(flashed.size(), 1u);
}

TEST_F(Autoflash, TouchedOldFileIsFlashedAgain) {
    look({{"a.bin", T0}, {"b.bin", T0 + 1}}, T0 + SECOND);
    look({{"a.bin", T0 + 20 * SECOND}, {"b.bin", T0 + 1}}, T0 + 30 * SECOND);
    EXPECT_EQ(flashed, std::vector<std::string>{"/watch/a.bin"});
}

TEST_F(Autoflash, EmptyFolderAtTheFirstLookMakesTheFirstArrivalNew) {
    look({}, T0);
    EXPECT_EQ(state.newest_time, 1u);
    look({{"first.bin", T0 + SECOND}}, T0 + 5 * SECOND);
    EXPECT_EQ(flashed, std::vector<std::string>{"/watch/first.bin"});
}

TEST_F(Autoflash, BadFileIsTriedAgainAtEveryLook) {
    look({}, T0);
    flash_result = AutoflashTry::BAD_FILE;
    look({{"bad.bin", T0}}, T0 + 5 * SECOND);
    look({{"bad.bin", T0}}, T0 + 6 * SECOND);
    EXPECT_EQ(flashed.size(), 2u);
    flash_result = AutoflashTry::DONE;
    look({{"bad.bin", T0}}, T0 + 7 * SECOND);
    look({{"bad.bin", T0}}, T0 + 8 * SECOND);
    EXPECT_EQ(flashed.size(), 3u);
}

TEST_F(Autoflash, UnreadableFileIsReportedOnceForEachWriteTime) {
    look({}, T0);
    flash_result = AutoflashTry::NOT_OPENED;
    for (int i = 5; i < 8; ++i) look({{"locked.bin", T0}}, T0 + i * SECOND);
    look({{"locked.bin", T0 + 9 * SECOND}}, T0 + 20 * SECOND);
    EXPECT_EQ(flashed.size(), 4u);  // still tried, so a file made readable is flashed
    EXPECT_EQ(reported, (std::vector<std::string>{"/watch/locked.bin", "/watch/locked.bin"}));
}

TEST_F(Autoflash, FolderIsListedOnlyWhenChangedOrAFileIsDueToSettle) {
    EXPECT_TRUE(autoflash_due(state, false, T0));  // the first look
    look({}, T0);
    EXPECT_FALSE(autoflash_due(state, false, T0 + 100 * SECOND));
    EXPECT_TRUE(autoflash_due(state, true, T0));
    look({{"new.bin", T0 + SECOND}}, T0 + 2 * SECOND);
    EXPECT_FALSE(autoflash_due(state, false, T0 + 4 * SECOND - 1));
    EXPECT_TRUE(autoflash_due(state, false, T0 + 4 * SECOND));
    look({{"new.bin", T0 + SECOND}}, T0 + 4 * SECOND);
    EXPECT_EQ(flashed.size(), 1u);
    EXPECT_FALSE(autoflash_due(state, false, T0 + 100 * SECOND));
}

TEST_F(Autoflash, FileDatedInTheFutureWaitsUntilItHasSettled) {
    look({}, T0);
    look({{"future.bin", T0 + 100 * SECOND}}, T0);
    EXPECT_TRUE(flashed.empty());
    look({{"future.bin", T0 + 100 * SECOND}}, T0 + 104 * SECOND);
    EXPECT_EQ(flashed.size(), 1u);
}

TEST(FileTimes, UnixTimesCountFrom1601In100NanosecondUnits) {
    EXPECT_EQ(platform::file_time_from_unix(0, 0), 116444736000000000ull);
    EXPECT_EQ(platform::file_time_from_unix(1, 150), 116444736000000000ull + 10000000ull + 1);
    EXPECT_EQ(platform::file_time_from_unix(-int64_t(platform::FILE_TIME_EPOCH_OFFSET_S) - 1, 0), 0u);
    EXPECT_GT(platform::file_time_now(), platform::file_time_from_unix(1700000000, 0));
}

TEST(FolderChanges, CreatedWrittenTouchedAndUnlockedFilesCount) {
    TempFolder folder;
    platform::FolderChanges changes;
    ASSERT_TRUE(changes.watch(folder.path().c_str()));
    EXPECT_TRUE(changes.changed());
    EXPECT_FALSE(changes.changed());
    folder.put("a.bin", "x");
    EXPECT_TRUE(changes.changed());
    EXPECT_FALSE(changes.changed());
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    utimensat(AT_FDCWD, folder.file("a.bin").c_str(), times, 0);
    EXPECT_TRUE(changes.changed());
    chmod(folder.file("a.bin").c_str(), 0644);
    EXPECT_TRUE(changes.changed());
    EXPECT_FALSE(changes.watch(folder.file("missing").c_str()));
    EXPECT_TRUE(changes.changed());
    EXPECT_TRUE(changes.changed());  // nothing to trust: always look
    // A watched folder removed and made again is watched anew.
    const std::string again = folder.file("again");
    mkdir(again.c_str(), 0700);
    ASSERT_TRUE(changes.watch(again.c_str()));
    EXPECT_TRUE(changes.changed());
    rmdir(again.c_str());
    EXPECT_TRUE(changes.changed());
    mkdir(again.c_str(), 0700);
    changes.changed();
    folder.put("again/b.bin", "x");
    EXPECT_TRUE(changes.changed());
}

TEST(FileTimes, ListsRegularBinFilesWithTheirNanosecondTimes) {
    TempFolder folder;
    for (const char* name : {"a.bin", "b.BIN", "c.txt", "bin"}) std::ofstream(folder.file(name)) << "x";
    mkdir(folder.file("d.bin").c_str(), 0755);
    const timespec times[2] = {{1700000000, 123456789}, {1700000000, 123456789}};
    utimensat(AT_FDCWD, folder.file("a.bin").c_str(), times, 0);
    std::vector<platform::FileStamp> files;
    ASSERT_TRUE(platform::list_files_with_suffix(folder.path().c_str(), ".bin", &files));
    std::sort(files.begin(), files.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "a.bin");
    EXPECT_EQ(files[0].write_time, platform::file_time_from_unix(1700000000, 123456700));
    EXPECT_EQ(files[1].name, "b.BIN");
    EXPECT_FALSE(platform::list_files_with_suffix(folder.file("missing").c_str(), ".bin", &files));
}

}  // namespace
