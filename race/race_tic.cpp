// The per-tic race update: remote riders placed from their history, bike
// collisions, dirt spray, the world step, ruts, the per-bike steps with the
// gate passing, particles, the start gate, demos, time-trial laps and the
// suspension telemetry.
#include "race/race_control.h"

#include <cmath>
#include <cstring>

#include "bike/bike_create.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/bike_step.h"
#include "bike/contact_readout.h"
#include "bike/crash.h"
#include "bike/packed_state.h"
#include "bike/physics_limits.h"
#include "bike/physics_world.h"
#include "bike/roost.h"
#include "bike/steering.h"
#include "bike/wheel_contact.h"
#include "bike/world_contacts.h"
#include "core/file.h"
#include "core/message.h"
#include "net/client.h"
#include "platform/log.h"
#include "platform/work_pool.h"
#include "race/autopilot.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/engine_sound.h"
#include "script/track_script.h"
#include "track/erosion.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

namespace {

BikeState *collision_list[BIKE_SLOT_COUNT];

double frame_speed_squared(const BikeState *bike)
{
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

// Faster frame body first.
int compare_bike_speed(const void *a, const void *b)
{
    double sa = frame_speed_squared(*(BikeState *const *)a);
    double sb = frame_speed_squared(*(BikeState *const *)b);
    return sa > sb ? -1 : sa < sb ? 1 : 0;
}

int is_online(void)
{
    return net_socket != -1;
}

int start_gate_pieces_used(void)
{
    return start_gate_count < 0 ? 0 : start_gate_count > START_GATE_PIECES ? START_GATE_PIECES
                                                                           : start_gate_count;
}

void collide_with_start_gate(BikeState *bike)
{
    bike_tic_hook(bike);
    if (!((double)race_settings.start_tic * TIC_LENGTH + 10.0 >= (double)current_tic * TIC_LENGTH))
        return;
    int count = start_gate_pieces_used();
    for (int i = 0; i < count; i++)
        collide_bike_with_statue(bike, start_gate_statues[i]);
}

// The state a remote rider is shown in at the target tic.
void place_remote_rider(int slot, BikeState *bike)
{
    long long target = (long long)current_tic - race_settings.remote_delay_tics;
    int t = target < 0 ? 0 : (int)target;
    int older, newer;
    if (!find_history_pair(slot, t, &older, &newer))
        return;
    const StateHistory *h = &state_history[slot];
    int s = h->ticks[older], k = h->ticks[newer];
    const uint8_t *state = h->states[older];
    uint8_t blended[PACKED_STATE_SIZE];
    int span = 1;
    if (s >= t || k == s) {
        span = 1;
    } else if (k == t) {
        state = h->states[newer];
        span = k - s;
    } else {
        long long reach = (long long)k + 64 < t ? (long long)k + 64 : t;
        float fraction = (float)((double)(reach - s) / ((double)k - s));
        interpolate_state(blended, h->states[older], h->states[newer], fraction);
        state = blended;
        span = k - s;
    }
    int version = demo_play_file ? demo_version : 5;
    apply_rider_state(bike, state, h->states[older], h->states[newer], span, version);
}

void place_remote_riders(void)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot] && rider_kind[slot] == RIDER_REMOTE)
            place_remote_rider(slot, bike_slots[slot]);
}

void collide_bikes_offline(void)
{
    // The terrain searches of the ridden bikes first, side by side; then
    // every bike's contacts in slot order as if each were searched there.
    int count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot] && rider_kind[slot] != RIDER_REMOTE)
            collision_list[count++] = bike_slots[slot];
    int searched = search_terrain_for_bikes(collision_list, count);
    count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        if (rider_kind[slot] == RIDER_REMOTE) {
            collide_with_start_gate(bike);
            continue;
        }
        if (searched) {
            apply_terrain_search(bike, count);
            collide_bike_with_objects(bike);
        } else {
            collide_bike_with_world(bike);
        }
        collision_list[count++] = bike;
    }
    heap_sort(collision_list, count, sizeof collision_list[0], compare_bike_speed);
    // Each bike's bounding sphere once, so that pairs far apart are passed
    // over without the pair test (which would find nothing).
    static double centres[BIKE_SLOT_COUNT][3], radii[BIKE_SLOT_COUNT];
    static int bounded[BIKE_SLOT_COUNT];
    for (int i = 0; i < count; i++)
        bounded[i] = get_bike_bounds(collision_list[i], centres[i], &radii[i]);
    for (int i = 0; i < count; i++)
        for (int j = i + 1; j < count; j++) {
            if (bounded[i] && bounded[j] &&
                bike_bounds_apart(centres[i], radii[i], centres[j], radii[j]))
                continue;
            collide_bike_with_bike(collision_list[i], collision_list[j], 0);
        }
}

