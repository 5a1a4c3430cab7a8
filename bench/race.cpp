// The race: the whole race tic with 40 scripted riders against the same
// riders with timing and recording off, playing their demo back, seeking
// in it, and races of 40 and 160 robots on lines learnt from a scripted
// rider.
#include "bench_folder.h"
#include "loop_track.h"

#include "app/player_settings.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "race/autopilot.h"
#include "race/demo.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/erosion.h"
#include "track/timing.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

std::string bench_dir;
const int RIDERS = 40;
const int RIDE_TICS = 1280;   // 10 s

void ride(int slot, const BikeState *, RiderControls *c, void *)
{
    float t = (float)current_tic * TIC_LENGTH + (float)slot;
    c->throttle = current_tic < race_settings.start_tic ? 0.0f : 0.7f;
    c->steer = 0.35f * sinf(t * 0.7f);
}

// Forty scripted riders from the gate; timing and recording as asked.
bool start_race(int record, int timing)
{
    HeadlessRace race{};
    race.track = "tracks/race";
    for (int i = 0; i < RIDERS; i++)
        race.slot_codes[i] = SLOT_ROBOT;
    race.laps = 5;
    race.record = record;
    current_tic = 0;
    if (!start_headless_race(&race))
        return false;
    for (int slot = 0; slot < RIDERS; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            return false;
        bike->personality = 0;
        set_auto_shift(bike, 1);
        set_gear(bike, 0);
    }
    if (!timing) {
        lap_gate_list.first_lap_count = lap_gate_list.normal_lap_count = 0;
        timing_gate_count = 0;
    }
    // Start at the gate drop.
    current_tic = race_settings.start_tic;
    return true;
}

void set_up()
{
    static bool done;
    if (done)
        return;
    done = true;
    erode_option = 512;
}

// A scripted rider that rides round the loop (radius 180 about the
// middle): a point of the loop 40 ft ahead, about 25 ft/s.
void ride_the_loop(int, const BikeState *bike, RiderControls *c, void *)
{
    if (current_tic < race_settings.start_tic) {
        c->front_brake = c->rear_brake = 1;
        c->dab = 1;
        return;
    }
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    double at = atan2(p[2] - 256.0, p[0] - 256.0) + 40.0 / 180.0;
    double tx = 256.0 + 180.0 * cos(at) - p[0], tz = 256.0 + 180.0 * sin(at) - p[2];
    dVector3 forward;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
    double error = remainder(atan2(tx, tz) - atan2(forward[0], forward[2]), 2.0 * M_PI);
    double steer = 0.13 - 0.5 * error;
    c->steer = (float)(steer < -0.35 ? -0.35 : steer > 0.35 ? 0.35 : steer);
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    double throttle = 0.25 + 0.1 * (25.0 - speed);
    c->throttle = (float)(throttle < 0.0 ? 0.0 : throttle > 0.5 ? 0.5 : throttle);
    c->dab = speed < 3.0 ? 1.0f : 0.0f;
}

// Lines learnt from two laps of the scripted rider, kept in the track's
// "lines_expert" for the robot races.
bool learn_lines_once()
{
    static int learnt = -1;
    if (learnt >= 0)
        return learnt == 1;
    learnt = 0;
    learn_lines = 1;
    HeadlessRace race{};
    race.track = "tracks/race";
    race.slot_codes[0] = SLOT_PLAYER;
    race.laps = 2;
    race.skill = 2;
    current_tic = 0;
    if (!start_headless_race(&race))
        return false;
    BikeState *bike = bike_slots[0];
    set_roll_damping(bike, 80);
    set_roll_limit_factor(bike, 32);
    set_steering_damping(bike, 60);
    set_direct_steering(bike, 0.125f);
    set_slow_damping_speed(bike, 40);
    set_slow_damping_factor(bike, 2);
    set_restricted_lock_angle(bike, (float)(M_PI / 180));
    set_auto_shift(bike, 1);
    for (int t = 0; t < 200 && !bike->finished; t++)
        run_headless_tics(TIC_RATE, ride_the_loop, nullptr);
    learnt = bike->finished ? 1 : 0;
    end_race();
    return learnt == 1;
}

