// The user's interface language as the system reports it: the stand-in for the
// Windows query GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME).
#pragma once

#include <cstddef>

namespace platform {

// The language part of a POSIX locale, after the usual precedence: the first
// non-empty one of `lc_all`, `lc_messages` and `lang` (null counts as empty) decides.
// Its language part is the text before the first "_", "." or "@" ("pl_PL.UTF-8" gives
// "pl", "sr@latin" gives "sr"). Writes that part, cut to fit, into `out` (`size`
// bytes, always terminated when size > 0) and returns true. Returns false, with `out`
// empty, when every value is empty or the deciding one names no language ("C",
// "POSIX", "C.UTF-8", an empty language part).
bool language_from_locale(const char* lc_all, const char* lc_messages, const char* lang,
                          char* out, size_t size);

// language_from_locale with the environment variables LC_ALL, LC_MESSAGES and LANG.
bool user_language(char* out, size_t size);

}  // namespace platform
