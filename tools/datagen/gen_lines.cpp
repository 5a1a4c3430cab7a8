// Racing lines ridden, not drawn: for each skill the game runs headless
// races with learning on. In each, one scripted rider starts from one
// position of the first gate row and follows the designed line (a steering
// law on its offset and heading) at the skill's planned speeds; the race's lap pool takes its sections as
// it takes a human's, and the next race reads them back from the line file
// the reset writes into the home folder. One race rides a whole first lap
// and normal lap, the others ride from their gate to the second
// checkpoint, so the first row holds a start from near every gate.
#include "tools/datagen/gen_lines.h"
#include "tools/datagen/gen_robot_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "app/player_settings.h"
#include "bike/bike_create.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "core/file.h"
#include "race/headless_race.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/racing_lines.h"
#include "track/timing.h"
#include "track/track.h"

const SkillProfile SKILL_PROFILES[LINE_SKILL_COUNT] = {
    {"lines_novice", 36.0f, 9.0f, 10.0f, 0.8f},
    {"lines_amateur", 44.0f, 12.0f, 12.0f, 0.85f},
    {"lines_expert", 52.0f, 15.0f, 14.0f, 1.0f},
};

namespace {

const float PI_F = 3.14159265358979f;
const float ROLL_LIMIT_ANGLE = PI_F / 4.0f;   // the rider setup's
// The line-following law: the pull toward the line per foot of offset and
// per ft/s of sideways speed (a critically damped 1.2 rad/s), and how far
// ahead (in seconds) the line's bend is read.
const float K_OFFSET = 1.44f, K_RATE = 2.4f, BEND_AHEAD = 0.35f;
const float STEER_RATE = 0.03f;   // the most the steer moves in a tic
const float JUMP_RUN_UP = 90.0f;  // feet before a jump at its speed
const int FULL_RACE_TRIES = 3;
const float FACE_THROTTLE = 0.6f;

float wrap_index_distance(int a, int b, int n)
{
    int d = ((b - a) % n + n) % n;
    return (float)(d > n / 2 ? d - n : d);
}

const CentrePoint *point_ahead(const TrackModel *track, int index, float feet)
{
    int n = track->count;
    int k = index + (int)lroundf(feet / CENTRELINE_STEP);
    return &track->points[((k % n) + n) % n];
}

}  // namespace

int plan_line_speeds(const TrackModel *track, const SkillProfile *skill, float *speeds)
{
    const TrackDesign *d = track->design;
    int n = track->count;
    float *bends = (float *)checked_malloc(sizeof(float) * (size_t)n);
    if (!bends)
        return 0;
    for (int i = 0; i < n; i++) {
        const CentrePoint *p = &track->points[i];
        // Corners: a berm lets a rider lean on it, an off-camber holds less.
        float k = 0.0f;
        for (int j = -6; j <= 6; j++)
            k = fmaxf(k, fabsf(point_ahead(track, i, (float)j)->curvature));
        float banking = fabsf(p->bank) * (p->bank * p->curvature > 0.0f ? -1.0f : 1.0f);
        float grip = skill->corner_grip * (1.0f + 2.0f * fmaxf(-0.1f, banking));
        bends[i] = k > 0.0f ? sqrtf(grip / k) : 1e9f;
        if (p->sand)
            bends[i] = fminf(bends[i], skill->top_speed * 0.8f);
        speeds[i] = fminf(skill->top_speed, bends[i]);
    }
    // Every skill takes a jump at its designed speed (a bike short of it
    // lands flat on a table or on the front of a double's landing): over a
    // jump and its run-up the skill may ride past its top speed, up to the
    // jump's, held by the corners and the sand.
    for (int f = 0; f < d->feature_count; f++) {
        const Feature *feature = &d->features[f];
        if (feature->kind != FEATURE_DOUBLE && feature->kind != FEATURE_TABLETOP)
            continue;
        float s0, s1;
        feature_span(track, f, &s0, &s1);
        for (int i = 0; i < n; i++) {
            float s = track->points[i].s;
            if (s >= s0 - JUMP_RUN_UP && s < s1)
                speeds[i] = fminf(fmaxf(skill->top_speed, feature->speed), bends[i]);
        }
    }
    // Jumps and bumps: a jump's speed from well before its face; over
    // whoops and rhythm sections a share of the speed they are built for,
    // never faster than their crests allow.
    // A limit set here never raises one set before: the lowest holds (a
    // corner or the sand before a face, whoops in a run-up).
    for (int f = 0; f < d->feature_count; f++) {
        const Feature *feature = &d->features[f];
        if (feature->kind == FEATURE_SAND)
            continue;
        float s0, s1;
        feature_span(track, f, &s0, &s1);
        float limit = 0.0f, from = s0;
        if (feature->kind == FEATURE_WHOOPS || feature->kind == FEATURE_RHYTHM) {
            limit = fminf(feature->speed * skill->bump_share, bump_speed_limit(feature));
            from = s0 - 10.0f;
        } else {
            limit = feature->speed;
            from = s0 - JUMP_RUN_UP;
        }
        for (int i = 0; i < n; i++) {
            float s = track->points[i].s;
            if (s >= from && s < s1)
                speeds[i] = fminf(speeds[i], limit);
        }
    }
    checked_free(bends);
    // Braking ahead of every slower point: v^2 = u^2 + 2 a d backwards,
    // twice round the loop so the start of the loop sees its end.
    for (int pass = 0; pass < 2; pass++)
        for (int i = n - 1; i >= 0; i--) {
            float next = speeds[(i + 1) % n];
            float limit = sqrtf(next * next + 2.0f * skill->braking * CENTRELINE_STEP);
            speeds[i] = fminf(speeds[i], limit);
        }
    return 1;
}

