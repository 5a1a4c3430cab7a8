// The player's bike setup: its widget records and defaults, the setup keys,
// the stability preset, the table of announced tuning values, applying the
// setup to the bike, and setup files under "@setups/".
#include "app/bike_setup.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include <ode/ode.h>

#include "app/key_value_file.h"
#include "app/shell.h"
#include "bike/bike_getters.h"
#include "bike/bike_models.h"
#include "bike/bike_setters.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "race/race_control.h"

namespace {

const char *const NO_YES[] = {"No", "Yes"};
const char *const BRAKE_CHOICES[] = {"Normal", "Antilock"};
const char *const WHEELIE_CHOICES[] = {"No", "Yes", "Front Only"};
const int WHEELIE_MODES[] = {0, 3, 2};
const char *const DEFAULT_GRAPHICS[] = {"default"};

char name_text[64] = "Joe Motocross";
char number_text[4] = "999";

const char *bike_choice_names[BIKE_MODEL_COUNT];
char prefix_texts[BIKE_MODEL_COUNT][BIKE_MODEL_NAME_LENGTH + 2];

// The Bike list's choices and graphics prefixes come from the model table,
// which is constant-initialised.
int fill_bike_names(void)
{
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        bike_choice_names[i] = bike_models[i].name;
        snprintf(prefix_texts[i], sizeof prefix_texts[i], "%s-", bike_models[i].name);
    }
    return 1;
}
const int bike_names_filled = fill_bike_names();

constexpr WidgetRect NO_RECT = {-1, -1, -1, -1};

constexpr Slider slider(const char *label, double value, double step, double minimum, double maximum)
{
    return Slider{label, value, step, minimum, maximum, NO_RECT, 0, 0};
}

constexpr OptionList options(const char *label, const char *const *choices, int count, int selected)
{
    return OptionList{label, choices, count, selected, NO_RECT};
}

constexpr OptionList no_yes(const char *label, int selected)
{
    return options(label, NO_YES, 2, selected);
}

constexpr GraphicsChoices graphics(const char *label)
{
    return GraphicsChoices{options(label, DEFAULT_GRAPHICS, 1, 0), {}, {}, 0, {}};
}

// Setup keys, in the order they are written.
enum SetupKind { KIND_BIKE, KIND_TEXT, KIND_GRAPHICS, KIND_STABILITY, KIND_SLIDER, KIND_OPTION };

struct SetupKey {
    const char *key;
    SetupKind kind;
    void *widget;
};

BikeSetup &s = bike_setup;

