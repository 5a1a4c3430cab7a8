// The game window over SDL: the window and its OpenGL context, the frame
// bracket, and the pump that turns SDL's events into the window's events.
#include "platform/window.h"

#include "core/alloc.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/key_table.h"
#include "platform/log.h"
#include "platform/message_box.h"

#include <SDL2/SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Frames begun and not yet ended by this thread (the frame mutex is
// recursive, so brackets nest).
static thread_local int frames_held;

// ---- the message box ------------------------------------------------------------------

// A modal box would wait for ever under CI or on SDL's offscreen and dummy
// video drivers.
static int box_can_be_answered(void)
{
    if (getenv("CI"))
        return 0;
    const char *driver = SDL_GetCurrentVideoDriver();
    if (!driver)
        driver = getenv("SDL_VIDEODRIVER");
    if (driver && (strstr(driver, "offscreen") || strstr(driver, "dummy")))
        return 0;
    if (!driver && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
        return 0;
    return 1;
}

// SDL's simple message box, or standard error where nobody could answer one
// or SDL cannot show it.
void show_sdl_message_box(const char *title, const char *text)
{
    if (box_can_be_answered() && SDL_ShowSimpleMessageBox(0, title, text, nullptr) == 0)
        return;
    fprintf(stderr, "%s: %s\n", title, text);
    fflush(stderr);
}

// Start-up problems come before the window opens: the box is there from the
// start of the program.
[[maybe_unused]] static const int message_box_installed =
    (set_message_box_hook(show_sdl_message_box), 1);

// ---- SDL's video subsystem ----------------------------------------------------------

int start_video(void)
{
    static int started;
    if (started)
        return 1;
    // The window installs its own SIGINT and SIGTERM handlers; closing the
    // window gives one close event, not a quit event as well.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // Losing focus in full screen gives the desktop its mode back and
    // minimises the game; regaining it sets the full-screen mode again.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        log_printf("Can't start SDL video: %s\n", SDL_GetError());
        return 0;
    }
    // The OpenGL library stays loaded between windows.
    if (SDL_GL_LoadLibrary(nullptr) != 0)
        log_printf("Can't load the OpenGL library: %s\n", SDL_GetError());
    started = 1;
    return 1;
}

// ---- close signals ----------------------------------------------------------------------

static volatile sig_atomic_t close_signal_pending;
static struct sigaction old_interrupt_action, old_terminate_action;
static int signal_handlers_installed;

// SIGINT and SIGTERM close the window like its close button. A second signal
// while the first still waits for the pump means the game no longer pumps:
// the default action ends it.
static void on_close_signal(int signal_number)
{
    if (close_signal_pending) {
        signal(signal_number, SIG_DFL);
        raise(signal_number);
        return;
    }
    close_signal_pending = 1;
}

static void install_signal_handlers(void)
{
    if (signal_handlers_installed)
        return;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_close_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Cleared before the handlers go in, so a signal that comes at once is kept.
    close_signal_pending = 0;
    sigaction(SIGINT, &action, &old_interrupt_action);
    sigaction(SIGTERM, &action, &old_terminate_action);
    signal_handlers_installed = 1;
}

static void restore_signal_handlers(void)
{
    if (!signal_handlers_installed)
        return;
    sigaction(SIGINT, &old_interrupt_action, nullptr);
    sigaction(SIGTERM, &old_terminate_action, nullptr);
    signal_handlers_installed = 0;
}

// ---- display switching ---------------------------------------------------------------

static void set_moving(GameWindow *window, int moving)
{
    lock_mutex(&window->frame_mutex);
    window->moving = moving;
    unlock_mutex(&window->frame_mutex);
}

