// Control bindings: each rider control and utility action bound to one key
// or one axis range, their text form in "@config", binding them to the
// window's devices, and the capture that the controls screen runs when the
// player picks a row and presses a key or moves an axis.
#pragma once

#include "app/widgets.h"

struct AxisBinding;
struct GameFile;
struct GameWindow;

enum { RIDING_BINDING_COUNT = 12, UTILITY_BINDING_COUNT = 8, BINDING_COUNT = 20 };

struct KeyBinding {
    const char *label;
    const char *config_key;
    const char *key_name;    // interned; null when an axis (or nothing) is bound
    int key_code;            // the key's event code, -1 until looked up
    const char *axis_name;   // interned; null when none
    AxisBinding *axis;       // the live binding of that axis, or null
    float range_start;       // axis position that means "not pressed"
    float range_end;         // axis position that means "fully pressed"
    WidgetRect rect;
};

// Lean Backward, Lean Forward, Back up, Sit/Dab, Clutch, Downshift, Upshift,
// Rear Brake, Front Brake, Throttle, Right, Left.
extern KeyBinding riding_bindings[RIDING_BINDING_COUNT];
// Screenshot, Chat, Previous Bike, Next Bike, Skip, Rewind, Step, Pause.
extern KeyBinding utility_bindings[UTILITY_BINDING_COUNT];
// Every binding in the order of "@config" and the controls screen:
// Throttle .. Lean Backward, Pause, Step, Rewind, Skip, Previous Bike,
// Next Bike, Chat, Screenshot.
extern KeyBinding *const binding_order[BINDING_COUNT];

// The binding being captured, null when none.
extern KeyBinding *watched_binding;

// Sets a binding from its text: "(start,end)axis name" binds an axis
// range, anything else (less a leading "(k)") a key name. A range with
// equal ends or a number that is not finite leaves the binding as it was
// (logged): 0. Else 1.
int parse_binding(KeyBinding *binding, const char *text);
// "(k)key name" or "(start,end)axis name" into text; 0 when neither is bound.
int format_binding(const KeyBinding *binding, char *text, int size);
// What the controls screen shows of a binding: "<<PRESS A KEY>>" while it
// is captured, the key's name, the axis name with "(Positive)" or
// "(Negative)" by the range's end, else "None".
void binding_row_text(const KeyBinding *binding, char *text, int size);
// The binding whose configuration key this is, or null.
KeyBinding *find_binding_by_key(const char *config_key);

// Looks up every binding's key code, or binds its axis, in the window.
void bind_binding_inputs(GameWindow *window);
// Releases every binding's axis.
void unbind_binding_inputs(void);

// Starts capturing the next key or axis movement into the binding.
void watch_pots(KeyBinding *binding);
// Each frame while a capture runs: ends it when an axis or a key has won.
void finish_watching_pots(void);
// The main loop's handling of a press while a capture runs: "esc" cancels
// it, the first other key with a name is kept with the time. 1 when the
// capture took the event.
int capture_binding_event(int code, int pressed);
// Ends a capture without a result (the axes watched are released).
void cancel_watching_pots(void);
// Moves the menu's highlight to the item under the cursor when the cursor
// moved, unless a capture runs.
void hover_menu_item(void);
