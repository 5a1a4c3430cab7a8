// Robot races on a generated track: a field of robots of one skill from
// the first gate row races whole laps with learning off; every tic each
// robot's stops with the rider on the bike are timed, and at the end its
// laps, lap times and crashes are read from its gate record.
#include "tools/datagen/gen_robot_check.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/player_settings.h"
#include "bike/bike_create.h"
#include "bike/bike_models.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "race/gates.h"
#include "race/headless_race.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "track/track.h"

float robot_crash_bound(int skill)
{
    return skill >= 2 ? 0.15f : 0.1f;
}

// Robot numbers are the robot table's rows plus 20: rows 0-19 ride the
// 125s and 40-59 the 250 four-strokes with one personality, 20-39 the
// four-strokes with another, 60-79 the painted four-strokes with the third.
static const int FULL_FIELD_NUMBERS[12] = {25, 35, 62, 75, 40, 46, 51, 56, 80, 86, 91, 96};

void full_robot_field(RobotField *field, const char *track, int skill, int seed)
{
    memset(field, 0, sizeof *field);
    field->track = track;
    field->skill = skill;
    field->laps = 5;
    field->robots = 12;
    for (int k = 0; k < 12; k++) {
        field->slots[k] = k;
        field->numbers[k] = FULL_FIELD_NUMBERS[k];
    }
    field->seed = seed;
}

static const int CHECK_FIELD_NUMBERS[6] = {25, 62, 40, 51, 86, 91};

void check_robot_field(RobotField *field, const char *track, int skill, int gate_pieces)
{
    memset(field, 0, sizeof *field);
    field->track = track;
    field->skill = skill;
    field->laps = 2;
    field->robots = 6;
    for (int k = 0; k < 6; k++) {
        field->slots[k] = gate_pieces >= 6 ? k * (gate_pieces / 6) : k;
        field->numbers[k] = CHECK_FIELD_NUMBERS[k];
    }
}

namespace {

const char *const SKILL_NAMES[3] = {"novice", "amateur", "expert"};

const char *skill_name(int skill)
{
    return skill >= 0 && skill < 3 ? SKILL_NAMES[skill] : "?";
}

// The tics the robots may take: twice the time of the lines they follow
// (the fastest candidate of every row, the first lap and the later ones).
long long race_tic_limit(int laps)
{
    long long tics = 0;
    for (int row = 0; row < lap_pool_rows; row++) {
        const LapCandidate *c = lap_pool_row(row);
        int fastest = LAP_NO_TIME;
        for (int k = 0; c && k < LAP_POOL_CANDIDATES; k++)
            if (c[k].count > 0 && c[k].section_time < fastest)
                fastest = c[k].section_time;
        if (fastest == LAP_NO_TIME)
            fastest = 60 * TIC_RATE;
        tics += row < lap_pool_first_rows ? fastest : (long long)(laps - 1) * fastest;
    }
    return 2 * tics;
}

}  // namespace

