// The widget kit: sizes, packing and visibility of the builders, and the red marking.
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include "gui/gui_test_support.h"

namespace {

struct Packing {
    gboolean expand, fill;
    guint padding;
};

Packing packing_of(GtkWidget* box, GtkWidget* child) {
    Packing p{};
    GtkPackType pack_type;
    gtk_box_query_child_packing(GTK_BOX(box), child, &p.expand, &p.fill, &p.padding, &pack_type);
    return p;
}

void expect_size_request(GtkWidget* widget, int width, int height) {
    int w = -2, h = -2;
    gtk_widget_get_size_request(widget, &w, &h);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
}

void expect_packed(GtkWidget* box, GtkWidget* child, gboolean expand, gboolean fill, guint padding) {
    const Packing p = packing_of(box, child);
    EXPECT_EQ(p.expand, expand);
    EXPECT_EQ(p.fill, fill);
    EXPECT_EQ(p.padding, padding);
}

// What mark_changed and mark_entry_if_different leave in the widget's own style.
bool text_is_red(GtkWidget* widget) {
    GtkRcStyle* style = gtk_widget_get_modifier_style(widget);
    const GdkColor& c = style->text[GTK_STATE_NORMAL];
    return (style->color_flags[GTK_STATE_NORMAL] & GTK_RC_TEXT) && c.red == 0xFFFF && c.green == 0 &&
           c.blue == 0;
}

bool text_is_default(GtkWidget* widget) {
    return !(gtk_widget_get_modifier_style(widget)->color_flags[GTK_STATE_NORMAL] & GTK_RC_TEXT);
}

bool foreground_is_red(GtkWidget* widget, GtkStateType state) {
    GtkRcStyle* style = gtk_widget_get_modifier_style(widget);
    const GdkColor& c = style->fg[state];
    return (style->color_flags[state] & GTK_RC_FG) && c.red == 0xFFFF && c.green == 0 && c.blue == 0;
}

bool foreground_is_default(GtkWidget* widget, GtkStateType state) {
    return !(gtk_widget_get_modifier_style(widget)->color_flags[state] & GTK_RC_FG);
}

class WidgetKit : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_GUI();
        // Other windows (the editor) change the kit's widths; start from the defaults.
        form_label_width = DEFAULT_FORM_LABEL_WIDTH;
        form_entry_width = DEFAULT_FORM_ENTRY_WIDTH;
        box_ = gtk_vbox_new(FALSE, 0);
        g_object_ref_sink(box_);
    }
    void TearDown() override {
        if (box_) {
            gtk_widget_destroy(box_);
            g_object_unref(box_);
        }
    }
    GtkWidget* box_ = nullptr;
};

TEST_F(WidgetKit, LabelsAndButtonsAreShownWithTheirText) {
    GtkWidget* label = new_label("Text");
    EXPECT_TRUE(gtk_widget_get_visible(label));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Text");

    for (GtkWidget* button : {new_button("Go"), new_check_button("Check")}) {
        EXPECT_TRUE(gtk_widget_get_visible(button));
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
        ASSERT_TRUE(GTK_IS_LABEL(child));
        EXPECT_TRUE(gtk_widget_get_visible(child));
        g_object_ref_sink(button);
        g_object_unref(button);
    }
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(new_check_button("x")));
    g_object_ref_sink(label);
    g_object_unref(label);
}

TEST_F(WidgetKit, WideButtonIs170By30) {
    GtkWidget* button = new_wide_button("Write");
    expect_size_request(button, 170, 30);
    EXPECT_EQ(label_texts(button), std::vector<std::string>{"Write"});
    g_object_ref_sink(button);
    g_object_unref(button);
}

TEST_F(WidgetKit, MenuItemLabelSitsLeftAndTop) {
    GtkWidget* item = new_menu_item("Open");
    EXPECT_TRUE(gtk_widget_get_visible(item));
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    ASSERT_TRUE(GTK_IS_LABEL(label));
    gfloat x = -1, y = -1;
    gtk_misc_get_alignment(GTK_MISC(label), &x, &y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    g_object_ref_sink(item);
    g_object_unref(item);
}

TEST_F(WidgetKit, BottomSpacerIsTenByTenAtTheEnd) {
    gtk_box_pack_start(GTK_BOX(box_), new_label("first"), TRUE, TRUE, 5);
    GtkWidget* spacer = add_bottom_spacer(box_);
    expect_size_request(spacer, 10, 10);
    expect_packed(box_, spacer, FALSE, FALSE, 0);
    GList* children = gtk_container_get_children(GTK_CONTAINER(box_));
    EXPECT_EQ(g_list_last(children)->data, spacer);
    g_list_free(children);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(spacer)), "");
}

