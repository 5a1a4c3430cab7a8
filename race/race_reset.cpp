// Race reset, load and end of race: the one place where a race is set up
// (riders freed, track loaded, script run, riders created and placed at
// the start, demos and results ready) and where it is closed again.
#include "race/race_control.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/bike_setup.h"
#include "app/loading.h"
#include "app/player_settings.h"
#include "app/race_screens.h"
#include "bike/bike_create.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/crash.h"
#include "bike/particles.h"
#include "bike/physics_world.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "core/random.h"
#include "net/client.h"
#include "platform/log.h"
#include "race/autopilot.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/lap_pool.h"
#include "race/race_state.h"
#include "race/racing_lines.h"
#include "race/results.h"
#include "race/robot_table.h"
#include "render/camera.h"
#include "render/engine_sound.h"
#include "render/load_ahead.h"
#include "render/model.h"
#include "render/script_sound.h"
#include "render/texture.h"
#include "script/track_script.h"
#include "track/erosion.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

double max_loading_delay;
char max_loading_label[128];

namespace {

const int TIME_TRIAL_START_TICS = 300 * TIC_RATE;
const int TRACK_FOLDER_LENGTH = 256;

const struct {
    const char *from;
    const char *to;
} MODEL_ALIASES[4] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

int robots_taken;
int remote_places_taken;   // online: start positions handed to remote riders

const char *or_null(const char *text)
{
    return text && text[0] ? text : nullptr;
}

void empty_candidate(LapCandidate *c)
{
    checked_free(c->samples);
    c->samples = nullptr;
    c->count = 0;
    c->section_time = c->pair_time = LAP_NO_TIME;
    c->runs = 0;
    c->best_section_time = c->best_pair_time = LAP_NO_TIME;
    c->section_sum = c->pair_sum = c->penalties = 0;
    c->serial = 0;
}

void empty_lap_pool(void)
{
    for (int row = 0; row < lap_pool_rows; row++) {
        LapCandidate *candidates = lap_pool_row(row);
        for (int i = 0; candidates && i < LAP_POOL_CANDIDATES; i++)
            empty_candidate(&candidates[i]);
    }
}

void forget_lap_picks(void)
{
    for (int row = 0; row < lap_pool_rows; row++) {
        LapCandidate *candidates = lap_pool_row(row);
        for (int i = 0; candidates && i < LAP_POOL_CANDIDATES; i++)
            candidates[i].last_picked = -1000000;
    }
}

void free_riders(int first_slot)
{
    for (int slot = first_slot; slot < BIKE_SLOT_COUNT; slot++) {
        free_engine_sound(&engine_sounds[slot]);
        free_bike(&bike_states[slot]);
        bike_slots[slot] = nullptr;
        rider_kind[slot] = RIDER_REMOTE;
    }
}

int gate_piece_count(void)
{
    return start_gate_count < 0 ? 0 : start_gate_count > START_GATE_PIECES ? START_GATE_PIECES
                                                                           : start_gate_count;
}

// Where start position u stands and the angle it faces.
void start_position(int u, float *x, float *z, float *angle)
{
    int pieces = gate_piece_count();
    if (pieces > 0 && u >= 0) {
        const StartGatePiece *piece = &start_gate_pieces[u % pieces];
        float d = ((float)(u / pieces) + 0.0625f) * 10.0f;
        *angle = piece->angle;
        *x = piece->x + sinf(*angle) * d;
        *z = piece->z + cosf(*angle) * d;
        return;
    }
    float half = current_terrain ? current_terrain->extent * 0.5f : 0.0f;
    *x = half + 5.0f * (float)(u < 0 ? 0 : u);
    *z = half;
    *angle = 0.0f;
}

float grid_point_height(float x, float z)
{
    const Terrain *t = current_terrain;
    if (!t || !t->heights || t->side < 1 || !(t->cell > 0.0f))
        return 0.0f;
    auto index = [t](float coordinate) {
        float f = roundf(coordinate / t->cell);
        if (!(f > 0.0f))
            return 0;
        return f >= (float)(t->side - 1) ? t->side - 1 : (int)f;
    };
    return t->heights[index(z) * t->side + index(x)];
}

// The bike at (x, z) facing the angle, raised a quarter foot at a time
// until it touches nothing (never above the terrain's top).
void place_on_terrain(BikeState *bike, float x, float z, float angle)
{
    float height = grid_point_height(x, z);
    float top = current_terrain ? current_terrain->max_height + 20.0f : height;
    for (;;) {
        reset_bike(bike);
        rotate_bike_bodies(bike, 0.0f, 1.0f, 0.0f, angle);
        move_bike_bodies(bike, x, height, z);
        int touching = collide_bike_with_terrain(bike);
        empty_contact_group();
        if (!touching || height > top)
            break;
        height += 0.25f;
    }
}

// A robot row for the slot code, taken from the shuffled order.
int take_robot_row(int code, char *number, int size)
{
    int v = robots_taken % ROBOT_TABLE_ROWS;
    int wanted = -1;
    const char *part = code == SLOT_ROBOT_125 ? "125" : code == SLOT_ROBOT_250 ? "250" : nullptr;
    char wanted_number[16] = "";
    if (code >= SLOT_ROBOT_NUMBER)
        snprintf(wanted_number, sizeof wanted_number, "%d", code - SLOT_ROBOT_NUMBER);
    if (part || wanted_number[0])
        for (int p = ROBOT_TABLE_ROWS - 1; p > v; p--) {
            const RobotRow *row = &robot_table[robot_order[p]];
            if ((part && strstr(row->model, part)) ||
                (wanted_number[0] && !strcmp(row->number, wanted_number))) {
                wanted = p;
                break;
            }
        }
    if (wanted >= 0) {
        int swap = robot_order[v];
        robot_order[v] = robot_order[wanted];
        robot_order[wanted] = swap;
    }
    const RobotRow *row = &robot_table[robot_order[v]];
    snprintf(number, (size_t)size, "%s", wanted_number[0] ? wanted_number : row->number);
    return robot_order[v];
}

// The start position of a rider. Online the server gives ours (a watching
// rider stands at the first piece); the remote riders take the places
// behind the first row in slot order, passing over ours.
int start_place(int slot, int code)
{
    if (net_socket == -1)
        return slot;
    if (code == SLOT_PLAYER)
        return local_gate_position != NO_SLOT ? local_gate_position : 0;
    int first_row = gate_piece_count();
    int place = first_row + remote_places_taken++;
    if (local_gate_position != NO_SLOT && local_gate_position >= first_row && place == local_gate_position)
        place = first_row + remote_places_taken++;
    return place;
}

// Who rides a slot: its kind, bike model, skins, number and name.
struct RiderChoice {
    int kind;
    const char *model, *rider, *helmet, *bike_skin, *wheels, *number, *name;
    char robot_number[16];
    int robot_row;
    int demo_index;
};

// A rider as the server describes it.
void choose_net_rider(const NetRiderInfo *info, RiderChoice *choice)
{
    choice->model = info->model[0] ? info->model : player_bike_model();
    choice->number = info->number;
    choice->rider = or_null(info->rider_texture);
    choice->helmet = or_null(info->helmet_texture);
    choice->bike_skin = or_null(info->bike_texture);
    choice->wheels = or_null(info->wheel_texture);
    choice->name = info->name;
}

// The rider of a slot, taking a robot row or the next demo rider; 0 for a
// slot left empty.
int choose_rider(int slot, int code, int *demo_next, RiderChoice *choice)
{
    int online_player = code == SLOT_PLAYER && net_socket != -1;
    const NetRiderInfo *info = &net_rider_info[slot];

    memset(choice, 0, sizeof *choice);
    choice->kind = RIDER_REMOTE;
    choice->name = "";
    choice->robot_row = -1;
    choice->demo_index = -1;
    if (online_player) {
        // Online our rider is what the server told every client of it, as
        // the demo header records it.
        choose_net_rider(info, choice);
        choice->kind = RIDER_LOCAL;
    } else if (code == SLOT_PLAYER) {
        choice->kind = RIDER_LOCAL;
        choice->model = player_bike_model();
        choice->number = player_number_text();
        choice->rider = or_null(player_rider_texture());
        choice->helmet = or_null(player_helmet_texture());
        choice->bike_skin = or_null(player_bike_texture());
        choice->wheels = or_null(player_wheel_texture());
        choice->name = player_name_text();
    } else if (code == SLOT_DEMO_OR_EMPTY) {
        if (*demo_next >= demo_rider_count)
            return 0;
        choice->demo_index = (*demo_next)++;
        const DemoRider *r = &demo_riders[choice->demo_index];
        choice->model = r->model;
        choice->number = r->number;
        choice->rider = or_null(r->rider_texture);
        choice->helmet = or_null(r->helmet_texture);
        choice->bike_skin = or_null(r->bike_texture);
        choice->wheels = or_null(r->wheel_texture);
        choice->name = r->name;
    } else if (code == SLOT_ROBOT || code == SLOT_ROBOT_125 || code == SLOT_ROBOT_250 ||
               code >= SLOT_ROBOT_NUMBER) {
        choice->kind = RIDER_ROBOT;
        choice->robot_row = take_robot_row(code, choice->robot_number, sizeof choice->robot_number);
        const RobotRow *row = &robot_table[choice->robot_row];
        choice->model = row->model;
        choice->number = choice->robot_number;
        choice->rider = row->rider_texture;
        choice->helmet = row->helmet_texture;
        choice->bike_skin = row->bike_texture;
        choice->wheels = row->wheel_texture;
        choice->name = "Roborider";
    } else if (code == SLOT_REMOTE && net_socket != -1) {
        // A rider the server announced, as its client described itself.
        choose_net_rider(info, choice);
    } else {
        return 0;   // code 5 offline and 6..999 leave the slot empty
    }
    return 1;
}

// The skins and meshes of every rider the slots will get, loaded ahead on
// the work pool. The robot order and count are put back after choosing,
// so the riders' own choices come out the same.
void load_riders_ahead(const int *codes)
{
    if (!load_ahead_enabled)
        return;
    int order[ROBOT_TABLE_ROWS];
    memcpy(order, robot_order, sizeof order);
    int taken = robots_taken;
    int demo_next = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        RiderChoice choice;
        if (!choose_rider(slot, codes[slot], &demo_next, &choice))
            continue;
        ask_bike_ahead(model_alias(choice.model), choice.rider, choice.helmet, choice.bike_skin, choice.wheels);
        if (choice.kind == RIDER_ROBOT)
            robots_taken++;
    }
    memcpy(robot_order, order, sizeof order);
    robots_taken = taken;
    run_load_ahead();
}

