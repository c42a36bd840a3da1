// The support console's stall notice: when it is due and what it says.
#include "operator/stall_notice.h"

bool StallNotice::decide(int waited_ms) {
    if (choice_ == Choice::KEEP_WAITING) {
        choice_ = Choice::NONE;
        notice_at_ms_ = waited_ms + KEEP_WAITING_MS;
    }
    return choice_ != Choice::GIVE_UP;
}

void StallNotice::reset() {
    notice_at_ms_ = STALL_NOTICE_MS;
    choice_ = Choice::NONE;
}

std::string stall_notice_text(int waited_ms) {
    return "The remote session is stalled: the fitter's tool has not answered for " + std::to_string(waited_ms / 1000) +
           " s.\nThe line may be slow or broken.";
}
