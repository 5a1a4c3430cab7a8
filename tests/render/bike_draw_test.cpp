// Bike and rider drawing: which parts each draw mode draws (every part
// mesh has its own power-of-two triangle count, so the polygon counter
// names them), the bodies untouched by a draw that leans the rider back,
// and a ghost at alpha 0 that leaves the frame's colour as it was.
#include "render/bike_draw.h"

#include "bike/bike_create.h"
#include "bike/packed_state.h"
#include "render/camera_views.h"
#include "render/gl_extensions.h"
#include "render/model_draw.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "support/test_support.h"
#include "tests/bike/bike_fixture.h"
#include "tests/core/file_fixtures.h"
#include "track/lighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// An old-layout model of n small triangles side by side in the body's xy
// plane, within a foot of its origin.
std::string strip_model(int n)
{
    std::string text = std::to_string(3 * n) + " " + std::to_string(n) + "\n";
    char line[128];
    for (int k = 0; k < n; k++) {
        float x0 = (float)k / n - 0.5f, x1 = (float)(k + 1) / n - 0.5f;
        snprintf(line, sizeof line, "%f -0.5 0 0 0 1 0 0\n%f -0.5 0 0 0 1 1 0\n%f 0.5 0 0 0 1 0 1\n", x0, x1, x0);
        text += line;
    }
    for (int k = 0; k < n; k++)
        text += std::to_string(3 * k) + " " + std::to_string(3 * k + 1) + " " + std::to_string(3 * k + 2) + "\n";
    return text;
}

// The part meshes of "cr125" and their triangle counts.
const struct {
    const char *name;
    int triangles;
} PART_MESHES[] = {
    {"cr125_frame.jm", 1},        {"cr125_fork_upper.jm", 2},  {"cr125_fork_lower.jm", 4},
    {"cr125_swingarm.jm", 8},     {"front_wheel.jm", 16},      {"rear_wheel.jm", 32},
    {"rider_body.jm", 64},        {"rider_body_fp.jm", 128},   {"rider_head.jm", 256},
    {"cr125_front_plate.jm", 512}, {"cr125_side_plates.jm", 1024}, {"rider_plate.jm", 2048},
};
enum { FRAME = 1, FORK_UPPER = 2, FORK_LOWER = 4, SWINGARM = 8, FRONT_WHEEL = 16, REAR_WHEEL = 32,
       RIDER = 64, RIDER_FIRST_PERSON = 128, HELMET = 256, FRONT_PLATE = 512, SIDE_PLATES = 1024,
       RIDER_PLATE = 2048 };

struct BikeDrawing : BikeWorld {
    BikeState *bike = nullptr;

    void make_bike(bool first_person_model = true)
    {
        use_known_names({"@cr125.png", "@wheels.png", "@rider_body.png", "@rider_head.png"});
        for (const auto &part : PART_MESHES)
            write_file(test_data_dir() + part.name, strip_model(part.triangles));
        if (!first_person_model)
            remove((test_data_dir() + "rider_body_fp.jm").c_str());
        bike = create_bike("cr125", 2, 1, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
        ASSERT_NE(bike->frame_model, nullptr);
        ASSERT_EQ(bike->rider_body_fp_model != nullptr, first_person_model);
        window_width = window_height = 64;
    }

    int drawn_triangles(int mode)
    {
        const float eye[3] = {0, 3, 20};
        model_polygon_count = 0;
        draw_bike(bike, mode, eye);
        return model_polygon_count;
    }
};

// Every body's pose and velocities, as bytes.
std::vector<uint8_t> body_bytes(const BikeState *bike)
{
    std::vector<uint8_t> out;
    for (dBodyID body : {bike->frame_body, bike->front_wheel_body, bike->rear_wheel_body, bike->fork_upper_body,
                         bike->fork_lower_body, bike->swingarm_body, bike->rider_body}) {
        auto add = [&](const dReal *p, int n) {
            out.insert(out.end(), (const uint8_t *)p, (const uint8_t *)(p + n));
        };
        add(dBodyGetPosition(body), 3);
        add(dBodyGetRotation(body), 12);
        add(dBodyGetQuaternion(body), 4);
        add(dBodyGetLinearVel(body), 3);
        add(dBodyGetAngularVel(body), 3);
    }
    return out;
}

}  // namespace

