// The natives of kz and the prelude, called from the loaded track script:
// every native with good and bad arguments in one table, then the ground,
// tiles, laps, running order, gate drop, statues and billboards in detail.
#include "script_fixture.h"

#include "app/shell.h"
#include "bike/bike_getters.h"
#include "bike/contact_readout.h"
#include "platform/audio.h"
#include "race/gates.h"
#include "race/results.h"
#include "render/animated_texture.h"
#include "render/camera.h"
#include "render/script_sound.h"
#include "render/texture.h"
#include "track/timing.h"

#include <functional>
#include <vector>

namespace {

// What a row of the table gives: a number, a text, or undefined; and the
// array `a` (it starts as [7, 7, 7]) when the row names it.
struct Expected {
    enum { NUMBER, TEXT, UNDEFINED } kind;
    double number;
    std::string text;
    std::vector<float> array;
};

Expected num(double v, std::vector<float> array = {})
{
    return {Expected::NUMBER, v, "", array};
}

Expected txt(const std::string &v)
{
    return {Expected::TEXT, 0, v, {}};
}

Expected nothing()
{
    return {Expected::UNDEFINED, 0, "", {}};
}

struct Row {
    std::string code;
    Expected expected;
};

const std::vector<float> UNTOUCHED = {7, 7, 7};
const std::vector<float> ZEROS = {0, 0, 0};

// The argument lists that name no rider, index or sound.
const char *const BAD_NUMBERS[] = {"200", "-1", "NaN", "Infinity", "1e300", "-1e300"};

struct ScriptFunctions : ScriptTrack {
    GameWindow *window = nullptr;
    void SetUp() override
    {
        ScriptTrack::SetUp();
        window = open_test_gl_window();
        ASSERT_NE(window, nullptr);
        write_game_asset("@sign.png");
        write_game_asset("@anim.seq");
        write_file(test_data_dir() + "snd/tone.raw", std::string("\x40\x1f\xc0\xe0\x40\x1f\xc0\xe0", 8));
    }
    void TearDown() override
    {
        ScriptTrack::TearDown();
        free_script_sounds();
        if (audio_handle)
            close_audio(audio_handle);
        audio_handle = 0;
        close_test_gl_window(window);
    }

    void check(const Row &row)
    {
        ASSERT_TRUE(run("a = [7, 7, 7]; r = (" + row.code + ");")) << row.code << ": "
                                                                   << script_vm_message(track_script);
        duk_context *ctx = heap();
        duk_get_global_string(ctx, "r");
        const Expected &e = row.expected;
        if (e.kind == Expected::NUMBER) {
            EXPECT_TRUE(duk_is_number(ctx, -1)) << row.code;
            double v = duk_get_number(ctx, -1);
            if (std::isnan(e.number))
                EXPECT_TRUE(std::isnan(v)) << row.code;
            else
                EXPECT_EQ(v, e.number) << row.code;
        } else if (e.kind == Expected::TEXT) {
            EXPECT_TRUE(duk_is_string(ctx, -1)) << row.code;
            EXPECT_EQ(std::string(duk_safe_to_string(ctx, -1)), e.text) << row.code;
        } else {
            EXPECT_TRUE(duk_is_undefined(ctx, -1)) << row.code;
        }
        duk_pop(ctx);
        if (e.array.empty())
            return;
        duk_get_global_string(ctx, "a");
        for (size_t i = 0; i < e.array.size(); i++) {
            duk_get_prop_index(ctx, -1, (duk_uarridx_t)i);
            EXPECT_EQ((float)duk_get_number_default(ctx, -1, NAN), e.array[i]) << row.code << " [" << i << "]";
            duk_pop(ctx);
        }
        duk_pop(ctx);
    }
};

std::vector<float> body_vector(const dReal *v)
{
    return {(float)v[0], (float)v[1], (float)v[2]};
}

std::vector<float> contact_vector(int (*query)(BikeState *, float *), BikeState *bike, int *touching)
{
    float v[3] = {0, 0, 0};
    *touching = query(bike, v);
    if (!*touching)
        return ZEROS;
    return {v[0], v[1], v[2]};
}

}  // namespace

