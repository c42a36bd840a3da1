// Whole-file reading and writing, and the UTF-8 to UTF-16 conversion.
#include "files/file_io.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "unit/temp_folder.h"

namespace {

std::vector<uint16_t> to_utf16(const std::string& bytes) {
    std::vector<uint16_t> out(bytes.size() + 1, 0xEEEE);
    const int units = utf8_to_utf16(out.data(), bytes.c_str());
    EXPECT_EQ(out[units], 0) << "terminator";
    out.resize(units);
    return out;
}

// Runs `step` in a child process and returns its result, or -1 when the child did not
// end by itself within 5 seconds (a file call that blocks). With `as_nobody` a child
// of root first drops to the unprivileged user, so that permissions hold for it.
template <typename Step>
int in_child(Step step, bool as_nobody = false) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        const gid_t nobody = 65534;
        if (as_nobody && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(99);
        _exit(step());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(Utf8ToUtf16, TableOfSequences) {
    const struct {
        std::string utf8;
        std::vector<uint16_t> utf16;
    } cases[] = {
        {"", {}},
        {"abc", {'a', 'b', 'c'}},
        {"\xC3\xB3", {0x00F3}},
        {"\xE2\x82\xAC", {0x20AC}},
        {"\xF0\x9F\x98\x80", {}},                     // outside the BMP: nothing
        {"A\xF0\x9F\x98\x80Z", {'A', 'Z'}},
        {"\x41\x80\x42", {0x0041, 0x0042}},           // a stray continuation byte
        {"\x7F\xC2\x80\xDF\xBF", {0x007F, 0x0080, 0x07FF}},
        {"\xEF\xBF\xBF", {0xFFFF}},
        {"\xE2\x82", {}},                             // cut short by the end
        {"\xE2\x82" "A", {'A'}},
        {"\xC3\xB3\xB3", {0x00F3}},                   // one continuation too many
        {"\xF8\xFF\xFE" "b", {'b'}},                  // 11111xxx bytes are skipped
        {"/home/\xC5\xBC\xC3\xB3\xC5\x82w", {'/', 'h', 'o', 'm', 'e', '/', 0x017C, 0x00F3, 0x0142, 'w'}},
    };
    for (const auto& c : cases) EXPECT_EQ(to_utf16(c.utf8), c.utf16) << c.utf8;
}

TEST(ReadWholeFile, ReadsAtMostTheMaximum) {
    TempFolder folder;
    folder.put("twenty", "0123456789abcdefghij");
    char buffer[32] = {};
    EXPECT_EQ(read_whole_file(buffer, folder.file("twenty").c_str(), 10), 10);
    EXPECT_EQ(std::string(buffer), "0123456789");
    EXPECT_EQ(read_file_bytes(buffer, folder.file("twenty").c_str(), 32), 20);
}

TEST(ReadFileBytes, EmptyFileGivesZero) {
    TempFolder folder;
    folder.put("empty", "");
    char buffer[4];
    EXPECT_EQ(read_file_bytes(buffer, folder.file("empty").c_str(), 4), 0);
}

TEST(ReadFileBytes, MissingFileOrFolderIsNotOpened) {
    TempFolder folder;
    char buffer[4];
    EXPECT_EQ(read_file_bytes(buffer, folder.file("missing").c_str(), 4), FILE_NOT_OPENED);
    EXPECT_EQ(read_file_bytes(buffer, folder.path().c_str(), 4), FILE_NOT_OPENED);
}

// A FIFO would keep the open waiting for a writer; a device is no file to load.
TEST(ReadFileBytes, OnlyRegularFilesAreReadAndNothingWaits) {
    TempFolder folder;
    ASSERT_EQ(mkfifo(folder.file("fifo").c_str(), 0600), 0);
    for (const std::string& path : {folder.file("fifo"), std::string("/dev/null"), folder.path()}) {
        const int result = in_child([&path] {
            char buffer[4];
            return read_file_bytes(buffer, path.c_str(), 4) == FILE_NOT_OPENED ? 0 : 1;
        });
        EXPECT_EQ(result, 0) << path;
    }
}

TEST(WriteWholeFile, ZeroBytesCreateAnEmptyFile) {
    TempFolder folder;
    EXPECT_TRUE(write_whole_file("", folder.file("empty").c_str(), 0));
    EXPECT_EQ(folder.get("empty"), "");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"empty"});
}

TEST(WriteFileBytes, ReplacesTheOldFileAndLeavesNoTemporary) {
    TempFolder folder;
    folder.put("target", "old and longer contents");
    EXPECT_TRUE(write_file_bytes("new", folder.file("target").c_str(), 3));
    EXPECT_EQ(folder.get("target"), "new");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"target"});
}

