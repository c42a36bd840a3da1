// The support console's waits for the fitter's tool: while an exchange waits, the
// windows are redrawn and take no input; a wait past a few seconds is said to be a
// stalled session (operator/stall_notice.h), in a window that offers to keep waiting
// or give up.
#pragma once

#include <gtk/gtk.h>

#include "operator/stall_notice.h"

class AnswerWait;

// The console's AnswerWait, for the relay connection.
AnswerWait& console_answer_wait();

// The stall window while it is shown (nullptr otherwise), for tests.
GtkWidget* stall_window();