TEST_F(BikeDrawing, DrawModesChooseTheParts)
{
    make_bike();
    const int bike_parts = FRAME | FORK_UPPER | FORK_LOWER | FRONT_WHEEL | FRONT_PLATE | SIDE_PLATES;
    struct Case {
        const char *name;
        int mode, crash_timer, parts;
    } cases[] = {
        {"another rider: everything", BIKE_DRAW_OTHER, 0,
         bike_parts | SWINGARM | REAR_WHEEL | RIDER | HELMET | RIDER_PLATE},
        {"viewed, hidden: the bike without its back", BIKE_DRAW_VIEWED_HIDDEN, 0, bike_parts},
        {"viewed: the first-person body, no helmet", BIKE_DRAW_VIEWED, 0, bike_parts | RIDER_FIRST_PERSON},
        {"viewed, hidden, crashed: the whole bike", BIKE_DRAW_VIEWED_HIDDEN, 40, bike_parts | SWINGARM | REAR_WHEEL},
        {"viewed, crashed", BIKE_DRAW_VIEWED, 40, bike_parts | SWINGARM | REAR_WHEEL | RIDER_FIRST_PERSON},
        {"another rider, crashed", BIKE_DRAW_OTHER, 40,
         bike_parts | SWINGARM | REAR_WHEEL | RIDER | HELMET | RIDER_PLATE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bike->crash_timer = c.crash_timer;
        EXPECT_EQ(drawn_triangles(c.mode), c.parts);
    }
}

TEST_F(BikeDrawing, WithoutAFirstPersonBodyTheViewedRiderUsesItsBody)
{
    make_bike(false);
    const int bike_parts = FRAME | FORK_UPPER | FORK_LOWER | FRONT_WHEEL | FRONT_PLATE | SIDE_PLATES;
    EXPECT_EQ(drawn_triangles(BIKE_DRAW_VIEWED), bike_parts | RIDER);
}

TEST_F(BikeDrawing, DrawingLeavesTheBodiesAsTheyWere)
{
    make_bike();
    // The rider turned and pushed forward until its shoulders are half a
    // foot from the grips, so the drawing leans it back; and some motion.
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 0.3, 1.0, 0.2, 0.4);
    dBodySetRotation(bike->rider_body, turn);
    const float *figure = get_bike_state_model(bike)->rider_figure;
    dVector3 shoulder, grip;
    dBodyGetRelPointPos(bike->rider_body, 0, figure[FIGURE_LEFT_SHOULDER + 1], figure[FIGURE_LEFT_SHOULDER + 2],
                        shoulder);
    dBodyGetRelPointPos(bike->fork_upper_body, 0, figure[FIGURE_LEFT_HAND + 1], figure[FIGURE_LEFT_HAND + 2], grip);
    dReal gap[3] = {grip[0] - shoulder[0], grip[1] - shoulder[1], grip[2] - shoulder[2]};
    dReal length = sqrt(gap[0] * gap[0] + gap[1] * gap[1] + gap[2] * gap[2]);
    const dReal *p = dBodyGetPosition(bike->rider_body);
    dReal scale = (length - 0.5) / length;
    dBodySetPosition(bike->rider_body, p[0] + gap[0] * scale, p[1] + gap[1] * scale, p[2] + gap[2] * scale);
    dBodySetLinearVel(bike->rider_body, 30.0, 2.0, -50.0);
    dBodySetAngularVel(bike->front_wheel_body, 40.0, 0.0, 0.0);
    BikeDrawPose pose;
    compute_bike_draw_pose(bike, &pose);
    ASSERT_GT(pose.lean_back, 0.0f);

    uint8_t before[PACKED_STATE_SIZE], after[PACKED_STATE_SIZE];
    pack_rider_state(bike, before);
    std::vector<uint8_t> bodies = body_bytes(bike);
    for (int mode : {BIKE_DRAW_OTHER, BIKE_DRAW_VIEWED_HIDDEN, BIKE_DRAW_VIEWED})
        drawn_triangles(mode);
    pack_rider_state(bike, after);
    EXPECT_EQ(memcmp(before, after, sizeof before), 0);
    EXPECT_EQ(body_bytes(bike), bodies);
}