int race_robot_field(const RobotField *field, RobotRaceReport *report)
{
    memset(report, 0, sizeof *report);
    if (field->robots < 1 || field->robots > ROBOT_FIELD_MAX || field->laps < 1)
        return 0;
    learn_lines = 0;
    HeadlessRace race;
    memset(&race, 0, sizeof race);
    race.track = field->track;
    for (int k = 0; k < field->robots; k++)
        if (field->slots[k] < 0 || field->slots[k] >= BIKE_SLOT_COUNT)
            return 0;
    for (int k = 0; k < field->robots; k++)
        race.slot_codes[field->slots[k]] = field->numbers[k] > 0 ? SLOT_ROBOT_NUMBER + field->numbers[k] : SLOT_ROBOT;
    race.laps = field->laps;
    race.skill = field->skill;
    current_tic = field->seed;
    int started = start_headless_race(&race) && lap_pool_rows > 0;
    for (int k = 0; started && k < field->robots; k++)
        started = bike_slots[field->slots[k]] != nullptr && rider_kind[field->slots[k]] == RIDER_ROBOT;
    if (!started) {
        free_headless_track_race();
        return 0;
    }
    report->robots = field->robots;
    int errors_before = physics_solver_errors;
    int last_lap_gate = lap_end_gate(field->laps);
    long long limit = race_settings.start_tic + race_tic_limit(field->laps);
    int stopped_since[ROBOT_FIELD_MAX], crashes_seen[ROBOT_FIELD_MAX];
    float stop_x[ROBOT_FIELD_MAX], stop_z[ROBOT_FIELD_MAX];
    for (int k = 0; k < field->robots; k++) {
        stopped_since[k] = -1;
        crashes_seen[k] = 0;
    }
    int done = 0;
    while (!done && current_tic < limit) {
        run_headless_tics(1, nullptr, nullptr);
        done = 1;
        for (int k = 0; k < field->robots; k++) {
            const BikeState *bike = bike_slots[field->slots[k]];
            RobotResult *r = &report->results[k];
            // The race's own finish: the last lap done, or the lap in which
            // the leader finished for a robot a lap or more behind. What a
            // robot does after it is no part of the race.
            int through = bike->gates_passed > last_lap_gate || bike->finished;
            done = done && through;
            if (through) {
                if (!r->finished) {
                    r->finished = 1;
                    r->laps = lap_of_gates(bike->gates_passed);
                    r->laps = r->laps < field->laps ? r->laps : field->laps;
                    r->crashes = bike->crash_count;
                }
                continue;
            }
            const dReal *p = dBodyGetPosition(bike->frame_body);
            if (bike->crash_count > crashes_seen[k]) {
                crashes_seen[k] = bike->crash_count;
                if (report->crash_events < ROBOT_EVENT_MAX) {
                    RobotEvent *e = &report->crash_list[report->crash_events++];
                    e->robot = k;
                    e->lap = lap_of_gates(bike->gates_passed) + 1;
                    e->seconds = (float)(current_tic - race_settings.start_tic) / (float)TIC_RATE;
                    e->x = (float)p[0];
                    e->z = (float)p[2];
                }
            }
            const dReal *v = dBodyGetLinearVel(bike->frame_body);
            float speed = (float)sqrt(v[0] * v[0] + v[2] * v[2]);
            int stopped = current_tic > race_settings.start_tic && bike->crash_timer == 0 &&
                          speed < ROBOT_STOP_SPEED;
            if (!stopped) {
                stopped_since[k] = -1;
                continue;
            }
            if (stopped_since[k] < 0) {
                stopped_since[k] = current_tic;
                stop_x[k] = (float)p[0];
                stop_z[k] = (float)p[2];
            }
            float stop = (float)(current_tic - stopped_since[k]) / (float)TIC_RATE;
            if (stop > r->longest_stop) {
                r->longest_stop = stop;
                r->stop_x = stop_x[k];
                r->stop_z = stop_z[k];
            }
        }
    }
    report->race_seconds = (float)(current_tic - race_settings.start_tic) / (float)TIC_RATE;
    report->solver_errors = physics_solver_errors - errors_before;
    for (int k = 0; k < field->robots; k++) {
        const BikeState *bike = bike_slots[field->slots[k]];
        RobotResult *r = &report->results[k];
        snprintf(r->number, sizeof r->number, "%s", bike->rider_number);
        r->personality = get_bike_personality(bike)->key;
        const BikeModel *model = get_bike_model(bike->model_index);
        snprintf(r->model, sizeof r->model, "%s", model ? model->name : "?");
        if (!r->finished) {
            r->laps = lap_of_gates(bike->gates_passed);
            r->crashes = bike->crash_count;
        }
        for (int lap = 2; lap <= r->laps; lap++) {
            float t = get_lap_time(bike, lap);
            if (t <= 0.0f)
                continue;
            r->best_lap = r->best_lap > 0.0f ? fminf(r->best_lap, t) : t;
            r->worst_lap = fmaxf(r->worst_lap, t);
        }
        report->crashes += r->crashes;
        report->robot_laps += r->laps;
        report->finished += r->finished;
        report->lapped += r->finished && r->laps < field->laps;
        report->longest_stop = fmaxf(report->longest_stop, r->longest_stop);
        if (r->best_lap > 0.0f)
            report->worst_lap_ratio = fmaxf(report->worst_lap_ratio, r->worst_lap / r->best_lap);
    }
    free_headless_track_race();
    return 1;
}