// Chooses the full-screen mode for the size and switches to it; the desktop
// size itself keeps the desktop's mode.
static int set_full_screen_mode(GameWindow *window, int width, int height)
{
    int desktop_width, desktop_height;
    int have_desktop = get_desktop_size(&desktop_width, &desktop_height);
    choose_full_screen_size(list_display_modes(), width, height, desktop_width, desktop_height,
                            &window->full_screen_width, &window->full_screen_height);
    if (!have_desktop || window->full_screen_width != desktop_width ||
        window->full_screen_height != desktop_height) {
        SDL_DisplayMode mode = {0, window->full_screen_width, window->full_screen_height, 0, nullptr};
        if (SDL_SetWindowDisplayMode(window->sdl_window, &mode) != 0 ||
            SDL_SetWindowFullscreen(window->sdl_window, SDL_WINDOW_FULLSCREEN) != 0) {
            log_printf("Can't switch to %dx%d: %s\n", window->full_screen_width,
                       window->full_screen_height, SDL_GetError());
            return 0;
        }
        return 1;
    }
    if (SDL_SetWindowFullscreen(window->sdl_window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
        log_printf("Can't switch to full screen: %s\n", SDL_GetError());
        return 0;
    }
    return 1;
}

static void go_full_screen(GameWindow *window, int width, int height)
{
    set_moving(window, 1);
    if (window->flags & WINDOW_RESIZABLE) {
        window->flags &= ~WINDOW_FULL_SCREEN_ACTIVE;
        set_full_screen_mode(window, width, height);
        window->flags |= WINDOW_FULL_SCREEN_ACTIVE;
    } else {
        // A fixed-size window keeps its size and stays windowed.
        log_printf("Fixed-size window stays windowed\n");
    }
    set_moving(window, 0);
}

static void go_windowed(GameWindow *window, int width, int height)
{
    set_moving(window, 1);
    window->flags &= ~WINDOW_FULL_SCREEN_ACTIVE;
    if (window->flags & WINDOW_RESIZABLE) {
        SDL_SetWindowFullscreen(window->sdl_window, 0);
        if (width == 0 || height == 0)
            get_desktop_size(&width, &height);
        SDL_SetWindowSize(window->sdl_window, width, height);
        SDL_SetWindowPosition(window->sdl_window, 0, 0);
    }
    set_moving(window, 0);
}

static void apply_display_request(GameWindow *window)
{
    lock_mutex(&window->event_mutex);
    int request = window->display_request;
    int width = window->display_request_width, height = window->display_request_height;
    window->display_request = DISPLAY_REQUEST_NONE;
    unlock_mutex(&window->event_mutex);
    if (request == DISPLAY_REQUEST_FULL_SCREEN)
        go_full_screen(window, width, height);
    else if (request == DISPLAY_REQUEST_WINDOWED)
        go_windowed(window, width, height);
}

// ---- the pump ---------------------------------------------------------------------------

// SDL stamps events with its own millisecond counter: the stamp becomes the
// game clock now less the event's age, never later than now.
static int64_t event_milliseconds(uint32_t timestamp, int64_t now, uint32_t ticks)
{
    int64_t age = (int32_t)(ticks - timestamp);
    return age > 0 ? now - age : now;
}

static void push_stamped(GameWindow *window, int code, int pressed, int64_t milliseconds)
{
    push_event(window, code, pressed, (int)(milliseconds / 1000), (int)(milliseconds % 1000) * 1000);
}

// Left Alt held without Ctrl makes a system key: such presses, and the press
// of Left Alt itself, become no events. Right Alt stays free for AltGr.
static int is_system_key(int scan, uint16_t modifiers)
{
    return scan == 0x38 || ((modifiers & KMOD_LALT) && !(modifiers & KMOD_CTRL));
}

// The characters that SDL sends no text for.
static int control_character(int scan)
{
    switch (scan) {
    case 0x0E: return 8;      // Backspace
    case 0x0F: return 9;      // Tab
    case 0x1C:                // Enter
    case 0x11C: return 13;    // Keypad Enter
    case 0x01: return 27;     // Esc
    case 0x153: return 127;   // Delete
    default: return 0;
    }
}

// The next code point of UTF-8 text (advancing it), or -1 for a bad byte.
static int next_code_point(const unsigned char **text)
{
    const unsigned char *s = *text;
    int c = *s++, extra;
    if (c < 0x80)
        extra = 0;
    else if ((c & 0xE0) == 0xC0)
        extra = 1, c &= 0x1F;
    else if ((c & 0xF0) == 0xE0)
        extra = 2, c &= 0x0F;
    else if ((c & 0xF8) == 0xF0)
        extra = 3, c &= 0x07;
    else {
        *text = s;
        return -1;
    }
    for (; extra > 0; extra--) {
        if ((*s & 0xC0) != 0x80) {
            *text = s;
            return -1;
        }
        c = (c << 6) | (*s++ & 0x3F);
    }
    *text = s;
    return c;
}

static void handle_window_event(GameWindow *window, const SDL_WindowEvent &event)
{
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        lock_mutex(&window->frame_mutex);
        window->requested_width = event.data1;
        window->requested_height = event.data2;
        unlock_mutex(&window->frame_mutex);
        log_printf("WM_SIZE message %dx%d\n", window->requested_width, window->requested_height);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        window->minimised = 1;
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        window->minimised = 0;
        break;
    case SDL_WINDOWEVENT_HIDDEN:
        window->hidden = 1;
        break;
    case SDL_WINDOWEVENT_SHOWN:
        window->hidden = 0;
        break;
    case SDL_WINDOWEVENT_CLOSE:
        push_event_now(window, EVENT_CLOSE, 1);
        break;
    default:
        break;
    }
}

