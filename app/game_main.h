// The program: start-up in its fixed order, the main loop, and shutdown
// in its fixed order with each step shown on the loading screen.
#pragma once

// The whole program; the exit code: 0 after a normal shutdown and after
// "--open-home", 1 for a bad command line, no tracks or no window.
int game_main(int argc, char **argv);

// What the start-up leaves to do.
enum StartResult {
    START_ENDED = 0,      // the program ends with *exit_code
    START_RUN_LOOP = 1,   // the main loop, then the shutdown
    START_SHUT_DOWN = 2,  // the shutdown at once (a signal, a close, a frame that cannot end)
};
// Start-up up to the main loop, each step in order.
int start_game(int argc, char **argv, int *exit_code);
// Shutdown from whatever start-up or the loop left; the exit code.
int shut_down_game(void);