namespace {

// One scripted rider following the designed line.
struct LineRider {
    const TrackModel *track;
    const float *speeds;
    int index;              // nearest centreline point, followed along the loop
    float start_lateral;    // the gate position's offset from the line
    float start_ease;       // feet over which that offset eases out: to the first turn
    float ridden;           // feet along the line since the start
    int recovering;         // off the line: slow, gentle
    float steer;            // the last steer given
    float furthest;         // ridden at the last progress
    int progress_tic;       // tic of the last 10 ft of progress
    float worst_lateral;    // farthest off the line, on the bike, after the start
};

void find_nearest(LineRider *rider, float x, float z)
{
    const TrackModel *t = rider->track;
    int n = t->count, best = rider->index;
    float best_d2 = 1e30f;
    for (int k = -30; k <= 90; k++) {
        int i = ((rider->index + k) % n + n) % n;
        float dx = x - t->points[i].x, dz = z - t->points[i].z;
        float d2 = dx * dx + dz * dz;
        if (d2 < best_d2) {
            best_d2 = d2;
            best = i;
        }
    }
    rider->ridden += wrap_index_distance(rider->index, best, n) * CENTRELINE_STEP;
    rider->index = best;
}

float clamp(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void ride_line(int slot, const BikeState *bike, RiderControls *c, void *context)
{
    (void)slot;
    LineRider *rider = (LineRider *)context;
    c->clutch_lever = 0;
    if (current_tic < race_settings.start_tic) {
        c->front_brake = c->rear_brake = 1;
        c->dab = 1;
        return;
    }
    const dReal *p = dBodyGetPosition(bike->frame_body);
    const dReal *v = dBodyGetLinearVel(bike->frame_body);
    find_nearest(rider, (float)p[0], (float)p[2]);
    if (rider->ridden > rider->furthest + 10.0f) {
        rider->furthest = rider->ridden;
        rider->progress_tic = current_tic;
    }
    const TrackModel *t = rider->track;
    float speed = (float)sqrt(v[0] * v[0] + v[2] * v[2]);
    // The line: the designed one, eased over from the gate position along
    // the start straight, so that the lines of a field from the gate meet
    // only where the turn funnels them.
    const CentrePoint *here = &t->points[rider->index];
    float eased = clamp(rider->ridden / rider->start_ease, 0.0f, 1.0f);
    float offset = rider->start_lateral * (1.0f - eased * eased * (3.0f - 2.0f * eased));
    float lateral = ((float)p[0] - here->x) * here->dz - ((float)p[2] - here->z) * here->dx - offset;
    dVector3 forward;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, forward);
    // Headings as atan2(x, z): a rising heading turns toward the side
    // lateral offsets count positive.
    float heading = atan2f((float)forward[0], (float)forward[2]);
    float error = remainderf(heading - atan2f(here->dx, here->dz), 2.0f * PI_F);
    int airborne = !(bike->front_contact.depth > 0.0f) && !(bike->rear_contact.depth > 0.0f);
    // Off the track or facing away from the way on: slow down and come
    // back gently until on the line again.
    float half = here->width * 0.5f;
    if (fabsf(lateral) > half + 3.0f || fabsf(error) > 1.0f)
        rider->recovering = 1;
    else if (fabsf(lateral) < half - 2.0f && fabsf(error) < 0.3f)
        rider->recovering = 0;
    // The sideways acceleration that follows the line's bend a moment
    // ahead and pulls the offset and its rate to zero; the lean that
    // gives it; the steer that asks the rider for that lean (a steer of 1
    // asks for the roll limit angle, toward falling headings). Just after
    // a landing the rider asks for little.
    float u = fmaxf(speed, 4.0f);
    const CentrePoint *bend = point_ahead(t, rider->index, u * BEND_AHEAD);
    float pull = rider->recovering ? 4.0f : 12.0f;
    float accel = -u * u * bend->curvature - clamp(K_OFFSET * lateral, -pull, pull) -
                  K_RATE * u * sinf(clamp(error, -1.2f, 1.2f));
    float landed = (float)(current_tic - bike->landing_tic) / (float)TIC_RATE;
    float grip = bike->landing_tic >= bike->takeoff_tic && landed < 0.4f ? 8.0f : 20.0f;
    accel = clamp(accel, -grip, grip);
    float lean = atanf(accel / 32.0f);
    float steer = airborne ? 0.0f : clamp(-lean / ROLL_LIMIT_ANGLE, -0.8f, 0.8f);
    c->steer = rider->steer = clamp(steer, rider->steer - STEER_RATE, rider->steer + STEER_RATE);
    float target = rider->speeds[rider->index];
    float wanted_ahead = rider->speeds[(rider->index + 8) % t->count];
    target = fminf(target, wanted_ahead + 2.0f);
    if (rider->recovering)
        target = fminf(target, 12.0f);
    float gap = target - speed;
    // Gently from low speed: a wheelie there cuts the drive and the bike
    // hops on the spot.
    float most = clamp(0.45f + 0.025f * speed, 0.0f, 1.0f);
    // On a jump the throttle is held moderate: a full one up the face
    // lifts the front at the lip.
    if (here->feature >= 0 && here->profile > 0.3f && (t->design->features[here->feature].kind == FEATURE_TABLETOP ||
                                                       t->design->features[here->feature].kind == FEATURE_DOUBLE))
        most = fminf(most, FACE_THROTTLE);
    c->throttle = airborne ? 0.35f : clamp(0.35f + 0.12f * gap, 0.0f, most);
    // The clutch in while in the air: the wheel then turns free, the
    // automatic shift keeps the gear and the landing meets no engine
    // braking.
    if (airborne)
        c->clutch_lever = 1;
    if (gap < -2.0f && !airborne) {
        c->front_brake = clamp(-0.08f * (gap + 2.0f), 0.0f, 0.7f);
        c->rear_brake = clamp(-0.08f * (gap + 2.0f), 0.0f, 0.7f);
    }
    // A foot down only when all but stopped (a dab switched on and off
    // round a speed bounces the rider).
    c->dab = speed < 1.0f ? 1.0f : 0.0f;
    if (bike->crash_timer == 0 && rider->ridden > 150.0f)
        rider->worst_lateral = fmaxf(rider->worst_lateral, fabsf(lateral));
}

// The stability values the scripted rider rides with.
void steady_rider_setup(BikeState *bike)
{
    set_roll_damping(bike, 80);
    set_roll_limit_factor(bike, 32);
    set_steering_damping(bike, 60);
    set_direct_steering(bike, 0.125f);
    set_slow_damping_speed(bike, 40);
    set_slow_damping_factor(bike, 2);
    set_restricted_lock_angle(bike, PI_F / 180.0f);
    set_roll_limit_angle(bike, ROLL_LIMIT_ANGLE);
    set_auto_shift(bike, 1);
    // The riding aids a robot rides with: no wheelies, no locked wheels.
    set_stop_wheelies(bike, 3);
    set_front_antilock(bike, 1);
    set_rear_antilock(bike, 1);
}

// One race from a gate position, ridden until the rider has passed the
// given number of gates (0: through the first lap and a normal one, and a
// gate on, so that the last section is offered too) or the time runs out.
// 1 when it got there.
int ride_one_race(const TrackModel *track, const float *speeds, int skill, int position, int gates_wanted,
                  LineRideReport *report)
{
    HeadlessRace race;
    memset(&race, 0, sizeof race);
    race.track = track->design->folder;
    race.slot_codes[position] = SLOT_PLAYER;
    race.laps = 3;
    race.skill = skill;
    if (!start_headless_race(&race))
        return 0;
    BikeState *bike = bike_slots[position];
    if (!bike)
        return 0;
    if (gates_wanted == 0)
        gates_wanted = lap_gate_list.first_lap_count + lap_gate_list.normal_lap_count + 1;
    steady_rider_setup(bike);
    // The gate drops after two seconds: the wait teaches nothing.
    race_settings.start_tic = 2 * TIC_RATE;
    LineRider rider;
    memset(&rider, 0, sizeof rider);
    rider.track = track;
    rider.speeds = speeds;
    const dReal *p = dBodyGetPosition(bike->frame_body);
    float lateral = 0.0f;
    rider.index = nearest_centre_point(track, (float)p[0], (float)p[2], 200.0f, &lateral);
    if (rider.index < 0)
        return 0;
    rider.start_lateral = lateral;
    const TrackDesign *d = track->design;
    rider.start_ease = fmaxf(160.0f, track->leg_end[d->gate_leg] - track->gate_s);
    // Time enough for two laps at 12 ft/s.
    int limit = race_settings.start_tic + (int)(track->length / 6.0f) * TIC_RATE;
    // A rider that makes no way for 5 s is stuck: the race is given up.
    rider.progress_tic = race_settings.start_tic;
    while (bike->gates_passed < gates_wanted && current_tic < limit && !bike->finished &&
           current_tic - rider.progress_tic < 5 * TIC_RATE)
        run_headless_tics(TIC_RATE / 8, ride_line, &rider);
    report->crashes += bike->crash_count;
    report->races++;
    report->worst_lateral = fmaxf(report->worst_lateral, rider.worst_lateral);
    if (bike->gates_passed < gates_wanted) {
        report->stuck++;
        return 0;
    }
    if (gates_wanted > 2)
        report->lap_seconds = (float)(current_tic - race_settings.start_tic) / (float)TIC_RATE;
    return 1;
}

// The rows of the pool and those holding a line.
void count_pool_rows(LineRideReport *report)
{
    report->rows = lap_pool_rows;
    report->filled_rows = 0;
    for (int row = 0; row < lap_pool_rows; row++) {
        const LapCandidate *c = lap_pool_row(row);
        int n = 0;
        for (int k = 0; c && k < LAP_POOL_CANDIDATES; k++)
            n += c[k].count > 0;
        report->filled_rows += n > 0;
        if (row == 0)
            report->row0_lines = n;
    }
}

}  // namespace

