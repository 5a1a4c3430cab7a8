// End to end: the loop track edited in the editor (a ramp raised across
// it, a gate moved, a statue copied), saved, then raced headless on the
// saved files by a scripted rider.
#include "race/race_fixture.h"

#include "app/command_line.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "app/shell.h"
#include "platform/window.h"
#include "render/gl_extensions.h"
#include "app/widgets.h"
#include "bike/crash.h"
#include "bike/physics_world.h"
#include "support/render_fixtures.h"
#include "bike/bike_state.h"
#include "editor/editor.h"
#include "render/overlay.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

const float RAMP_X = LOOP_X, RAMP_Z = LOOP_Z + LOOP_RADIUS;   // a quarter of the way round

struct EditorRace : RaceWorld {
    void SetUp() override
    {
        RaceWorld::SetUp();
        write_file(test_data_dir() + RACE_TRACK + "/statues", "[256.000000 0.000000 256.000000] 0.000000 null null null\n");
        // A second plain kind of ground to paint.
        write_file(test_data_dir() + RACE_TRACK + "/tileinfo", "name hardpack\nfriction 1.0 1\nslip_function 1\n"
                                                               "roll_resist 1 2 1\naddtile\n"
                                                               "name loam\nfriction 0.9 1\nslip_function 1\n"
                                                               "roll_resist 1 2 1\naddtile\n");
        window_width = window_height = 512;
        zoom_slider.value = 1.0;
        focus_slider.value = 0.5;
        submode_list.selected = SUBMODE_ASSIGN;
        menu_keys.cursor_left = 1000;
        mouse_held = 0;
        editor_on = 1;
    }
    void TearDown() override
    {
        editor_on = 0;
        RaceWorld::TearDown();
    }
    void point_at(float x, float z)
    {
        float u = editor_units_per_pixel();
        cursor_x = (int)lroundf((x - editor_state->centre_x) / u) + window_width / 2;
        cursor_y = (int)lroundf((z - editor_state->centre_z) / u) + window_height / 2;
    }
    void drag(float x0, float z0, float x1, float z1)
    {
        point_at(x0, z0);
        mouse_held = 1;
        editor_key(menu_keys.cursor_left, 1);
        point_at(x1, z1);
        apply_editor_tool();
        mouse_held = 0;
        editor_key(menu_keys.cursor_left, 0);
    }
};