TEST_F(ScriptFunctions, EveryNativeWithGoodAndBadArguments)
{
    audio_handle = open_readback_audio(0, 44100, 735);
    ASSERT_NE(audio_handle, 0);
    ASSERT_TRUE(race_with("var a, r;"));
    ASSERT_NE(track_script, nullptr);
    BikeState *player = get_slot_bike(0), *robot = get_slot_bike(1);
    ASSERT_NE(player, nullptr);
    ASSERT_NE(robot, nullptr);
    ASSERT_GE(running_order_count, 2);
    set_gate_time(player, 0, 1234);
    set_gates_passed(player, 1);
    race_settings.length_tics = 3 * TIC_RATE + 5;
    camera_position[0] = 1.5f;
    camera_position[1] = 2.5f;
    camera_position[2] = -3.5f;
    const float camera[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    memcpy(camera_matrix, camera, sizeof camera);

    int sign = load_texture("@sign.png");
    ASSERT_NE(sign, 0);
    std::vector<Row> rows = {
        {"kz.message('shown')", nothing()},
        {"kz.message()", nothing()},
        {"kz.read_texture('@sign.png')", num(sign)},
        {"kz.read_texture('sign.png')", num(0)},
        {"kz.read_texture('@../sign.png')", num(0)},
        {"kz.read_texture(5)", num(0)},
        {"kz.read_texture()", num(0)},
        {"kz.get_max_slots()", num(BIKE_SLOT_COUNT)},
        {"kz.get_running_count()", num(running_order_count)},
        {"kz.get_running_order_slot(1)", num(running_order[1].slot)},
        {"kz.get_running_order_slot()", num(running_order[0].slot)},
        {"kz.get_running_order_position(0)", num(running_order[0].gates)},
        {"kz.get_running_order_time(0)", num(running_order[0].last_gate_tic)},
        // Past the count: an older race's entry is never read.
        {"kz.get_running_order_slot(" + std::to_string(running_order_count) + ")", num(0)},
        {"kz.get_rider_down(0)", num(is_rider_down(player))},
        {"kz.get_seconds_per_tic()", num(0.0078125)},
        {"kz.get_first_lap_length()", num(lap_gate_list.first_lap_count)},
        {"kz.get_normal_lap_length()", num(lap_gate_list.normal_lap_count)},
        {"kz.get_timing_position(0)", num(get_gates_passed(player))},
        {"kz.get_timing_position()", num(get_gates_passed(player))},
        {"kz.get_timing(0, 0)", num(1234 * 0.0078125)},
        {"kz.get_timing(0, 1)", num(-0.0078125)},   // not reached
        {"kz.get_timing(0, NaN)", num(-0.0078125)},
        {"kz.get_timing(0, 1e300)", num(-0.0078125)},
        {"kz.get_rider_number(1)", txt(get_rider_number_text(robot))},
        {"kz.get_rider_name(1)", txt(rider_names[1])},
        {"kz.get_bike_model(1)", txt(get_bike_model_name(robot))},
        {"kz.get_position_(0, a)", num(1, body_vector(dBodyGetPosition(get_bike_body(player))))},
        {"kz.get_velocity_(1, a)", num(1, body_vector(dBodyGetLinearVel(get_bike_body(robot))))},
        {"kz.get_position_(0, 5)", num(0)},
        {"kz.get_velocity_(0)", num(0)},
        {"kz.get_finish_laps()", num(race_settings.laps)},
        {"kz.get_finish_time()", num((float)((3 * TIC_RATE + 5) / 128.0))},
        {"kz.get_gate_drop_time()", num(-1)},
        {"kz.get_camera_location(a, [])", num(1, {1.5f, 2.5f, -3.5f})},
        {"(function () { var m = []; kz.get_camera_location([], m); return m.join(); })()",
         txt("1,4,7,2,5,8,3,6,9")},
        {"kz.get_camera_location(1, 2)", num(1)},
        {"kz.begin_custom_frame(0)", num(0)},
        {"kz.end_custom_frame(-1)", num(0)},
        {"kz.paste_custom_frame(NaN, 0, 0, 0, 0, 0, 1, 1)", num(0)},
        {"kz.add_sound('@snd/tone.raw')", num(0)},
        {"kz.add_sound('snd/tone.raw')", num(0)},
        {"kz.add_sound('@snd/missing.raw')", num(0)},
        {"kz.start_sound(0)", num(1)},
        {"kz.set_sound_loop(0, 1)", num(1)},
        {"kz.set_sound_freq(0, 22050)", num(1)},
        {"kz.set_sound_freq(0, NaN)", num(0)},
        {"kz.set_sound_vol(0, 0.5)", num(1)},
        {"kz.set_sound_vol(0, 1e300)", num(0)},
        {"kz.set_sound_pos(0, 1, 2, 3)", num(1)},
        {"kz.set_sound_vel(0, 1, Infinity, 3)", num(0)},
        {"kz.stop_sound(0)", num(1)},
    };

    // Slots, indices and sounds that name nothing.
    const struct {
        const char *call;   // "%" stands for the bad number
        Expected neutral;
    } bad_forms[] = {
        {"kz.get_running_order_slot(%)", num(0)},
        {"kz.get_running_order_position(%)", num(0)},
        {"kz.get_running_order_time(%)", num(0)},
        {"kz.get_rider_down(%)", num(0)},
        {"kz.get_timing_position(%)", num(-1)},
        {"kz.get_timing(%, 0)", num(-1)},
        {"kz.get_rider_number(%)", txt("")},
        {"kz.get_rider_name(%)", txt("")},
        {"kz.get_bike_model(%)", txt("")},
        {"kz.get_position_(%, a)", num(0, ZEROS)},
        {"kz.get_velocity_(%, a)", num(0, ZEROS)},
        {"kz.pose_statue(%, 1, [0, 0, 0], [0, 0, 0], [1, 0, 0, 0, 1, 0, 0, 0, 1])", num(0)},
        {"kz.move_statue(%, 100, 0, 100, 0)", num(0)},
        {"kz.move_statue_absolute(%, 1, 2, 3, [1, 0, 0, 0, 1, 0, 0, 0, 1])", num(0)},
        {"kz.move_billboard(%, 1, 2, 3)", num(0)},
        {"kz.move_billboard_absolute(%, 1, 2, 3)", num(0)},
        {"kz.size_billboard(%, 4)", num(0)},
        {"kz.color_billboard(%, 1, 1, 1, 1)", num(0)},
        {"kz.begin_custom_frame(%)", num(0)},
        {"kz.end_custom_frame(%)", num(0)},
        {"kz.paste_custom_frame(%, 0, 0, 0, 0, 0, 1, 1)", num(0)},
        {"kz.start_sound(%)", num(0)},
        {"kz.stop_sound(%)", num(0)},
        {"kz.set_sound_loop(%, 1)", num(0)},
        {"kz.set_sound_freq(%, 100)", num(0)},
        {"kz.set_sound_vol(%, 1)", num(0)},
        {"kz.set_sound_pos(%, 1, 2, 3)", num(0)},
        {"kz.set_sound_vel(%, 1, 2, 3)", num(0)},
        {"kz.get_front_contact_depth(%)", num(0)},
        {"kz.get_front_contact_position(%, a)", num(0, ZEROS)},
        {"kz.get_front_contact_slip(%, a)", num(0, ZEROS)},
        {"kz.get_front_contact_velocity(%, a)", num(0, ZEROS)},
        {"kz.get_rear_contact_depth(%)", num(0)},
        {"kz.get_rear_contact_position(%, a)", num(0, ZEROS)},
        {"kz.get_rear_contact_slip(%, a)", num(0, ZEROS)},
        {"kz.get_rear_contact_velocity(%, a)", num(0, ZEROS)},
    };
    for (const auto &form : bad_forms)
        for (const char *bad : BAD_NUMBERS) {
            // -1 names the statue made just before the file's.
            if (strstr(form.call, "statue") && !strcmp(bad, "-1"))
                continue;
            std::string code = form.call;
            code.replace(code.find('%'), 1, bad);
            rows.push_back({code, form.neutral});
        }

    // The wheel contacts of a real rider, as the read-outs give them.
    typedef int (*VectorQuery)(BikeState *, float *);
    const struct {
        const char *name;
        VectorQuery query;
    } vectors[] = {
        {"get_front_contact_position", query_front_contact_position},
        {"get_front_contact_slip", query_front_contact_slip},
        {"get_front_contact_velocity", query_front_contact_velocity},
        {"get_rear_contact_position", query_rear_contact_position},
        {"get_rear_contact_slip", query_rear_contact_slip},
        {"get_rear_contact_velocity", query_rear_contact_velocity},
    };
    for (const auto &v : vectors) {
        int touching;
        std::vector<float> expected = contact_vector(v.query, player, &touching);
        rows.push_back({std::string("kz.") + v.name + "(0, a)", num(touching, expected)});
        rows.push_back({std::string("kz.") + v.name + "(0, 5)", num(0)});
    }
    rows.push_back({"kz.get_front_contact_depth(0)", num(query_front_contact_depth(player))});
    rows.push_back({"kz.get_rear_contact_depth(0)", num(query_rear_contact_depth(player))});

    for (const Row &row : rows)
        check(row);

    // The custom frame of an animation made by the script.
    ASSERT_TRUE(run("anim = kz.read_texture('@anim.seq');"));
    int anim = (int)number("anim");
    ASSERT_NE(anim, 0);
    ASSERT_NE(find_animation(anim), nullptr);
    std::string id = std::to_string(anim);
    std::vector<Row> frames = {
        {"kz.paste_custom_frame(" + id + ", 0, 0, 0, 0, 0, 1, 1)", num(0)},   // no frame begun
        {"kz.begin_custom_frame(" + id + ")", num(1)},
        {"kz.paste_custom_frame(" + id + ", 1, 0, 0, 0.5, 0.5, 0.5, 0.5)", num(1)},
        {"kz.paste_custom_frame(" + id + ", 2, 0, 0, 0, 0, 1, 1)", num(0)},
        {"kz.paste_custom_frame(" + id + ", 0, NaN, 0, 0, 0, 1, 1)", num(0)},
        {"kz.paste_custom_frame(" + id + ", 0, 0, 0, 0, 0, 1e300, 1)", num(0)},
        {"kz.end_custom_frame(" + id + ")", num(1)},
    };
    for (const Row &row : frames)
        check(row);
    EXPECT_EQ(script_sound_count, 1);
    EXPECT_EQ(script_sounds[0].frequency, 22050.0f);
    EXPECT_EQ(script_sounds[0].volume, 0.5f);
    EXPECT_EQ(script_sounds[0].position[2], 3.0f);
    EXPECT_EQ(count_messages("shown"), 1);
}

TEST_F(ScriptFunctions, ElevationIsTheGroundHeightOnBothDiagonalsAndOutside)
{
    ASSERT_TRUE(race_with("var r;"));
    const Terrain *t = current_terrain;
    ASSERT_NE(t, nullptr);
    float s = t->cell;
    std::vector<std::pair<double, double>> points;
    // Cells of both parities: each one's diagonal, and a point in each of
    // its two triangles.
    for (int cx : {10, 11})
        for (int cz : {20, 21}) {
            double x0 = cx * s, z0 = cz * s;
            for (double f : {0.25, 0.5, 0.75}) {
                points.push_back({x0 + f * s, z0 + f * s});
                points.push_back({x0 + (1 - f) * s, z0 + f * s});
            }
            points.push_back({x0 + 0.8 * s, z0 + 0.1 * s});
            points.push_back({x0 + 0.1 * s, z0 + 0.8 * s});
        }
    for (double outside : {-30.0, -1e30, (double)t->extent + 7, 1e300})
        points.push_back({outside, 40.0}), points.push_back({40.0, outside});
    points.push_back({NAN, NAN});
    for (const auto &p : points) {
        char code[160];
        if (std::isnan(p.first))
            snprintf(code, sizeof code, "r = kz.get_elevation(NaN, NaN);");
        else
            snprintf(code, sizeof code, "r = kz.get_elevation(%.17g, %.17g);", p.first, p.second);
        ASSERT_TRUE(run(code)) << code;
        float expected = sample_ground_height(t, (float)p.first, (float)p.second);
        EXPECT_EQ(number("r"), (double)expected) << code;
    }
    // The two triangles of a cell really differ on this ground.
    ASSERT_TRUE(run("d = kz.get_elevation(20.8 * 2, 40.2 * 2) - kz.get_elevation(20.2 * 2, 40.8 * 2);"));
    EXPECT_NE(number("d"), 0.0);
}

TEST_F(ScriptFunctions, TileNumbersClampBeforeTheyTruncate)
{
    ASSERT_TRUE(race_with("var r;"));
    const double tile = 2.0 * current_terrain->cell;
    const int last = FIXTURE_TILES - 1;
    const struct {
        const char *x, *z;
        int column, row;
    } cases[] = {
        {"4.5 * T", "7.9 * T", 4, 7},   {"0", "0", 0, 0},
        {"-5", "3.2 * T", 0, 3},        {"1e9", "2 * T", last, 2},
        {"NaN", "5 * T", 0, 5},         {"5 * T", "Infinity", 5, last},
        {"1e300", "-1e300", last, 0},   {"(128 - 0.5) * T", "127.99 * T", last, last},
    };
    ASSERT_TRUE(run("var T = " + std::to_string(tile) + ";"));
    for (const auto &c : cases) {
        std::string code = std::string("r = kz.get_tile_number(") + c.x + ", " + c.z + ");";
        ASSERT_TRUE(run(code)) << code;
        EXPECT_EQ(number("r"), (c.column + 3 * c.row) % SCRIPT_TILE_KINDS) << code;
    }
}

TEST_F(ScriptFunctions, WithoutTerrainTheGroundNativesGiveZero)
{
    ASSERT_TRUE(race_with("var r;"));
    Terrain *saved = current_terrain;
    current_terrain = nullptr;
    EXPECT_TRUE(run("r = kz.get_elevation(10, 10) + kz.get_tile_number(10, 10);"));
    current_terrain = saved;
    EXPECT_EQ(number("r"), 0.0);
}

TEST_F(ScriptFunctions, LapArithmeticAndThePreludeConstants)
{
    ASSERT_TRUE(race_with("var loaded = [kz.max_slots, kz.first_lap_length, kz.normal_lap_length,"
                          " kz.seconds_per_tic, kz.tics_per_second].join();"));
    char expected[128];
    snprintf(expected, sizeof expected, "%d,%d,%d,0.0078125,128", BIKE_SLOT_COUNT, lap_gate_list.first_lap_count,
             lap_gate_list.normal_lap_count);
    EXPECT_EQ(text("loaded"), expected);
    // The constants are taken once: later changes of the list do not show.
    lap_gate_list.first_lap_count = 99;
    ASSERT_TRUE(run("same = kz.first_lap_length;"));
    EXPECT_NE(number("same"), 99.0);

    ASSERT_TRUE(run("kz.first_lap_length = 10; kz.normal_lap_length = 8;\n"
                    "r = [kz.lap_to_index(0), kz.lap_to_index(1), kz.lap_to_index(2), kz.index_to_lap(8),"
                    " kz.index_to_lap(9), kz.index_to_lap(10), kz.index_to_lap(17), kz.index_to_lap(18)].join();\n"
                    "kz.normal_lap_length = 0; z = kz.index_to_lap(50);"));
    EXPECT_EQ(text("r"), "0,9,17,0,0,1,1,2");
    EXPECT_EQ(number("z"), 0.0);
}

TEST_F(ScriptFunctions, TheRunningOrderAsObjectsAndPositionsAsArrays)
{
    ASSERT_TRUE(race_with("var order, here, none, there;"));
    ASSERT_GE(running_order_count, 2);
    running_order[0].last_gate_tic = 0;
    running_order[1].last_gate_tic = 640;
    ASSERT_TRUE(run("order = JSON.stringify(kz.get_running_order()); here = kz.get_position(1);"
                    " none = kz.get_position(200); there = kz.get_velocity(-1);"));
    char expected[256];
    snprintf(expected, sizeof expected, "[{\"slot\":%d,\"position\":%d,\"time\":%d},"
                                        "{\"slot\":%d,\"position\":%d,\"time\":5}]",
             running_order[0].slot, running_order[0].gates, 0, running_order[1].slot, running_order[1].gates);
    EXPECT_EQ(text("order"), expected);
    ASSERT_TRUE(run("n = (none === null) + (there === null); h = here.length;"));
    EXPECT_EQ(number("n"), 2.0);
    EXPECT_EQ(number("h"), 3.0);
}

TEST_F(ScriptFunctions, TheGateDropTimeAppearsOnceTheGateDrops)
{
    ASSERT_TRUE(race_with("var r;"));
    ASSERT_GT(race_settings.start_tic, 0);
    current_tic = race_settings.start_tic - 1;
    ASSERT_TRUE(run("r = kz.get_gate_drop_time();"));
    EXPECT_EQ(number("r"), -1.0);
    current_tic = race_settings.start_tic;
    ASSERT_TRUE(run("r = kz.get_gate_drop_time();"));
    EXPECT_EQ(number("r"), (double)(float)(race_settings.start_tic / 128.0));
}

TEST_F(ScriptFunctions, PosesAreFixedInSizeByTheFirstAndKeepOnlyFiniteEntries)
{
    ASSERT_TRUE(race_with("function bones(n, v) { var a = []; for (var i = 0; i < n; i++) a.push(v + i);"
                          " return a; }\nvar r;"));
    Statue *plain = get_statue(statue_file_start + 1);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->pose_count, 0);
    const struct {
        const char *code;
        int result;
        int count_after;
    } cases[] = {
        {"kz.pose_statue(1, 33, bones(99, 1), bones(99, 2), bones(297, 3))", 0, 0},
        {"kz.pose_statue(1, 0, bones(3, 1), bones(3, 2), bones(9, 3))", 0, 0},
        {"kz.pose_statue(1, 3, bones(8, 1), bones(9, 2), bones(27, 3))", 0, 0},   // a centre missing
        {"kz.pose_statue(1, 3, bones(9, 1), 5, bones(27, 3))", 0, 0},             // a number for an array
        {"kz.pose_statue(1, 3, bones(9, 1), bones(9, 2), bones(27, 3))", 1, 3},
        {"kz.pose_statue(1, 4, bones(12, 1), bones(12, 2), bones(36, 3))", 0, 3},
        {"kz.pose_statue(1, 3, bones(9, 10), bones(9, 20), bones(26, 30).concat([NaN]))", 0, 3},
        {"kz.pose_statue(1, 3, bones(9, 10), bones(9, 20), bones(27, 30).concat([NaN]))", 1, 3},
        {"kz.pose_statue(1, 3.9, bones(9, 1), bones(9, 2), bones(27, 1e300))", 0, 3},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(run(std::string("r = ") + c.code + ";")) << c.code;
        EXPECT_EQ(number("r"), c.result) << c.code;
        EXPECT_EQ(plain->pose_count, c.count_after) << c.code;
    }
    // The last accepted pose, as given.
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(plain->pose_centres[i], 10.0f + i);
        EXPECT_EQ(plain->pose_offsets[i], 20.0f + i);
    }
    for (int i = 0; i < 27; i++)
        EXPECT_EQ(plain->pose_rotations[i], 30.0f + i);

    // A negative index reaches the gate pieces made before the file's.
    ASSERT_GT(statue_file_start, 0);
    ASSERT_TRUE(run("r = kz.pose_statue(-1, 1, [1, 2, 3], [4, 5, 6], [1, 0, 0, 0, 1, 0, 0, 0, 1]);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(get_statue(statue_file_start - 1)->pose_count, 1);
}

TEST_F(ScriptFunctions, StatuesMoveOnTheGroundOrExactlyButNeverWithAShape)
{
    ASSERT_TRUE(race_with("var r;"));
    Statue *shaped = get_statue(statue_file_start);
    Statue *plain = get_statue(statue_file_start + 2);
    ASSERT_NE(shaped->shape, nullptr);
    ASSERT_EQ(plain->shape, nullptr);
    Statue shaped_before = *shaped;

    current_terrain->change_state = 0;
    ASSERT_TRUE(run("r = kz.move_statue(0, 50, 1, 60, 0.5);"));
    EXPECT_EQ(number("r"), 0.0);
    EXPECT_EQ(memcmp(shaped, &shaped_before, sizeof *shaped), 0);
    EXPECT_EQ(current_terrain->change_state, 0);

    ASSERT_TRUE(run("r = kz.move_statue(2, 50.5, 1.25, 60.25, 0.5);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(plain->x, 50.5f);
    EXPECT_EQ(plain->z, 60.25f);
    EXPECT_EQ(plain->height_offset, 1.25f);
    EXPECT_EQ(plain->yaw, 0.5f);
    EXPECT_EQ(plain->y, sample_ground_height(current_terrain, 50.5f, 60.25f) + 1.25f);
    float basis[9];
    compute_ground_basis(basis, 50.5f, 60.25f, 0.5f);
    EXPECT_EQ(memcmp(basis, plain->orientation, sizeof basis), 0);
    EXPECT_EQ(current_terrain->change_state, 7);

    // Values that are not finite, or not as floats, change nothing.
    Statue placed = *plain;
    for (const char *bad : {"NaN, 1, 1, 0", "1, Infinity, 1, 0", "1, 1, -1e300, 0", "1, 1, 1, NaN", "1, 1e39, 1, 0"}) {
        ASSERT_TRUE(run(std::string("r = kz.move_statue(2, ") + bad + ");"));
        EXPECT_EQ(number("r"), 0.0) << bad;
        EXPECT_EQ(memcmp(plain, &placed, sizeof placed), 0) << bad;
    }

    // Exactly: the matrix is read column by column; the height offset stays.
    current_terrain->change_state = 0;
    ASSERT_TRUE(run("r = kz.move_statue_absolute(2, 1, 2, 3, [1, 2, 3, 4, 5, 6, 7, 8, 9]);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(plain->y, 2.0f);
    EXPECT_EQ(plain->height_offset, 1.25f);
    const float by_rows[9] = {1, 4, 7, 2, 5, 8, 3, 6, 9};
    EXPECT_EQ(memcmp(plain->orientation, by_rows, sizeof by_rows), 0);
    EXPECT_EQ(current_terrain->change_state, 7);
    placed = *plain;
    for (const char *bad : {"1, 2, 3, [1, 2, 3, 4, NaN, 6, 7, 8, 9]", "1, 2, 3, [1, 2, 3]", "1, 2, 3, 7",
                            "1, NaN, 3, [1, 2, 3, 4, 5, 6, 7, 8, 9]"}) {
        ASSERT_TRUE(run(std::string("r = kz.move_statue_absolute(2, ") + bad + ");"));
        EXPECT_EQ(number("r"), 0.0) << bad;
        EXPECT_EQ(memcmp(plain, &placed, sizeof placed), 0) << bad;
    }
    ASSERT_TRUE(run("r = kz.move_statue_absolute(0, 1, 2, 3, [1, 0, 0, 0, 1, 0, 0, 0, 1]);"));
    EXPECT_EQ(number("r"), 0.0);
}

TEST_F(ScriptFunctions, BillboardsMoveResizeAndTakeColours)
{
    ASSERT_TRUE(race_with("var r;"));
    ASSERT_GT(billboard_file_start, 0);   // particles come first
    ASSERT_EQ(billboard_table.count, billboard_file_start + 2);
    Billboard *second = get_billboard(billboard_file_start + 1);
    Billboard before_file = *get_billboard(billboard_file_start - 1);

    ASSERT_TRUE(run("r = kz.move_billboard(1, 30.5, 2, 40.25);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(second->x, 30.5f);
    EXPECT_EQ(second->z, 40.25f);
    EXPECT_EQ(second->y, sample_ground_height(current_terrain, 30.5f, 40.25f) + 2.0f);
    ASSERT_TRUE(run("r = kz.move_billboard_absolute(1, -5, 6, 7);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(second->x, -5.0f);
    EXPECT_EQ(second->y, 6.0f);
    EXPECT_EQ(second->z, 7.0f);
    float height = second->height;
    ASSERT_TRUE(run("r = kz.size_billboard(1, 4.5);"));
    EXPECT_EQ(number("r"), 1.0);
    EXPECT_EQ(second->width, 4.5f);
    EXPECT_EQ(second->height, height);
    ASSERT_TRUE(run("r = kz.color_billboard(1, 2, -1, 0.5, 1);"));
    EXPECT_EQ(number("r"), 1.0);
    const uint8_t rgba[4] = {255, 0, 128, 255};
    EXPECT_EQ(memcmp(second->colour, rgba, 4), 0);
    ASSERT_TRUE(run("r = kz.color_billboard(1, NaN, 0.1, 1e300, -Infinity);"));
    const uint8_t odd[4] = {0, 26, 255, 0};
    EXPECT_EQ(memcmp(second->colour, odd, 4), 0);

    // Nothing that is not finite, and nothing before the file's first.
    Billboard kept = *second;
    for (const char *code : {"kz.move_billboard(1, NaN, 0, 0)", "kz.move_billboard(1, 0, 1e39, 0)",
                             "kz.move_billboard(1, 0, 0, 1e300)", "kz.move_billboard_absolute(1, 0, Infinity, 0)",
                             "kz.size_billboard(1, NaN)", "kz.size_billboard(1, -1e39)",
                             "kz.move_billboard(2, 1, 1, 1)"}) {
        ASSERT_TRUE(run(std::string("r = ") + code + ";"));
        EXPECT_EQ(number("r"), 0.0) << code;
        EXPECT_EQ(memcmp(second, &kept, sizeof kept), 0) << code;
    }
    ASSERT_TRUE(run("r = kz.move_billboard(-1, 1, 1, 1) + kz.size_billboard(-1, 1);"));
    EXPECT_EQ(number("r"), 0.0);
    EXPECT_EQ(memcmp(get_billboard(billboard_file_start - 1), &before_file, sizeof before_file), 0);
}
