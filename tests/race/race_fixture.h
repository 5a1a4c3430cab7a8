// The race fixture: a flat track written by the test (grid exponent 7,
// 2 ft cells) with an 8-piece start gate and six checkpoints on a loop of
// radius 200 ft, ridden by scripted riders through the headless race.
#pragma once

#include "bike/bike_create.h"
#include "bike/bike_setters.h"
#include "bike/packed_state.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "support/test_support.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

inline const float LOOP_X = 256.0f, LOOP_Z = 256.0f, LOOP_RADIUS = 200.0f;
inline const int LOOP_GATES = 6;
inline const char *const RACE_TRACK = "tracks/loop";

// A loop course: its centre, its radius, the speed ridden round it and the
// width of its checkpoints.
struct LoopCourse {
    float x, z, radius, speed, gate_width;
};
inline const LoopCourse RACE_LOOP = {LOOP_X, LOOP_Z, LOOP_RADIUS, 25.0f, 20.0f};

// The fixture track's ground: one hard tile that does not erode.
inline const char *const HARD_TILE = "name hardpack\nfriction 1.0 1\nslip_function 1\n"
                                     "roll_resist 1 2 1\naddtile\n";

// Checkpoint k of a loop: its centre and the direction riders cross it.
inline void loop_gate(const LoopCourse &course, int k, float *x, float *z, float *dx, float *dz)
{
    float a = (float)k * 2.0f * (float)M_PI / LOOP_GATES;
    *x = course.x + course.radius * cosf(a);
    *z = course.z + course.radius * sinf(a);
    *dx = -sinf(a);
    *dz = cosf(a);
}

inline void loop_gate(int k, float *x, float *z, float *dx, float *dz)
{
    loop_gate(RACE_LOOP, k, x, z, dx, dz);
}

inline std::string race_sphere(float x, float y, float z, float r)
{
    char line[128];
    snprintf(line, sizeof line, "%g %g %g %g 0.5 25000 2500\n", x, y, z, r);
    return line;
}

// A flat track (grid exponent 7, 2 ft cells) round a loop course, with the
// given tiles, in the data folder under the given catalogue folder.
inline void write_loop_track(const char *folder, const LoopCourse &course, const std::string &tileinfo)
{
    std::string data = test_data_dir();
    write_file(data + "generic_frame.shp", "2\n" + race_sphere(0, 0.5f, -0.8f, 0.5f) +
                                               race_sphere(0, 0.4f, 0.8f, 0.5f));
    write_file(data + "generic_rider.shp", "1\n" + race_sphere(0, 0.2f, -0.1f, 0.7f));
    std::string dir = data + folder + "/";
    const int side = 257;
    std::string bytes = "7 2.0 0.0 8.0\n:" + std::string((size_t)side * side * 2, '\0');
    write_file(dir + "terrain.hf", bytes);
    write_file(dir + "shadingx2.ppm", "P6\n257 257\n255\n" +
                                          std::string((size_t)side * side * 3, (char)64));
    write_file(dir + "tileinfo", tileinfo);
    write_file(dir + "tilemap", std::string(128 * 128, '\0'));

    // The start: before checkpoint 0, facing along the loop, eight pieces
    // across the track 5 ft apart.
    std::string gates = "startinggate:\n";
    float a0 = -40.0f * (float)M_PI / 180.0f;
    float sx = course.x + course.radius * cosf(a0), sz = course.z + course.radius * sinf(a0);
    float fx = -sinf(a0), fz = cosf(a0);          // the way round the loop
    float angle = atan2f(-fx, -fz);               // a bike facing it
    for (int i = 0; i < 8; i++) {
        float off = (float)i * 5.0f;   // piece 0 on the loop, the rest outside it
        char line[128];
        snprintf(line, sizeof line, "[ %f 0 %f ] %f\n", sx + fz * off, sz - fx * off, angle);
        gates += line;
    }
    gates += "checkpoints:\n";
    for (int k = 0; k < LOOP_GATES; k++) {
        float x, z, dx, dz;
        loop_gate(course, k, &x, &z, &dx, &dz);
        char line[160];
        snprintf(line, sizeof line, "%g [ %f 0 %f ] [ %f 0 %f ]\n", course.gate_width, x, z, dx, dz);
        gates += line;
    }
    gates += "firstlap:\n0 1 2 3 4 5\nnormallap:\n0 1 2 3 4 5\n";
    write_file(dir + "timing_gates", gates);
}

inline void write_race_track()
{
    write_loop_track(RACE_TRACK, RACE_LOOP, HARD_TILE);
}

// The stability values a player starts with: a held steer asks for a lean.
inline void steady_setup(BikeState *bike)
{
    set_roll_damping(bike, 80);
    set_roll_limit_factor(bike, 32);
    set_steering_damping(bike, 60);
    set_direct_steering(bike, 0.125f);
    set_slow_damping_speed(bike, 40);
    set_slow_damping_factor(bike, 2);
    set_restricted_lock_angle(bike, (float)(M_PI / 180));
    set_auto_shift(bike, 1);
}

// A pursuit law round a loop (the context, else the fixture's): waits at
// the gate until the drop, then heads for a point of the loop 40 ft ahead
// of the bike at about the course's speed.
inline void ride_the_loop(int slot, const BikeState *bike, RiderControls *c, void *context)
{
    (void)slot;
    const LoopCourse *course = context ? (const LoopCourse *)context : &RACE_LOOP;
    c->clutch_lever = 0;
    if (current_tic < race_settings.start_tic) {
        c->front_brake = c->rear_brake = 1;
        c->dab = 1;
        return;
    }
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    double at = atan2(p[2] - course->z, p[0] - course->x) + 40.0 / course->radius;
    double tx = course->x + course->radius * cos(at) - p[0], tz = course->z + course->radius * sin(at) - p[2];
    dVector3 forward;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
    double heading = atan2(forward[0], forward[2]);
    double wanted = atan2(tx, tz);
    double error = remainder(wanted - heading, 2.0 * M_PI);
    // Positive steer turns toward the bike's right: a falling heading angle.
    double steer = 0.12 - 0.5 * error;
    c->steer = (float)(steer < -0.35 ? -0.35 : steer > 0.35 ? 0.35 : steer);
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    // Throttle up to 0.02 a foot per second of the course's speed.
    double throttle = 0.25 + 0.1 * (course->speed - speed), most = 0.02 * course->speed;
    c->throttle = (float)(throttle < 0.0 ? 0.0 : throttle > most ? most : throttle);
    c->dab = speed < 3.0 ? 1.0f : 0.0f;
}

struct RaceWorld : testing::Test {
    void SetUp() override
    {
        write_race_track();
        ASSERT_TRUE(create_physics_world());
        current_tic = 0;
    }

    void TearDown() override
    {
        free_race_world();
    }

    // A race of the given slot codes (1 = the player, 2 = a robot made a
    // scripted rider), riders set up steady.
    static int start(const int *codes, int count, int laps, int record)
    {
        HeadlessRace race{};
        race.track = RACE_TRACK;
        for (int i = 0; i < count; i++)
            race.slot_codes[i] = codes[i];
        race.laps = laps;
        race.record = record;
        if (!start_headless_race(&race))
            return 0;
        for (int slot = 0; slot < count; slot++) {
            BikeState *bike = get_slot_bike(slot);
            if (!bike)
                continue;
            bike->personality = 0;
            steady_setup(bike);
        }
        return 1;
    }
};
