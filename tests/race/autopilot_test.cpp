// The auto pilot piece by piece: personalities by name, the start
// procedure's reaction per personality, the target moving along the line,
// parking without a line, the pick's scoring on hand-made pools with the
// line trimmed and its seam smoothed, the turn radius, the speed control,
// the throttle's smoothing, the target point of a stopped bike, and the
// laws staying finite in the cases that divide by nothing.
#include "race_fixture.h"

#include "bike/bike_math.h"
#include "bike/physics_utils.h"
#include "core/random.h"
#include "platform/log.h"
#include "race/autopilot.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/personalities.h"
#include "track/timing.h"

#include <cstring>
#include <vector>

namespace {

std::string log_text()
{
    std::string text;
    read_file(test_dir() + "/log.txt", &text);
    return text;
}

LineSample make_sample(const double *p, float speed, float lean = 0.0f)
{
    return LineSample{(float)p[0], (float)p[1], (float)p[2], speed, lean};
}

// The line a robot follows, replaced by these samples.
void set_line(BikeState *bike, const std::vector<LineSample> &samples, int index)
{
    bike->own_line.count = 0;
    for (const LineSample &s : samples) {
        void *slot = append_to_growable_array(&bike->own_line);
        ASSERT_NE(slot, nullptr);
        memcpy(slot, &s, sizeof s);
    }
    bike->line_index = index;
}

const LineSample &line_sample(const BikeState *bike, int i)
{
    return ((const LineSample *)bike->own_line.data)[i];
}

void frame_position(const BikeState *bike, double *out)
{
    const dReal *p = dBodyGetPosition(bike->frame_body);
    vec_set(out, p[0], p[1], p[2]);
}

// The frame's forward axis flattened, and the axis to its right.
void flat_axes(const BikeState *bike, double *forward, double *right)
{
    dVector3 f;
    dBodyVectorToWorld(bike->frame_body, 0, 0, -1, f);
    double flat[3] = {f[0], 0.0, f[2]};
    const double fallback[3] = {0, 0, -1};
    vec_normalise_or(forward, flat, fallback);
    vec_set(right, -forward[2], 0.0, forward[0]);
}

// A point of the bike's frame height, ahead and to the right of it.
void point_from(const BikeState *bike, double ahead, double right_of, double *out)
{
    double p[3], f[3], r[3];
    frame_position(bike, p);
    flat_axes(bike, f, r);
    for (int c = 0; c < 3; c++)
        out[c] = p[c] + f[c] * ahead + r[c] * right_of;
}

// Samples every step ft straight ahead of the bike from the given distance.
std::vector<LineSample> straight_ahead(const BikeState *bike, double from, double step, int count,
                                       float speed)
{
    std::vector<LineSample> samples;
    for (int k = 0; k < count; k++) {
        double p[3];
        point_from(bike, from + step * k, 0.0, p);
        samples.push_back(make_sample(p, speed));
    }
    return samples;
}

// Leans the frame about its flattened forward axis, keeping its heading.
void lean_frame(BikeState *bike, double angle)
{
    double f[3], r[3];
    flat_axes(bike, f, r);
    dMatrix3 roll, turned;
    dRFromAxisAndAngle(roll, f[0], f[1], f[2], angle);
    dMultiply0_333(turned, roll, dBodyGetRotation(bike->frame_body));
    dBodySetRotation(bike->frame_body, turned);
}

// Moves a body to the float coordinates a line sample can hold.
void snap_to_floats(dBodyID body)
{
    const dReal *p = dBodyGetPosition(body);
    dBodySetPosition(body, (float)p[0], (float)p[1], (float)p[2]);
}

void set_frame_velocity(BikeState *bike, double speed)
{
    double f[3], r[3];
    flat_axes(bike, f, r);
    dBodySetLinearVel(bike->frame_body, f[0] * speed, f[1] * speed, f[2] * speed);
}

// Every control and steering-lock value a law writes is a number in its
// range.
void expect_controls_sound(const BikeState *bike)
{
    const float unit[] = {bike->throttle, bike->clutch, bike->front_brake, bike->rear_brake,
                          bike->dab};
    for (float v : unit) {
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << v;
    }
    EXPECT_TRUE(bike->steer >= -1.0f && bike->steer <= 1.0f) << bike->steer;
    EXPECT_TRUE(std::isfinite(bike->throttle_memory));
    EXPECT_TRUE(bike->restricted_lock_angle >= 0.0f && bike->restricted_lock_angle <= M_PI / 4);
    EXPECT_TRUE(std::isfinite(bike->full_lock_speed));
}

// A race on the loop with robots that the auto pilot drives, before any
// tic has run (the gate drops at 13 to 15 s).
struct PilotWorld : RaceWorld {
    BikeState *robot = nullptr;

    void start_robots(int count)
    {
        HeadlessRace race{};
        race.track = RACE_TRACK;
        for (int i = 0; i < count; i++)
            race.slot_codes[i] = SLOT_ROBOT;
        race.laps = 3;
        ASSERT_TRUE(start_headless_race(&race));
        robot = bike_slots[0];
        ASSERT_NE(robot, nullptr);
        set_auto_pilot_personality(robot, "grell");
    }

    void SetUp() override
    {
        RaceWorld::SetUp();
        start_robots(1);
    }
};

}  // namespace