const SetupKey SETUP_KEYS[] = {
    {"bike", KIND_BIKE, &s.bike},
    {"name", KIND_TEXT, &s.name},
    {"number", KIND_TEXT, &s.number},
    {"rider_texture", KIND_GRAPHICS, &s.riding_gear},
    {"head_texture", KIND_GRAPHICS, &s.helmet},
    {"bike_texture", KIND_GRAPHICS, &s.bike_graphics},
    {"wheel_texture", KIND_GRAPHICS, &s.wheel_graphics},
    {"stability", KIND_STABILITY, &s.stability},
    {"leveling", KIND_SLIDER, &s.leveling},
    {"roll_damping", KIND_SLIDER, &s.roll_damping},
    {"roll_limit_angle", KIND_SLIDER, &s.roll_limit_angle},
    {"roll_limit_factor", KIND_SLIDER, &s.roll_limit_factor},
    {"steering_damping", KIND_SLIDER, &s.steering_damping},
    {"steering_strength", KIND_SLIDER, &s.steering_strength},
    {"max_steering_force", KIND_SLIDER, &s.max_steering_force},
    {"direct_steering", KIND_SLIDER, &s.direct_steering},
    {"slow_damping_speed", KIND_SLIDER, &s.slow_damping_speed},
    {"slow_damping_factor", KIND_SLIDER, &s.slow_damping_factor},
    {"land_damping_falloff", KIND_SLIDER, &s.land_damping_falloff},
    {"land_damping_factor", KIND_SLIDER, &s.land_damping_factor},
    {"full_lock_speed", KIND_SLIDER, &s.full_lock_speed},
    {"restricted_lock_speed", KIND_SLIDER, &s.restricted_lock_speed},
    {"restricted_lock", KIND_SLIDER, &s.restricted_lock},
    {"arcade", KIND_OPTION, &s.arcade},
    {"front_brake", KIND_OPTION, &s.front_brake},
    {"rear_brake", KIND_OPTION, &s.rear_brake},
    {"stop_wheelies", KIND_OPTION, &s.stop_wheelies},
    {"auto_shift", KIND_OPTION, &s.auto_shift},
    {"auto_dab", KIND_OPTION, &s.auto_dab},
    {"auto_align", KIND_OPTION, &s.auto_align},
    {"sticky_dab", KIND_OPTION, &s.sticky_dab},
    {"reverse_steering", KIND_OPTION, &s.reverse_steering},
    {"lean_indicator", KIND_OPTION, &s.lean_indicator},
    {"auto_clutch_rpms", KIND_SLIDER, &s.auto_clutch_rpms},
    {"brake_torque", KIND_SLIDER, &s.brake_torque},
    {"rear_brake_torque", KIND_SLIDER, &s.rear_brake_torque},
    {"max_dab_speed", KIND_SLIDER, &s.max_dab_speed},
    {"front_sprocket_adjustment", KIND_SLIDER, &s.front_sprocket},
    {"rear_sprocket_adjustment", KIND_SLIDER, &s.rear_sprocket},
    {"fork_compression_adjustment", KIND_SLIDER, &s.fork_compression},
    {"fork_slow_compression_adjustment", KIND_SLIDER, &s.fork_slow_compression},
    {"fork_rebound_adjustment", KIND_SLIDER, &s.fork_rebound},
    {"fork_slow_rebound_adjustment", KIND_SLIDER, &s.fork_slow_rebound},
    {"fork_spring_rate_adjustment", KIND_SLIDER, &s.fork_spring_rate},
    {"fork_preload_adjustment", KIND_SLIDER, &s.fork_preload},
    {"fork_oil_level_adjustment", KIND_SLIDER, &s.fork_oil_level},
    {"shock_compression_adjustment", KIND_SLIDER, &s.shock_compression},
    {"shock_slow_compression_adjustment", KIND_SLIDER, &s.shock_slow_compression},
    {"shock_rebound_adjustment", KIND_SLIDER, &s.shock_rebound},
    {"shock_slow_rebound_adjustment", KIND_SLIDER, &s.shock_slow_rebound},
    {"shock_spring_rate_adjustment", KIND_SLIDER, &s.shock_spring_rate},
    {"shock_preload_adjustment", KIND_SLIDER, &s.shock_preload},
    {"rider_yspring", KIND_SLIDER, &s.rider_yspring},
    {"rider_ydamping", KIND_SLIDER, &s.rider_ydamping},
    {"rider_zspring", KIND_SLIDER, &s.rider_zspring},
    {"rider_zdamping", KIND_SLIDER, &s.rider_zdamping},
    {"rider_mass_distribution", KIND_SLIDER, &s.rider_mass_distribution},
};
static_assert(sizeof SETUP_KEYS / sizeof SETUP_KEYS[0] == SETUP_KEY_COUNT);

// The stability-derived sliders with their values at stability 0, 20, 40,
// 60, 80 and 100.
struct StabilityRow {
    Slider *slider;
    double anchors[6];
};

