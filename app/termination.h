// Termination signals (SIGTERM, SIGINT): held blocked in every thread of
// the game from the first line of the program on, so that no library's
// handler can take one; the start-up and the main loop take them at their
// checks and end the game through its shutdown.
#pragma once

// Blocks both signals in the calling thread (threads started later inherit
// that), installs a handler that only asks for the end (for a thread that
// unblocked them) and ignores SIGPIPE (a failed capture write ends that
// capture, not the program). Call before any library starts a thread.
void hold_termination_signals(void);
// Takes the pending termination signals into termination_requested; 1 once
// the end was asked for. Puts the handler back if a library replaced it.
int take_termination_signals(void);
