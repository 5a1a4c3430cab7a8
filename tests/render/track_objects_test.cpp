// The scene's passes over the track's objects: billboard keys and their
// sort, the 2000-billboard width rule, the texture grouping with its
// overlap rule, nothing drawn looking straight down; the flaggers'
// textures by race phase and the rider-down warnings; text markers;
// statue culling and facing; and lens flares read back from a frame.
#include "render/track_objects.h"

#include "bike/bike_state.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/camera_views.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/text_marker.h"
#include "support/render_fixtures.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/timing.h"

#include "app/graphics_settings.h"
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct BillboardSetup {
    float x, z;
    int texture;
    int alpha;
    float size = 2.0f, width_factor = 1.0f;
};

// Fills the billboard table (y 0); every draw value starts at -7.
void set_billboards(const std::vector<BillboardSetup> &setups)
{
    if (!billboard_table.data)
        init_growable_array(&billboard_table, sizeof(Billboard));
    billboard_table.count = 0;
    for (const BillboardSetup &s : setups) {
        Billboard *b = (Billboard *)append_to_growable_array(&billboard_table);
        ASSERT_NE(b, nullptr);
        *b = Billboard{};
        b->x = s.x;
        b->z = s.z;
        b->width = s.size;           // the drawn height
        b->height = s.width_factor;  // drawn width = factor x height
        b->texture = s.texture;
        b->colour[0] = b->colour[1] = b->colour[2] = 255;
        b->colour[3] = (uint8_t)s.alpha;
        b->draw_value = -7;
    }
}

Billboard *billboard(int i)
{
    return (Billboard *)billboard_table.data + i;
}

std::vector<int> sorted_list()
{
    std::vector<int> out;
    for (const int *p = sorted_billboards(); *p != -1; p++)
        out.push_back(*p);
    return out;
}

// Looking along +z from the origin, level.
void level_camera(float *rotation)
{
    camera_matrix_from_angles(rotation, 0.0f, 0.0f);
}

struct ObjectTables : testing::Test {
    void TearDown() override
    {
        free_billboard_names();
        free_growable_array(&billboard_table);
        free_growable_array(&billboard_draw_slots);
        free_growable_array(&flagger_list);
        lap_gate_list = LapGateList{};
        timing_gate_count = 0;
        running_order_count = 0;
        clear_text_markers();
        free_growable_array(&text_markers);
        free_growable_array(&text_marker_order);
    }
};

}  // namespace

TEST_F(ObjectTables, BillboardsKeyedAndSortedFarthestFirst)
{
    const float inf = INFINITY;
    set_billboards({
        {0, 10, 1, 255},      // 0
        {0, 30, 1, 255},      // 1
        {0, 20, 1, 0},        // 2: transparent
        {0, -5, 1, 255},      // 3: behind the camera
        {0, 25, 0, 255},      // 4: no texture
        {0, NAN, 1, 255},     // 5: not a number
        {0, 2, 1, 255},       // 6: key on the camera plane (z minus the width term is the eye's z)
        {3, 25, 2, 255},      // 7
        {0, 1e12f, 3, 255},   // 8: so far its key is held at 0
        {0, -inf, 3, 255},    // 9: behind, held at INT_MAX
        {0, inf, 3, 255},     // 10: infinitely far: not drawn
    });
    float rotation[9];
    level_camera(rotation);
    const float eye[3] = {0.0f, 5.0f, 0.0f};
    EXPECT_EQ(sort_billboards(eye, rotation), 4);
    EXPECT_EQ(sorted_list(), (std::vector<int>{8, 1, 7, 0}));
    // Keys: 1024 a foot along the backward axis, width term included.
    EXPECT_EQ(billboard(0)->draw_value - billboard(1)->draw_value, 20 * 1024);
    EXPECT_EQ(billboard(8)->draw_value, 0);
    EXPECT_EQ(billboard(9)->draw_value, INT_MAX);
    // Transparent and untextured billboards get no key.
    EXPECT_EQ(billboard(2)->draw_value, -7);
    EXPECT_EQ(billboard(4)->draw_value, -7);

    // Turned round, the order turns round too.
    camera_matrix_from_angles(rotation, 0.0f, (float)M_PI);
    const float back[3] = {0.0f, 5.0f, 40.0f};
    EXPECT_EQ(sort_billboards(back, rotation), 5);
    std::vector<int> reversed = sorted_list();
    EXPECT_EQ(reversed.front(), 3);
    EXPECT_EQ(reversed.back(), 1);
}