void load_rider(int slot, int code, int *demo_next)
{
    RiderChoice choice;
    if (!choose_rider(slot, code, demo_next, &choice))
        return;
    int kind = choice.kind, robot_row = choice.robot_row, demo_index = choice.demo_index;
    const char *model = choice.model, *rider = choice.rider, *helmet = choice.helmet,
               *bike_skin = choice.bike_skin, *wheels = choice.wheels, *number = choice.number,
               *name = choice.name;
    float x, z, angle;

    start_position(start_place(slot, code), &x, &z, &angle);
    rider_kind[slot] = kind;
    BikeState *bike = create_bike(model_alias(model), slot, kind != RIDER_REMOTE, number, rider,
                                  helmet, bike_skin, wheels);
    if (!bike) {
        rider_kind[slot] = RIDER_REMOTE;
        return;
    }
    snprintf(rider_names[slot], sizeof rider_names[slot], "%.63s", name ? name : "");
    if (demo_index >= 0)
        demo_riders[demo_index].slot = slot;
    load_engine_sound(&engine_sounds[slot], bike, get_bike_texture_name(bike));
    place_on_terrain(bike, x, z, angle);

    if (kind == RIDER_LOCAL) {
        const dReal *p = dBodyGetPosition(bike->frame_body);
        for (int k = 0; k < 3; k++)
            local_start_position[k] = (float)p[k];
        false_start_penalty_tics = 0;
        enable_bike_physics(bike);
    } else if (kind == RIDER_REMOTE) {
        disable_bike_physics(bike);
        set_roll_damping(bike, 100.0f);
        set_full_lock_speed(bike, 5.0f);
        set_restricted_lock_speed(bike, 50.0f);
        set_restricted_lock_angle(bike, 0.04363323f);
    } else {
        enable_bike_physics(bike);
        set_auto_pilot_personality(bike, practice_mode ? "tester" : robot_table[robot_row].personality);
        robots_taken++;
    }
}