TEST(AutoPilotPersonalities, KeysChooseTheirRowAndOthersFallBackToRowOne)
{
    setenv("VOKE_LOGFILE", (test_dir() + "/log.txt").c_str(), 1);
    log_printf("start\n");
    struct Case {
        const char *key;
        int row;
        bool logged;
    } cases[] = {
        {"grell", 1, false}, {"sundo", 2, false},  {"vapp", 3, false}, {"tester", 4, false},
        {"empty", 1, true},  {"Grell", 1, true},   {"", 1, true},      {"vapp ", 1, true},
        {nullptr, 1, true},
    };
    for (const Case &c : cases) {
        BikeState bike{};
        bike.personality = 3;
        size_t before = log_text().size();
        set_auto_pilot_personality(&bike, c.key);
        EXPECT_EQ(bike.personality, c.row) << (c.key ? c.key : "(none)");
        std::string added = log_text().substr(before);
        if (c.logged) {
            std::string line = std::string("auto pilot personality '") + (c.key ? c.key : "") +
                               "' not found\n";
            EXPECT_NE(added.find(line), std::string::npos) << added;
        } else {
            EXPECT_EQ(added, "");
        }
    }
}

// The start procedure over many seeds: blips before the gate is ready,
// waits parked, and lets the clutch out within the personality's reaction.
TEST(AutoPilotStart, ReactionFallsWithinEachPersonalitysRange)
{
    race_settings = RaceSettings{};
    race_settings.start_tic = 14 * TIC_RATE + 37;
    race_settings.auto_pilot_hold_tics = 5 * TIC_RATE;
    const double drop = race_settings.start_tic * (double)TIC_LENGTH;
    const double ready = 5.0;
    double mean_reaction[AUTO_PILOT_PERSONALITY_ROWS] = {};
    const int seeds = 24;
    for (int row = 1; row < AUTO_PILOT_PERSONALITY_ROWS; row++) {
        const AutoPilotPersonality *p = &auto_pilot_personalities[row];
        for (int seed = 1; seed <= seeds; seed++) {
            SCOPED_TRACE(std::string(p->key) + " seed " + std::to_string(seed));
            mt_seed((uint32_t)seed * 7919u);
            BikeState bike{};
            bike.model_index = find_bike_model_or_fallback("yz250f(2017)");
            bike.personality = row;
            bike.launch_time = 1.5f;
            int blips = 0, done_tic = -1, clutch_tic = -1;
            float last_throttle = 0.0f;
            for (int tic = 0; tic < 20 * TIC_RATE; tic++) {
                double t = tic * (double)TIC_LENGTH;
                if (autopilot_start_procedure(&bike, t)) {
                    done_tic = tic;
                    break;
                }
                if (t < ready) {
                    ASSERT_EQ(bike.front_brake, 1.0f);
                    ASSERT_EQ(bike.clutch, 0.0f);
                    ASSERT_EQ(bike.gear, 1);
                    ASSERT_FALSE(bike.bike_options & OPTION_AUTO_SHIFT);
                    if (bike.throttle == 1.0f && last_throttle == 0.0f)
                        blips++;
                } else if (t < drop) {
                    ASSERT_EQ(bike.clutch, 0.0f) << t;
                    ASSERT_EQ(bike.rear_brake, 1.0f) << t;
                }
                if (clutch_tic < 0 && bike.clutch > 0.0f)
                    clutch_tic = tic;
                last_throttle = bike.throttle;
            }
            // Blips of 0.25 to 0.75 s every 2 to 2.5 s over the first 5 s.
            EXPECT_GE(blips, 1);
            EXPECT_LE(blips, 3);
            double launch = bike.launch_time;
            EXPECT_GE(launch, drop + p->reaction_low - 1e-4);
            EXPECT_LE(launch, drop + p->reaction_high + 1e-4);
            EXPECT_GE(clutch_tic * (double)TIC_LENGTH, launch);
            EXPECT_LE(clutch_tic * (double)TIC_LENGTH, launch + TIC_LENGTH);
            EXPECT_NEAR(done_tic * (double)TIC_LENGTH, launch + 2.0, 1.5 * TIC_LENGTH);
            mean_reaction[row] += (launch - drop) / seeds;
        }
    }
    EXPECT_LT(mean_reaction[3], mean_reaction[1] - 0.1);   // vapp before grell
}

// The clutch comes out over a quarter second with the bike in gear; a
// crashed rider neither revs nor dabs.
TEST(AutoPilotStart, TheClutchComesOutOverAQuarterSecond)
{
    race_settings = RaceSettings{};
    race_settings.start_tic = 14 * TIC_RATE;
    race_settings.auto_pilot_hold_tics = 5 * TIC_RATE;
    mt_seed(5489u);
    BikeState bike{};
    bike.model_index = find_bike_model_or_fallback("yz250f(2017)");
    bike.personality = 1;
    bike.launch_time = 0.5f;
    double t = 0.0;
    while (bike.clutch == 0.0f && t < 20.0) {
        autopilot_start_procedure(&bike, t);
        t += TIC_LENGTH;
    }
    const double launch = bike.launch_time;
    struct Step {
        double after;
        float clutch, dab;
        int auto_shift;
    } steps[] = {{0.0625, 0.25f, 0.75f, 0}, {0.125, 0.5f, 0.5f, 0},  {0.1875, 0.75f, 0.25f, 1},
                 {0.25, 1.0f, 0.0f, 1},     {1.5, 1.0f, 0.0f, 1}};
    for (const Step &s : steps) {
        EXPECT_EQ(autopilot_start_procedure(&bike, launch + s.after), 0);
        EXPECT_NEAR(bike.clutch, s.clutch, 1e-4) << s.after;
        EXPECT_NEAR(bike.dab, s.dab, 1e-4) << s.after;
        EXPECT_EQ(bike.throttle, 1.0f);
        EXPECT_EQ(bike.front_brake + bike.rear_brake, 0.0f);
        EXPECT_EQ(!!(bike.bike_options & OPTION_AUTO_SHIFT), s.auto_shift) << s.after;
    }
    bike.crash_timer = 10;
    autopilot_start_procedure(&bike, launch + 0.1);
    EXPECT_EQ(bike.throttle, 0.0f);
    EXPECT_EQ(bike.dab, 0.0f);
    EXPECT_EQ(autopilot_start_procedure(&bike, launch + 2.0 + TIC_LENGTH), 1);
}