int check_robot_report(const RobotField *field, const RobotRaceReport *report, char *why, int size)
{
    float bound = robot_crash_bound(field->skill);
    int laps = field->robots * field->laps;
    if (report->finished < field->robots) {
        snprintf(why, (size_t)size, "%d of %d %s robots finished the %d-lap race on %s", report->finished,
                 field->robots, skill_name(field->skill), field->laps, field->track);
        return 0;
    }
    if ((float)report->crashes > bound * (float)laps) {
        snprintf(why, (size_t)size, "%d crashes in %d robot-laps of %s on the %s lines (at most %.2f a lap)",
                 report->crashes, laps, field->track, skill_name(field->skill), (double)bound);
        return 0;
    }
    if (report->longest_stop > ROBOT_STOP_LIMIT) {
        snprintf(why, (size_t)size, "a robot stopped %.1f s with the rider on the bike on %s (%s lines, at most %.0f s)",
                 (double)report->longest_stop, field->track, skill_name(field->skill), (double)ROBOT_STOP_LIMIT);
        return 0;
    }
    if (report->worst_lap_ratio > 1.0f + ROBOT_LAP_SPREAD) {
        snprintf(why, (size_t)size, "a robot's lap took %.0f%% over its best on %s (%s lines, at most %.0f%%)",
                 (double)(100.0f * (report->worst_lap_ratio - 1.0f)), field->track, skill_name(field->skill),
                 (double)(100.0f * ROBOT_LAP_SPREAD));
        return 0;
    }
    if (report->solver_errors > 0) {
        snprintf(why, (size_t)size, "%d physics solver errors in the robot race on %s", report->solver_errors,
                 field->track);
        return 0;
    }
    if (size > 0)
        why[0] = 0;
    return 1;
}

void print_robot_report(const RobotField *field, const RobotRaceReport *report, FILE *stream)
{
    for (int k = 0; k < report->robots; k++) {
        const RobotResult *r = &report->results[k];
        fprintf(stream, "  #%-3s %-6s %-16s laps %d  crashes %d  best %.1f s  slowest %.1f s (%+.0f%%)  stop %.1f s\n",
                r->number, r->personality, r->model, r->laps, r->crashes, (double)r->best_lap, (double)r->worst_lap,
                r->best_lap > 0.0f ? (double)(100.0f * (r->worst_lap / r->best_lap - 1.0f)) : 0.0,
                (double)r->longest_stop);
    }
    fprintf(stream,
            "%s %s seed %d: %d robots, %d of %d finished (%d lapped), %d crashes in %d robot-laps (%.3f a lap), "
            "longest stop %.1f s, slowest lap %+.0f%% over best, %.0f s raced\n",
            field->track, skill_name(field->skill), field->seed, report->robots, report->finished, report->robots,
            report->lapped, report->crashes, report->robot_laps,
            report->robot_laps > 0 ? (double)report->crashes / (double)report->robot_laps : 0.0,
            (double)report->longest_stop,
            report->worst_lap_ratio > 0.0f ? (double)(100.0f * (report->worst_lap_ratio - 1.0f)) : 0.0,
            (double)report->race_seconds);
}

int check_track_robots(const char *track, int skill, int gate_pieces)
{
    RobotField field;
    check_robot_field(&field, track, skill, gate_pieces);
    RobotRaceReport report;
    if (!race_robot_field(&field, &report)) {
        fprintf(stderr, "datagen: the robot race on %s could not be set up\n", track);
        return 0;
    }
    printf("datagen: %s %s robots: %d of %d finished %d laps (%d lapped), %d crashes, longest stop %.1f s, "
           "slowest lap %+.0f%% over best\n",
           track, skill_name(skill), report.finished, report.robots, field.laps, report.lapped, report.crashes,
           (double)report.longest_stop,
           report.worst_lap_ratio > 0.0f ? (double)(100.0f * (report.worst_lap_ratio - 1.0f)) : 0.0);
    char why[256];
    if (!check_robot_report(&field, &report, why, sizeof why)) {
        fprintf(stderr, "datagen: the robots' check of %s failed: %s\n", track, why);
        print_robot_report(&field, &report, stderr);
        return 0;
    }
    return 1;
}

void free_headless_track_race(void)
{
    end_race();
    for (BikeState &bike : bike_states)
        free_bike(&bike);
    free_track();
    free_shape_cache();
    free_track_catalogue();
    set_track_folder(nullptr);
    destroy_physics_world();
}