void collide_bikes_online(void)
{
    BikeState *own = (unsigned)own_slot < BIKE_SLOT_COUNT ? bike_slots[own_slot] : nullptr;
    int count = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike || rider_kind[slot] != RIDER_REMOTE)
            continue;
        if (own && is_rider_set_aside(slot))
            continue;   // no state for a second, or off course

        collision_list[count++] = bike;
        bike_tic_hook(bike);
        if (local_gate_position == NO_SLOT)
            collide_with_start_gate(bike);
    }
    if (!own)
        return;
    collide_bike_with_world(own);
    if (local_gate_position == NO_SLOT)
        return;
    heap_sort(collision_list, count, sizeof collision_list[0], compare_bike_speed);
    for (int i = 0; i < count; i++) {
        BikeState *other = collision_list[i];
        if (collide_bike_with_bike(own, other, 1))
            wake_bike_physics(other);
        // A bike woken by a bump keeps its ground contacts until it sleeps
        // again, not only in the tic of the contact.
        if (is_bike_physics_active(other))
            collide_bike_with_world(other);
    }
}

void spray_dirt(void)
{
    int slots[BIKE_SLOT_COUNT];
    int n = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot])
            slots[n++] = slot;
    if (n == 0)
        return;
    int first = (int)(((long long)current_tic % n + n) % n);
    for (int k = 0; k < n; k++)
        emit_roost(bike_slots[slots[(first + k) % n]]);
}

void sleep_placed_bikes(void)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike || is_bike_physics_active(bike))
            continue;
        dBodyID bodies[BIKE_BODY_COUNT];
        get_bike_bodies(bike, bodies);
        for (dBodyID body : bodies)
            if (body)
                dBodyDisable(body);
    }
}

void dig_ruts(void)
{
    if (erosion_amount <= 0)
        return;
    if (is_online() && local_gate_position == NO_SLOT)
        return;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (bike && rider_kind[slot] != RIDER_REMOTE)
            step_tire_ground_contact(bike);
    }
}

// Online, the local rider waits at the gate: rolling 3 ft before the drop
// holds the brakes until 15 s after it.
void false_start_rule(BikeState *bike)
{
    if (false_start_penalty_tics == 0 && current_tic <= race_settings.start_tic) {
        set_dab(bike, 1.0f);
        const dReal *p = dBodyGetPosition(bike->frame_body);
        double d[3] = {p[0] - local_start_position[0], p[1] - local_start_position[1],
                       p[2] - local_start_position[2]};
        if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] >= 9.0) {
            long long left = (long long)race_settings.start_tic +
                             (long long)(15.0 / TIC_LENGTH) - current_tic;
            false_start_penalty_tics = left < 1 ? 1 : left > 0x3fffffff ? 0x3fffffff : (int)left;
            print_message("15 second false start penalty");
        }
    }
    if (false_start_penalty_tics > 0) {
        false_start_penalty_tics--;
        set_front_brake(bike, 1.0f);
        set_rear_brake(bike, 1.0f);
        set_back_up(bike, 0.0f);
        set_clutch(bike, 0.0f);
        set_throttle(bike, 0.0f);
        set_dab(bike, 1.0f);
    }
}

void step_riders(void)
{
    prepare_path_boxes();
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        int kind = rider_kind[slot];
        if (kind == RIDER_ROBOT)
            autopilot_pick_line(bike);
        if (is_online()) {
            if (kind == RIDER_REMOTE)
                decay_bike_physics(bike);
            else if (kind == RIDER_LOCAL)
                false_start_rule(bike);
        }
        step_bike(bike);
        if (!is_online() || kind == RIDER_LOCAL)
            update_gates_and_lap_pool(bike);
    }
    forget_path_boxes();
}

