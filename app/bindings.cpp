// Control bindings, their text form, and capturing a key or an axis range
// into a binding from the controls screen.
#include "app/bindings.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/menu.h"
#include "app/shell.h"
#include "core/alloc.h"
#include "core/message.h"
#include "platform/input.h"
#include "platform/key_names.h"
#include "platform/log.h"
#include "render/render_settings.h"

namespace {

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};

constexpr KeyBinding key(const char *label, const char *config_key, const char *name)
{
    return KeyBinding{label, config_key, name, -1, nullptr, nullptr, 0.0f, 1.0f, NO_RECT};
}

const double CAPTURE_SETTLE_SECONDS = 0.25;
const float AXIS_WIN_DISTANCE = 0.5f;

struct WatchedAxis {
    const char *name;
    AxisBinding *binding;
    float start;
    float extreme;
};

WatchedAxis *watched_axes;
int watched_axis_count;
const char *captured_key_name;
int captured_key_code;
double last_change_time;
int last_hover_x = -1000000, last_hover_y = -1000000;

float axis_position(AxisBinding *binding)
{
    return (float)read_axis(binding) * (1.0f / 32768.0f);
}

void release_axis(AxisBinding *binding)
{
    if (!binding)
        return;
    unbind_axis(binding);
    checked_free(binding);
}

// Releases the watched axes but the one kept, and forgets the list.
void end_capture(AxisBinding *kept)
{
    for (int i = 0; i < watched_axis_count; i++)
        if (watched_axes[i].binding != kept)
            release_axis(watched_axes[i].binding);
    checked_free(watched_axes);
    watched_axes = nullptr;
    watched_axis_count = 0;
    watched_binding = nullptr;
    captured_key_name = nullptr;
    if (debug_level)
        log_printf("Done watching pots\n");
}

}  // namespace

KeyBinding riding_bindings[RIDING_BINDING_COUNT] = {
    key("Lean Backward", "lean_backward_key", "m"),
    key("Lean Forward", "lean_forward_key", "n"),
    key("Back up", "back_up_key", "b"),
    key("Sit/Dab", "dab_key", "right ctrl"),
    key("Clutch", "clutch_key", "z"),
    key("Downshift", "downshift_key", "down"),
    key("Upshift", "upshift_key", "up"),
    key("Rear Brake", "rear_brake_key", "v"),
    key("Front Brake", "front_brake_key", "c"),
    key("Throttle", "throttle_key", "x"),
    key("Right", "right_key", "right"),
    key("Left", "left_key", "left"),
};

KeyBinding utility_bindings[UTILITY_BINDING_COUNT] = {
    key("Screenshot", "screenshot_key", "s"),
    key("Chat", "console_key", "t"),
    key("Previous Bike", "prev_key", "["),
    key("Next Bike", "next_key", "]"),
    key("Skip", "skip_key", "/"),
    key("Rewind", "rewind_key", "\\"),
    key("Step", "step_key", "."),
    key("Pause", "pause_key", "pause"),
};

KeyBinding *const binding_order[BINDING_COUNT] = {
    &riding_bindings[9], &riding_bindings[8], &riding_bindings[7], &riding_bindings[11],
    &riding_bindings[10], &riding_bindings[4], &riding_bindings[6], &riding_bindings[5],
    &riding_bindings[3], &riding_bindings[2], &riding_bindings[1], &riding_bindings[0],
    &utility_bindings[7], &utility_bindings[6], &utility_bindings[5], &utility_bindings[4],
    &utility_bindings[2], &utility_bindings[3], &utility_bindings[1], &utility_bindings[0],
};

KeyBinding *watched_binding;

int parse_binding(KeyBinding *binding, const char *text)
{
    text += strspn(text, " \t");
    float start = 0.0f, end = 1.0f;
    const char *axis_name = nullptr;
    const char *close = strchr(text, ')');
    if (text[0] == '(' && close && close[1] && sscanf(text, "(%f,%f)", &start, &end) == 2) {
        // The binding's value divides by the range's length.
        if (!std::isfinite(start) || !std::isfinite(end) || start == end) {
            log_printf("Binding %s: bad range \"%.60s\" ignored\n", binding->config_key, text);
            return 0;
        }
        axis_name = close + 1;
    }
    release_axis(binding->axis);
    binding->axis = nullptr;
    binding->key_name = nullptr;
    binding->key_code = -1;
    binding->axis_name = nullptr;
    binding->range_start = 0.0f;
    binding->range_end = 1.0f;
    if (axis_name) {
        binding->axis_name = intern_string(axis_name);
        binding->range_start = start;
        binding->range_end = end;
        return 1;
    }
    if (!strncmp(text, "(k)", 3))
        text += 3;
    if (text[0])
        binding->key_name = intern_string(text);
    return 1;
}

