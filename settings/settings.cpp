// The settings record and its file: read once at start-up, rewritten whole on every
// change.
#include "settings/settings.h"

#include <cstring>
#include <initializer_list>

#include "platform/file_bytes.h"
#include "platform/profile.h"
#include "text/text_helpers.h"

// The settings file, no header, no padding; every text ends in one zero byte:
//
//   offset  size        content
//   0       1           check_updates_at_startup (any non-zero byte reads as on)
//   1       variable    language_code
//   next    variable    firmware_folder (only the zero byte when none)
//   next    variable    log_folder
//   next    variable    config_folder
//   next    25 x var.   filter_tags[0] .. filter_tags[24]
//
// The file ends after the zero byte of filter_tags[24]: 30 bytes when all are empty.

Settings settings;

namespace {

// The file as last loaded; the folder fields point into it.
unsigned char settings_image[SETTINGS_IMAGE_SIZE];

// Reads zero-terminated texts one after another from an image whose byte `end` is
// zero; once the image is used up every further text is empty.
class TextCursor {
public:
    TextCursor(const unsigned char* image, int end) : image_(image), end_(end) {}
    const char* next() {
        const char* text = reinterpret_cast<const char*>(image_ + (position_ < end_ ? position_ : end_));
        position_ += int(std::strlen(text)) + 1;
        return text;
    }

private:
    const unsigned char* image_;
    int end_;
    int position_ = 1;  // after the flag byte
};

void copy_field(char* field, int size, const char* text) {
    zero_fill(field, size_t(size));
    std::strncpy(field, text, size_t(size - 1));
}

size_t field_length(const char* field, int size) { return strnlen(field, size_t(size - 1)); }

unsigned char* append_text(unsigned char* out, const char* text, size_t length) {
    if (length) std::memcpy(out, text, length);
    out[length] = 0;
    return out + length + 1;
}

}  // namespace

void decode_settings(Settings& out, unsigned char* image, int count) {
    if (count < 0) count = 0;
    zero_fill(image + count, SETTINGS_TAIL_ZEROS);
    out.check_updates_at_startup = count == 0 ? 1 : image[0];
    TextCursor cursor(image, count);
    copy_field(out.language_code, LANGUAGE_CODE_SIZE, cursor.next());
    out.firmware_folder = cursor.next();
    out.log_folder = cursor.next();
    out.config_folder = cursor.next();
    for (auto& tag : out.filter_tags) copy_field(tag, FILTER_TAG_SIZE, cursor.next());
}

int encode_settings(const Settings& in, unsigned char* out) {
    const size_t language_length = field_length(in.language_code, LANGUAGE_CODE_SIZE);
    size_t tag_lengths[FILTER_TAG_COUNT];
    size_t fixed = 1 + language_length + 1 + 3;  // the flag, the language, 3 folder zeros
    for (int i = 0; i < FILTER_TAG_COUNT; ++i) {
        tag_lengths[i] = field_length(in.filter_tags[i], FILTER_TAG_SIZE);
        fixed += tag_lengths[i] + 1;
    }
    size_t folder_room = SETTINGS_READ_MAX - fixed;

    unsigned char* p = out;
    *p++ = in.check_updates_at_startup;
    p = append_text(p, in.language_code, language_length);
    for (const char* folder : {in.firmware_folder, in.log_folder, in.config_folder}) {
        size_t length = folder ? std::strlen(folder) : 0;
        if (length > folder_room) length = 0;
        folder_room -= length;
        p = append_text(p, folder, length);
    }
    for (int i = 0; i < FILTER_TAG_COUNT; ++i) p = append_text(p, in.filter_tags[i], tag_lengths[i]);
    return int(p - out);
}

void load_settings() {
    char path[4096];
    int count = 0;
    if (platform::profile_file_path(SETTINGS_FILE_NAME, path, sizeof path)) {
        // A missing settings file is the first start, not an error to report.
        count = platform::read_file_bytes(settings_image, path, SETTINGS_READ_MAX);
    }
    decode_settings(settings, settings_image, count);
}

void save_settings() {
    static unsigned char file[SETTINGS_READ_MAX];
    const int length = encode_settings(settings, file);
    char path[4096];
    // Failures are silent: the next change writes the whole file again.
    if (platform::profile_file_path(SETTINGS_FILE_NAME, path, sizeof path)) {
        platform::write_file_bytes(file, path, length);
    }
}