// The slot leading the running order, or the first occupied one.
int leading_slot(void)
{
    for (int i = 0; i < running_order_count && i < BIKE_SLOT_COUNT; i++)
        if (get_slot_bike(running_order[i].slot))
            return running_order[i].slot;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot])
            return slot;
    return NO_SLOT;
}

int load_race_track(const char *folder)
{
    if (!folder || !folder[0])
        return 0;
    if (current_terrain && current_track.folder && !strcmp(current_track.folder, folder))
        return 1;
    free_track();
    texture_generation++;
    model_generation++;
    texture_memory_used = 0;
    set_track_folder(folder);
    return load_track();
}

}  // namespace

const char *model_alias(const char *model)
{
    if (!model)
        return model;
    for (const auto &alias : MODEL_ALIASES)
        if (!strcmp(model, alias.from))
            return alias.to;
    return model;
}

int reset_race(const int *slot_codes, int open_demo, int record, int length_tics, int laps,
               int skill)
{
    // The script goes before anything it could reach is freed.
    unload_track_script();
    finish_series_event();
    show_loading_status("Resetting...");
    log_printf("Resetting\n");
    max_loading_delay = 0;
    max_loading_label[0] = 0;

    mt_seed((uint32_t)current_tic);
    shuffle_robot_order();
    robots_taken = 0;
    remote_places_taken = 0;

    show_loading_step("Remembering lines");
    if (current_terrain) {
        remember_racing_lines();
        empty_lap_pool();
    }
    close_demo_playback();
    show_loading_done("Remembering lines");

    stop_demo_recording();
    demo_rider_count = 0;

    show_loading_step("Cleaning up");
    log_printf("Deallocating bikes\n");
    free_riders(0);
    running_order_count = 0;
    log_printf("Finished deallocating bikes\n");

    current_tic = 0;
    race_settings.length_tics = length_tics < 0 ? 0 : length_tics;
    race_settings.laps = laps < 0 ? 0 : laps;
    race_settings.auto_pilot_hold_tics = (int)(5.0f / TIC_LENGTH);
    int online = net_socket != -1;
    if (online) {
        race_settings.start_tic = server_start_tic;
        erosion_amount = -1;
        race_settings.remote_delay_tics = local_gate_position == NO_SLOT ? 127 : 0;
    } else {
        double u = (double)(mt_next() & 0x7fffffffu) * (1.0 / 2147483648.0);
        race_settings.start_tic = (int)((1.0 / TIC_LENGTH) * (13.0 + 2.0 * u));
        erosion_amount = erode_option;
        race_settings.remote_delay_tics = 0;
    }

    time_trial_mode = slot_codes == nullptr;
    if (!online) {
        clear_net_rider_info();
        clear_state_history();
    }

    const char *track = selected_track_folder();
    if (open_demo && open_demo_playback(demo_to_play))
        track = demo_track;
    else if (online)
        track = server_track;

    free_script_sounds();
    clear_bike_states();

    char folder[TRACK_FOLDER_LENGTH];
    snprintf(folder, sizeof folder, "%s", track ? track : "");
    if (force_track_reload || online) {
        // Online the ground must be the server's, whatever was dug into it
        // here before; the server may also ask for a fresh one.
        force_track_reload = 0;
        free_track();
    }
    if (!load_race_track(folder))
        return 0;

    char *script = track_file_path("/frills.js");
    load_track_script(script);
    checked_free(script);

    int codes[BIKE_SLOT_COUNT];
    if (time_trial_mode) {
        memset(codes, 0, sizeof codes);
        codes[0] = SLOT_PLAYER;
        best_lap_tics = last_lap_tics = 0;
        current_tic = TIME_TRIAL_START_TICS;
    } else {
        memcpy(codes, slot_codes, sizeof codes);
    }
    followed_slot = NO_SLOT;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (codes[slot] != 0) {
            followed_slot = slot;
            break;
        }
    if (followed_slot == NO_SLOT && demo_rider_count == 0) {
        codes[0] = SLOT_ROBOT;
        followed_slot = 0;
    }
    int player_seen = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (codes[slot] == SLOT_PLAYER) {
            if (!player_seen)
                followed_slot = slot;
            else
                codes[slot] = 0;
            player_seen = 1;
        }

    load_racing_lines(skill);
    show_loading_step("Analyzing lines");
    prune_racing_lines();
    show_loading_done("Analyzing lines");

    show_loading_step("Loading bikes");
    load_riders_ahead(codes);
    int demo_next = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        show_loading_spinner("Loading bikes");
        load_rider(slot, codes[slot], &demo_next);
    }
    drop_loaded_ahead();
    show_loading_done("Loading bikes");
    clear_state_history();
    if (record)
        start_demo_recording();

    clear_particles();
    forget_lap_picks();

    char text[64];
    snprintf(text, sizeof text, "%d MB texture memory used\n", (int)(texture_memory_used >> 20));
    print_message(text);
    free_textures(0);
    free_models(0);

    if (race_settings.length_tics != 0) {
        race_settings.halfway_lap = race_settings.final_lap = LAP_NOT_DECIDED;
    } else {
        race_settings.final_lap = race_settings.laps;
        race_settings.halfway_lap = (race_settings.laps + 1) / 2;
    }
    for (int i = 0; i < START_GATE_PIECES; i++) {
        start_gate_fall[i] = 1.0f;
        start_gate_fall_speed[i] = 0.0f;
    }

    if (time_trial_mode)
        end_race();
    log_printf("Max loading delay was %f (%s)\n", max_loading_delay, max_loading_label);
    record_demo_states(1);
    play_demo_chunks();
    results_written = 0;
    write_results();

    if (!get_slot_bike(followed_slot))
        followed_slot = leading_slot();
    empty_contact_group();
    BikeState *followed = get_slot_bike(followed_slot);
    if (followed && rider_kind[followed_slot] == RIDER_LOCAL)
        apply_bike_setup(followed);
    reset_bike_setup_changes();
    if (followed) {
        const dReal *p = dBodyGetPosition(followed->frame_body);
        camera_position[0] = (float)p[0];
        camera_position[1] = (float)p[1] + 5.0f;
        camera_position[2] = (float)p[2];
    }
    tune_process_memory();
    hook_base_tic = current_tic;
    return 1;
}

void end_race(void)
{
    close_demo_playback();
    record_demo_states(1);
    stop_demo_recording();
    demo_rider_count = 0;
    free_riders(1);

    BikeState *bike = bike_slots[0];
    int first = lap_gate_list.first_lap_count, per_lap = lap_gate_list.normal_lap_count;
    if (!bike || first + per_lap <= 0)
        return;
    int g = first - 3 < 0 ? 0 : first - 3;
    int index = g < first ? g : per_lap > 0 ? first + (g - first) % per_lap : 0;
    if (index < 0 || index >= LAP_GATE_SLOTS)
        return;
    int entry = lap_gate_list.entries[index];
    if (entry >= NOT_TIMING_MARK)
        entry -= NOT_TIMING_MARK;
    if (entry < 0 || entry >= TIMING_GATE_SLOTS)
        return;
    const TimingGate *gate = &timing_gates[entry];
    float angle = atan2f(-gate->direction[0], -gate->direction[2]);
    place_on_terrain(bike, gate->x, gate->z, angle);
    empty_contact_group();
    set_gates_passed(bike, g);
    results_written = 0;
    write_results();
}