// Before the gate drop the target moves one sample a tic: within 4 ft
// always, out to 60 ft (30 in recovery) only when the line there does not
// run against the bike.
TEST_F(PilotWorld, TheTargetMovesOnNearTheBikeUnlessTheLineRunsBackwards)
{
    struct Case {
        const char *name;
        double behind_sample, target;   // ft ahead of the bike
        int recovery;
        int moves;
    } cases[] = {
        {"ahead, line forward", 5, 10, 0, 1},
        {"ahead, line backward", 15, 10, 0, 0},
        {"within 4 ft, line backward", 15, 3.5, 0, 1},
        {"beyond 60 ft", 50, 65, 0, 0},
        {"in recovery, 40 ft", 35, 40, 3, 0},
        {"in recovery, 20 ft", 15, 20, 3, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double a[3], b[3], far[3];
        point_from(robot, c.behind_sample, 0.0, a);
        point_from(robot, c.target, 0.0, b);
        point_from(robot, 200.0, 0.0, far);
        set_line(robot, {make_sample(a, 20), make_sample(b, 20), make_sample(far, 20)}, 1);
        robot->recovery_count = c.recovery;
        robot->progress_tic = -5;
        autopilot_pick_line(robot);
        EXPECT_EQ(robot->line_index, 1 + c.moves);
        EXPECT_EQ(robot->progress_tic, c.moves ? current_tic : -5);
        EXPECT_EQ(robot->recovery_count, c.recovery - (c.recovery > 0 && c.moves));
        EXPECT_EQ(robot->own_line.count, 3);
    }

    // Passing the last sample empties the line; nothing left to follow,
    // the robot stands on its brakes.
    double p[3];
    point_from(robot, 2.0, 0.0, p);
    set_line(robot, {make_sample(p, 20), make_sample(p, 20)}, 1);
    autopilot_pick_line(robot);
    EXPECT_EQ(robot->own_line.count, 0);
    EXPECT_EQ(robot->line_index, 0);
    EXPECT_EQ(robot->throttle, 0.0f);
    EXPECT_EQ(robot->front_brake, 1.0f);
    EXPECT_EQ(robot->rear_brake, 1.0f);
}

TEST_F(PilotWorld, WithoutALineTheRobotStaysParked)
{
    for (int no_pool = 0; no_pool < 2; no_pool++) {
        if (no_pool)
            free_lap_pool();
        for (int crashed = 0; crashed < 2; crashed++) {
            SCOPED_TRACE(std::string(no_pool ? "no pool" : "empty pool") +
                         (crashed ? ", crashed" : ""));
            robot->crash_timer = crashed ? 50 : 0;
            robot->throttle = robot->steer = 0.5f;
            robot->clutch = 1.0f;
            current_tic = race_settings.start_tic + 20 * TIC_RATE;   // racing
            autopilot_pick_line(robot);
            EXPECT_EQ(robot->own_line.count, 0);
            EXPECT_EQ(robot->sections_picked, 0);
            EXPECT_EQ(robot->throttle, 0.0f);
            EXPECT_EQ(robot->clutch, 0.0f);
            EXPECT_EQ(robot->front_brake, 1.0f);
            EXPECT_EQ(robot->rear_brake, 1.0f);
            EXPECT_EQ(robot->steer, 0.0f);
            EXPECT_EQ(robot->dab, crashed ? 0.0f : 1.0f);
            const uint8_t aids = OPTION_STOP_WHEELIES | OPTION_FRONT_ANTILOCK |
                                 OPTION_REAR_ANTILOCK | OPTION_AUTO_SHIFT;
            EXPECT_EQ(robot->bike_options & aids, aids);
        }
    }
}

namespace {

// A hand-made pool of one first-lap row and a lap of two rows round a
// circle of radius 100 ft: row 1 its upper half, row 2 its lower half.
const double CIRCLE_X = 256.0, CIRCLE_Z = 256.0, CIRCLE_R = 100.0;

std::vector<LineSample> arc(double from, double to, double height, float speed = 20.0f,
                            double radius = CIRCLE_R)
{
    std::vector<LineSample> samples;
    int steps = (int)std::lround(std::fabs(to - from) / 0.1);
    for (int k = 0; k <= steps; k++) {
        double a = from + (to - from) * k / steps;
        double p[3] = {CIRCLE_X + radius * std::cos(a), height, CIRCLE_Z + radius * std::sin(a)};
        samples.push_back(make_sample(p, speed));
    }
    return samples;
}

LapCandidate *put_candidate(int row, int index, const std::vector<LineSample> &samples,
                            int runs = 0, int mean_time = 0)
{
    LapCandidate *c = &lap_pool_row(row)[index];
    checked_free(c->samples);
    c->samples = (LineSample *)checked_malloc(samples.size() * sizeof(LineSample));
    memcpy(c->samples, samples.data(), samples.size() * sizeof(LineSample));
    c->count = (int)samples.size();
    c->runs = runs;
    c->section_sum = runs * mean_time;
    c->serial = ++lap_serial_counter;
    c->last_picked = -1000000;
    return c;
}

}  // namespace

struct PickWorld : PilotWorld {
    double height = 0.0;

    void SetUp() override
    {
        PilotWorld::SetUp();
        create_lap_pool(1, 2);
        height = dBodyGetPosition(robot->frame_body)[1];
        current_tic = 100 * TIC_RATE;
    }

    // The line ends on the circle just before the upper half starts, at
    // the candidates' speed: every candidate starting there matches fully.
    void line_ending_on_the_circle()
    {
        std::vector<LineSample> tail = arc(-0.5, 0.0, height);
        tail.pop_back();
        set_line(robot, tail, (int)tail.size() - 2);
        robot->sections_picked = 1;
    }
};

// The first pick of a race: the candidate starting near the bike wins;
// five copies of its first sample lead into it on a curve from the bike,
// and the target is the first sample more than 10 ft on.
TEST_F(PickWorld, TheFirstPickStartsFromTheBike)
{
    LapCandidate *far = put_candidate(0, 0, straight_ahead(robot, 90.0, 6.0, 20, 20.0f));
    LapCandidate *near = put_candidate(0, 1, straight_ahead(robot, 10.0, 6.0, 20, 20.0f));
    set_line(robot, {}, 0);
    robot->sections_picked = 0;
    pick_line_section(robot);

    ASSERT_EQ(robot->own_line.count, 5 + near->count);
    for (int k = 0; k < near->count; k++)
        EXPECT_EQ(memcmp(&line_sample(robot, 5 + k), &near->samples[k], sizeof(LineSample)), 0);
    EXPECT_EQ(memcmp(&line_sample(robot, 0), &near->samples[0], sizeof(LineSample)), 0);
    // Samples 1 to 4 run from the bike (heading along the line at 7.5 ft a
    // sample) into the candidate's first sample, 10 ft ahead.
    const double along[4] = {4.88, 6.04, 5.76, 6.32};
    double p[3], f[3], r[3];
    frame_position(robot, p);
    flat_axes(robot, f, r);
    for (int k = 1; k <= 4; k++) {
        const LineSample &s = line_sample(robot, k);
        double d[3] = {s.x - p[0], s.y - p[1], s.z - p[2]};
        EXPECT_NEAR(vec_dot(d, f), along[k - 1], 0.05) << k;
        EXPECT_NEAR(vec_dot(d, r), 0.0, 0.05) << k;
        EXPECT_EQ(s.speed, 20.0f);
    }
    EXPECT_EQ(robot->line_index, 7);   // the candidate's third sample, 12 ft on
    EXPECT_EQ(robot->progress_tic, 30 * TIC_RATE);
    EXPECT_EQ(robot->sections_picked, 1);
    EXPECT_EQ(robot->picked_serials[0], near->serial);
    EXPECT_EQ(near->last_picked, current_tic);
    EXPECT_EQ(far->last_picked, -1000000);
}

// Recently picked candidates score less for 3 s; candidates ending where
// the winner ends count as picked with it.
TEST_F(PickWorld, RecentPicksLoseAndTheirNeighboursWithThem)
{
    put_candidate(2, 0, arc(M_PI, 2 * M_PI, height));
    LapCandidate *just = put_candidate(1, 0, arc(0.0, M_PI, height));
    LapCandidate *lately = put_candidate(1, 1, arc(0.0, M_PI, height));
    LapCandidate *long_ago = put_candidate(1, 2, arc(0.0, M_PI, height));
    LapCandidate *same_end = put_candidate(1, 3, arc(0.3, M_PI + 0.02, height));
    LapCandidate *other_end = put_candidate(1, 4, arc(0.0, M_PI / 2, height));
    just->last_picked = current_tic;
    lately->last_picked = current_tic - 192;     // 1.5 s ago
    long_ago->last_picked = current_tic - 1280;  // 10 s ago
    same_end->last_picked = other_end->last_picked = current_tic - 64;
    line_ending_on_the_circle();
    pick_line_section(robot);
    EXPECT_EQ(robot->picked_serials[1], long_ago->serial);
    EXPECT_EQ(robot->sections_picked, 2);
    EXPECT_EQ(long_ago->last_picked, current_tic);
    EXPECT_EQ(same_end->last_picked, current_tic);
    EXPECT_EQ(lately->last_picked, current_tic);   // it ends where the winner ends
    EXPECT_EQ(other_end->last_picked, current_tic - 64);
}

// With every score 0 (all just picked, none joining the line) the first
// candidate that has samples is taken; empty slots take no part.
TEST_F(PickWorld, AllScoresZeroTakeTheFirstRecordedCandidate)
{
    for (int i = 2; i < 5; i++)
        put_candidate(1, i, arc(0.0, M_PI, height, 20.0f, 150.0))->last_picked = current_tic;
    line_ending_on_the_circle();
    pick_line_section(robot);
    EXPECT_EQ(robot->picked_serials[1], lap_pool_row(1)[2].serial);
}

// Weights from the chains ahead: the cheaper candidate wins, until the
// analysed line of the personality's mode gains on it from 40 s to 60 s
// of race time; the explorer's mode ignores the analysed line.
TEST_F(PickWorld, ChainCostsWeighAndTheAnalysedLineWinsOverTime)
{
    struct Case {
        const char *personality;
        double seconds;
        int analysed;   // the dearer candidate is the analysed line
        int winner;
    } cases[] = {
        {"grell", 30, 1, 1}, {"grell", 50, 1, 1}, {"grell", 60, 1, 0}, {"grell", 60, 0, 1},
        {"sundo", 60, 1, 0}, {"vapp", 60, 1, 0},  {"tester", 60, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.personality) + " at " + std::to_string(c.seconds));
        // Mode 0 costs 2000 and 1000 tics; the explorer's costs follow the
        // runs, which the dearer one has more of.
        LapCandidate *dear = put_candidate(1, 0, arc(0.0, M_PI, height), 40, 2000);
        LapCandidate *cheap = put_candidate(1, 1, arc(0.0, M_PI, height), 5, 1000);
        put_candidate(2, 0, arc(M_PI, 2 * M_PI, height), 5, 1000);
        for (int mode = 0; mode < LINE_RESULT_MODES; mode++)
            line_results[mode * lap_pool_rows + 1] = c.analysed ? dear->serial : 0;
        set_auto_pilot_personality(robot, c.personality);
        current_tic = (int)(c.seconds * (double)TIC_RATE);
        line_ending_on_the_circle();
        pick_line_section(robot);
        EXPECT_EQ(robot->picked_serials[1], (c.winner == 0 ? dear : cheap)->serial);
    }
}

