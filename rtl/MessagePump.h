#pragma once

namespace rtl {

// Processes every event that is already pending and returns at once. The socket
// session and the watcher call this inside operations that look blocking, so the
// window stays responsive and socket and timer notifications keep arriving.
void ProcessMessages();

// Like ProcessMessages, but when nothing is pending it blocks until the next event
// arrives (a socket notification, a timer tick, a posted message, user input).
// Waiting loops use this after a pass that found nothing to do, so that waiting
// costs no CPU time.
void WaitForMessages();

}  // namespace rtl
