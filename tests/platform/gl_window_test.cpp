// The SDL window with its OpenGL context under a real X display: drawing a
// frame, the frame bracket, events from SDL and signals, minimising and
// display switching.
#include "core/alloc.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "drain_events.h"
#include "platform/x11_close.h"
#include "support/test_support.h"

#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Event = TakenEvent;

std::vector<int> pressed_codes(const std::vector<Event> &events)
{
    std::vector<int> codes;
    for (const Event &e : events)
        codes.push_back(e.pressed ? e.code : -e.code);
    return codes;
}

void push_key(GameWindow *window, SDL_Scancode scancode, bool down, uint16_t modifiers = 0)
{
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = window->sdl_window_id;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = modifiers;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void push_window_event(GameWindow *window, SDL_WindowEventID id)
{
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = window->sdl_window_id;
    event.window.event = id;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void push_text(GameWindow *window, const char *text)
{
    SDL_Event event = {};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = window->sdl_window_id;
    strncpy(event.text.text, text, sizeof event.text.text - 1);
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void push_mouse_button(GameWindow *window, int button, bool down)
{
    SDL_Event event = {};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.windowID = window->sdl_window_id;
    event.button.button = (uint8_t)button;
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Pumps until an event with the code arrives (X events take a round trip),
// at most about two seconds; the events seen on the way are kept.
bool wait_for_code(GameWindow *window, int code, std::vector<Event> *seen)
{
    for (int i = 0; i < 400; i++) {
        for (const Event &e : drain(window)) {
            seen->push_back(e);
            if (e.code == code)
                return true;
        }
        SDL_Delay(5);
    }
    return false;
}

// Pumps until the frame has the size, at most about two seconds.
bool wait_for_frame_size(GameWindow *window, int width, int height)
{
    for (int i = 0; i < 400; i++) {
        drain(window);
        FrameSize *frame = begin_frame(window);
        bool match = frame && frame->width == width && frame->height == height;
        if (frame)
            end_frame(window);
        if (match)
            return true;
        SDL_Delay(5);
    }
    return false;
}

bool other_thread_can_lock(Mutex *mutex)
{
    bool locked = false;
    std::thread other([&] {
        locked = pthread_mutex_trylock(&mutex->handle) == 0;
        if (locked)
            pthread_mutex_unlock(&mutex->handle);
    });
    other.join();
    return locked;
}

uint64_t fixed_clock()
{
    return 86400000;   // one day after the clock's origin
}

struct GlWindow : testing::Test {
    GameWindow *window = nullptr;
    void SetUp() override
    {
        window = open_gl_window("Rutline test", 320, 240, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        drain(window);
    }
    void TearDown() override { close_gl_window(window); }
};

} // namespace

TEST_F(GlWindow, DrawsAFrameThatReadsBack)
{
    FrameSize *frame = begin_frame(window);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->reserved, 0);
    EXPECT_EQ(frame->width, 320);
    EXPECT_EQ(frame->height, 240);

    glViewport(0, 0, frame->width, frame->height);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 10, 10);
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    unsigned char corner[4] = {}, middle[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(5, 5, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    glReadPixels(160, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, middle);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(corner[0], 255);
    EXPECT_EQ(corner[1], 0);
    EXPECT_EQ(corner[2], 255);
    EXPECT_EQ(middle[0], 0);
    EXPECT_EQ(middle[1], 255);
    EXPECT_EQ(middle[2], 0);
    EXPECT_EQ(end_frame(window), 1);

    // A compatibility context: fixed-function calls work.
    GLint depth_bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    EXPECT_GE(depth_bits, 16);
    EXPECT_NE(get_gl_proc_address("glActiveTextureARB"), nullptr);
    EXPECT_EQ(get_window_handle(window), window->sdl_window);
}

TEST_F(GlWindow, KeysBecomeScanCodeEventsAndControlCharacters)
{
    struct Case {
        SDL_Scancode scancode;
        bool down;
        uint16_t modifiers;
        std::vector<int> codes;   // negative: released
    } cases[] = {
        {SDL_SCANCODE_RCTRL, true, 0, {0x111D}},
        {SDL_SCANCODE_RCTRL, false, 0, {-0x111D}},
        {SDL_SCANCODE_NUMLOCKCLEAR, true, 0, {0x1145}},
        {SDL_SCANCODE_PAUSE, true, 0, {0x1045}},
        {SDL_SCANCODE_KP_DIVIDE, true, 0, {0x1135}},
        {SDL_SCANCODE_HOME, true, 0, {0x1147}},
        {SDL_SCANCODE_BACKSPACE, true, 0, {0x100E, 8}},
        {SDL_SCANCODE_TAB, true, 0, {0x100F, 9}},
        {SDL_SCANCODE_RETURN, true, 0, {0x101C, 13}},
        {SDL_SCANCODE_KP_ENTER, true, 0, {0x111C, 13}},
        {SDL_SCANCODE_ESCAPE, true, 0, {0x1001, 27}},
        {SDL_SCANCODE_DELETE, true, 0, {0x1153, 127}},
        {SDL_SCANCODE_DELETE, false, 0, {-0x1153}},
        // Left Alt makes system keys: no presses, but releases still come.
        {SDL_SCANCODE_LALT, true, KMOD_LALT, {}},
        {SDL_SCANCODE_A, true, KMOD_LALT, {}},
        {SDL_SCANCODE_A, false, KMOD_LALT, {-0x101E}},
        {SDL_SCANCODE_LALT, false, 0, {-0x1038}},
        {SDL_SCANCODE_A, true, KMOD_LALT | KMOD_LCTRL, {0x101E}},
        {SDL_SCANCODE_RALT, true, KMOD_RALT, {0x1138}},
        {SDL_SCANCODE_A, true, KMOD_RALT, {0x101E}},
        {SDL_SCANCODE_KP_HEXADECIMAL, true, 0, {}},
    };
    for (const Case &c : cases) {
        push_key(window, c.scancode, c.down, c.modifiers);
        EXPECT_EQ(pressed_codes(drain(window)), c.codes) << SDL_GetScancodeName(c.scancode);
    }

    // Auto-repeat arrives as further presses.
    SDL_Event repeat = {};
    repeat.type = SDL_KEYDOWN;
    repeat.key.state = SDL_PRESSED;
    repeat.key.repeat = 1;
    repeat.key.keysym.scancode = SDL_SCANCODE_UP;
    SDL_PushEvent(&repeat);
    SDL_PushEvent(&repeat);
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{0x1148, 0x1148}));
}

TEST_F(GlWindow, TextMouseButtonsAndQuit)
{
    SDL_SetModState(KMOD_NONE);
    push_text(window, "a\xC3\xA9\xE2\x82\xAC\xFFz");   // a, e-acute, euro sign, bad byte, z
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{'a', 0xE9, 'z'}));

    SDL_SetModState(KMOD_LALT);
    push_text(window, "q");
    EXPECT_TRUE(drain(window).empty());
    SDL_SetModState(KMOD_NONE);

    push_mouse_button(window, SDL_BUTTON_LEFT, true);
    push_mouse_button(window, SDL_BUTTON_MIDDLE, true);
    push_mouse_button(window, SDL_BUTTON_RIGHT, true);
    push_mouse_button(window, SDL_BUTTON_X1, true);
    push_mouse_button(window, SDL_BUTTON_RIGHT, false);
    EXPECT_EQ(pressed_codes(drain(window)),
              (std::vector<int>{0x2000, 0x2001, 0x2002, -0x2002}));

    SDL_Event quit = {};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{0xdead}));
}