// The gate pieces fall once the gate drops; a piece a bike touches this
// tic stops falling.
void start_gate_fall_step(void)
{
    long long drop = (long long)race_settings.start_tic + race_settings.remote_delay_tics;
    if (!((double)drop * TIC_LENGTH + 10.0 >= (double)current_tic * TIC_LENGTH))
        return;
    int count = start_gate_pieces_used();
    if (current_tic < drop)
        for (int i = 0; i < count; i++) {
            start_gate_fall[i] = 1.0f;
            start_gate_fall_speed[i] = 0.0f;
        }
    for (int i = 0; i < count; i++) {
        Statue *statue = get_statue(start_gate_statues[i]);
        if (!statue || !(start_gate_fall[i] > 0.0f))
            continue;
        if (current_tic > drop) {
            if (statue->last_hit_tic == current_tic) {
                start_gate_fall_speed[i] = 0.0f;
                continue;
            }
            float speed = start_gate_fall_speed[i] + 32.0f * TIC_LENGTH;
            float fall = start_gate_fall[i] - TIC_LENGTH * speed;
            start_gate_fall[i] = fall < 0.0f ? 0.0f : fall;
            start_gate_fall_speed[i] = speed > 8.0f ? 8.0f : speed;
        }
        float basis[9];
        compute_ground_basis(basis, statue->x, statue->z, statue->yaw);
        float a = start_gate_fall[i] * 0.5890486225480862f;
        float c = cosf(a), s = sinf(a);
        const float turn[9] = {1, 0, 0, 0, c, s, 0, -s, c};
        for (int row = 0; row < 3; row++)
            for (int column = 0; column < 3; column++) {
                float sum = 0.0f;
                for (int k = 0; k < 3; k++)
                    sum += basis[row * 3 + k] * turn[k * 3 + column];
                statue->orientation[row * 3 + column] = sum;
            }
    }
}

// A time-trial lap: from the gate ending the first lap to the gate ending
// the next, in tics; 0 when a gate time between them is not known.
int time_trial_lap_tics(const BikeState *bike)
{
    if (!bike)
        return 0;
    int first = lap_gate_list.first_lap_count, per_lap = lap_gate_list.normal_lap_count;
    int start = first - 1, end = first + per_lap - 1;
    if (start < 0 || end <= start)
        return 0;
    for (int g = start; g <= end; g++)
        if (get_gate_time(bike, g) < 0)
            return 0;
    return get_gate_time(bike, end) - get_gate_time(bike, start);
}

int lap_number(const BikeState *bike)
{
    if (!bike)
        return -1;
    int lap, gate;
    get_lap_progress(bike, &lap, &gate);
    return lap;
}

void lower_best_lap(int lap_tics)
{
    if (lap_tics > 0 && (best_lap_tics == 0 || lap_tics < best_lap_tics))
        best_lap_tics = lap_tics;
}

int game_file_exists(const char *path)
{
    GameFile *file = file_open(path, "rb");
    if (!file)
        return 0;
    file_close(file);
    return 1;
}

// The player ended a lap: the ghost restarts from the fastest lap, the
// recording starts anew.
void start_next_time_trial_lap(void)
{
    BikeState *player = bike_slots[0];
    BikeState *ghost = bike_slots[1];
    int player_gates = player ? player->gates_passed : -1;
    int ghost_gates = ghost ? ghost->gates_passed : -1;

    close_demo_playback();
    record_demo_states(1);
    stop_demo_recording();
    demo_rider_count = 0;

    for (int slot = 1; slot < BIKE_SLOT_COUNT; slot++) {
        free_engine_sound(&engine_sounds[slot]);
        free_bike(&bike_states[slot]);
        bike_slots[slot] = nullptr;
        rider_kind[slot] = RIDER_REMOTE;
    }

    if (lap_gate_list.first_lap_count + lap_gate_list.normal_lap_count > 0) {
        char *fastlap = track_file_path("/fastlap.kzdemo");
        char *lastlap = track_file_path("/lastlap.kzdemo");
        int have_fastlap = game_file_exists(fastlap);
        last_lap_tics = time_trial_lap_tics(player);
        lower_best_lap(last_lap_tics);
        if (!have_fastlap || (ghost_gates < player_gates && last_lap_tics > 0))
            copy_game_file(lastlap, fastlap);
        checked_free(fastlap);
        checked_free(lastlap);
    }

    int first_gate = lap_gate_list.first_lap_count - 1;
    if (first_gate < 0)
        first_gate = 0;
    open_demo_playback(nullptr);
    int riders = demo_rider_count < BIKE_SLOT_COUNT - 1 ? demo_rider_count : BIKE_SLOT_COUNT - 1;
    for (int i = 0; i < riders; i++) {
        const DemoRider *r = &demo_riders[i];
        int slot = i + 1;
        BikeState *bike = create_bike(model_alias(r->model), slot, 0, r->number,
                                      r->rider_texture[0] ? r->rider_texture : nullptr,
                                      r->helmet_texture[0] ? r->helmet_texture : nullptr,
                                      r->bike_texture[0] ? r->bike_texture : nullptr,
                                      r->wheel_texture[0] ? r->wheel_texture : nullptr);
        if (!bike)
            continue;
        rider_kind[slot] = RIDER_REMOTE;
        demo_riders[i].slot = slot;
        load_engine_sound(&engine_sounds[slot], bike, get_bike_texture_name(bike));
        disable_bike_physics(bike);
        set_gates_passed(bike, first_gate);
    }
    if (player) {
        set_gates_passed(player, first_gate);
        update_gates_and_lap_pool(player);
    }
    start_demo_recording();
    record_demo_states(1);
    write_results();
}