static void handle_event(GameWindow *window, const SDL_Event &event, int64_t milliseconds)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int scan = scan_code_from_sdl(event.key.keysym.scancode);
        int pressed = event.type == SDL_KEYDOWN;
        if (!scan || (pressed && is_system_key(scan, event.key.keysym.mod)))
            break;
        // Auto-repeat arrives as further presses.
        push_stamped(window, EVENT_KEY_BASE + scan, pressed, milliseconds);
        int character = pressed ? control_character(scan) : 0;
        if (character)
            push_stamped(window, character, 1, milliseconds);
        break;
    }
    case SDL_TEXTINPUT: {
        SDL_Keymod modifiers = SDL_GetModState();
        if ((modifiers & KMOD_LALT) && !(modifiers & KMOD_CTRL))
            break;
        const unsigned char *text = (const unsigned char *)event.text.text;
        while (*text) {
            int c = next_code_point(&text);
            if (c >= 0 && c <= 0xFF)
                push_stamped(window, c, 1, milliseconds);
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int pressed = event.type == SDL_MOUSEBUTTONDOWN;
        if (event.button.button == SDL_BUTTON_LEFT)
            push_stamped(window, EVENT_MOUSE_LEFT, pressed, milliseconds);
        else if (event.button.button == SDL_BUTTON_MIDDLE)
            push_stamped(window, EVENT_MOUSE_MIDDLE, pressed, milliseconds);
        else if (event.button.button == SDL_BUTTON_RIGHT)
            push_stamped(window, EVENT_MOUSE_RIGHT, pressed, milliseconds);
        route_device_event(window, &event, milliseconds);
        break;
    }
    case SDL_MOUSEMOTION:
    case SDL_MOUSEWHEEL:
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        route_device_event(window, &event, milliseconds);
        break;
    case SDL_QUIT:
        push_event_now(window, EVENT_CLOSE, 1);
        break;
    case SDL_KEYMAPCHANGED:
        // The layout's key names are read again on their next use.
        forget_system_key_names();
        break;
    case SDL_WINDOWEVENT:
        if (event.window.windowID == window->sdl_window_id)
            handle_window_event(window, event.window);
        break;
    default:
        break;
    }
}

static void pump_sdl_events(GameWindow *window)
{
    if (!window || !window->sdl_window || window->closed)
        return;
    if (close_signal_pending) {
        close_signal_pending = 0;
        push_event_now(window, EVENT_CLOSE, 1);
    }
    apply_display_request(window);
    int64_t now = (int64_t)clock_milliseconds();
    uint32_t ticks = SDL_GetTicks();
    SDL_Event event;
    while (SDL_PollEvent(&event))
        handle_event(window, event, event_milliseconds(event.common.timestamp, now, ticks));
}

int post_window_close(GameWindow *window, int quit)
{
    if (!window || !window->sdl_window || window->closed)
        return 0;
    SDL_Event event;
    memset(&event, 0, sizeof event);
    if (quit) {
        event.type = SDL_QUIT;
    } else {
        event.type = SDL_WINDOWEVENT;
        event.window.event = SDL_WINDOWEVENT_CLOSE;
        event.window.windowID = window->sdl_window_id;
    }
    event.common.timestamp = SDL_GetTicks();
    return SDL_PushEvent(&event) == 1;
}

// ---- opening and closing ----------------------------------------------------------------

struct GlSettings {
    int colour_bits;
    int alpha_bits;
    int depth_bits;
    int stencil_bits;
    int accumulation_bits;
};