int ride_skill_lines(const TrackModel *track, const char *data_folder, const char *work_folder, int skill,
                     LineRideReport *report)
{
    memset(report, 0, sizeof *report);
    if (skill < 0 || skill >= LINE_SKILL_COUNT)
        return 0;
    setenv("KZ_HOME", data_folder, 1);
    setenv("XDG_DATA_HOME", work_folder, 1);
    reset_file_layer();
    learn_lines = 1;
    float *speeds = (float *)checked_malloc(sizeof(float) * (size_t)track->count);
    if (!speeds || !create_physics_world()) {
        checked_free(speeds);
        return 0;
    }
    plan_line_speeds(track, &SKILL_PROFILES[skill], speeds);
    // Whole laps from the middle of the gate (again from further along the
    // row while a row is left empty), then a start from every position of
    // the first row.
    int pieces = track->design->gate_pieces, middle = pieces / 2;
    for (int k = 0; k < FULL_RACE_TRIES; k++) {
        ride_one_race(track, speeds, skill, (middle + 5 * k) % pieces, 0, report);
        count_pool_rows(report);
        if (report->filled_rows == report->rows)
            break;
    }
    for (int k = 1; k < pieces; k++)
        ride_one_race(track, speeds, skill, (middle + k) % pieces, 2, report);
    int written = write_racing_lines(SKILL_PROFILES[skill].file);
    count_pool_rows(report);
    free_headless_track_race();
    checked_free(speeds);
    return written && report->filled_rows == report->rows && report->rows > 0;
}

