// The program: start-up in its fixed order, the main loop, and shutdown
// in its fixed order with each step shown on the loading screen.
#pragma once

// The whole program; the exit code: 0 after a normal shutdown and after
// "--open-home", 1 for a bad command line, no tracks or no window.
int game_main(int argc, char **argv);

// Start-up up to the main loop: 0 and *exit_code set when the program ends
// before the loop (its code), else 1.
int start_game(int argc, char **argv, int *exit_code);
// Shutdown from whatever start-up or the loop left; the exit code.
int shut_down_game(void);

// SIGTERM asks the loop (or the start-up) to end; SIGPIPE is ignored so a
// failed capture write ends that capture instead of the program.
void install_signal_handlers(void);
