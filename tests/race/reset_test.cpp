// The race reset and the parts of the race tic around it: start positions
// behind the gate, the robot shuffle and slot codes, the falling start
// gate, the online false start and the time trial's lap change.
#include "race_fixture.h"

#include "app/shell.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "core/message.h"
#include "net/client.h"
#include "platform/audio.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/robot_table.h"
#include "render/camera.h"
#include "render/engine_sound.h"
#include "render/script_sound.h"
#include "track/objects.h"
#include "track/timing.h"

#include <set>

namespace {

// Where the model's ground point under the frame's rest position went: the
// start position the bike was placed at.
void placed_at(const BikeState *bike, float *x, float *z)
{
    const BikeModel *m = get_bike_state_model(bike);
    dVector3 point;
    dBodyGetRelPointPos(bike->frame_body, -m->frame_position[0], 0, -m->frame_position[2],
                        point);
    *x = (float)point[0];
    *z = (float)point[2];
}

std::string all_messages()
{
    std::string text;
    for (int i = 0; i < message_log.next_line; i++)
        text += std::string(message_log.lines[i]) + "|";
    return text;
}

}  // namespace

TEST_F(RaceWorld, SixteenRidersStandInTwoRowsBehindTheGate)
{
    int codes[16];
    for (int &c : codes)
        c = SLOT_ROBOT;
    ASSERT_TRUE(start(codes, 16, 1, 0));
    ASSERT_EQ(start_gate_count, 8);
    for (int slot = 0; slot < 16; slot++) {
        BikeState *bike = bike_slots[slot];
        ASSERT_NE(bike, nullptr) << slot;
        EXPECT_EQ(rider_kind[slot], RIDER_ROBOT);
        const StartGatePiece *piece = &start_gate_pieces[slot % 8];
        float d = slot < 8 ? 0.625f : 10.625f;
        float x, z;
        placed_at(bike, &x, &z);
        EXPECT_NEAR(x, piece->x + sinf(piece->angle) * d, 0.01f) << slot;
        EXPECT_NEAR(z, piece->z + cosf(piece->angle) * d, 0.01f) << slot;
        // On the ground, touching nothing.
        EXPECT_LT(dBodyGetPosition(bike->frame_body)[1], 2.6) << slot;
    }
    EXPECT_EQ(bike_slots[16], nullptr);
}

TEST_F(RaceWorld, TheRobotOrderIsOneCycleAndSlotCodesPickTheirRobots)
{
    // 160 robots: rows are reused past the 80th.
    int codes[BIKE_SLOT_COUNT];
    for (int &c : codes)
        c = SLOT_ROBOT;
    ASSERT_TRUE(start(codes, BIKE_SLOT_COUNT, 1, 0));
    std::set<int> rows(robot_order, robot_order + ROBOT_TABLE_ROWS);
    EXPECT_EQ(rows.size(), (size_t)ROBOT_TABLE_ROWS);
    // Each position swapped with a lower one: no row keeps its place.
    for (int i = 0; i < ROBOT_TABLE_ROWS; i++)
        EXPECT_NE(robot_order[i], i) << i;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        ASSERT_NE(bike_slots[slot], nullptr) << slot;
    EXPECT_STREQ(get_rider_number_text(bike_slots[80]), get_rider_number_text(bike_slots[0]));
    EXPECT_STREQ(rider_names[3], "Roborider");
    end_race();

    struct Case {
        int codes[4];
        int expect_kind[4];      // -1 = empty
        const char *number[4];   // null = any
    } cases[] = {
        // Two players: the first rides and is followed, the second stays empty.
        {{SLOT_PLAYER, SLOT_PLAYER, 0, 0}, {RIDER_LOCAL, -1, -1, -1}, {"999", nullptr, nullptr, nullptr}},
        // A robot by number, and an unknown code leaving its slot empty.
        {{SLOT_ROBOT_NUMBER + 57, 500, SLOT_ROBOT_125, 0},
         {RIDER_ROBOT, -1, RIDER_ROBOT, -1},
         {"57", nullptr, nullptr, nullptr}},
        // Nothing asked and no demo: one robot rides alone.
        {{0, 0, 0, 0}, {RIDER_ROBOT, -1, -1, -1}, {nullptr, nullptr, nullptr, nullptr}},
    };
    for (const Case &c : cases) {
        HeadlessRace race{};
        race.track = RACE_TRACK;
        for (int i = 0; i < 4; i++)
            race.slot_codes[i] = c.codes[i];
        race.laps = 1;
        ASSERT_TRUE(start_headless_race(&race));
        for (int slot = 0; slot < 4; slot++) {
            SCOPED_TRACE(slot);
            if (c.expect_kind[slot] < 0) {
                EXPECT_EQ(bike_slots[slot], nullptr);
                continue;
            }
            ASSERT_NE(bike_slots[slot], nullptr);
            EXPECT_EQ(rider_kind[slot], c.expect_kind[slot]);
            if (c.number[slot]) {
                EXPECT_STREQ(get_rider_number_text(bike_slots[slot]), c.number[slot]);
            }
        }
        EXPECT_EQ(followed_slot, 0);
        if (c.codes[2] == SLOT_ROBOT_125) {
            EXPECT_NE(strstr(get_bike_model_name(bike_slots[2]), "125"), nullptr);
        }
        end_race();
    }
}