TEST_F(GlWindow, StampsFollowTheGameClockAndNeverLieAhead)
{
    set_clock_function(fixed_clock);
    push_key(window, SDL_SCANCODE_B, true);
    // An event pushed with an earlier stamp comes out first.
    push_event(window, 0x1010, 1, 86399, 0);
    raise(SIGTERM);
    std::vector<Event> events = drain(window);
    set_clock_function(nullptr);

    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].code, 0x1010);
    for (const Event &e : events) {
        int64_t ms = (int64_t)e.seconds * 1000 + e.microseconds / 1000;
        EXPECT_LE(ms, 86400000) << e.code;
        EXPECT_GT(ms, 86400000 - 2000) << e.code;
        EXPECT_EQ(e.microseconds % 1000, 0);
    }
    std::vector<int> later = pressed_codes({events[1], events[2]});
    std::sort(later.begin(), later.end());
    EXPECT_EQ(later, (std::vector<int>{0x1030, 0xdead}));

    // The system clock again: stamps are not later than get_time.
    push_key(window, SDL_SCANCODE_B, false);
    events = drain(window);
    TimeValue now;
    get_time(&now);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_LE(compare_times(events[0].seconds, events[0].microseconds, now.seconds, now.microseconds), 0);
}

TEST_F(GlWindow, TheCloseButtonGivesExactlyOneCloseEvent)
{
    ASSERT_TRUE(send_close_message(window->sdl_window));

    std::vector<Event> seen;
    ASSERT_TRUE(wait_for_code(window, 0xdead, &seen));
    SDL_Delay(50);
    for (const Event &e : drain(window))
        seen.push_back(e);
    int closes = 0;
    for (const Event &e : seen)
        closes += e.code == 0xdead;
    EXPECT_EQ(closes, 1);
    // The window stays open and drawable.
    FrameSize *frame = begin_frame(window);
    EXPECT_NE(frame, nullptr);
    if (frame)
        end_frame(window);
}