// Robots from the gate on the learnt lines, ridden 10 s from the drop.
void robots_race(benchmark::State &state)
{
    set_up();
    int count = (int)state.range(0);
    set_race_tic_shortcuts((int)state.range(1));
    if (!learn_lines_once()) {
        state.SkipWithError("no lines were learnt");
        return;
    }
    double ridden = 0, total = 0, stepping = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HeadlessRace race{};
        race.track = "tracks/race";
        for (int i = 0; i < count; i++)
            race.slot_codes[i] = SLOT_ROBOT;
        race.laps = 5;
        race.skill = 2;
        current_tic = 0;
        if (!start_headless_race(&race)) {
            state.SkipWithError("race did not start");
            return;
        }
        run_headless_tics(race_settings.start_tic - current_tic, nullptr, nullptr);
        physics_step_timing = 1;
        physics_step_seconds = 0;
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        run_headless_tics(RIDE_TICS, nullptr, nullptr);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ridden += RIDE_TICS * (double)TIC_LENGTH;
        stepping += physics_step_seconds;
        physics_step_timing = 0;
    }
    state.counters["real_time_multiple"] = total > 0 ? ridden / total : 0;
    // The multiple the world step alone would allow.
    state.counters["step_only_multiple"] = stepping > 0 ? ridden / stepping : 0;
    learn_lines = 0;
    set_race_tic_shortcuts(1);
}

void race_tic_riders(benchmark::State &state)
{
    set_up();
    int full = (int)state.range(0);
    double ridden = 0, total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        free_track();   // the track's timing comes back with every load
        if (!start_race(full, full)) {
            state.SkipWithError("race did not start");
            return;
        }
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        run_headless_tics(RIDE_TICS, ride, nullptr);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ridden += RIDE_TICS * (double)TIC_LENGTH;
    }
    state.counters["real_time_multiple"] = total > 0 ? ridden / total : 0;
    state.SetLabel(full ? "race: timing and demo recording" : "riding only");
}

void replay_demo(benchmark::State &state)
{
    set_up();
    free_track();
    if (!start_race(1, 1)) {
        state.SkipWithError("race did not start");
        return;
    }
    run_headless_tics(RIDE_TICS, ride, nullptr);
    end_race();
    double played = 0, total = 0, back = 0, forward = 0;
    int seeks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HeadlessRace race{};
        race.track = "tracks/race";
        race.playback = 1;
        race.laps = 10;
        current_tic = 0;
        if (!start_headless_race(&race) || demo_rider_count != RIDERS) {
            state.SkipWithError("demo did not open");
            return;
        }
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        int first = current_tic;
        run_headless_tics(RIDE_TICS - 256, nullptr, nullptr);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        played += current_tic - first;
        state.PauseTiming();
        auto s0 = std::chrono::steady_clock::now();
        seek_replay(-1.0f);
        auto s1 = std::chrono::steady_clock::now();
        seek_replay(1.0f);
        auto s2 = std::chrono::steady_clock::now();
        back += std::chrono::duration<double>(s1 - s0).count();
        forward += std::chrono::duration<double>(s2 - s1).count();
        seeks++;
        end_race();
        state.ResumeTiming();
    }
    state.counters["tics_per_second"] = total > 0 ? played / total : 0;
    state.counters["seek_back_ms"] = seeks ? back / seeks * 1000 : 0;
    state.counters["seek_forward_ms"] = seeks ? forward / seeks * 1000 : 0;
}

}  // namespace

BENCHMARK(race_tic_riders)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(replay_demo)->Unit(benchmark::kMillisecond)->Iterations(3);
// Robots, then the tic's shortcuts off (the plain path) or on.
BENCHMARK(robots_race)
    ->Args({40, 0})
    ->Args({40, 1})
    ->Args({160, 0})
    ->Args({160, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

int main(int argc, char **argv)
{
    return run_loop_track_benchmarks(argc, argv, &bench_dir);
}
