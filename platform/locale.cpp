// The user's language from the POSIX locale environment.
#include "platform/locale.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace platform {

bool language_from_locale(const char* lc_all, const char* lc_messages, const char* lang,
                          char* out, size_t size) {
    if (out && size > 0) out[0] = '\0';
    const char* value = nullptr;
    for (const char* candidate : {lc_all, lc_messages, lang}) {
        if (candidate && candidate[0] != '\0') {
            value = candidate;
            break;
        }
    }
    if (!value || !out || size == 0) return false;

    const size_t length = strcspn(value, "_.@");
    if (length == 0) return false;
    if ((length == 1 && value[0] == 'C') || (length == 5 && strncmp(value, "POSIX", 5) == 0))
        return false;

    const size_t copied = length < size - 1 ? length : size - 1;
    memcpy(out, value, copied);
    out[copied] = '\0';
    return copied > 0;
}

bool user_language(char* out, size_t size) {
    return language_from_locale(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"), out,
                                size);
}

}  // namespace platform