TEST_F(BikeDrawing, AGhostAtAlphaZeroLeavesTheColour)
{
    make_bike();
    track_lighting.near_plane = 0.5f;
    track_lighting.far_plane = 500.0f;
    // Looking along -z at the bike from 8 ft in front of its frame.
    const dReal *frame = dBodyGetPosition(bike->frame_body);
    const float eye[3] = {(float)frame[0], (float)frame[1], (float)frame[2] + 8.0f};
    float rotation[9];
    camera_matrix_from_angles(rotation, 0.0f, (float)M_PI);
    auto frame_pixels = [&](float alpha) {
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        set_projection(64, 64, 90.0f);
        const float view[16] = {rotation[0], rotation[1], rotation[2], 0, rotation[3], rotation[4], rotation[5], 0,
                                rotation[6], rotation[7], rotation[8], 0, 0, 0, 0, 1};
        glLoadMatrixf(view);
        glTranslatef(-eye[0], -eye[1], -eye[2]);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        bike_alpha = alpha;
        draw_bike(bike, BIKE_DRAW_OTHER, eye);
        bike_alpha = 1.0f;
        std::vector<uint8_t> pixels(64 * 64 * 3);
        glReadPixels(0, 0, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    };
    std::vector<uint8_t> cleared(64 * 64 * 3);
    for (size_t i = 0; i < cleared.size(); i += 3) {
        cleared[i] = 51;
        cleared[i + 1] = 102;
        cleared[i + 2] = 153;
    }
    std::vector<uint8_t> solid = frame_pixels(1.0f), ghost = frame_pixels(0.0f);
    int changed = 0;
    for (size_t i = 0; i < solid.size(); i++)
        changed += solid[i] != cleared[i];
    EXPECT_GT(changed, 100);   // the bike shows when drawn whole
    EXPECT_EQ(ghost, cleared);
}

TEST(HelmetPose, DefinedFromDegenerateMotion)
{
    const BikeModel *model = get_bike_model(0);
    ASSERT_NE(model, nullptr);
    BodyPose upright{};
    upright.rotation[0] = upright.rotation[4] = upright.rotation[8] = 1.0;
    upright.position[1] = 3.0;
    BodyPose flat{};   // a rotation of zeros: no axes at all
    const double inf = INFINITY;
    struct Case {
        const char *name;
        const BodyPose *rider;
        double velocity[3];
    } cases[] = {
        {"at rest", &upright, {0, 0, 0}},
        {"riding forward", &upright, {0, 0, -40}},
        {"the velocity along the body's z axis exactly", &upright, {0, 0, 32}},
        {"straight up", &upright, {0, 50, 0}},
        {"velocity not a number", &upright, {NAN, 0, inf}},
        {"zero axes", &flat, {0, 0, -40}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        float position[3], orientation[9];
        compute_helmet_pose_from(model, c.rider, c.velocity, position, orientation);
        for (float v : position)
            ASSERT_TRUE(std::isfinite(v));
        for (float v : orientation)
            ASSERT_TRUE(std::isfinite(v));
        if (c.rider == &upright) {
            // Unit, orthogonal columns.
            for (int a = 0; a < 3; a++)
                for (int b = 0; b < 3; b++) {
                    float dot = 0;
                    for (int i = 0; i < 3; i++)
                        dot += orientation[3 * i + a] * orientation[3 * i + b];
                    EXPECT_NEAR(dot, a == b ? 1.0f : 0.0f, 1e-4) << a << b;
                }
        }
    }
}