namespace {

// The work folder of one track's skill races beside the set's folder
// (the sets of every track lie side by side): job is the track's index
// times LINE_SKILL_COUNT plus the skill.
enum { WORK_PATH_MAX = DATA_PATH_MAX + 32 };

void work_folder_of(const DataSet *set, int job, char *out)
{
    snprintf(out, WORK_PATH_MAX, "%s/../lines-work-%d", set->root, job);
}

// Copies the line file the races wrote in the home folder into the set.
int collect_line_file(DataSet *set, const TrackModel *track, int job)
{
    int skill = job % LINE_SKILL_COUNT;
    char work[WORK_PATH_MAX], path[2 * WORK_PATH_MAX + 64], name[DATA_PATH_MAX];
    work_folder_of(set, job, work);
    snprintf(path, sizeof path, "%s/Rutline/%s/%s", work, track->design->folder, SKILL_PROFILES[skill].file);
    snprintf(name, sizeof name, "%s/%s", track->design->folder, SKILL_PROFILES[skill].file);
    ByteBuffer bytes = {};
    int ok = read_whole_file(path, &bytes) && put_buffer_file(set, name, &bytes);
    free_buffer(&bytes);
    clear_output_folder(work);
    return ok;
}

}  // namespace

// A track kept out of the data folder (a fixture) is copied into the home
// folder, where the game finds it beside the data folder's bikes.
int copy_track_into_home(const DataSet *set, const char *folder, const char *work)
{
    int count = 0, ok = 1;
    const char **names = sorted_data_names(set, &count);
    if (!names)
        return 0;
    size_t length = strlen(folder);
    for (int i = 0; ok && i < count; i++) {
        if (strncmp(names[i], folder, length) != 0 || names[i][length] != '/')
            continue;
        char from[2 * DATA_PATH_MAX], to[2 * WORK_PATH_MAX + 16];
        snprintf(from, sizeof from, "%s/%s", set->root, names[i]);
        snprintf(to, sizeof to, "%s/Rutline/%s", work, names[i]);
        ByteBuffer bytes = {};
        ok = read_whole_file(from, &bytes) && make_parent_folders(to);
        FILE *file = ok ? fopen(to, "wb") : nullptr;
        ok = file && fwrite(bytes.data, 1, bytes.size, file) == bytes.size;
        if (file)
            ok = fclose(file) == 0 && ok;
        free_buffer(&bytes);
    }
    checked_free(names);
    return ok;
}

