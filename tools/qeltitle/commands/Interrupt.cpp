#include "commands/Interrupt.h"

#include <csignal>

namespace qeltitle {
namespace {

// A signal handler may only store to a lock-free atomic or a volatile sig_atomic_t, and it has
// no argument through which to reach an object: this flag is the one piece of process-wide
// state the tool keeps, written only by the handler and read by the watch.
volatile std::sig_atomic_t gReceivedSignal = 0;

void Record(int signal) { gReceivedSignal = signal; }

}  // namespace

InterruptWatch::InterruptWatch() {
    gReceivedSignal = 0;
    struct sigaction action {};
    action.sa_handler = &Record;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // blocking writes carry on; the loop checks between frames
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
}

int InterruptWatch::Received() const { return gReceivedSignal; }

}  // namespace qeltitle