// A line of 40 samples with the target at 35 keeps 30 behind the target
// and gains the section from index 35, the seam bent on a cubic from
// sample 30 with speed and lean blended.
TEST_F(PickWorld, TheLineIsTrimmedAndTheSeamSmoothed)
{
    double origin[3], f[3], r[3];
    point_from(robot, 0.0, 0.0, origin);
    flat_axes(robot, f, r);
    auto at = [&](double ahead, double right_of, float speed, float lean) {
        double p[3];
        for (int c = 0; c < 3; c++)
            p[c] = origin[c] + f[c] * ahead + r[c] * right_of;
        return make_sample(p, speed, lean);
    };
    std::vector<LineSample> line, section;
    for (int k = 0; k < 40; k++)
        line.push_back(at(5.0 * k, 0.0, 30.0f, 0.0f));
    for (int k = 0; k < 10; k++)
        section.push_back(at(200.0 + 5.0 * k, 2.0, 20.0f, 0.5f));
    put_candidate(1, 0, section);
    set_line(robot, line, 35);
    robot->sections_picked = 3;   // row 1 again
    pick_line_section(robot);

    ASSERT_EQ(robot->own_line.count, 35 + 10);
    EXPECT_EQ(robot->line_index, 30);
    EXPECT_EQ(memcmp(&line_sample(robot, 30), &line[35], sizeof(LineSample)), 0);
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(memcmp(&line_sample(robot, 35 + k), &section[k], sizeof(LineSample)), 0);
    const double across[4] = {0.208, 0.704, 1.296, 1.792};
    for (int k = 1; k <= 4; k++) {
        const LineSample &s = line_sample(robot, 30 + k);
        double d[3] = {s.x - origin[0], s.y - origin[1], s.z - origin[2]};
        EXPECT_NEAR(vec_dot(d, f), 175.0 + 5.0 * k, 1e-3) << k;
        EXPECT_NEAR(vec_dot(d, r), across[k - 1], 1e-3) << k;
        EXPECT_NEAR(s.speed, 30.0 - 2.0 * k, 1e-4) << k;
        EXPECT_NEAR(s.lean, 0.1 * k, 1e-6) << k;
    }
    EXPECT_EQ(robot->sections_picked, 4);
    EXPECT_EQ(robot->picked_serials[3], lap_pool_row(1)[0].serial);

    // An airborne sample at the seam leaves it as it was.
    section[0].speed = -20.0f;
    put_candidate(1, 0, section);
    set_line(robot, line, 35);
    robot->sections_picked = 3;
    pick_line_section(robot);
    for (int k = 31; k < 35; k++)
        EXPECT_EQ(memcmp(&line_sample(robot, k), &line[k + 5], sizeof(LineSample)), 0) << k;
}

