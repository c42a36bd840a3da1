// The configuration editor tests' fixture and helpers.
#include "gui/editor_test_support.h"

#include "config/config_editor.h"
#include "config/vehicle_selector.h"
#include "connection/connection.h"
#include "device/link.h"
#include "gui/gui_test_support.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"
#include "unit/fresh_link.h"

int questions_asked = 0;

namespace {

constexpr uint8_t CONTROL_POLL = 0x60;
constexpr uint8_t CONTROL_LAST_CHUNK = 0x80;

bool answer_yes = false;
gulong question_hook = 0;

gboolean respond(gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), answer_yes ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_NONE);
    g_object_unref(dialog);
    return FALSE;
}

gboolean on_any_show(GSignalInvocationHint*, guint, const GValue* params, gpointer) {
    GObject* object = G_OBJECT(g_value_get_object(&params[0]));
    if (GTK_IS_DIALOG(object)) {
        ++questions_asked;
        g_idle_add(respond, g_object_ref(object));
    }
    return TRUE;
}

}  // namespace

int HoldingBackend::write(HidDevice* device, const uint8_t* data, size_t length) {
    const uint8_t control = length > 1 ? data[1] : 0;
    if (control == CONTROL_POLL && holding_ > 0) {
        --holding_;
        ++polls_swallowed;
        return int(length);
    }
    const int result = inner_.write(device, data, length);
    if (control != CONTROL_POLL && (control & CONTROL_LAST_CHUNK)) {
        ++frames;
        auto hold = hold_after_frame.find(frames);
        holding_ = hold == hold_after_frame.end() ? 0 : hold->second;
    }
    return result;
}

void EditorTest::SetUp() {
    if (!start_gui()) GTEST_SKIP() << "no display";
    gui_ok = true;
    module.reset(new SimModule(SimSettings()));
    sim_backend.reset(new SimBackend(*module));
    backend.reset(new HoldingBackend(*sim_backend));
    install_hid_backend(backend.get());
    start_with_fresh_link();
    ASSERT_EQ(link_open(), 1);
    device_identity = DeviceIdentity();
    device_identity.model = 450;
    device_identity.firmware_version = 0x1005;
    device_identity.variant_letter = 'A';
    device_can_level = 0;
    vehicle_number = 0;
    for (PinReference& reference : pin_references) reference = PinReference();
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    questions_asked = 0;
}

void EditorTest::TearDown() {
    if (!gui_ok) return;
    stop_answering_questions();
    destroy_config_editor();
    close_message_window();
    gtk_widget_destroy(window);
    process_pending_events();
    link_close();
    install_hid_backend(nullptr);
    advanced_view = 0;
    // The selector leaves the kit's form label width at its own; other tests expect the kit's.
    form_label_width = DEFAULT_FORM_LABEL_WIDTH;
}

void EditorTest::build(bool advanced) {
    advanced_view = advanced ? 1 : 0;
    build_config_editor(box);
    process_pending_events();
}

std::vector<SimFrame> EditorTest::frames_since_mark() const {
    return std::vector<SimFrame>(module->received.begin() + long(frame_mark_), module->received.end());
}

std::vector<std::string> list_texts(GtkWidget* list) {
    std::vector<std::string> texts;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(list));
    GtkTreeIter iter;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &iter, 0, &text, -1);
        texts.push_back(text ? text : "");
        g_free(text);
    }
    return texts;
}

std::string active_text(GtkWidget* list) {
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(list));
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

int active_position(GtkWidget* list) { return gtk_combo_box_get_active(GTK_COMBO_BOX(list)); }

void choose(GtkWidget* list, int position) { gtk_combo_box_set_active(GTK_COMBO_BOX(list), position); }

int position_of(GtkWidget* list, const std::string& text) {
    const std::vector<std::string> texts = list_texts(list);
    for (size_t i = 0; i < texts.size(); ++i)
        if (texts[i] == text) return int(i);
    return -1;
}

void choose_text(GtkWidget* list, const std::string& text) {
    const int position = position_of(list, text);
    ASSERT_GE(position, 0) << "no entry \"" << text << "\"";
    choose(list, position);
}

std::vector<std::string> message_window_texts() {
    if (!message_window) return {};
    return label_texts(message_window);
}

void answer_questions(bool yes) {
    answer_yes = yes;
    if (!question_hook)
        question_hook =
            g_signal_add_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), 0, on_any_show, nullptr, nullptr);
}

void stop_answering_questions() {
    if (question_hook) g_signal_remove_emission_hook(g_signal_lookup("show", GTK_TYPE_WIDGET), question_hook);
    question_hook = 0;
}