TEST_F(EditorRace, AnEditedTrackIsSavedAndRiddenAsEdited)
{
    const int codes[1] = {1};
    ASSERT_TRUE(start(codes, 1, 1, 0));
    ASSERT_NE(editor_state, nullptr);
    // A ramp 2 ft high across the track: a line from inside the loop to outside it.
    set_editor_tool(TOOL_RAISE);
    strength_slider.value = 1.0;
    radius_slider.value = 20.0;   // 10 ft at half a foot per pixel
    point_at(RAMP_X, RAMP_Z - 25);
    editor_key('l', 1);
    drag(RAMP_X, RAMP_Z + 25, RAMP_X, RAMP_Z + 25);
    float ramp = sample_ground_height(current_terrain, RAMP_X, RAMP_Z);
    ASSERT_EQ(ramp, 2.0f);
    // Checkpoint 2 moved 5 ft out from the loop's centre.
    set_editor_tool(TOOL_TIMING_GATE);
    float gx, gz, dx, dz;
    loop_gate(2, &gx, &gz, &dx, &dz);
    float ox = (gx - LOOP_X) / LOOP_RADIUS * 5, oz = (gz - LOOP_Z) / LOOP_RADIUS * 5;
    drag(gx, gz, gx + ox, gz + oz);
    ASSERT_NEAR(timing_gates[2].x, gx + ox, 0.5f);
    // The statue in the middle copied beside it.
    set_editor_tool(TOOL_STATUES);
    drag(256, 256, 256, 256);
    ASSERT_EQ(editor_state->selected_statue, statue_file_start);
    point_at(270, 256);
    editor_key('d', 1);
    ASSERT_EQ(statue_table.count - statue_file_start, 2);
    // Loam painted across the track at the gate moved.
    set_editor_tool(TOOL_TILEMAP);
    ASSERT_EQ(tile_slider.maximum, 1.0);
    tile_slider.value = 1.0;
    radius_slider.value = 8.0;
    point_at(gx - 10, gz);
    editor_key('l', 1);
    drag(gx + 10, gz, gx + 10, gz);
    ASSERT_EQ(terrain_tile_at(current_terrain, gx, gz), &current_terrain->tiles[1]);
    editor_key('s', 1);
    ASSERT_STREQ(editor_state->status, "Saved!");
    float moved_x = timing_gates[2].x, moved_z = timing_gates[2].z;

    // A race on the saved track (beside the same game data), the editor off.
    TearDown();
    SetUp();
    editor_on = 0;
    ASSERT_TRUE(start(codes, 1, 1, 0));
    EXPECT_EQ(statue_table.count - statue_file_start, 2);
    EXPECT_EQ(timing_gates[2].x, moved_x);
    EXPECT_EQ(timing_gates[2].z, moved_z);
    EXPECT_EQ(sample_ground_height(current_terrain, RAMP_X, RAMP_Z), ramp);
    EXPECT_EQ(terrain_tile_at(current_terrain, gx, gz), &current_terrain->tiles[1]);
    EXPECT_EQ(terrain_tile_at(current_terrain, gx + 40, gz), &current_terrain->tiles[0]);
    BikeState *bike = get_slot_bike(0);
    ASSERT_NE(bike, nullptr);
    // The frame's mean height on the crest of the ramp and off it.
    double crest = 0.0, elsewhere = 0.0;
    int crest_tics = 0, elsewhere_tics = 0;
    for (int tics = 0; !bike->finished && tics < 120 * TIC_RATE; tics++) {
        run_headless_tics(1, ride_the_loop, nullptr);
        const dReal *p = dBodyGetPosition(bike->frame_body);
        if (fabs(p[0] - RAMP_X) < 3.0 && fabs(p[2] - RAMP_Z) < 10.0) {
            crest += p[1];
            crest_tics++;
        } else if (current_tic > race_settings.start_tic) {
            elsewhere += p[1];
            elsewhere_tics++;
        }
    }
    ASSERT_TRUE(bike->finished) << "gates passed " << bike->gates_passed;
    EXPECT_EQ(bike->gates_passed, LOOP_GATES);
    ASSERT_GT(crest_tics, 0);
    ASSERT_GT(elsewhere_tics, 0);
    // The frame is lifted by the ramp's 2 ft (at speed the bump throws it higher).
    double lift = crest / crest_tics - elsewhere / elsewhere_tics;
    EXPECT_GT(lift, ramp - 0.5);
    EXPECT_LT(lift, ramp + 2.0);
}

} // namespace

namespace {

TEST_F(EditorRace, TabSettlesTheBikesOnTheEditedGround)
{
    GameWindow *window = open_test_gl_window();
    ASSERT_NE(window, nullptr);
    const int codes[1] = {1};
    ASSERT_TRUE(start(codes, 1, 1, 0));
    BikeState *bike = get_slot_bike(0);
    ASSERT_NE(bike, nullptr);
    const dReal *p = dBodyGetPosition(bike->frame_body);
    float x = (float)p[0], y = (float)p[1], z = (float)p[2];
    // The ground under the bike raised 3 ft: its wheels are buried.
    Terrain *t = current_terrain;
    for (int row = (int)(z / t->cell) - 8; row <= (int)(z / t->cell) + 8; row++)
        for (int column = (int)(x / t->cell) - 8; column <= (int)(x / t->cell) + 8; column++)
            editor_set_height(t, column, row, 3.0f);
    ASSERT_TRUE(collide_bike_with_terrain(bike));
    empty_contact_group();
    MainLoop loop{};
    loop.view = VIEW_EDITOR;
    leave_editor_view(&loop);
    EXPECT_EQ(loop.view, VIEW_CHASE);
    float lifted = (float)dBodyGetPosition(bike->frame_body)[1] - y;
    EXPECT_GE(lifted, 2.75f);
    EXPECT_LE(lifted, 3.5f);
    EXPECT_NEAR(dBodyGetPosition(bike->frame_body)[0], x, 1e-3);
    free_race_world();
    close_test_gl_window(window);
}

} // namespace