TEST_F(RaceWorld, TheStartGateFallsAfterTheDropAndStopsWhereItIsHit)
{
    const int codes[1] = {SLOT_PLAYER};
    ASSERT_TRUE(start(codes, 1, 1, 0));
    Statue *piece = get_statue(start_gate_statues[0]);
    Statue *held = get_statue(start_gate_statues[1]);
    ASSERT_TRUE(piece && held);
    int drop = race_settings.start_tic;
    run_headless_tics(drop - current_tic, nullptr, nullptr);
    EXPECT_EQ(start_gate_fall[0], 1.0f) << "up until the drop";
    float up_y = piece->orientation[4];
    run_headless_tics(2, nullptr, nullptr);
    EXPECT_LT(start_gate_fall[0], 1.0f);
    // A touched piece stops this tic.
    float before = start_gate_fall[1];
    held->last_hit_tic = current_tic;
    run_headless_tics(1, nullptr, nullptr);
    EXPECT_EQ(start_gate_fall[1], before);
    EXPECT_EQ(start_gate_fall_speed[1], 0.0f);
    run_headless_tics(TIC_RATE, nullptr, nullptr);
    EXPECT_EQ(start_gate_fall[0], 0.0f) << "down within a second";
    EXPECT_NE(piece->orientation[4], up_y) << "turned as it fell";
    EXPECT_LE(start_gate_fall_speed[0], 8.0f);
}

TEST_F(RaceWorld, WatchingOnlineTheGateFallsLater)
{
    const int codes[1] = {SLOT_PLAYER};
    ASSERT_TRUE(start(codes, 1, 1, 0));
    race_settings.remote_delay_tics = 127;
    int drop = race_settings.start_tic;
    run_headless_tics(drop + 120 - current_tic, nullptr, nullptr);
    EXPECT_EQ(start_gate_fall[0], 1.0f);
    run_headless_tics(10, nullptr, nullptr);
    EXPECT_LT(start_gate_fall[0], 1.0f);
}

TEST_F(RaceWorld, OnlineARiderRollingBeforeTheDropGetsAPenalty)
{
    const int codes[1] = {SLOT_PLAYER};
    ASSERT_TRUE(start(codes, 1, 1, 0));
    BikeState *bike = bike_slots[0];
    // Offline there is no such rule.
    move_bike_bodies(bike, 0, 0, -4.0f);
    run_headless_tics(1, nullptr, nullptr);
    EXPECT_EQ(false_start_penalty_tics, 0);

    net_socket = 1000;   // online: the race tic reads only the flag
    own_slot = 0;
    local_gate_position = 0;
    run_headless_tics(1, nullptr, nullptr);
    int expected = race_settings.start_tic + 15 * TIC_RATE - (current_tic - 1) - 1;
    EXPECT_EQ(false_start_penalty_tics, expected);
    EXPECT_NE(all_messages().find("15 second false start penalty"), std::string::npos);
    EXPECT_EQ(bike->front_brake, 1.0f);
    EXPECT_EQ(bike->clutch, 0.0f);
    int messages = message_log.next_line;
    run_headless_tics(10, nullptr, nullptr);
    EXPECT_EQ(message_log.next_line, messages) << "the message once";
    EXPECT_EQ(false_start_penalty_tics, expected - 10);
    net_socket = -1;
    own_slot = 160;
    local_gate_position = 160;
}