TEST_F(GlWindow, InterruptAndTerminateCloseTheWindowInOrder)
{
    raise(SIGINT);
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{0xdead}));
    raise(SIGTERM);
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{0xdead}));
    EXPECT_TRUE(drain(window).empty());
    // A second signal while the first waits for the pump ends the process.
    EXPECT_EXIT(
        {
            raise(SIGTERM);
            raise(SIGTERM);
            exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}

TEST_F(GlWindow, MinimisedOrHiddenWindowsDrawNothing)
{
    struct Case {
        SDL_WindowEventID event;
        bool draws;
    } cases[] = {
        {SDL_WINDOWEVENT_MINIMIZED, false}, {SDL_WINDOWEVENT_RESTORED, true},
        {SDL_WINDOWEVENT_HIDDEN, false},    {SDL_WINDOWEVENT_MINIMIZED, false},
        {SDL_WINDOWEVENT_SHOWN, false},     {SDL_WINDOWEVENT_MAXIMIZED, true},
    };
    for (const Case &c : cases) {
        push_window_event(window, c.event);
        drain(window);
        FrameSize *frame = begin_frame(window);
        EXPECT_EQ(frame != nullptr, c.draws) << (int)c.event;
        if (frame) {
            EXPECT_EQ(end_frame(window), 1);
        }
        // No frame: the frame mutex is not held.
        EXPECT_TRUE(other_thread_can_lock(&window->frame_mutex));
    }
}

TEST_F(GlWindow, FrameBracketsNestAndAStrayEndIsHarmless)
{
    EXPECT_EQ(end_frame(window), 1);   // no bracket open
    EXPECT_TRUE(other_thread_can_lock(&window->frame_mutex));

    ASSERT_NE(begin_frame(window), nullptr);
    ASSERT_NE(begin_frame(window), nullptr);   // a loading screen inside a frame
    EXPECT_FALSE(other_thread_can_lock(&window->frame_mutex));
    EXPECT_EQ(end_frame(window), 1);
    EXPECT_FALSE(other_thread_can_lock(&window->frame_mutex));
    EXPECT_EQ(end_frame(window), 1);
    EXPECT_TRUE(other_thread_can_lock(&window->frame_mutex));
    EXPECT_EQ(end_frame(window), 1);
    EXPECT_TRUE(other_thread_can_lock(&window->frame_mutex));

    // Closing inside a frame (a fatal stop) releases it.
    ASSERT_NE(begin_frame(window), nullptr);
    close_gl_window(window);
    window = nullptr;
    EXPECT_EQ(begin_frame(nullptr), nullptr);
    EXPECT_EQ(end_frame(nullptr), 0);
}

TEST_F(GlWindow, ResizingChangesTheFrameSize)
{
    SDL_SetWindowSize(window->sdl_window, 400, 300);
    EXPECT_TRUE(wait_for_frame_size(window, 400, 300));
    EXPECT_EQ(window->requested_width, 400);
    EXPECT_EQ(window->requested_height, 300);
}

TEST_F(GlWindow, SwitchesToFullScreenAndBack)
{
    int desktop_width, desktop_height;
    ASSERT_EQ(get_desktop_size(&desktop_width, &desktop_height), 1);
    // No size, the desktop's own size and a size beyond every mode all keep
    // the desktop's mode.
    struct Case {
        int width, height;
    } cases[] = {{0, 0}, {desktop_width, desktop_height}, {desktop_width + 1, 5000}};
    for (const Case &c : cases) {
        EXPECT_EQ(request_display_mode(window, c.width, c.height, WINDOW_FULL_SCREEN), 1);
        drain(window);
        EXPECT_TRUE(window->flags & WINDOW_FULL_SCREEN_ACTIVE) << c.width;
        EXPECT_EQ(window->full_screen_width, desktop_width) << c.width;
        EXPECT_EQ(window->full_screen_height, desktop_height) << c.width;
        EXPECT_EQ(SDL_GetWindowFlags(window->sdl_window) & SDL_WINDOW_FULLSCREEN_DESKTOP,
                  (uint32_t)SDL_WINDOW_FULLSCREEN_DESKTOP) << c.width;
        EXPECT_TRUE(wait_for_frame_size(window, desktop_width, desktop_height)) << c.width;

        EXPECT_EQ(request_display_mode(window, 300, 200, 0), 1);
        drain(window);
        EXPECT_FALSE(window->flags & WINDOW_FULL_SCREEN_ACTIVE);
        EXPECT_FALSE(SDL_GetWindowFlags(window->sdl_window) & SDL_WINDOW_FULLSCREEN);
        EXPECT_TRUE(wait_for_frame_size(window, 300, 200)) << c.width;
    }
}

TEST(GlWindowOpen, FixedSizeWindowsStayWindowed)
{
    GameWindow *window = open_gl_window("Rutline fixed", 200, 150, 24 | WINDOW_FIXED_SIZE, 0, 16, 0, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->flags & WINDOW_RESIZABLE);
    request_display_mode(window, 0, 0, WINDOW_FULL_SCREEN);
    drain(window);
    EXPECT_FALSE(window->flags & WINDOW_FULL_SCREEN_ACTIVE);
    EXPECT_FALSE(SDL_GetWindowFlags(window->sdl_window) & SDL_WINDOW_FULLSCREEN);
    FrameSize *frame = begin_frame(window);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->width, 200);
    EXPECT_EQ(frame->height, 150);
    end_frame(window);
    close_gl_window(window);
}

