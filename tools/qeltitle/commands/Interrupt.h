// Ctrl-C and termination requests while a long output is being written.
//
// While an InterruptWatch lives, SIGINT and SIGTERM no longer end the process at once: they are
// recorded, the frame loop stops before its next frame, and the command removes what it had only
// begun (the video's temporary file, the frame being written) before it exits with 128 + the
// signal's number, as a shell expects of a program ended by that signal. The previous handlers
// come back when the watch ends.
#pragma once

#include <signal.h>

namespace qeltitle {

class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // The signal received since the watch began, or 0.
    int Received() const;
    // The exit status for a command ended by the received signal (130 for SIGINT, 143 for SIGTERM).
    int ExitStatus() const { return 128 + Received(); }

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

}  // namespace qeltitle
