// Sends a window the X message that its close button sends (kept apart from
// the tests: the X headers' macros clash with the test framework's names).
#include "platform/x11_close.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

bool send_close_message(SDL_Window *window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    Display *display = info.info.x11.display;
    XEvent message = {};
    message.xclient.type = ClientMessage;
    message.xclient.window = info.info.x11.window;
    message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    message.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(display, info.info.x11.window, False, NoEventMask, &message))
        return false;
    XFlush(display);
    return true;
}