// A section of one sample has no direction at its start: the seam ends
// flat, and nothing is read past the samples.
TEST_F(PickWorld, AOneSampleSectionJoinsTheLine)
{
    std::vector<LineSample> line = straight_ahead(robot, 0.0, 5.0, 20, 25.0f);
    put_candidate(1, 0, straight_ahead(robot, 100.0, 5.0, 1, 25.0f));
    set_line(robot, line, 15);
    robot->sections_picked = 1;
    pick_line_section(robot);
    ASSERT_EQ(robot->own_line.count, 21);
    double p[3], f[3], r[3];
    frame_position(robot, p);
    flat_axes(robot, f, r);
    double last = 75.0;
    for (int k = 16; k <= 20; k++) {
        const LineSample &s = line_sample(robot, k);
        double d[3] = {s.x - p[0], s.y - p[1], s.z - p[2]};
        double ahead = vec_dot(d, f);
        EXPECT_GT(ahead, last) << k;
        EXPECT_LE(ahead, 100.0 + 1e-3) << k;
        last = ahead;
    }
}

// The leader's lead is read from the second rider; a running order whose
// second entry has no bike gives no lead, and the pick goes on.
TEST_F(PickWorld, ALeaderWithNoBikeBehindStillPicks)
{
    put_candidate(1, 0, arc(0.0, M_PI, height));
    running_order_count = 2;
    running_order[0] = {0, 3, 100};
    running_order[1] = {57, 2, 90};
    line_ending_on_the_circle();
    pick_line_section(robot);
    EXPECT_EQ(robot->sections_picked, 2);
    EXPECT_EQ(robot->picked_serials[1], lap_pool_row(1)[0].serial);
}

// The radius of the arc to a point from the frame (axes: right is +x,
// the bike travels along -z): behind it full lock; otherwise the point's
// offset from the circle the bike rides at its lean counts three times.
TEST_F(PilotWorld, TurnRadiusToAPoint)
{
    const float u[3] = {1, 0, 0}, w[3] = {0, 0, 1};
    dBodySetPosition(robot->frame_body, 256, 1, 256);
    const double p[3] = {256, 1, 256};
    struct Case {
        const char *name;
        double right, ahead;
        float lean_radius;
        double radius;   // 0: only |radius| > 1000 matters
    } cases[] = {
        {"behind, right", 5, -1, 10000, 10},
        {"behind, left", -5, -1, 10000, -10},
        {"abeam", 0, 0, 50, 10},
        {"abeam left", -3, 0, 50, -10},
        {"on the lean circle, right", 25, 43.30127, 50, 50},
        {"on the lean circle, left", -25, 43.30127, -50, -50},
        {"from a point circle", 3, 4, 0, 12.5},
        {"from a point circle, left", -3, 4, 0, -12.5},
        {"straight on, upright", 0, 20, 10000, 0},
        {"lean radius not a number", 0, 20, NAN, 0},
    };
    for (const Case &c : cases) {
        float target[3] = {(float)(p[0] + c.right), (float)p[1], (float)(p[2] - c.ahead)};
        float radius = turn_radius_to(robot, target, c.lean_radius, u, w);
        EXPECT_TRUE(std::isfinite(radius)) << c.name;
        if (c.radius != 0)
            EXPECT_NEAR(radius, c.radius, 1e-3 * std::fabs(c.radius)) << c.name;
        else
            EXPECT_GT(std::fabs(radius), 1000.0f) << c.name;
    }
}