TEST_F(ObjectTables, BillboardsAfterTheFirst2000AreKeyedWithoutTheirWidth)
{
    std::vector<BillboardSetup> setups(2001, BillboardSetup{0, 50, 1, 255, 3.0f, 2.0f});
    set_billboards(setups);
    float rotation[9];
    level_camera(rotation);
    const float eye[3] = {0, 0, 0};
    EXPECT_EQ(sort_billboards(eye, rotation), 2001);
    EXPECT_EQ(billboard(0)->draw_value, billboard(1999)->draw_value);
    EXPECT_EQ(billboard(2000)->draw_value - billboard(1999)->draw_value, -6 * 1024);
    // The one keyed without its width sorts as the farthest.
    EXPECT_EQ(sorted_list().front(), 2000);
}

TEST_F(ObjectTables, GroupingMovesSameTexturesTogetherUnlessSomethingOverlaps)
{
    const float eye[3] = {0, 0, 0};
    const float right[3] = {-1, 0, 0};   // looking along +z
    struct Case {
        const char *name;
        std::vector<BillboardSetup> setups;   // in sorted order
        int lookahead;
        std::vector<int> order;
    } cases[] = {
        {"apart: moved next to its texture",
         {{0, 30, 1, 255}, {20, 20, 2, 255}, {-20, 10, 1, 255}}, 8, {0, 2, 1}},
        {"in line between: left where it is",
         {{0, 30, 1, 255}, {0, 20, 2, 255}, {0.5f, 10, 1, 255}}, 8, {0, 1, 2}},
        {"one of two between overlaps",
         {{0, 30, 1, 255}, {30, 25, 2, 255}, {-1, 20, 3, 255}, {0, 10, 1, 255}}, 8, {0, 1, 2, 3}},
        {"neither of two overlaps: both shift up",
         {{0, 30, 1, 255}, {30, 25, 2, 255}, {-30, 20, 3, 255}, {0, 10, 1, 255}}, 8, {0, 3, 1, 2}},
        {"beyond the look-ahead", {{0, 30, 1, 255}, {20, 20, 2, 255}, {-20, 10, 1, 255}}, 2, {0, 1, 2}},
        {"look-ahead 1", {{0, 30, 1, 255}, {20, 20, 2, 255}, {-20, 10, 1, 255}}, 1, {0, 1, 2}},
        {"look-ahead 0", {{0, 30, 1, 255}, {20, 20, 2, 255}, {-20, 10, 1, 255}}, 0, {0, 1, 2}},
        {"already together", {{0, 30, 1, 255}, {0, 20, 1, 255}, {0, 10, 2, 255}}, 8, {0, 1, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        set_billboards(c.setups);
        std::vector<int> list;
        for (int i = 0; i < (int)c.setups.size(); i++)
            list.push_back(i);
        group_billboards(list.data(), (int)list.size(), eye, right, c.lookahead);
        EXPECT_EQ(list, c.order);
    }
}

TEST_F(ObjectTables, LookingStraightDownDrawsNoBillboards)
{
    set_billboards({{0, 10, 1, 255}, {5, -10, 1, 255}});
    const float eye[3] = {0, 100, 0};
    float rotation[9];
    camera_matrix_from_angles(rotation, (float)(-M_PI / 2), 0.0f);
    rotation[2] = rotation[8] = 0.0f;   // exactly down: no horizontal part
    billboard_count = 99;
    draw_billboard_pass(eye, rotation);   // returns before any drawing
    EXPECT_EQ(billboard_count, 0);
}

TEST_F(ObjectTables, FlaggerTexturesFollowTheRacePhase)
{
    set_billboards({{0, 0, 11, 255}, {0, 0, 21, 255}, {0, 0, 31, 255}, {0, 0, 41, 255}});
    // A track without timing gates: nothing changes.
    flagger_setup = FlaggerSetup{};
    flagger_setup.billboard_a = 0;
    flagger_setup.billboard_b = 1;
    for (int i = 0; i < 5; i++)
        flagger_setup.textures_a[i] = 11 + i;
    for (int i = 0; i < 4; i++)
        flagger_setup.textures_b[i] = 21 + i;
    const float start[3] = {10, 1, 10}, end[3] = {20, 3, 30};
    memcpy(flagger_setup.position_a, start, sizeof start);
    memcpy(flagger_setup.second_point, end, sizeof end);
    flagger_setup.value = 2.0f;
    race_settings.start_tic = 10 * 128;
    current_tic = 10 * 128 + 300;
    update_flaggers();
    EXPECT_EQ(billboard(0)->x, 0.0f);
    EXPECT_EQ(billboard(0)->texture, 11);

    lap_gate_list.first_lap_count = 3;
    lap_gate_list.normal_lap_count = 4;
    struct Phase {
        float travel;
        double seconds;   // after the whole second of the race start
        int texture;
        float f;          // the flagger's way from start to end
    } phases[] = {
        {2.0f, -1.0, 11, 0.0f}, {2.0f, 0.05, 11, 0.0f}, {2.0f, 0.2, 12, 0.0f}, {2.0f, 0.5, 13, 0.0f},
        {2.0f, 1.0, 14, 0.0f},  {2.0f, 2.0, 14, 0.5f},  {2.0f, 3.0, 15, 1.0f}, {2.0f, 9.0, 15, 1.0f},
        // No travel time: the end at once, a second after the start.
        {0.0f, 0.5, 13, 0.0f},  {0.0f, 1.0, 15, 1.0f},  {-3.0f, 1.0, 15, 1.0f}, {-3.0f, 0.99, 13, 0.0f},
    };
    for (const Phase &p : phases) {
        SCOPED_TRACE(p.travel);
        SCOPED_TRACE(p.seconds);
        flagger_setup.value = p.travel;
        current_tic = (int)lround((10.0 + p.seconds) * 128);
        update_flaggers();
        EXPECT_EQ(billboard(0)->texture, p.texture);
        EXPECT_FLOAT_EQ(billboard(0)->x, start[0] + p.f * (end[0] - start[0]));
        EXPECT_FLOAT_EQ(billboard(0)->z, start[2] + p.f * (end[2] - start[2]));
        EXPECT_FLOAT_EQ(billboard(0)->y, start[1] + p.f * (end[1] - start[1]));   // no terrain: height 0
    }

    // The lap flagger by the leader's laps done: 4 laps, half way at 2.
    race_settings.final_lap = 4;
    race_settings.halfway_lap = 2;
    running_order_count = 1;
    running_order[0] = {0, 0, 0};
    struct Lap {
        int gates, texture;
    } laps[] = {{0, 21}, {2, 21}, {6, 22}, {9, 22}, {10, 23}, {14, 24}, {40, 24}};
    for (const Lap &l : laps) {
        running_order[0].gates = l.gates;
        update_flaggers();
        EXPECT_EQ(billboard(1)->texture, l.texture) << l.gates;
    }
    running_order_count = 0;
}

TEST_F(ObjectTables, FlaggersWarnAtTheGateAheadOfAFallenRider)
{
    set_billboards({{0, 0, 1, 255}, {0, 0, 1, 255}, {0, 0, 1, 255}});
    flagger_setup = FlaggerSetup{};
    flagger_setup.billboard_a = flagger_setup.billboard_b = -1;
    timing_gate_count = 4;
    lap_gate_list.first_lap_count = 3;
    lap_gate_list.normal_lap_count = 4;
    // First lap: gates 0, 1, 2; a lap: 3, 1 (no timing gate), 2, 0.
    const int entries[] = {0, 1, 2, 3, 1 + NOT_TIMING_MARK, 2, 0};
    memcpy(lap_gate_list.entries, entries, sizeof entries);
    init_growable_array(&flagger_list, sizeof(Flagger));
    const Flagger flaggers[] = {
        {0, 100, 101, {1, -1, -1, -1}},
        {1, 200, 201, {-1, 500, 3, -1}},     // 500 is no gate of the track
        {2, 300, 301, {-1, -1, -1, -1}},
        {7, 400, 401, {0, 1, 2, 3}},        // no such billboard
    };
    for (const Flagger &f : flaggers)
        *(Flagger *)append_to_growable_array(&flagger_list) = f;

    clear_bike_states();
    bike_slots[5] = &bike_states[5];
    BikeState *bike = bike_slots[5];
    running_order_count = 1;
    running_order[0] = {5, 0, 0};
    struct Case {
        int gates, down;
        int textures[3];
    } cases[] = {
        {1, 0, {100, 200, 300}},   // riding: no warning
        {1, 1, {101, 200, 300}},   // down before gate 1
        {3, 1, {100, 201, 300}},   // down before gate 3 (the normal lap's first)
        {7, 1, {100, 201, 300}},   // a lap later, the same gate
        {4, 1, {101, 200, 300}},   // an entry with the robots' mark still names gate 1
        {2, 1, {100, 200, 300}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gates);
        bike->gates_passed = c.gates;
        bike->down = c.down;
        update_flaggers();
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(billboard(i)->texture, c.textures[i]) << i;
    }
    // A gate count past the lap list and an empty lap layout read nothing out of range.
    bike->gates_passed = 1 << 20;
    update_flaggers();
    lap_gate_list.normal_lap_count = 0;
    bike->gates_passed = 9;
    update_flaggers();
    EXPECT_EQ(billboard(1)->texture, 200);
    bike_slots[5] = nullptr;
    bike->down = 0;
}

TEST_F(ObjectTables, TextMarkersListCutSortAndClear)
{
    EXPECT_EQ(get_text_marker_distance(1, 2, 3), 1000000.0f);
    add_text_marker(0, 0, 10, "near");
    add_text_marker(0, 0, 40, std::string(2000, 'x').c_str());
    EXPECT_FLOAT_EQ(get_text_marker_distance(3, 4, 40), 5.0f);   // to the newest
    EXPECT_EQ(strlen(get_last_text_marker()), 1023u);
    add_text_marker(0, 0, 1.5f, "too close");
    add_text_marker(0, 0, -5, "behind");
    add_text_marker(NAN, 0, 20, "nowhere");
    add_text_marker(0, 0, 25, "middle");
    float rotation[9];
    level_camera(rotation);
    const float eye[3] = {0, 0, 0};
    sort_text_markers(eye, rotation);
    std::vector<int> order;
    for (const int *p = (const int *)text_marker_order.data; *p != -1; p++)
        order.push_back(*p);
    // More than 2 ft in front, farthest first.
    EXPECT_EQ(order, (std::vector<int>{1, 5, 0}));
    clear_text_markers();
    EXPECT_EQ(text_markers.count, 0);
    EXPECT_EQ(get_text_marker_distance(0, 0, 0), 1000000.0f);
    sort_text_markers(eye, rotation);
    EXPECT_EQ(((const int *)text_marker_order.data)[0], -1);
}

TEST_F(ObjectTables, StatuesCulledByDetailAndTurnedToFaceTheEye)
{
    Statue statue{};
    statue.x = 0;
    statue.z = 0;
    const float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double saved = model_detail_slider.value;
    struct Range {
        int detail;
        float distance;
        int drawn;
    } ranges[] = {{10, 1999, 1}, {10, 2001, 0}, {11, 1e9f, 1}, {5, 499, 1}, {5, 501, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const Range &r : ranges) {
        model_detail_slider.value = r.detail;
        const float eye[3] = {r.distance * 0.6f, 0, r.distance * 0.8f};
        EXPECT_EQ(statue_in_range(&statue, eye), r.drawn) << r.detail << " " << r.distance;
    }
    model_detail_slider.value = saved;

    struct Facing {
        const char *name;
        float facing;
        float eye[3];
        int turns;
    } facings[] = {
        {"never turns", 0.0f, {30, 0, 40}, 0},
        {"far enough", 10.0f, {30, 0, 40}, 1},
        {"too near", 100.0f, {30, 0, 40}, 0},
        {"straight above", 10.0f, {0, 500, 0}, 0},
        {"not a number", 10.0f, {NAN, 0, 4}, 0},
    };
    for (const Facing &f : facings) {
        SCOPED_TRACE(f.name);
        memcpy(statue.orientation, orientation, sizeof orientation);
        statue.yaw_power = f.facing;
        face_statue_to_eye(&statue, f.eye);
        if (!f.turns) {
            EXPECT_EQ(memcmp(statue.orientation, orientation, sizeof orientation), 0);
            continue;
        }
        const float *o = statue.orientation;
        // z toward the eye, level; y up; x = y cross z.
        EXPECT_FLOAT_EQ(o[2], 0.6f);
        EXPECT_FLOAT_EQ(o[5], 0.0f);
        EXPECT_FLOAT_EQ(o[8], 0.8f);
        EXPECT_FLOAT_EQ(o[4], 1.0f);
        EXPECT_FLOAT_EQ(o[0], 0.8f);
        EXPECT_FLOAT_EQ(o[6], -0.6f);
    }
}

// Lens flares need the frame: a bright patch where the source is, dark
// elsewhere, and the flare's element drawn at the opposite side.
class LensFlares : public testing::Test {
protected:
    GameWindow *window = nullptr;
    GLuint texture = 0;
    void SetUp() override
    {
        window = open_test_gl_window(64, 64);
        ASSERT_NE(window, nullptr);
        window_width = window_height = 64;
        track_lighting.near_plane = 0.5f;
        track_lighting.far_plane = 1000.0f;
        set_projection(64, 64, 90.0f);   // tangents 1 and 1
        std::vector<uint8_t> white(4 * 4 * 4, 255);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
        init_growable_array(&flare_list, sizeof(Flare));
        Flare *flare = (Flare *)append_to_growable_array(&flare_list);
        *flare = Flare{};
        // Straight ahead and half way to the right edge, at infinity.
        flare->position[0] = 0.5f;
        flare->position[2] = -1.0f;
        flare->directional = 1;
        flare->element_count = 1;
        flare->offset[0][1] = -1.0f;   // mirrored through the centre
        flare->colour[0][0] = 1.0f;
        flare->size[0] = 0.125f;
        flare->texture[0] = (int)texture;
    }
    void TearDown() override
    {
        free_flare_list();
        glDeleteTextures(1, &texture);
        close_test_gl_window(window);
    }
    // The frame: black, with a white patch around the source's pixel
    // unless dark; the depth left at the far plane.
    void frame(int bright)
    {
        glClearColor(0, 0, 0, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        if (bright) {
            glColor3f(1, 1, 1);
            glBegin(GL_QUADS);
            glVertex3f(0.4f, -0.1f, -1);
            glVertex3f(0.6f, -0.1f, -1);
            glVertex3f(0.6f, 0.1f, -1);
            glVertex3f(0.4f, 0.1f, -1);
            glEnd();
        }
        const float eye[3] = {0, 0, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        draw_lens_flares(eye, identity);
    }
    int red_at(int x, int y)
    {
        uint8_t rgb[3];
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return rgb[0];
    }
};

TEST_F(LensFlares, ShownOverBrightPixelsOnly)
{
    Flare *flare = (Flare *)flare_list.data;
    frame(1);
    EXPECT_FLOAT_EQ(flare->intensity, 1.0f);
    EXPECT_FLOAT_EQ(flare->screen[0], 0.5f);
    EXPECT_FLOAT_EQ(flare->screen[1], 0.0f);
    EXPECT_GT(red_at(16, 32), 200);   // the element at -0.5
    EXPECT_EQ(red_at(16, 48), 0);

    frame(0);
    EXPECT_EQ(flare->intensity, 0.0f);
    EXPECT_EQ(red_at(16, 32), 0);

    // Something near in front of the source hides it.
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glVertex3f(0.4f, -0.1f, -1);
    glVertex3f(0.6f, -0.1f, -1);
    glVertex3f(0.6f, 0.1f, -1);
    glVertex3f(0.4f, 0.1f, -1);
    glEnd();
    const float eye[3] = {0, 0, 0}, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    draw_lens_flares(eye, identity);
    EXPECT_EQ(flare->intensity, 0.0f);

    // Switched off: no flare and the intensities as they were.
    flare->intensity = 0.7f;
    int saved = lens_flare_list.selected;
    lens_flare_list.selected = 0;
    frame(1);
    EXPECT_FLOAT_EQ(flare->intensity, 0.7f);
    EXPECT_EQ(red_at(16, 32), 0);
    lens_flare_list.selected = saved;

    // A source that is not a number is skipped.
    flare->position[0] = NAN;
    lens_flare_list.selected = 1;
    frame(1);
    EXPECT_EQ(flare->intensity, 0.0f);
    lens_flare_list.selected = saved;
}