TEST_F(WidgetKit, FormLabelFollowsTheFormLabelWidth) {
    GtkWidget* label = add_form_label(box_, "Vehicle");
    EXPECT_EQ(form_label_width, DEFAULT_FORM_LABEL_WIDTH);
    expect_size_request(label, 550, 20);
    expect_packed(box_, label, FALSE, FALSE, 1);
    gfloat x = -1, y = -1;
    gtk_misc_get_alignment(GTK_MISC(label), &x, &y);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.5f);
    EXPECT_TRUE(gtk_widget_get_visible(label));

    form_label_width = 200;
    expect_size_request(add_form_label(box_, "Narrow"), 200, 20);
    form_label_width = DEFAULT_FORM_LABEL_WIDTH;
}

void count_change(GtkEditable*, gpointer data) {
    if (data) ++*static_cast<int*>(data);
}

TEST_F(WidgetKit, FormEntryIsStoredPackedAndConnected) {
    int changes = 0;
    GtkWidget* entry = nullptr;
    GtkEntryBuffer* buffer = add_form_entry(box_, G_CALLBACK(count_change), &entry, &changes);
    ASSERT_TRUE(GTK_IS_ENTRY(entry));
    EXPECT_EQ(gtk_entry_get_buffer(GTK_ENTRY(entry)), buffer);
    EXPECT_STREQ(gtk_entry_buffer_get_text(buffer), "");
    EXPECT_TRUE(gtk_widget_get_visible(entry));
    EXPECT_EQ(form_entry_width, DEFAULT_FORM_ENTRY_WIDTH);
    expect_size_request(entry, 150, 20);
    expect_packed(box_, entry, FALSE, FALSE, 1);

    gtk_entry_buffer_set_text(buffer, "42", -1);
    EXPECT_GE(changes, 1);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "42");

    form_entry_width = 35;
    GtkWidget* narrow = nullptr;
    add_form_entry(box_, G_CALLBACK(count_change), &narrow, &changes);
    expect_size_request(narrow, 35, 20);
    form_entry_width = DEFAULT_FORM_ENTRY_WIDTH;
}

TEST_F(WidgetKit, SeparatorIsHorizontalAndShown) {
    GtkWidget* separator = add_hseparator(box_);
    EXPECT_TRUE(GTK_IS_HSEPARATOR(separator));
    EXPECT_TRUE(gtk_widget_get_visible(separator));
    expect_packed(box_, separator, FALSE, FALSE, 0);
}

TEST_F(WidgetKit, MarkChangedColoursTextAndFirstChildRed) {
    GtkWidget* button = new_button("Signal");
    gtk_box_pack_start(GTK_BOX(box_), button, FALSE, FALSE, 0);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    const GtkStateType marked[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT,
                                   GTK_STATE_INSENSITIVE};

    mark_changed(button, true);
    EXPECT_TRUE(text_is_red(button));
    for (GtkStateType state : marked) EXPECT_TRUE(foreground_is_red(child, state)) << state;
    EXPECT_TRUE(foreground_is_default(child, GTK_STATE_SELECTED));

    mark_changed(button, false);
    EXPECT_TRUE(text_is_default(button));
    for (GtkStateType state : marked) EXPECT_TRUE(foreground_is_default(child, state)) << state;
}

TEST_F(WidgetKit, MarkChangedOnAWidgetWithoutChildrenOnlyColoursText) {
    GtkWidget* entry = nullptr;
    add_form_entry(box_, G_CALLBACK(count_change), &entry, nullptr);
    mark_changed(entry, true);
    EXPECT_TRUE(text_is_red(entry));
    EXPECT_TRUE(foreground_is_default(entry, GTK_STATE_NORMAL));
    mark_changed(entry, false);
    EXPECT_TRUE(text_is_default(entry));

    GtkWidget* empty_box = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box_), empty_box, FALSE, FALSE, 0);
    mark_changed(empty_box, true);
    EXPECT_TRUE(text_is_red(empty_box));
}

TEST_F(WidgetKit, MarkEntryIfDifferentComparesTheDecimalValue) {
    GtkWidget* entry = nullptr;
    GtkEntryBuffer* buffer = add_form_entry(box_, G_CALLBACK(count_change), &entry, nullptr);
    const struct {
        const char* text;
        int expected;
        bool red;
    } cases[] = {
        {"12ab", 12, false}, {"", 0, false},   {"13", 12, true},  {"12", 12, false},
        {" -5", -5, false},  {"abc", 1, true}, {"+7x", 7, false}, {"7", -7, true},
    };
    for (const auto& c : cases) {
        gtk_entry_buffer_set_text(buffer, c.text, -1);
        EXPECT_TRUE(mark_entry_if_different(entry, buffer, c.expected));
        EXPECT_EQ(text_is_red(entry), c.red) << c.text;
        EXPECT_EQ(text_is_default(entry), !c.red) << c.text;
    }
}

}  // namespace