TEST(AutoPilotPathBox, CornersTakeTheirSidesAndEnds)
{
    const float centre[3] = {10, 0, 20}, u[3] = {1, 0, 0}, w[3] = {0, 0, 1};
    float corners[12];
    path_box_corners(corners, centre, u, w, -2, -9, 2, 4);
    const float expected[12] = {8, 0, 11, 8, 0, 24, 12, 0, 24, 12, 0, 11};
    for (int i = 0; i < 12; i++)
        EXPECT_FLOAT_EQ(corners[i], expected[i]) << i;
}

// Speed control on the ground and in the air (the frame's pitch rate is
// x of its angular velocity in its own axes, nose up positive).
TEST_F(PilotWorld, SpeedControlOnTheGroundAndInTheAir)
{
    const BikeModel *model = get_bike_state_model(robot);
    const double shift_down = model->shift_down_rpm;
    struct Case {
        const char *name;
        int on_ground;
        double speed, target;
        int gear;
        double rpm;
        double pitch_rate, front_above_rear;
        int crashed;
        float throttle, front_brake, rear_brake, clutch;
    } cases[] = {
        {"well below", 1, 10, 20, 1, 0, 0, 0, 0, 1, 0, 0, 1},
        {"just below", 1, 19.5, 20, 2, 0, 0, 0, 0, 0.5f, 0, 0, 1},
        {"just above", 1, 20.5, 20, 1, 0, 0, 0, 0, 0, 0.5f, 0.5f, 1},
        {"well above", 1, 30, 20, 1, 0, 0, 0, 0, 0, 1, 1, 1},
        {"crashed", 1, 10, 20, 1, 0, 0, 0, 1, 0, 0, 0, 1},
        {"bottom gear, idle", 1, 10, 20, 0, shift_down - 1500, 0, 0, 0, 1, 0, 0, 0},
        {"bottom gear, coming up", 1, 10, 20, 0, shift_down - 500, 0, 0, 0, 1, 0, 0, 0.5f},
        {"bottom gear, revving", 1, 10, 20, 0, shift_down + 100, 0, 0, 0, 1, 0, 0, 1},
        {"airborne nose high", 0, 30, 20, 1, 0, 0, 1.5, 0, 0, 0, 1, 0},
        {"airborne nose high, dropping", 0, 30, 20, 1, 0, -0.5, 1.5, 0, 0, 0, 0, 0.125f},
        {"airborne nose dropping fast", 0, 30, 20, 1, 0, -1.0, 0, 0, 1, 0, 0, 0.125f},
        {"airborne tail high, pitching down", 0, 30, 20, 1, 0, -0.1, -0.5, 0, 1, 0, 0, 0.125f},
        {"airborne level", 0, 30, 20, 1, 0, 0, 0, 0, 0, 0, 0, 0.125f},
        {"airborne crashed", 0, 30, 20, 1, 0, -1.0, 0, 1, 0, 0, 0, 0.125f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        robot->rear_contact.depth = c.on_ground ? 0.1f : 0.0f;
        robot->gear = c.gear;
        robot->engine_speed = (float)(c.rpm / 9.549296);
        robot->crash_timer = c.crashed ? 40 : 0;
        dVector3 x;
        dBodyVectorToWorld(robot->frame_body, 1, 0, 0, x);
        dBodySetAngularVel(robot->frame_body, x[0] * c.pitch_rate, x[1] * c.pitch_rate,
                           x[2] * c.pitch_rate);
        const dReal *rear = dBodyGetPosition(robot->rear_wheel_body);
        const dReal *front = dBodyGetPosition(robot->front_wheel_body);
        dBodySetPosition(robot->front_wheel_body, front[0], rear[1] + c.front_above_rear,
                         front[2]);
        autopilot_speed_control(robot, (float)c.speed, (float)c.target);
        EXPECT_NEAR(robot->throttle, c.throttle, 1e-4);
        EXPECT_NEAR(robot->front_brake, c.front_brake, 1e-4);
        EXPECT_NEAR(robot->rear_brake, c.rear_brake, 1e-4);
        EXPECT_NEAR(robot->clutch, c.clutch, 1e-3);
    }

    // Speeds that are not numbers still write numbers.
    robot->rear_contact.depth = 0.1f;
    autopilot_speed_control(robot, NAN, INFINITY);
    expect_controls_sound(robot);
    autopilot_speed_control(robot, INFINITY, NAN);
    expect_controls_sound(robot);
}

// The normal law's throttle falls by 1/32 a tic at most; within 0.125 s
// of a corner limit it rises by 1/32 a tic at most and falls at once.
TEST_F(PilotWorld, ThrottleSmoothing)
{
    struct Case {
        const char *name;
        float memory;
        int corner_age;   // tics since the corner limit
        float line_speed;
        float expected[3];
    } cases[] = {
        {"falling", 1.0f, 1000, 10.0f, {31 / 32.0f, 30 / 32.0f, 29 / 32.0f}},
        {"rising", 0.0f, 1000, 100.0f, {1.0f, 1.0f, 1.0f}},
        {"rising after a corner", 0.0f, 4, 100.0f, {1 / 32.0f, 2 / 32.0f, 3 / 32.0f}},
        {"falling after a corner", 1.0f, 4, 10.0f, {0.0f, 0.0f, 0.0f}},
        {"0.125 s after a corner", 0.0f, 17, 100.0f, {1.0f, 1.0f, 1.0f}},
    };
    current_tic = race_settings.start_tic + 10 * TIC_RATE;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_line(robot, straight_ahead(robot, -12.0, 6.0, 40, c.line_speed), 20);
        set_frame_velocity(robot, 30.0);
        dBodySetAngularVel(robot->frame_body, 0, 0, 0);
        robot->front_contact.depth = 0.0f;
        robot->rear_contact.depth = 0.1f;
        robot->gear = 2;
        robot->throttle_memory = c.memory;
        robot->corner_tic = current_tic - c.corner_age;
        robot->progress_tic = current_tic;
        robot->recovery_count = 0;
        for (float expected : c.expected) {
            autopilot_steer(robot);
            EXPECT_NEAR(robot->throttle, expected, 1e-5);
            EXPECT_NEAR(robot->throttle_memory, expected, 1e-5);
        }
        EXPECT_EQ(robot->corner_tic, current_tic - c.corner_age);
    }
}