static void set_gl_attributes(const GlSettings &gl)
{
    int red, green, blue;
    switch (gl.colour_bits) {
    case 32:
    case 24: red = green = blue = 8; break;
    case 16: red = 5, green = 6, blue = 5; break;
    case 15: red = green = blue = 5; break;
    case 8: red = 3, green = 3, blue = 2; break;
    default: red = green = blue = gl.colour_bits / 3; break;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, gl.alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, gl.depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, gl.stencil_bits);
    int accumulation = gl.accumulation_bits / 4;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accumulation);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The drawing code is fixed-function OpenGL: never a core profile.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

static int read_window_options(void)
{
    static int options = -1;
    if (options < 0) {
        options = 0;
        if (voke_option_bool("fullscreen", 0))
            options |= WINDOW_OPTION_FULL_SCREEN;
        if (voke_option_bool("threaded", 0))
            options |= WINDOW_OPTION_THREADED;
        log_printf("Options:\n");
        log_printf("%10s [%s]\n", "threaded:", options & WINDOW_OPTION_THREADED ? "on" : "off");
        // SDL's video calls belong to the main thread, so the game thread
        // always pumps the window's events itself.
        if (options & WINDOW_OPTION_THREADED)
            log_printf("Threaded message processing is not used: the game thread pumps events\n");
    }
    return options;
}

// Destroys what open_window made; the record itself is freed by the caller.
static void destroy_window(GameWindow *window)
{
    destroy_mutex(&window->frame_mutex);
    checked_free(window->axis_names);
    window->axis_names = nullptr;
    if (window->devices) {
        log_printf("Closing input devices\n");
        close_input_devices(window);
    }
    if (window->joystick_subsystem)
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    if (window->sdl_window) {
        log_printf("Destroying window\n");
        // Destroying a full-screen window gives the desktop its mode back.
        SDL_DestroyWindow(window->sdl_window);
        window->sdl_window = nullptr;
    }
    SDL_StopTextInput();
    if (pump_window_messages_hook == pump_sdl_events)
        pump_window_messages_hook = nullptr;
    if (poll_input_devices_hook == poll_input_devices)
        poll_input_devices_hook = nullptr;
    restore_signal_handlers();
    free_window_events(window);
    log_printf("Window shutdown complete\n");
}

static GameWindow *open_window(const char *title, int width, int height, int flags,
                               const GlSettings *gl)
{
    if (!title)
        title = "";
    size_t title_length = strlen(title);
    GameWindow *window = (GameWindow *)checked_calloc(1, sizeof(GameWindow) + title_length + 1);
    list_display_modes();
    int options = read_window_options();
    if (!window)
        return nullptr;
    if (!start_video()) {
        checked_free(window);
        return nullptr;
    }
    init_window_events(window);
    init_mutex(&window->frame_mutex);

    char *title_copy = (char *)(window + 1);
    memcpy(title_copy, title, title_length + 1);
    window->title = title_copy;
    window->colour_bits = flags & 0xFF;
    window->option_bits = options;
    window->flags = WINDOW_OPENED;
    if (!(flags & WINDOW_FIXED_SIZE))
        window->flags |= WINDOW_RESIZABLE;
    if (options & WINDOW_OPTION_THREADED)
        window->flags |= WINDOW_THREADED;
    window->creating_thread = SDL_ThreadID();
    window->window_thread = window->creating_thread;

    if (width == 0 || height == 0)
        get_desktop_size(&width, &height);
    window->requested_width = width;
    window->requested_height = height;

    uint32_t window_flags = SDL_WINDOW_SHOWN | SDL_WINDOW_ALLOW_HIGHDPI;
    if (window->flags & WINDOW_RESIZABLE)
        window_flags |= SDL_WINDOW_RESIZABLE;
    if (gl) {
        window_flags |= SDL_WINDOW_OPENGL;
        log_printf("Choosing pixel format\n");
        set_gl_attributes(*gl);
    }
    log_printf("Creating window\n");
    window->sdl_window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          width, height, window_flags);
    if (!window->sdl_window) {
        log_error("Can't create window!\n");
        log_printf("%s\n", SDL_GetError());
        destroy_window(window);
        checked_free(window);
        return nullptr;
    }
    window->sdl_window_id = SDL_GetWindowID(window->sdl_window);

    if (flags & WINDOW_FULL_SCREEN)
        go_full_screen(window, width, height);
    SDL_RaiseWindow(window->sdl_window);

    pump_window_messages_hook = pump_sdl_events;
    poll_input_devices_hook = poll_input_devices;
    install_signal_handlers();
    forget_system_key_names();
    SDL_StartTextInput();

    dinput_roll_call(window);
    cursor_device_add(window);
    if (window->axis_names) {
        const char **names = (const char **)checked_realloc(
            window->axis_names, (window->axis_name_count + 1) * sizeof(const char *));
        if (names)
            window->axis_names = names;
    }
    voke_alias_add("cursor-left", "Mouse Left");
    voke_alias_add("cursor-middle", "Mouse Middle");
    voke_alias_add("cursor-right", "Mouse Right");
    return window;
}

