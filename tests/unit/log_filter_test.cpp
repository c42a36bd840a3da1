// The log filter: tagged lines, exact tags, ticked slots and the filtered copy.
#include "diag/log_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

const std::string STAMP = "[2026.12.07 13:00:00]>";

std::string line(const std::string& message) { return STAMP + message + "\r\n"; }

class LogFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settings;
        for (auto& tag : settings.filter_tags) tag[0] = '\0';
        log_filter = LogFilter{true, 0, false};
    }
    void TearDown() override {
        settings = saved_;
        log_filter = LogFilter();
    }
    Settings saved_;
};

TEST_F(LogFilterTest, OffAcceptsEverything) {
    log_filter.filter_active = false;
    EXPECT_TRUE(line_accepted(line("1* DOOR open").c_str()));
    EXPECT_TRUE(line_accepted(line("plain").c_str()));
}

TEST_F(LogFilterTest, NothingTickedRejectsEveryLine) {
    EXPECT_FALSE(line_accepted(line("1* DOOR open").c_str()));
    EXPECT_FALSE(line_accepted(line("plain").c_str()));
}

TEST_F(LogFilterTest, UntaggedLinesFollowTheirOwnTick) {
    log_filter.show_untagged = true;
    const char* untagged[] = {"plain", "* DOOR at the message start", "1*DOOR", "", "1*"};
    for (const char* m : untagged) EXPECT_TRUE(line_accepted(line(m).c_str())) << m;
    EXPECT_FALSE(line_accepted(line("1* DOOR open").c_str()));
    EXPECT_TRUE(line_accepted("[short]>\r\n"));
}

TEST_F(LogFilterTest, EmptyTickedSlotAcceptsEveryTag) {
    log_filter.filter_mask = 1u << 4;
    EXPECT_TRUE(line_accepted(line("1* DOOR open").c_str()));
    EXPECT_TRUE(line_accepted(line("x* anything").c_str()));
    EXPECT_TRUE(line_accepted(line("1* ").c_str())) << "an empty tag";
    EXPECT_FALSE(line_accepted(line("plain").c_str()));
}

struct TagCase {
    const char* message;
    bool accepted;
};

TEST_F(LogFilterTest, TagsCompareExactly) {
    std::strcpy(settings.filter_tags[2], "ABS");
    log_filter.filter_mask = 1u << 2;
    const TagCase cases[] = {
        {"1* ABS fault", true}, {"1* ABS", true},     {"1* ABS\tx", false}, {"1* abs fault", false},
        {"1* ABS2 fault", false}, {"1* AB fault", false}, {"1*  ABS", false},
    };
    for (const TagCase& c : cases) EXPECT_EQ(line_accepted(line(c.message).c_str()), c.accepted) << c.message;
}

TEST_F(LogFilterTest, UntickedSlotsDoNotCount) {
    std::strcpy(settings.filter_tags[0], "ABS");
    log_filter.filter_mask = 1u << 1;  // slot 1 holds another tag
    std::strcpy(settings.filter_tags[1], "IGN");
    EXPECT_FALSE(line_accepted(line("1* ABS x").c_str()));
    EXPECT_TRUE(line_accepted(line("1* IGN x").c_str()));
}

TEST_F(LogFilterTest, LongTagsCompareByTheirFirstFortyNineCharacters) {
    const std::string tag49(49, 'T');
    set_filter_tag(0, (tag49 + "cut off").c_str());
    EXPECT_EQ(std::string(settings.filter_tags[0]), tag49);
    log_filter.filter_mask = 1;
    EXPECT_TRUE(line_accepted(line("1* " + tag49 + "MORE rest").c_str()));
    EXPECT_FALSE(line_accepted(line("1* " + tag49.substr(1) + " rest").c_str()));
}

TEST_F(LogFilterTest, TagCutKeepsWholeCharacters) {
    const std::string text = std::string(48, 'a') + "\xC3\xB3" + "b";  // o-acute across the limit
    set_filter_tag(3, text.c_str());
    EXPECT_EQ(std::string(settings.filter_tags[3]), std::string(48, 'a'));
}

TEST_F(LogFilterTest, FilteredCopyKeepsAcceptedLinesWithTheirLineEnds) {
    std::strcpy(settings.filter_tags[0], "IGN");
    log_filter.filter_mask = 1;
    const std::string text = line("1* IGN on") + line("plain") + "\n" + line("1* DOOR x") + line("1* IGN off") +
                             STAMP + "1* IGN unfinished";
    char out[1024];
    const int n = filter_lines(text.c_str(), int(text.size()), out);
    EXPECT_EQ(std::string(out, size_t(n)), line("1* IGN on") + line("1* IGN off") + STAMP + "1* IGN unfinished");
    EXPECT_EQ(out[n], '\0');
    log_filter.filter_active = false;
    EXPECT_EQ(filter_lines(text.c_str(), int(text.size()), out), int(text.size())) << "off: the whole log";
}

}  // namespace

namespace {

std::string apply(const std::string& shown, const std::string& wanted) {
    const ViewEdit e = plan_view_edit(shown.data(), int(shown.size()), wanted.data(), int(wanted.size()));
    if (e.replace_all) return "<all>" + wanted;
    return wanted.substr(0, size_t(e.insert_front)) + shown.substr(size_t(e.drop_front)) +
           wanted.substr(size_t(e.append_from));
}

// Lines long enough that the end of the shown text is a stretch worth finding.
std::string L(char c) { return std::string(299, c) + "\n"; }

TEST(ViewEdit, EditsOnlyWhatChanges) {
    const std::string lines = L('a') + L('b') + L('c') + L('d');
    struct Case {
        std::string shown, wanted;
        bool whole;
    } cases[] = {
        {lines, L('b').substr(40) + L('c') + L('d') + L('e'), false},  // cut inside a line, one line more
        {lines, L('c') + L('d'), false},                                // cut only
        {lines, lines + "x", false},                                    // append only
        {lines, "front\n" + L('c') + L('d'), false},                   // the front changes
        {lines, L('d') + L('b') + L('c') + L('d') + L('f'), false},     // a line put in front
        {"", "new\n", true},
        {lines, L('z') + L('d').substr(0, 98), true},                   // no shared end
        {"short\n", "short\nlonger\n", false},
    };
    for (const Case& c : cases) {
        const ViewEdit e = plan_view_edit(c.shown.data(), int(c.shown.size()), c.wanted.data(), int(c.wanted.size()));
        EXPECT_EQ(e.replace_all, c.whole) << c.wanted;
        if (e.replace_all) continue;
        const std::string result = c.wanted.substr(0, size_t(e.insert_front)) + c.shown.substr(size_t(e.drop_front)) +
                                   c.wanted.substr(size_t(e.append_from));
        EXPECT_EQ(result, c.wanted);
        EXPECT_GE(int(c.shown.size()) - e.drop_front, std::min(int(c.shown.size()), 256))
            << "what the shown text already holds is kept";
    }
}

}  // namespace