namespace {

// The real loop with a window: Tab into the editor, a press held on the map
// through the event ring with the pointer warped there, '=' and Tab out.
void drive_the_editor_through_the_main_loop(EditorRace *fixture)
{
    GameWindow *window = open_gl_window("Rutline editor", 512, 512, 24, 8, 16, 0, 0);
    ASSERT_NE(window, nullptr);
    load_gl_extensions();
    game_window = window;
    bind_menu_keys(window);
    while (next_event(window, nullptr, nullptr)) {
    }
    const int codes[1] = {1};
    ASSERT_TRUE(fixture->start(codes, 1, 1, 0));
    CommandLineOptions options;
    default_command_line_options(&options);
    MainLoop loop;
    init_main_loop(&loop, &options);
    strength_slider.value = 3.0;
    radius_slider.value = 16.0;
    zoom_slider.value = 1.0;
    // An event pushed now is taken by the first tic whose time has come:
    // passes a few milliseconds apart until the ring is empty (however
    // slowly the machine runs them).
    auto key = [&](int code, int pressed) {
        push_event_now(window, code, pressed);
        for (int pass = 0; pass < 1000 && (pass < 2 || window->events.count > 0); pass++) {
            SDL_Delay(2);
            ASSERT_EQ(run_main_loop_pass(&loop), 1);
        }
    };
    ASSERT_EQ(run_main_loop_pass(&loop), 1);
    key(KEY_TAB, 1);
    key(KEY_TAB, 0);
    ASSERT_EQ(loop.view, VIEW_EDITOR);
    // The pointer 44 pixels right of the centre: map (278, 256) at half a foot a pixel.
    SDL_WarpMouseInWindow(get_window_handle(window), 256 + 44, 256);
    for (int pass = 0; pass < 100 && (cursor_x != 300 || cursor_y != 256); pass++) {
        SDL_PumpEvents();
        ASSERT_EQ(run_main_loop_pass(&loop), 1);
    }
    ASSERT_EQ(cursor_x, 300);
    ASSERT_EQ(cursor_y, 256);
    key(menu_keys.cursor_left, 1);
    EXPECT_EQ(mouse_held, 1);
    key(menu_keys.cursor_left, 0);
    EXPECT_EQ(editor_state->press, 0);
    EXPECT_EQ(sample_ground_height(current_terrain, 278, 256), 8.0f);
    EXPECT_EQ(sample_ground_height(current_terrain, 300, 256), 0.0f);
    key('=', 1);
    key('=', 0);
    EXPECT_EQ(zoom_slider.value, 1.5);
    key(KEY_TAB, 1);
    key(KEY_TAB, 0);
    EXPECT_EQ(loop.view, VIEW_CHASE);
    unbind_menu_keys();
    free_race_world();
    game_window = nullptr;
    close_gl_window(window);
}

// In a fresh process: the leak check at the end of a process that ran the
// loop with a window sometimes crashed in its own thread tracer (after the
// test had passed); that process ends without it and reports its failures
// by its exit status.
TEST_F(EditorRace, TheMainLoopDrivesTheEditorThroughItsEvents)
{
    if (in_fresh_process()) {
        drive_the_editor_through_the_main_loop(this);
        return;
    }
    std::string output;
    EXPECT_EQ(run_test_in_fresh_process(&output), 0) << output;
}

} // namespace