TEST(WriteFileBytes, KeepsThePermissionsOfTheOldFile) {
    TempFolder folder;
    folder.put("target", "old");
    chmod(folder.file("target").c_str(), 0640);
    ASSERT_TRUE(write_file_bytes("new", folder.file("target").c_str(), 3));
    struct stat status {};
    ASSERT_EQ(stat(folder.file("target").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(WriteFileBytes, NewFileGetsTheUsualPermissions) {
    TempFolder folder;
    const mode_t mask = umask(022);
    ASSERT_TRUE(write_file_bytes("new", folder.file("target").c_str(), 3));
    umask(mask);
    struct stat status {};
    ASSERT_EQ(stat(folder.file("target").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
}

TEST(WriteFileBytes, WritesThroughASymbolicLink) {
    TempFolder folder;
    folder.put("real", "old");
    ASSERT_EQ(symlink("real", folder.file("link").c_str()), 0);
    ASSERT_TRUE(write_file_bytes("new", folder.file("link").c_str(), 3));
    struct stat status {};
    ASSERT_EQ(lstat(folder.file("link").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(folder.get("real"), "new");
}

TEST(WriteFileBytes, ALinkToAFileNotThereYetCreatesItAndStaysALink) {
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("sub/real", folder.file("link").c_str()), 0);
    ASSERT_EQ(symlink("link", folder.file("chain").c_str()), 0);
    ASSERT_TRUE(write_file_bytes("new", folder.file("chain").c_str(), 3));
    EXPECT_EQ(folder.get("sub/real"), "new");
    struct stat status {};
    for (const char* name : {"link", "chain"}) {
        ASSERT_EQ(lstat(folder.file(name).c_str(), &status), 0);
        EXPECT_TRUE(S_ISLNK(status.st_mode)) << name;
    }
}

// Renaming needs only the folder's permission: the file's own must be asked.
TEST(WriteFileBytes, AReadOnlyTargetIsRefusedAndLeftAsItWas) {
    TempFolder folder;
    ASSERT_EQ(chmod(folder.path().c_str(), 0777), 0);
    folder.put("target", "keep");
    ASSERT_EQ(chmod(folder.file("target").c_str(), 0444), 0);
    const std::string path = folder.file("target");
    const int result = in_child([&path] { return write_file_bytes("new", path.c_str(), 3) ? 1 : 0; }, true);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder.get("target"), "keep");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"target"});
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0444u);
}

TEST(WriteFileBytes, AFifoInTheWayIsNotReplaced) {
    TempFolder folder;
    ASSERT_EQ(mkfifo(folder.file("target").c_str(), 0600), 0);
    EXPECT_FALSE(write_file_bytes("x", folder.file("target").c_str(), 1));
    struct stat status {};
    ASSERT_EQ(lstat(folder.file("target").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"target"});
}

// The temporary name must not grow with the target's: names may use all 255 bytes.
TEST(WriteFileBytes, NamesUpToTheSystemLimitAreWritten) {
    TempFolder folder;
    for (size_t length : {249, 250, 254, 255}) {
        const std::string name(length, 'n');
        EXPECT_TRUE(write_file_bytes("abc", folder.file(name).c_str(), 3)) << length;
        EXPECT_TRUE(write_file_bytes("defg", folder.file(name).c_str(), 4)) << length;
        EXPECT_EQ(folder.get(name), "defg") << length;
    }
    EXPECT_EQ(folder.names().size(), 4u);
}

TEST(WriteFileBytes, FailsWhenTheFolderIsMissingOrAFile) {
    TempFolder folder;
    folder.put("plain", "keep");
    EXPECT_FALSE(write_file_bytes("x", folder.file("missing/target").c_str(), 1));
    EXPECT_FALSE(write_file_bytes("x", folder.file("plain/target").c_str(), 1));
    EXPECT_EQ(folder.get("plain"), "keep");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"plain"});
}

TEST(WriteFileBytes, AFolderInTheWayStaysAndNoTemporaryIsLeft) {
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("target").c_str(), 0755), 0);
    EXPECT_FALSE(write_file_bytes("x", folder.file("target").c_str(), 1));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"target"});
}

// A write that fails half-way (here: the file size limit) must leave the old file as
// it was, not a half-written one.
TEST(WriteFileBytes, FailedWriteLeavesTheOldFileIntact) {
    TempFolder folder;
    folder.put("target", "the old contents");
    const std::string big(100000, 'n');

    bool written;
    {
        ScopedFileSizeLimit limit(4096);
        written = write_file_bytes(big.data(), folder.file("target").c_str(), int(big.size()));
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(folder.get("target"), "the old contents");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"target"});
}

}  // namespace
