// The track script fixture: a generated track (grid exponent 7 with uneven
// ground and four tile kinds, two start-gate pieces, four checkpoints, a
// statue with a collision shape and two without, two billboards) raced by
// the player in slot 0 and a robot in slot 1. Each test writes its
// "frills.js" and resets the race, which loads it; results are read from the
// script's globals through the heap's context.
#pragma once

#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "core/message.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "script/script_limits.h"
#include "script/script_vm.h"
#include "script/track_script.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

inline const char *const SCRIPT_TRACK = "tracks/scripted";
inline const int SCRIPT_TILE_KINDS = 4;

// Raw height sample of the generated ground: uneven in both directions, so
// every cell's two triangles differ.
inline int scripted_ground_sample(int column, int row)
{
    return ((column * 131) ^ (row * 71)) & 4095;
}

inline void write_scripted_track()
{
    std::string data = test_data_dir();
    write_file(data + "generic_frame.shp", "2\n0 0.5 -0.8 0.5 0.5 25000 2500\n0 0.4 0.8 0.5 0.5 25000 2500\n");
    write_file(data + "generic_rider.shp", "1\n0 0.2 -0.1 0.7 0.5 25000 2500\n");
    write_file(data + "rock.shp", "1 3 4 0 1 0.5 100 10\n");

    TrackFixture track;
    track.folder = SCRIPT_TRACK;
    track.min = 0.0f;
    track.max = 16.0f;
    track.sample = scripted_ground_sample;
    track.tileinfo.clear();
    for (int i = 0; i < SCRIPT_TILE_KINDS; i++)
        track.tileinfo += "name kind" + std::to_string(i) + "\nfriction 1.0 1\nslip_function 1\n"
                          "roll_resist 1 2 1\naddtile\n";
    for (int row = 0; row < FIXTURE_TILES; row++)
        for (int column = 0; column < FIXTURE_TILES; column++)
            track.tilemap += (char)((column + 3 * row) % SCRIPT_TILE_KINDS);
    track.write();

    std::string dir = track_dir(SCRIPT_TRACK);
    write_file(dir + "timing_gates", "startinggate:\n"
                                     "[ 60 0 40 ] 0\n"
                                     "[ 66 0 40 ] 0\n"
                                     "checkpoints:\n"
                                     "20 [ 60 0 100 ] [ 0 0 1 ]\n"
                                     "20 [ 120 0 160 ] [ 1 0 0 ]\n"
                                     "20 [ 180 0 100 ] [ 0 0 -1 ]\n"
                                     "20 [ 120 0 40 ] [ -1 0 0 ]\n"
                                     "firstlap:\n0 1 2 3\nnormallap:\n1 2 3\n");
    write_file(dir + "statues", "[ 100 0.5 200 ] 0.3 null null @rock.shp\n"
                                "[ 110 0 200 ] 0 null null null\n"
                                "[ 120 0 200 ] 0 null null null\n");
    write_file(dir + "billboards", "[ 100 1 220 ] 2 3 @sign.png\n"
                                   "[ 110 1 220 ] 2 3 @sign.png\n");
}

struct ScriptTrack : testing::Test {
    void SetUp() override
    {
        write_scripted_track();
        ASSERT_TRUE(create_physics_world());
        current_tic = 0;
    }

    void TearDown() override
    {
        unload_track_script();
        free_race_world();
    }

    static void write_script(const std::string &text)
    {
        write_file(track_dir(SCRIPT_TRACK) + "frills.js", text);
    }

    // Writes the script and resets the race (the player in slot 0, a robot
    // in slot 1, two laps), which loads it.
    static int race_with(const std::string &script)
    {
        write_script(script);
        return reset_scripted_race();
    }

    static int reset_scripted_race()
    {
        HeadlessRace race{};
        race.track = SCRIPT_TRACK;
        race.slot_codes[0] = SLOT_PLAYER;
        race.slot_codes[1] = SLOT_ROBOT;
        race.laps = 2;
        return start_headless_race(&race);
    }

    static duk_context *heap()
    {
        return track_script ? track_script->context : nullptr;
    }

    // Evaluates text in the loaded script within a hook's budget.
    static int run(const std::string &text)
    {
        return track_script && script_vm_eval(track_script, text.c_str());
    }

    // A global of the script: NaN when there is no script or it is no
    // number; strings read as text.
    static double number(const char *name)
    {
        duk_context *ctx = heap();
        if (!ctx)
            return NAN;
        duk_get_global_string(ctx, name);
        double v = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : NAN;
        duk_pop(ctx);
        return v;
    }

    static std::string text(const char *name)
    {
        duk_context *ctx = heap();
        if (!ctx)
            return "(no script)";
        duk_get_global_string(ctx, name);
        std::string v = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "(not a string)";
        duk_pop(ctx);
        return v;
    }

    // Tic hook calls through the race tic.
    static void run_tics(int tics)
    {
        run_headless_tics(tics, nullptr, nullptr);
    }

    static int script_index_of_statue(int table_index) { return table_index - statue_file_start; }
};
