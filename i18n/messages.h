// The message catalogue: every text the user interface shows, by message id, in the
// language chosen at start-up.
#pragma once

constexpr int MESSAGE_COUNT = 112;  // ids 0..111; 106..111 carry no text

// The text of a message id in the current language (a printf format where the
// message has conversions). Never null for ids 0..105.
const char* message_text(int id);