// After 3 s without progress the normal law hands over to recovery.
TEST_F(PilotWorld, NoProgressForThreeSecondsStartsRecovery)
{
    current_tic = race_settings.start_tic + 20 * TIC_RATE;
    set_line(robot, straight_ahead(robot, 0.0, 6.0, 40, 20.0f), 20);
    robot->progress_tic = current_tic - 3 * TIC_RATE;
    autopilot_steer(robot);
    EXPECT_EQ(robot->recovery_count, 0);
    robot->progress_tic = current_tic - 3 * TIC_RATE - 1;
    autopilot_steer(robot);
    EXPECT_EQ(robot->recovery_count, 3);
}

// The recovery law turns toward the target: lean right (negative) for a
// target off to the right, and stays in recovery while it is off the nose.
TEST_F(PilotWorld, RecoveryLeansTowardTheTarget)
{
    current_tic = race_settings.start_tic + 20 * TIC_RATE;
    set_frame_velocity(robot, 15.0);
    dBodySetAngularVel(robot->frame_body, 0, 0, 0);
    for (int side = -1; side <= 1; side += 2) {
        double target[3];
        point_from(robot, 20.0, 10.0 * side, target);
        set_line(robot, {make_sample(target, 15)}, 0);
        robot->recovery_count = 1;
        robot->progress_tic = current_tic;
        autopilot_recover(robot);
        // A positive steer turns the bars left, which leans the bike
        // right: the law leans toward the side of the target.
        EXPECT_EQ(robot->steer > 0.0f, side > 0) << side;
        EXPECT_EQ(robot->recovery_count, 3);
        EXPECT_EQ(robot->dab, 0.0f);
    }
}

TEST_F(PilotWorld, TheLawsStayFiniteWhereTheyWouldDivideByNothing)
{
    current_tic = race_settings.start_tic + 20 * TIC_RATE;
    struct Case {
        const char *name;
        double speed, lean;
    } cases[] = {
        {"still and upright", 0.0, 0.0},
        {"still and leaning", 0.0, 0.3},
        {"rolling upright", 20.0, 0.0},
    };
    dMatrix3 upright;
    memcpy(upright, dBodyGetRotation(robot->frame_body), sizeof upright);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dBodySetRotation(robot->frame_body, upright);
        lean_frame(robot, c.lean);
        set_frame_velocity(robot, c.speed);
        set_line(robot, straight_ahead(robot, 0.0, 6.0, 30, 20.0f), 10);
        robot->progress_tic = current_tic;
        robot->recovery_count = 0;
        robot->gates_passed = 2;
        autopilot_steer(robot);
        expect_controls_sound(robot);
        robot->recovery_count = 3;
        autopilot_recover(robot);
        expect_controls_sound(robot);
    }

    // Line indices outside the line read its ends.
    std::vector<LineSample> one = straight_ahead(robot, 5.0, 6.0, 1, -20.0f);
    for (int index : {-3, 0, 1, 7}) {
        set_line(robot, one, index);
        EXPECT_TRUE(std::isfinite(line_position(robot)));
        robot->progress_tic = current_tic;
        autopilot_steer(robot);
        expect_controls_sound(robot);
        autopilot_recover(robot);
        expect_controls_sound(robot);
    }

    // A recovery target exactly at the frame, also when stuck and pulling
    // the front wheel toward a target right at it.
    snap_to_floats(robot->frame_body);
    snap_to_floats(robot->front_wheel_body);
    double p[3];
    frame_position(robot, p);
    set_line(robot, {make_sample(p, 10)}, 0);
    robot->progress_tic = current_tic;
    autopilot_recover(robot);
    expect_controls_sound(robot);
    const dReal *front = dBodyGetPosition(robot->front_wheel_body);
    double wheel[3] = {front[0], front[1], front[2]};
    set_line(robot, {make_sample(wheel, 10)}, 0);
    robot->progress_tic = current_tic - 20 * TIC_RATE;
    autopilot_recover(robot);
    expect_controls_sound(robot);
    EXPECT_EQ(robot->dab, 1.0f);
    run_headless_tics(1, nullptr, nullptr);
    EXPECT_EQ(physics_solver_errors, 0);
}

namespace {

struct TrafficWorld : PilotWorld {
    BikeState *other = nullptr;
    void SetUp() override
    {
        RaceWorld::SetUp();
        start_robots(2);
        other = bike_slots[1];
        ASSERT_NE(other, nullptr);
    }
};

}  // namespace