TEST(GlWindowOpen, ZeroSizeOpensAtTheDesktopSize)
{
    int desktop_width, desktop_height;
    ASSERT_EQ(get_desktop_size(&desktop_width, &desktop_height), 1);
    GameWindow *window = open_gl_window("Rutline desktop", 0, 0, 32, 8, 24, 8, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->requested_width, desktop_width);
    EXPECT_EQ(window->requested_height, desktop_height);
    EXPECT_EQ(window->colour_bits, 32);
    EXPECT_STREQ(window->title, "Rutline desktop");
    GLint alpha = 0, stencil = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    EXPECT_GE(alpha, 8);
    EXPECT_GE(stencil, 8);
    close_gl_window(window);
}

TEST(GlWindowOpen, AWindowWithoutContextDrawsNothing)
{
    GameWindow *window = voke_window_open("Rutline bare", 160, 120, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(begin_frame(window), nullptr);
    EXPECT_EQ(end_frame(window), 0);
    voke_window_close(window);

    // Closing gives the signals back.
    struct sigaction action;
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    close_gl_window(nullptr);
}

TEST(GlWindowOpen, DisplayModesStartWithTheDesktop)
{
    const DisplayMode *modes = list_display_modes();
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(list_display_modes(), modes);   // built once
    int desktop_width, desktop_height;
    ASSERT_EQ(get_desktop_size(&desktop_width, &desktop_height), 1);
    ASSERT_NE(modes[0].width, 0);
    EXPECT_EQ(modes[0].width, desktop_width);
    EXPECT_EQ(modes[0].height, desktop_height);
    int count = 0;
    for (; modes[count].width; count++) {
        EXPECT_TRUE(is_accepted_depth(modes[count].bits_per_pixel));
        for (int j = 0; j < count; j++)
            EXPECT_FALSE(modes[j].width == modes[count].width &&
                         modes[j].height == modes[count].height &&
                         modes[j].bits_per_pixel == modes[count].bits_per_pixel);
    }
    EXPECT_EQ(modes[count].height, 0);
    EXPECT_EQ(modes[count].bits_per_pixel, 0);
}

TEST_F(GlWindow, CursorAxesGiveThePointerInWindowPixels)
{
    AxisBinding *x = bind_axis(window, "cursor-x");
    AxisBinding *y = bind_axis(window, "cursor-y");
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    SDL_WarpMouseInWindow(window->sdl_window, 30, 40);
    drain(window);
    EXPECT_EQ(read_axis(x), 30);
    EXPECT_EQ(read_axis(y), 40);
    EXPECT_EQ(get_axis_names(window)[0], nullptr);   // the cursor is not listed
    int code = 0;
    ASSERT_EQ(parse_key_name(window, &code, "cursor-right"), 1);
    EXPECT_EQ(code, 0x2002);
    unbind_axis(x);
    unbind_axis(y);
    checked_free(x);
    checked_free(y);
}

TEST(GlWindowOpen, FullScreenAtOpenKeepsTheDesktopModeForZeroSize)
{
    int desktop_width, desktop_height;
    ASSERT_EQ(get_desktop_size(&desktop_width, &desktop_height), 1);
    GameWindow *window = open_gl_window("Rutline full", 0, 0, 16 | WINDOW_FULL_SCREEN, 0, 16, 0, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->flags & WINDOW_FULL_SCREEN_ACTIVE);
    // Both bits: the desktop's mode, not a mode change.
    EXPECT_EQ(SDL_GetWindowFlags(window->sdl_window) & SDL_WINDOW_FULLSCREEN_DESKTOP,
              (uint32_t)SDL_WINDOW_FULLSCREEN_DESKTOP);
    EXPECT_EQ(window->full_screen_width, desktop_width);
    EXPECT_EQ(window->full_screen_height, desktop_height);
    EXPECT_TRUE(wait_for_frame_size(window, desktop_width, desktop_height));
    close_gl_window(window);
}

TEST(GlWindowOpen, TheThreadedOptionIsLoggedAndTheGameThreadStillPumps)
{
    std::string log_path = test_dir() + "/window-log.txt";
    setenv("VOKE_LOGFILE", log_path.c_str(), 1);
    setenv("VOKE_OPTIONS", "[threaded:yes]", 1);
    GameWindow *window = open_gl_window("Rutline threaded", 160, 120, 24, 0, 16, 0, 0);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->flags & WINDOW_THREADED);
    drain(window);
    push_key(window, SDL_SCANCODE_Q, true);
    EXPECT_EQ(pressed_codes(drain(window)), (std::vector<int>{0x1010}));
    close_gl_window(window);

    std::string log;
    ASSERT_TRUE(read_file(log_path, &log));
    EXPECT_NE(log.find("] Options:\n"), std::string::npos) << log;
    EXPECT_NE(log.find("]  threaded: [on]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("the game thread pumps events"), std::string::npos) << log;
    EXPECT_NE(log.find("] Deleting OpenGL context\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] Window shutdown complete\n"), std::string::npos) << log;
}