TEST_F(RaceWorld, ATimeTrialLapMakesTheFastLapAndItsGhost)
{
    HeadlessRace race{};
    race.track = RACE_TRACK;
    race.time_trial = 1;
    race.laps = 1000;
    race.record = 1;
    ASSERT_TRUE(start_headless_race(&race));
    EXPECT_TRUE(time_trial_mode);
    EXPECT_EQ(current_tic, 300 * TIC_RATE);
    BikeState *player = bike_slots[0];
    ASSERT_NE(player, nullptr);
    steady_setup(player);
    EXPECT_EQ(bike_slots[1], nullptr) << "no ghost before the first lap";

    // Ride until the ghost of the first whole lap rides beside the player.
    int tics = 0;
    while (!bike_slots[1] && tics < 90 * TIC_RATE) {
        run_headless_tics(16, ride_the_loop, nullptr);
        tics += 16;
    }
    ASSERT_NE(bike_slots[1], nullptr) << "no ghost after " << tics << " tics";
    EXPECT_EQ(rider_kind[1], RIDER_REMOTE);
    EXPECT_FALSE(is_bike_physics_active(bike_slots[1]));
    EXPECT_EQ(player->gates_passed, LOOP_GATES - 1 + 1) << "set back to the lap's start, then its gate";
    std::string fastlap;
    EXPECT_TRUE(read_file(test_home_dir() + "tracks/loop/fastlap.kzdemo", &fastlap) ||
                read_file(test_data_dir() + "tracks/loop/fastlap.kzdemo", &fastlap));
    // A whole lap later the lap has a time.
    tics = 0;
    while (last_lap_tics == 0 && tics < 80 * TIC_RATE) {
        run_headless_tics(16, ride_the_loop, nullptr);
        tics += 16;
    }
    EXPECT_GT(last_lap_tics, 40 * TIC_RATE);
    EXPECT_GT(best_lap_tics, 0);
    EXPECT_LE(best_lap_tics, last_lap_tics);
}

TEST_F(RaceWorld, TheResetGivesRidersEngineVoicesAndPutsTheListenerAboveTheFollowedBike)
{
    audio_handle = open_readback_audio(0, 22050, 344);
    ASSERT_NE(audio_handle, 0);
    write_file(test_data_dir() + "snd/x.raw", "\x10\x20\x30\x40");
    const int codes[3] = {SLOT_ROBOT, SLOT_PLAYER, SLOT_ROBOT};
    ASSERT_TRUE(start(codes, 3, 1, 0));
    for (int slot = 0; slot < 3; slot++) {
        EXPECT_NE(engine_sounds[slot].voice, nullptr) << slot;
        EXPECT_EQ(engine_sounds[slot].level, 1.0f) << slot;
    }
    EXPECT_EQ(engine_sounds[3].voice, nullptr);
    ASSERT_EQ(followed_slot, 1);
    const dReal *p = dBodyGetPosition(bike_slots[1]->frame_body);
    EXPECT_EQ(camera_position[0], (float)p[0]);
    EXPECT_EQ(camera_position[1], (float)p[1] + 5.0f);
    EXPECT_EQ(camera_position[2], (float)p[2]);

    // The next reset frees the track script's sounds and every old voice.
    ASSERT_EQ(load_script_sound("@snd/x.raw"), 0);
    ASSERT_TRUE(start(codes, 2, 1, 0));
    EXPECT_EQ(script_sound_count, 0);
    EXPECT_EQ(engine_sounds[2].voice, nullptr);
    // The end of the race keeps only the player's slot 0 and its voice.
    end_race();
    EXPECT_NE(engine_sounds[0].voice, nullptr);
    EXPECT_EQ(engine_sounds[1].voice, nullptr);
    free_engine_sound(&engine_sounds[0]);
    close_audio(audio_handle);
    audio_handle = 0;
}