void telemetry_step(void)
{
    if (!telemetry_on)
        return;
    if (telemetry_index >= TELEMETRY_LENGTH || telemetry_index < 0) {
        for (int i = 1; i < 3; i++) {
            memset(telemetry_fork[i], 0, sizeof telemetry_fork[i]);
            memset(telemetry_shock[i], 0, sizeof telemetry_shock[i]);
        }
        telemetry_index = 0;
    }
    BikeState *bike = get_slot_bike(followed_slot);
    if (!bike)
        return;
    float fork[3], shock[3];
    read_fork_suspension(bike, &fork[0], &fork[1], &fork[2]);
    read_shock_suspension(bike, &shock[0], &shock[1], &shock[2]);
    for (int i = 0; i < 3; i++) {
        telemetry_fork[i][telemetry_index] = fork[i];
        telemetry_shock[i][telemetry_index] = shock[i];
    }
    telemetry_index = (telemetry_index + 1) % TELEMETRY_LENGTH;
}

int body_in_range(dBodyID body)
{
    if (!body)
        return 1;
    const dReal *p = dBodyGetPosition(body);
    const dReal *v = dBodyGetLinearVel(body);
    const dReal *w = dBodyGetAngularVel(body);
    const dReal *q = dBodyGetQuaternion(body);
    for (int k = 0; k < 3; k++) {
        if (!(std::fabs(p[k]) <= TERRAIN_COORDINATE_LIMIT))
            return 0;
        if (!(std::fabs(v[k]) < BIKE_SPEED_LIMIT) || !(std::fabs(w[k]) < BIKE_SPEED_LIMIT))
            return 0;
    }
    for (int k = 0; k < 4; k++)
        if (!std::isfinite(q[k]))
            return 0;
    double v2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    double w2 = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    return v2 < BIKE_SPEED_LIMIT * BIKE_SPEED_LIMIT && w2 < BIKE_SPEED_LIMIT * BIKE_SPEED_LIMIT;
}

}  // namespace

int is_bike_in_sound_range(const BikeState *bike)
{
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    for (dBodyID body : bodies)
        if (!body_in_range(body))
            return 0;
    return 1;
}

void guard_bike_ranges(void)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = bike_slots[slot];
        if (!bike || !bike->frame_body || !is_bike_physics_active(bike))
            continue;
        if (is_bike_in_sound_range(bike)) {
            const dReal *p = dBodyGetPosition(bike->frame_body);
            for (int k = 0; k < 3; k++)
                bike->sound_position[k] = (float)p[k];
            bike->sound_position_set = 1;
            continue;
        }
        float position[3];
        if (bike->sound_position_set) {
            for (int k = 0; k < 3; k++)
                position[k] = bike->sound_position[k];
        } else {
            get_rest_position(bike, 0, position);
        }
        set_bike_upright_at(bike, position);
        log_printf("Bike in slot %d left the range the physics can hold: set upright at "
                   "(%.1f %.1f %.1f)\n",
                   slot, position[0], position[1], position[2]);
    }
}

void set_race_tic_shortcuts(int on)
{
    batch_terrain_searches = on != 0;
    path_boxes_per_tic = on != 0;
    skip_low_terrain_cells = on != 0;
    set_work_pool_threads(on ? default_work_pool_threads() : 0);
}

void race_tic(void)
{
    call_tic_handler();
    place_remote_riders();
    int player_lap = time_trial_mode ? lap_number(bike_slots[0]) : 0;
    int ghost_lap = time_trial_mode ? lap_number(bike_slots[1]) : 0;

    guard_bike_ranges();
    if (is_online())
        collide_bikes_online();
    else
        collide_bikes_offline();
    spray_dirt();
    step_physics_world();
    sleep_placed_bikes();
    dig_ruts();
    step_riders();
    step_particles();
    start_gate_fall_step();

    current_tic++;
    if (is_online() && current_tic % 512 == 511)
        write_results();

    record_demo_states(0);
    play_demo_chunks();

    if (time_trial_mode) {
        if (bike_slots[1] && lap_number(bike_slots[1]) != ghost_lap)
            lower_best_lap(time_trial_lap_tics(bike_slots[1]));
        if (bike_slots[0] && lap_number(bike_slots[0]) != player_lap)
            start_next_time_trial_lap();
    }
    telemetry_step();
}