// A bike in the way is found by its box, also when it stands still (its
// box then lies along its heading); one behind or beside is not.
TEST_F(TrafficWorld, BikesInThePathAreFoundAlsoWhenStill)
{
    set_frame_velocity(robot, 20.0);
    float u[3], w[3];
    get_heading_axes(robot, u, w);
    struct Case {
        const char *name;
        double ahead, right_of, speed;
        bool found;
    } cases[] = {
        {"still, 10 ft ahead", 10, 0, 0, true},
        {"still, 22 ft ahead, inside the look-ahead", 22, 0, 0, true},
        {"still, 40 ft ahead", 40, 0, 0, false},
        {"still, 10 ft behind", -10, 0, 0, false},
        {"still, 10 ft to the side", 10, 10, 0, false},
        {"riding, 10 ft ahead", 10, 0, 20, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        double q[3];
        point_from(robot, c.ahead, c.right_of, q);
        dBodySetPosition(other->frame_body, q[0], q[1], q[2]);
        dBodySetRotation(other->frame_body, dBodyGetRotation(robot->frame_body));
        set_frame_velocity(other, c.speed);
        EXPECT_EQ(find_bike_in_path(robot, u, w, 20.0f) == other, c.found);
    }
}

// The other bike exactly where the line from the lean circle's centre
// starts: no direction to measure its speed across, and nothing that is
// not a number comes out.
TEST_F(TrafficWorld, ABikeAtTheLeanCentreLeavesTheLawFinite)
{
    current_tic = race_settings.start_tic + 20 * TIC_RATE;
    double f[3], r[3];
    flat_axes(robot, f, r);
    lean_frame(robot, 0.3);
    set_frame_velocity(robot, 4.0);
    robot->front_contact.depth = robot->rear_contact.depth = 0.0f;
    set_line(robot, straight_ahead(robot, 0.0, 6.0, 30, 20.0f), 10);
    robot->progress_tic = current_tic;
    robot->recovery_count = 0;

    // The lean radius as the law takes it (no ground force: load 1).
    const dReal *v = dBodyGetLinearVel(robot->frame_body);
    double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    double lean = get_bike_lean(robot->frame_body);
    double radius = -speed * speed / (32.0 * 1.0 * std::tan(lean));
    ASSERT_LT(std::fabs(radius), 2.0);
    float u[3], w[3];
    get_heading_axes(robot, u, w);
    const dReal *p = dBodyGetPosition(robot->frame_body);
    dBodySetPosition(other->frame_body, p[0] + radius * u[0], p[1] + radius * u[1],
                     p[2] + radius * u[2]);
    // It heads forward and across toward the centre's side, so it counts
    // as ahead.
    double side = radius < 0 ? -1.0 : 1.0;
    dBodySetLinearVel(other->frame_body, (f[0] + side * r[0]) * 5.0, 0.0,
                      (f[2] + side * r[2]) * 5.0);
    ASSERT_EQ(find_bike_in_path(robot, u, w, (float)speed), other);
    autopilot_steer(robot);
    expect_controls_sound(robot);
}

// The point a stopped bike turns toward: its line's target, a little way
// along the pool's fastest recording of its section, or the next gate.
TEST_F(PilotWorld, TargetPointOfAStoppedBike)
{
    float out[3] = {-1, -1, -1};
    // A robot with a line: its target sample.
    std::vector<LineSample> line = straight_ahead(robot, 0.0, 6.0, 12, 20.0f);
    set_line(robot, line, 4);
    EXPECT_EQ(find_line_target_point(robot, out, 0), 1);
    EXPECT_EQ(out[0], line[4].x);
    EXPECT_EQ(out[2], line[4].z);

    // Without a line: the next timing gate.
    set_line(robot, {}, 0);
    robot->gates_passed = 2;
    EXPECT_EQ(find_line_target_point(robot, out, 0), 1);
    EXPECT_EQ(out[0], timing_gates[2].x);
    EXPECT_EQ(out[2], timing_gates[2].z);

    // A rider without auto pilot: 4 samples past the nearest of the
    // fastest candidate; past its end into the next row's fastest; from
    // its last sample the next row's.
    robot->personality = 0;
    robot->gates_passed = 0;
    std::vector<LineSample> slow = straight_ahead(robot, -30.0, 6.0, 20, 10.0f);
    std::vector<LineSample> fast = straight_ahead(robot, -30.0, 6.0, 10, 20.0f);
    std::vector<LineSample> next = straight_ahead(robot, 30.0, 6.0, 10, 20.0f);
    std::vector<LineSample> next_slow = straight_ahead(robot, 30.0, 6.0, 10, 20.0f);
    next_slow[0].x += 100.0f;
    LapCandidate *c = put_candidate(0, 3, slow);
    c->section_time = 900;
    c = put_candidate(0, 5, fast);
    c->section_time = 800;
    c = put_candidate(1, 0, next_slow);
    c->section_time = 2000;
    c = put_candidate(1, 1, next);
    c->section_time = 1000;
    EXPECT_EQ(find_line_target_point(robot, out, 0), 1);
    EXPECT_EQ(out[0], fast[9].x);   // nearest is sample 5 (at the bike), 4 on
    double ahead[3];
    point_from(robot, 6.0 * 7 - 30.0, 0.0, ahead);   // nearest sample 7: 2 past the end
    dBodySetPosition(robot->frame_body, ahead[0], ahead[1], ahead[2]);
    EXPECT_EQ(find_line_target_point(robot, out, 0), 1);
    EXPECT_EQ(out[0], next[1].x);
    EXPECT_EQ(out[2], next[1].z);
    point_from(robot, 6.0 * 2, 0.0, ahead);   // at fast's last sample
    dBodySetPosition(robot->frame_body, ahead[0], ahead[1], ahead[2]);
    EXPECT_EQ(find_line_target_point(robot, out, 0), 1);
    EXPECT_EQ(out[0], next[4].x);   // row 1: nearest is its first sample

    // No timing gates and no line: nothing is written.
    robot->personality = 1;
    const int gates = timing_gate_count;
    const LapGateList lists = lap_gate_list;
    timing_gate_count = 0;
    lap_gate_list = LapGateList{};
    out[0] = out[1] = out[2] = 7.0f;
    EXPECT_EQ(find_line_target_point(robot, out, 0), 0);
    EXPECT_EQ(out[0], 7.0f);
    timing_gate_count = gates;
    lap_gate_list = lists;
}