int generate_racing_lines(DataSet *const *sets, const TrackModel *const *tracks, int track_count,
                          const char *data_folder, int jobs)
{
    enum { JOBS_MAX = 8 * LINE_SKILL_COUNT };
    if (track_count < 1 || track_count * LINE_SKILL_COUNT > JOBS_MAX)
        return 0;
    if (jobs < 1)
        jobs = 1;
    int total = track_count * LINE_SKILL_COUNT;
    pid_t children[JOBS_MAX] = {};
    int ok = 1, running = 0, next = 0, done = 0;
    while (done < total) {
        if (next < total && running < jobs) {
            DataSet *set = sets[next / LINE_SKILL_COUNT];
            const TrackModel *track = tracks[next / LINE_SKILL_COUNT];
            int skill = next % LINE_SKILL_COUNT;
            char work[WORK_PATH_MAX];
            work_folder_of(set, next, work);
            if (!clear_output_folder(work) || !mark_output_folder(work))
                ok = 0;
            fflush(nullptr);
            pid_t child = ok ? fork() : -1;
            if (child == 0) {
                LineRideReport report;
                memset(&report, 0, sizeof report);
                int rode = (strcmp(set->root, data_folder) == 0 || copy_track_into_home(set, track->design->folder, work)) &&
                           ride_skill_lines(track, data_folder, work, skill, &report);
                printf("datagen: %s %s: %d races, %d crashes, %d given up, %d of %d rows, %d starts, "
                       "%.1f s for two laps, %.1f ft off the line at most\n",
                       track->design->folder, SKILL_PROFILES[skill].file, report.races, report.crashes, report.stuck,
                       report.filled_rows, report.rows, report.row0_lines, (double)report.lap_seconds,
                       (double)report.worst_lateral);
                fflush(nullptr);
                // The game's robots race on the lines just ridden.
                rode = rode && check_track_robots(track->design->folder, skill, track->design->gate_pieces);
                fflush(nullptr);
                _exit(rode ? 0 : 1);
            }
            if (child < 0) {
                // No more processes: wait for those running, start none.
                ok = 0;
                total = next;
                if (running == 0)
                    break;
                continue;
            }
            children[next++] = child;
            running++;
            continue;
        }
        int status = 0;
        pid_t ended = wait(&status);
        if (ended < 0)
            return 0;
        for (int job = 0; job < next; job++)
            if (children[job] == ended) {
                children[job] = 0;
                running--;
                done++;
                DataSet *set = sets[job / LINE_SKILL_COUNT];
                const TrackModel *track = tracks[job / LINE_SKILL_COUNT];
                int rode = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                if (!rode)
                    fprintf(stderr, "datagen: the %s races of %s failed\n", SKILL_PROFILES[job % LINE_SKILL_COUNT].file,
                            track->design->folder);
                ok = collect_line_file(set, track, job) && rode && ok;
            }
    }
    return ok;
}
