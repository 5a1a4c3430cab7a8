// The player's bike setup: the bike, the rider's name, number and looks,
// and the tuning values, all held in the setup menus' widgets; the setup
// keys of "@config" and setup files, the stability preset, the table of
// tuning values whose changes are announced, and applying it all to the
// player's bike.
#pragma once

#include <cstddef>

#include "app/widgets.h"
#include "core/alloc.h"

struct BikeState;
struct GameFile;

enum {
    BIKE_SETUP_TABLE_ROWS = 39,
    SETUP_KEY_COUNT = 57,
    GRAPHICS_WANTED_LENGTH = 1023,
    SETUP_NAME_LENGTH = 63,
};

// A graphics option list with its game paths (null for "default") and
// display names, and the name the settings asked for before the list was
// built.
struct GraphicsChoices {
    OptionList list;
    GrowableArray paths;   // const char *, interned
    GrowableArray names;   // const char *, interned
    int built;
    char wanted[GRAPHICS_WANTED_LENGTH + 1];
};

struct BikeSetup {
    OptionList bike;
    TextField name;
    TextField number;
    GraphicsChoices riding_gear;
    GraphicsChoices helmet;
    GraphicsChoices bike_graphics;
    GraphicsChoices wheel_graphics;
    Slider stability;
    // Derived from the stability.
    Slider leveling, roll_damping, roll_limit_angle, roll_limit_factor;
    Slider steering_damping, steering_strength, max_steering_force, direct_steering;
    Slider slow_damping_speed, slow_damping_factor, land_damping_falloff, land_damping_factor;
    Slider full_lock_speed, restricted_lock_speed, restricted_lock;
    // Options of the Bike Setup screen.
    OptionList arcade, front_brake, rear_brake, stop_wheelies, auto_shift, auto_dab, auto_align;
    OptionList sticky_dab, reverse_steering, lean_indicator;
    Slider auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed;
    // Suspension and gearing.
    Slider front_sprocket, rear_sprocket;
    Slider fork_compression, fork_slow_compression, fork_rebound, fork_slow_rebound;
    Slider fork_spring_rate, fork_preload, fork_oil_level;
    Slider shock_compression, shock_slow_compression, shock_rebound, shock_slow_rebound;
    Slider shock_spring_rate, shock_preload;
    Slider rider_yspring, rider_ydamping, rider_zspring, rider_zdamping, rider_mass_distribution;
};
extern BikeSetup bike_setup;

// One tuning value whose changes the setup-change notice reports by letter.
struct BikeSetupEntry {
    double applied;
    int changed;
    int letter;
    double *value;
};
extern BikeSetupEntry bike_setup_table[BIKE_SETUP_TABLE_ROWS];

// The graphics name prefix of each entry of the Bike list ("<model>-").
extern const char *bike_graphics_prefixes[];

// Applied: 1; a setup key whose value was refused: -1; no setup key: 0.
int parse_setup_key(const char *key, const char *value);
// The setup lines to an open file: 1 when every write succeeded.
int write_setup(GameFile *file);
// Sets the 15 stability-derived sliders for a stability of 0..100.
void default_bike_setup(int stability);
// Copies the setup into the player's bike; refused (and after a recent
// refusal announced) while the bike moves.
void apply_bike_setup(BikeState *bike);
// Each setup entry takes its current value as unchanged.
void reset_bike_setup_changes(void);
// The "[SPAM] Setup change ..." line of the changed entries into text:
// 1 when any entry changed (the changes are then taken as announced), 0
// when none did.
int take_setup_change_notice(char *text, size_t size);
// The setup-change line, when anything changed: to the other riders as a
// text message while connected, else on the message line.
void post_setup_change_notice(void);

// Rebuilds a graphics list from the file index for a name prefix:
// "default" first, then every ".png" (not "_norm.png" or "_spec.png")
// whose base name begins with the prefix.
void list_graphics_choices(GraphicsChoices *choices, const char *prefix);
// The four graphics lists from the file index, then the names the settings
// asked for selected.
void build_graphics_lists(void);
// Bike Graphics listed again for the selected bike, at "default".
void list_bike_graphics(void);
// Selects the wanted names of the four lists (unknown names change nothing).
void select_wanted_graphics(void);
// The game path of a graphics list's selected choice, null for "default".
const char *selected_graphics_path(const GraphicsChoices *choices);
void free_graphics_lists(void);

// "@setups/" + name into path: 0 for an empty name, '/', '\', a leading
// '.', control characters or more than 63 characters.
int build_setup_path(const char *name, char *path, size_t size);
// The same rule for a name in any folder ("@keycam/", "@outgoing/").
int build_folder_path(const char *folder, const char *name, char *path, size_t size);
// Setup files by name: 1 on success. Reading applies every setup line.
int read_setup_file(const char *name);
int write_setup_file(const char *name);
