// Sends a window the X message that its close button sends.
#pragma once

struct SDL_Window;

// False when the window is not an X window or the message could not be sent.
bool send_close_message(SDL_Window *window);