GameWindow *voke_window_open(const char *title, int width, int height, int flags)
{
    return open_window(title, width, height, flags, nullptr);
}

void voke_window_close(GameWindow *window)
{
    if (!window)
        return;
    // Frames this thread still holds (a fatal stop inside a frame) end here.
    for (; frames_held > 0; frames_held--)
        unlock_mutex(&window->frame_mutex);
    window->closed = 1;
    destroy_window(window);
    checked_free(window);
}

GameWindow *open_gl_window(const char *title, int width, int height, int flags, int alpha_bits,
                           int depth_bits, int stencil_bits, int accumulation_bits)
{
    GlSettings gl = {flags & 0xFF, alpha_bits, depth_bits, stencil_bits, accumulation_bits};
    GameWindow *window = open_window(title, width, height, flags, &gl);
    if (!window)
        return nullptr;
    log_printf("Creating OpenGL context\n");
    window->gl_context = SDL_GL_CreateContext(window->sdl_window);
    if (!window->gl_context) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("%s\n", SDL_GetError());
        voke_window_close(window);
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(window->sdl_window, (SDL_GLContext)window->gl_context) != 0) {
        log_printf("Can't make the OpenGL context current: %s\n", SDL_GetError());
        close_gl_window(window);
        return nullptr;
    }
    set_fatal_close_hooks(nullptr, close_gl_window);
    return window;
}

void close_gl_window(GameWindow *window)
{
    if (!window)
        return;
    if (window->gl_context) {
        log_printf("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(window->sdl_window, nullptr);
        SDL_GL_DeleteContext((SDL_GLContext)window->gl_context);
        window->gl_context = nullptr;
    }
    voke_window_close(window);
}

// ---- the frame bracket ------------------------------------------------------------------

FrameSize *begin_frame(GameWindow *window)
{
    if (!window || !window->gl_context || window->closed || window->minimised || window->hidden)
        return nullptr;
    lock_mutex(&window->frame_mutex);
    if (window->moving) {
        unlock_mutex(&window->frame_mutex);
        return nullptr;
    }
    frames_held++;
    window->frame_size.reserved = 0;
    window->frame_size.width = window->requested_width;
    window->frame_size.height = window->requested_height;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window->sdl_window, &width, &height);
    if (width > 0 && height > 0) {
        window->frame_size.width = width;
        window->frame_size.height = height;
    }
    return &window->frame_size;
}

int end_frame(GameWindow *window)
{
    if (!window || !window->gl_context)
        return 0;
    SDL_GL_SwapWindow(window->sdl_window);
    if (frames_held > 0) {
        frames_held--;
        unlock_mutex(&window->frame_mutex);
    }
    return 1;
}

SDL_Window *get_window_handle(GameWindow *window)
{
    return window ? window->sdl_window : nullptr;
}

void *get_gl_proc_address(const char *name)
{
    return name ? SDL_GL_GetProcAddress(name) : nullptr;
}

int gl_context_is_current(void)
{
    return SDL_GL_GetCurrentContext() != nullptr;
}

int get_current_drawable_size(int *width, int *height)
{
    *width = *height = 0;
    SDL_Window *window = SDL_GL_GetCurrentContext() ? SDL_GL_GetCurrentWindow() : nullptr;
    if (!window)
        return 0;
    SDL_GL_GetDrawableSize(window, width, height);
    return *width > 0 && *height > 0;
}

int set_swap_interval(int wait)
{
    if (!SDL_GL_GetCurrentContext())
        return 0;
    if (!wait)
        return SDL_GL_SetSwapInterval(0) == 0;
    if (SDL_GL_SetSwapInterval(-1) == 0)
        return 1;
    return SDL_GL_SetSwapInterval(1) == 0;
}
