// The support console's waits for the fitter's tool: while an exchange waits, the
// windows are redrawn and take no input; a wait past a few seconds is said to be a
// stalled session, in a window that offers to keep waiting or give up.
#pragma once

#include <gtk/gtk.h>

class AnswerWait;

// A wait this long is said to be stalled.
constexpr int STALL_NOTICE_MS = 3000;
// "Keep waiting" asks again after this much more silence.
constexpr int KEEP_WAITING_MS = 30000;

// The console's AnswerWait, for the relay connection.
AnswerWait& console_answer_wait();

// The stall window while it is shown (nullptr otherwise), for tests.
GtkWidget* stall_window();