int format_binding(const KeyBinding *binding, char *text, int size)
{
    if (binding->key_name)
        return snprintf(text, (size_t)size, "(k)%s", binding->key_name) < size;
    if (binding->axis_name)
        return snprintf(text, (size_t)size, "(%f,%f)%s", (double)binding->range_start,
                        (double)binding->range_end, binding->axis_name) < size;
    return 0;
}

void binding_row_text(const KeyBinding *binding, char *text, int size)
{
    if (binding == watched_binding)
        snprintf(text, (size_t)size, "<<PRESS A KEY>>");
    else if (binding->key_name)
        snprintf(text, (size_t)size, "%.1023s", binding->key_name);
    else if (binding->axis_name)
        snprintf(text, (size_t)size, "%.1000s %s", binding->axis_name,
                 binding->range_end >= 0.0f ? "(Positive)" : "(Negative)");
    else
        snprintf(text, (size_t)size, "None");
}

KeyBinding *find_binding_by_key(const char *config_key)
{
    for (KeyBinding *binding : binding_order)
        if (!strcmp(binding->config_key, config_key))
            return binding;
    return nullptr;
}

void bind_binding_inputs(GameWindow *window)
{
    for (KeyBinding *binding : binding_order) {
        int code;
        if (binding->key_name && parse_key_name(window, &code, binding->key_name)) {
            binding->key_code = code;
        } else if (binding->axis_name && !binding->axis) {
            binding->axis = bind_axis(window, binding->axis_name);
        }
    }
}

void unbind_binding_inputs(void)
{
    for (KeyBinding *binding : binding_order) {
        release_axis(binding->axis);
        binding->axis = nullptr;
    }
}

void watch_pots(KeyBinding *binding)
{
    if (watched_binding)
        cancel_watching_pots();
    captured_key_name = nullptr;
    last_change_time = current_time;
    watched_binding = binding;
    if (debug_level)
        log_printf("Watching pots\n");
    const char *const *names = get_axis_names(game_window);
    int count = 0;
    while (names[count])
        count++;
    watched_axes = count ? (WatchedAxis *)xmalloc(sizeof(WatchedAxis) * (size_t)count) : nullptr;
    watched_axis_count = count;
    for (int i = 0; i < count; i++) {
        WatchedAxis *axis = &watched_axes[i];
        axis->name = names[i];
        axis->binding = bind_axis(game_window, names[i]);
        axis->start = axis->extreme = axis->binding ? axis_position(axis->binding) : 0.0f;
        if (debug_level)
            log_printf("\t%s %s\n", names[i], axis->binding ? "Ok" : "Failed");
    }
}

void finish_watching_pots(void)
{
    if (!watched_binding)
        return;
    double now = current_time;
    for (int i = 0; i < watched_axis_count; i++) {
        WatchedAxis *axis = &watched_axes[i];
        if (!axis->binding)
            continue;
        float position = axis_position(axis->binding);
        if (fabsf(position - axis->start) > fabsf(axis->extreme - axis->start)) {
            axis->extreme = position;
            last_change_time = now;
        }
    }
    if (now - last_change_time <= CAPTURE_SETTLE_SECONDS)
        return;
    KeyBinding *binding = watched_binding;
    for (int i = 0; i < watched_axis_count; i++) {
        WatchedAxis *axis = &watched_axes[i];
        if (!axis->binding || !(fabsf(axis->extreme - axis->start) > AXIS_WIN_DISTANCE))
            continue;
        float travel = axis->extreme - axis->start;
        release_axis(binding->axis);
        binding->key_name = nullptr;
        binding->key_code = -1;
        binding->axis_name = intern_string(axis->name);
        binding->axis = axis->binding;
        binding->range_start = axis->start + travel * (1.0f / 16.0f);
        binding->range_end = axis->start + travel * (15.0f / 16.0f);
        end_capture(axis->binding);
        return;
    }
    if (captured_key_name) {
        release_axis(binding->axis);
        binding->axis = nullptr;
        binding->axis_name = nullptr;
        binding->key_name = captured_key_name;
        binding->key_code = captured_key_code;
        end_capture(nullptr);
    }
}

void cancel_watching_pots(void)
{
    if (watched_binding)
        end_capture(nullptr);
}

int capture_binding_event(int code, int pressed)
{
    if (!watched_binding || !pressed)
        return 0;
    if (code == menu_keys.esc) {
        cancel_watching_pots();
        return 1;
    }
    if (!captured_key_name) {
        const char *name = get_key_name(game_window, code);
        if (name && name[0]) {
            captured_key_name = intern_string(name);
            captured_key_code = code;
            last_change_time = current_time;
        }
    }
    return 1;
}

void hover_menu_item(void)
{
    if (watched_binding || (cursor_x == last_hover_x && cursor_y == last_hover_y))
        return;
    last_hover_x = cursor_x;
    last_hover_y = cursor_y;
    if (menu_state < 0 || menu_state == MENU_EXIT)
        return;
    int item = find_rect_under_cursor(menu_hover_rects(menu_state));
    if (item >= 0)
        menu_selection = item;
}