const StabilityRow STABILITY_ROWS[] = {
    {&s.leveling, {20, 20, 20, 20, 20, 20}},
    {&s.roll_damping, {40, 50, 60, 70, 75, 80}},
    {&s.roll_limit_angle, {90, 45, 45, 45, 45, 45}},
    {&s.roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&s.steering_damping, {45, 45, 45, 45, 50, 60}},
    {&s.steering_strength, {75, 75, 75, 75, 75, 75}},
    {&s.max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&s.direct_steering, {1, 1, 1, 1, 1, 0.125}},
    {&s.slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&s.slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&s.land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&s.land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {&s.full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {&s.restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {&s.restricted_lock, {45, 15, 10, 5, 2.5, 1}},
};

const double MECHANIC_SECONDS = 10.0;
const double MOVING_SPEED = 0.125;   // ft/s
double last_refusal_time = -20.0;

int option_index(const OptionList *list)
{
    return clamp_selection(list->selected, list->count);
}

int ends_with(const char *text, const char *end)
{
    size_t n = strlen(text), m = strlen(end);
    return n >= m && !strcmp(text + n - m, end);
}

int append_pointer(GrowableArray *array, const char *value)
{
    const char **slot = (const char **)append_to_growable_array(array);
    if (!slot)
        fatal_out_of_memory();
    *slot = value;
    return 1;
}

int setup_line(const char *key, const char *value)
{
    return parse_setup_key(key, value);
}

}  // namespace

BikeSetup bike_setup = {
    .bike = options("Bike", bike_choice_names, BIKE_MODEL_COUNT, 49),
    .name = {"Name", 63, name_text, 13, 1, NO_RECT},
    .number = {"Number", 3, number_text, 3, 0, NO_RECT},
    .riding_gear = graphics("Riding Gear"),
    .helmet = graphics("Helmet"),
    .bike_graphics = graphics("Bike Graphics"),
    .wheel_graphics = graphics("Wheel Graphics"),
    .stability = slider("Stability", 100, 1, 0, 100),
    .leveling = slider("Leveling", 20, 1, 0, 100),
    .roll_damping = slider("Roll Damping", 60, 1, 0, 100),
    .roll_limit_angle = slider("Roll Limit Angle", 45, 1, 0, 180),
    .roll_limit_factor = slider("Roll Limit Factor", 10, 1, 0, 64),
    .steering_damping = slider("Steering Damping", 45, 1, 0, 100),
    .steering_strength = slider("Steering Strength", 75, 1, 0, 100),
    .max_steering_force = slider("Max Steering Force", 400, 5, 0, 1000),
    .direct_steering = slider("Direct Steering", 1, 0.125, 0, 1),
    .slow_damping_speed = slider("Slow Damping Speed", 40, 1, 0, 100),
    .slow_damping_factor = slider("Slow Damping Factor", 2, 0.25, 1, 10),
    .land_damping_falloff = slider("Landing Damping Falloff", 0.25, 0.0625, 0, 0.5),
    .land_damping_factor = slider("Landing Damping Factor", 2, 0.25, 1, 3),
    .full_lock_speed = slider("Full Lock Speed", 10, 1, 1, 100),
    .restricted_lock_speed = slider("Restricted Lock Speed", 50, 1, 1, 100),
    .restricted_lock = slider("Restricted Lock Angle", 7.5, 0.125, 0, 45),
    .arcade = no_yes("Arcade Physics", 1),
    .front_brake = options("Front Brake", BRAKE_CHOICES, 2, 1),
    .rear_brake = options("Rear Brake", BRAKE_CHOICES, 2, 0),
    .stop_wheelies = options("Stop Wheelies", WHEELIE_CHOICES, 3, 1),
    .auto_shift = no_yes("Automatic Shifting", 1),
    .auto_dab = no_yes("Dab When Stopped", 1),
    .auto_align = no_yes("Realign After Fall", 1),
    .sticky_dab = no_yes("Sticky Sit/Dab", 0),
    .reverse_steering = no_yes("Reversed Steering", 1),
    .lean_indicator = no_yes("Lean Indicator", 1),
    .auto_clutch_rpms = slider("Auto Clutch RPMs", 5000, 100, 0, 5000),
    .brake_torque = slider("Braking Torque (Front)", 500, 10, 0, 500),
    .rear_brake_torque = slider("Braking Torque (Rear)", 250, 10, 0, 500),
    .max_dab_speed = slider("Max Dab Speed (MPH)", 60, 1, 5, 60),
    .front_sprocket = slider("Countershaft Sprocket", 0, 1, -2, 2),
    .rear_sprocket = slider("Rear Sprocket", 0, 1, -2, 2),
    .fork_compression = slider("Fork High Speed Compression Damping", 50, 1, 0, 100),
    .fork_slow_compression = slider("Fork Low Speed Compression Damping", 50, 1, 0, 100),
    .fork_rebound = slider("Fork High Speed Rebound Damping", 50, 1, 0, 100),
    .fork_slow_rebound = slider("Fork Low Speed Rebound Damping", 50, 1, 0, 100),
    .fork_spring_rate = slider("Fork Spring Rate", 50, 1, 0, 100),
    .fork_preload = slider("Fork Preload", 50, 1, 0, 100),
    .fork_oil_level = slider("Fork Oil Level", 50, 1, 0, 100),
    .shock_compression = slider("Shock High Speed Compression Damping", 75, 1, 0, 100),
    .shock_slow_compression = slider("Shock Low Speed Compression Damping", 50, 1, 0, 100),
    .shock_rebound = slider("Shock High Speed Rebound Damping", 75, 1, 0, 100),
    .shock_slow_rebound = slider("Shock Low Speed Rebound Damping", 50, 1, 0, 100),
    .shock_spring_rate = slider("Shock Spring Rate", 50, 1, 0, 100),
    .shock_preload = slider("Shock Preload", 50, 1, 0, 100),
    .rider_yspring = slider("Rider Vertical Spring", 50, 1, 0, 100),
    .rider_ydamping = slider("Rider Vertical Damping", 50, 1, 0, 100),
    .rider_zspring = slider("Rider Forward Spring", 50, 1, 0, 100),
    .rider_zdamping = slider("Rider Forward Damping", 50, 1, 0, 100),
    .rider_mass_distribution = slider("Rider Mass Distribution", 0.33, 0.01, 0.33, 0.5),
};

BikeSetupEntry bike_setup_table[BIKE_SETUP_TABLE_ROWS] = {
    {20, 0, 'l', &s.leveling.value},
    {60, 0, 'd', &s.roll_damping.value},
    {45, 0, 'a', &s.roll_limit_angle.value},
    {10, 0, 'x', &s.roll_limit_factor.value},
    {45, 0, 'd', &s.steering_damping.value},
    {75, 0, 's', &s.steering_strength.value},
    {400, 0, 'm', &s.max_steering_force.value},
    {1, 0, 'd', &s.direct_steering.value},
    {40, 0, 's', &s.slow_damping_speed.value},
    {2, 0, 'x', &s.slow_damping_factor.value},
    {0.25, 0, 'l', &s.land_damping_falloff.value},
    {2, 0, 'x', &s.land_damping_factor.value},
    {10, 0, 'l', &s.full_lock_speed.value},
    {50, 0, 's', &s.restricted_lock_speed.value},
    {7.5, 0, 'a', &s.restricted_lock.value},
    {5000, 0, 'c', &s.auto_clutch_rpms.value},
    {500, 0, 'f', &s.brake_torque.value},
    {250, 0, 'r', &s.rear_brake_torque.value},
    {60, 0, 'd', &s.max_dab_speed.value},
    {0, 0, 'g', &s.front_sprocket.value},
    {0, 0, 'g', &s.rear_sprocket.value},
    {50, 0, 'C', &s.fork_compression.value},
    {50, 0, 'c', &s.fork_slow_compression.value},
    {50, 0, 'R', &s.fork_rebound.value},
    {50, 0, 'r', &s.fork_slow_rebound.value},
    {50, 0, 's', &s.fork_spring_rate.value},
    {50, 0, 'p', &s.fork_preload.value},
    {50, 0, 'l', &s.fork_oil_level.value},
    {75, 0, 'C', &s.shock_compression.value},
    {50, 0, 'c', &s.shock_slow_compression.value},
    {75, 0, 'R', &s.shock_rebound.value},
    {50, 0, 'r', &s.shock_slow_rebound.value},
    {50, 0, 's', &s.shock_spring_rate.value},
    {50, 0, 'p', &s.shock_preload.value},
    {50, 0, 'y', &s.rider_yspring.value},
    {50, 0, 'z', &s.rider_zspring.value},
    {50, 0, 'Y', &s.rider_ydamping.value},
    {50, 0, 'Z', &s.rider_zdamping.value},
    {0.33, 0, 'm', &s.rider_mass_distribution.value},
};

const char *bike_graphics_prefixes[BIKE_MODEL_COUNT] = {};

namespace {
int fill_prefix_pointers(void)
{
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        bike_graphics_prefixes[i] = prefix_texts[i];
    return bike_names_filled;
}
const int prefixes_filled = fill_prefix_pointers();
}  // namespace

int parse_setup_key(const char *key, const char *value)
{
    for (const SetupKey &entry : SETUP_KEYS) {
        if (strcmp(key, entry.key))
            continue;
        switch (entry.kind) {
        case KIND_BIKE:
            return select_option_by_name((OptionList *)entry.widget, model_alias(value)) ? LINE_TAKEN
                                                                                          : LINE_REFUSED;
        case KIND_TEXT:
            return set_text_field_text((TextField *)entry.widget, value);
        case KIND_GRAPHICS: {
            GraphicsChoices *g = (GraphicsChoices *)entry.widget;
            snprintf(g->wanted, sizeof g->wanted, "%s", value);
            return LINE_TAKEN;
        }
        case KIND_STABILITY: {
            Slider *stability = (Slider *)entry.widget;
            if (!set_slider_from_text(stability, value))
                return LINE_REFUSED;
            default_bike_setup((int)stability->value);
            return LINE_TAKEN;
        }
        case KIND_SLIDER:
            return set_slider_from_text((Slider *)entry.widget, value) ? LINE_TAKEN : LINE_REFUSED;
        case KIND_OPTION:
            return select_option_by_name((OptionList *)entry.widget, value) ? LINE_TAKEN : LINE_REFUSED;
        }
    }
    return LINE_UNKNOWN_KEY;
}

int write_setup(GameFile *file)
{
    int ok = 1;
    for (const SetupKey &entry : SETUP_KEYS) {
        char number[64];
        const char *value = "";
        switch (entry.kind) {
        case KIND_BIKE:
        case KIND_OPTION:
            value = selected_choice((const OptionList *)entry.widget);
            break;
        case KIND_TEXT:
            value = ((const TextField *)entry.widget)->text;
            break;
        case KIND_GRAPHICS: {
            // A list not built yet still holds the name asked for.
            const GraphicsChoices *g = (const GraphicsChoices *)entry.widget;
            value = !g->built && g->wanted[0] ? g->wanted : selected_choice(&g->list);
            break;
        }
        case KIND_STABILITY:
        case KIND_SLIDER:
            snprintf(number, sizeof number, "%f", ((const Slider *)entry.widget)->value);
            value = number;
            break;
        }
        ok &= write_key_value(file, entry.key, value);
    }
    return ok;
}

void default_bike_setup(int stability)
{
    double scaled = stability * 0.05;
    scaled = scaled < 0.0 ? 0.0 : scaled > 5.0 ? 5.0 : scaled;
    int i = (int)floor(scaled);
    if (i > 4)
        i = 4;
    double t = scaled - i;
    for (const StabilityRow &row : STABILITY_ROWS)
        row.slider->value = row.anchors[i] + t * (row.anchors[i + 1] - row.anchors[i]);
}

void apply_bike_setup(BikeState *bike)
{
    if (!bike || !get_bike_body(bike))
        return;
    const dReal *v = dBodyGetLinearVel(get_bike_body(bike));
    double speed = sqrt((double)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    if (!(speed <= MOVING_SPEED)) {
        if (current_time - last_refusal_time < MECHANIC_SECONDS)
            print_message("Settings not applied.  Mechanic can't keep up error.");
        last_refusal_time = current_time;
        return;
    }
    const double degrees = M_PI / 180.0;
    set_leveling(bike, (float)s.leveling.value);
    set_roll_damping(bike, (float)s.roll_damping.value);
    set_roll_limit_angle(bike, (float)(s.roll_limit_angle.value * degrees));
    set_roll_limit_factor(bike, (float)s.roll_limit_factor.value);
    set_steering_damping(bike, (float)s.steering_damping.value);
    set_steering_strength(bike, (float)s.steering_strength.value);
    set_max_steering_force(bike, (float)s.max_steering_force.value);
    set_arcade_physics(bike, arcade_physics_forbidden ? 0 : option_index(&s.arcade));
    set_front_antilock(bike, option_index(&s.front_brake));
    set_rear_antilock(bike, option_index(&s.rear_brake));
    set_stop_wheelies(bike, WHEELIE_MODES[option_index(&s.stop_wheelies) % 3]);
    set_auto_shift(bike, option_index(&s.auto_shift));
    set_auto_dab(bike, option_index(&s.auto_dab));
    set_auto_align(bike, option_index(&s.auto_align));
    set_direct_steering(bike, (float)s.direct_steering.value);
    set_slow_damping_speed(bike, (float)s.slow_damping_speed.value);
    set_slow_damping_factor(bike, (float)s.slow_damping_factor.value);
    set_land_damping_falloff(bike, (float)s.land_damping_falloff.value);
    set_land_damping_factor(bike, (float)s.land_damping_factor.value);
    set_full_lock_speed(bike, (float)s.full_lock_speed.value);
    set_restricted_lock_speed(bike, (float)s.restricted_lock_speed.value);
    set_restricted_lock_angle(bike, (float)(s.restricted_lock.value * degrees));
    set_auto_clutch_rpms(bike, (float)s.auto_clutch_rpms.value);
    set_front_brake_torque(bike, (float)s.brake_torque.value);
    set_rear_brake_torque(bike, (float)s.rear_brake_torque.value);
    set_max_dab_speed(bike, (float)(s.max_dab_speed.value * 22.0 / 15.0));
    set_sprockets(bike, (float)s.front_sprocket.value, (float)s.rear_sprocket.value);
    auto fast = [](const Slider &d) { return (float)pow(2.0, d.value * 0.04 - 2.0); };
    auto slow = [](const Slider &d) { return (float)(d.value * 0.02 - 1.0); };
    auto unit = [](const Slider &d) { return (float)(d.value * 0.01); };
    set_fork_setup(bike, fast(s.fork_compression), slow(s.fork_slow_compression), fast(s.fork_rebound),
                   slow(s.fork_slow_rebound), unit(s.fork_spring_rate), unit(s.fork_preload),
                   unit(s.fork_oil_level));
    set_shock_setup(bike, fast(s.shock_compression), slow(s.shock_slow_compression), fast(s.shock_rebound),
                    slow(s.shock_slow_rebound), unit(s.shock_spring_rate), unit(s.shock_preload));
    set_rider_springs(bike, unit(s.rider_yspring), unit(s.rider_zspring));
    set_rider_damping(bike, unit(s.rider_ydamping), unit(s.rider_zdamping));
    set_rider_mass_distribution(bike, (float)s.rider_mass_distribution.value);
    for (BikeSetupEntry &entry : bike_setup_table)
        if (*entry.value != entry.applied)
            entry.changed = 1;
}

void reset_bike_setup_changes(void)
{
    for (BikeSetupEntry &entry : bike_setup_table) {
        entry.changed = 0;
        entry.applied = *entry.value;
    }
}

int take_setup_change_notice(char *text, size_t size)
{
    char letters[BIKE_SETUP_TABLE_ROWS + 1];
    int any = 0;
    for (int i = 0; i < BIKE_SETUP_TABLE_ROWS; i++) {
        letters[i] = bike_setup_table[i].changed ? (char)bike_setup_table[i].letter : '-';
        any |= bike_setup_table[i].changed;
    }
    letters[BIKE_SETUP_TABLE_ROWS] = 0;
    if (!any)
        return 0;
    snprintf(text, size, "[SPAM] Setup change %s\n", letters);
    reset_bike_setup_changes();
    return 1;
}

void post_setup_change_notice(void)
{
    char text[128];
    if (!take_setup_change_notice(text, sizeof text))
        return;
    // Online the other riders are told, as a text message through the server.
    if (net_socket != -1)
        queue_reliable_message(MESSAGE_TEXT, text, (int)strlen(text));
    else
        print_message(text);
}

// ---- graphics lists ---------------------------------------------------------------

void list_graphics_choices(GraphicsChoices *g, const char *prefix)
{
    if (!g->paths.data && !init_growable_array(&g->paths, sizeof(const char *)))
        fatal_out_of_memory();
    if (!g->names.data && !init_growable_array(&g->names, sizeof(const char *)))
        fatal_out_of_memory();
    g->paths.count = g->names.count = 0;
    append_pointer(&g->paths, nullptr);
    append_pointer(&g->names, "default");
    size_t prefix_length = strlen(prefix);
    const char *const *index = build_file_index();
    for (int i = 0; index && index[i]; i++) {
        const char *name = index[i];
        if (!ends_with(name, ".png") || ends_with(name, "_norm.png") || ends_with(name, "_spec.png"))
            continue;
        const char *slash = strrchr(name, '/');
        const char *base = slash ? slash + 1 : name;
        if (strncmp(base, prefix, prefix_length))
            continue;
        size_t shown = strlen(base) - prefix_length - 4;
        char path[1100], display[1100];
        if (strlen(name) + 2 > sizeof path || shown + 1 > sizeof display)
            continue;
        snprintf(path, sizeof path, "@%s", name);
        memcpy(display, base + prefix_length, shown);
        display[shown] = 0;
        append_pointer(&g->paths, intern_string(path));
        append_pointer(&g->names, intern_string(display));
    }
    g->built = 1;
    set_option_choices(&g->list, (const char *const *)g->names.data, g->names.count);
}

void list_bike_graphics(void)
{
    list_graphics_choices(&s.bike_graphics, bike_graphics_prefixes[option_index(&s.bike)]);
    s.bike_graphics.list.selected = 0;
}

void select_wanted_graphics(void)
{
    GraphicsChoices *lists[] = {&s.helmet, &s.riding_gear, &s.bike_graphics, &s.wheel_graphics};
    for (GraphicsChoices *g : lists)
        if (g->wanted[0])
            select_option_by_name(&g->list, g->wanted);
}

void build_graphics_lists(void)
{
    list_graphics_choices(&s.riding_gear, "rider_body-");
    list_graphics_choices(&s.helmet, "rider_head-");
    list_graphics_choices(&s.wheel_graphics, "wheels-");
    list_bike_graphics();
    select_wanted_graphics();
}

const char *selected_graphics_path(const GraphicsChoices *g)
{
    if (!g->built || g->paths.count != g->list.count)
        return nullptr;
    return ((const char *const *)g->paths.data)[clamp_selection(g->list.selected, g->list.count)];
}

void free_graphics_lists(void)
{
    GraphicsChoices *lists[] = {&s.riding_gear, &s.helmet, &s.bike_graphics, &s.wheel_graphics};
    for (GraphicsChoices *g : lists) {
        free_growable_array(&g->paths);
        free_growable_array(&g->names);
        g->built = 0;
        set_option_choices(&g->list, DEFAULT_GRAPHICS, 1);
        g->list.selected = 0;
    }
}

// ---- setup files ------------------------------------------------------------------

int build_folder_path(const char *folder, const char *name, char *path, size_t size)
{
    size_t length = name ? strlen(name) : 0;
    if (length == 0 || length > SETUP_NAME_LENGTH || name[0] == '.')
        return 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || c == '/' || c == '\\')
            return 0;
    }
    return snprintf(path, size, "%s%s", folder, name) < (int)size;
}

int build_setup_path(const char *name, char *path, size_t size)
{
    return build_folder_path("@setups/", name, path, size);
}

int read_setup_file(const char *name)
{
    char path[96];
    if (!build_setup_path(name, path, sizeof path))
        return 0;
    return read_key_value_file(path, setup_line);
}

int write_setup_file(const char *name)
{
    char path[96];
    if (!build_setup_path(name, path, sizeof path))
        return 0;
    return replace_key_value_file(path, write_setup);
}
