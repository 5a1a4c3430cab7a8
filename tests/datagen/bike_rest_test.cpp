// The generated bike and rider as the physics and the drawing see them: the
// stock shapes digest to the constant the shell accepts; a bike at rest on
// flat ground stands on both wheels with no sphere of its other shapes in
// the ground; and the rider mesh, skinned with the game's own bones for
// that bike, holds the grips and stands on the pegs.
#include "gamedata_fixture.h"

#include "app/bike_setup.h"
#include "app/default_data.h"
#include "app/key_value_file.h"
#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "bike/rider_pose.h"
#include "bike/shape.h"
#include "core/digest.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/model.h"
#include "track/track.h"

#include <cmath>
#include <cstdio>

namespace {

const char *const FLAT_TRACK = "tracks/flat";

// A flat track in the home folder: grid exponent 7, 2 ft cells, height 0.
void write_flat_track()
{
    std::string dir = test_home_dir() + FLAT_TRACK + "/";
    const int side = 257;
    write_file(dir + "terrain.hf", "7 2.0 0.0 8.0\n:" + std::string((size_t)side * side * 2, '\0'));
    write_file(dir + "shadingx2.ppm", "P6\n257 257\n255\n" + std::string((size_t)side * side * 3, (char)64));
    write_file(dir + "tileinfo", "name dirt\nfriction 1.0 1\nroll_resist 1 2 1\naddtile\n");
    write_file(dir + "tilemap", std::string(128 * 128, '\0'));
}

// World point of a body-local point.
void world_point(dBodyID body, const float *local, double *out)
{
    dVector3 p;
    dBodyGetRelPointPos(body, local[0], local[1], local[2], p);
    for (int k = 0; k < 3; k++)
        out[k] = p[k];
}

struct BikeAtRest : testing::Test {
    BikeState *bike = nullptr;
    int saved_auto_dab = bike_setup.auto_dab.selected;
    void SetUp() override
    {
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        write_flat_track();
        // The player's setup dabs when stopped by default, which puts both
        // feet on the ground at rest; this rider keeps them on the pegs.
        ASSERT_EQ(parse_setup_key("auto_dab", "No"), LINE_TAKEN);
        HeadlessRace race{};
        race.track = FLAT_TRACK;
        race.slot_codes[0] = SLOT_PLAYER;
        race.laps = 1;
        ASSERT_TRUE(start_headless_race(&race));
        bike = bike_slots[0];
        ASSERT_NE(bike, nullptr);
        // Brakes on, feet on the pegs, until the bike has settled.
        run_headless_tics(2 * TIC_RATE,
                          [](int, const BikeState *, RiderControls *c, void *) {
                              c->front_brake = c->rear_brake = 1;
                          },
                          nullptr);
    }
    void TearDown() override
    {
        bike_setup.auto_dab.selected = saved_auto_dab;
        free_race_world();
    }
};

}  // namespace

TEST(StockShapes, DigestToTheGeneratedConstant)
{
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/data");
    static const char *const FILES[] = {"@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
                                        "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp",
                                        "@generic_rider.shp"};
    Ripemd160Context digest;
    ripemd160_init(&digest);
    for (const char *name : FILES) {
        GameFile *file = file_open(name, "rb");
        ASSERT_NE(file, nullptr) << name;
        uint8_t block[1024];
        int got;
        while ((got = file_read(file, block, sizeof block)) > 0)
            ripemd160_update(&digest, block, got);
        file_close(file);
    }
    ripemd160_final(&digest);
    char hex[41];
    for (int i = 0; i < RIPEMD160_DIGEST_SIZE; i++)
        snprintf(hex + 2 * i, 3, "%02x", digest.digest[i]);
    EXPECT_STREQ(hex, GENERATED_STOCK_SHAPE_DIGEST);
    std::string manifest;
    ASSERT_TRUE(read_file(gamedata_dir() + "/manifest.txt", &manifest));
    EXPECT_NE(manifest.find(std::string("stock shapes ") + hex), std::string::npos);
}

TEST_F(BikeAtRest, StandsOnBothWheelsWithNoShapeInTheGround)
{
    EXPECT_GT(bike->front_contact.depth, 0.0f) << "front wheel up";
    EXPECT_GT(bike->rear_contact.depth, 0.0f) << "rear wheel up";
    EXPECT_EQ(bike->crash_timer, 0);
    struct Part {
        const char *name;
        dBodyID body;
        const CollisionShape *shape;
    };
    const Part parts[] = {{"frame", bike->frame_body, bike->frame_shape},
                          {"fork upper", bike->fork_upper_body, bike->fork_upper_shape},
                          {"fork lower", bike->fork_lower_body, bike->fork_lower_shape},
                          {"swingarm", bike->swingarm_body, bike->swingarm_shape},
                          {"rider", bike->rider_body, bike->rider_shape}};
    for (const Part &part : parts) {
        ASSERT_NE(part.shape, nullptr) << part.name;
        ASSERT_GT(part.shape->sphere_count, 0) << part.name;
        for (int i = 0; i < part.shape->sphere_count; i++) {
            const ShapeSphere *s = &part.shape->spheres[i];
            const float centre[3] = {s->x, s->y, s->z};
            double world[3];
            world_point(part.body, centre, world);
            EXPECT_GE(world[1] - s->radius, 0.0) << part.name << " sphere " << i << " in the ground";
        }
    }
}

TEST_F(BikeAtRest, TheSkinnedRiderHoldsTheGripsAndStandsOnThePegs)
{
    Model *body = parse_model("@rider_body.jm");
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->bone_count, RIDER_BONE_COUNT);
    RiderPoseInput input;
    get_rider_pose_input(bike, &input);
    ASSERT_EQ(input.foot_down_amount, 0.0f) << "a foot is down";
    RiderBones bones;
    compute_torso_bone(&input, &bones);
    compute_leg_bones(&input, &bones);
    compute_arm_bones(&input, &bones);
    const float *figure = input.model->rider_figure;
    const float *centres = figure + FIGURE_BONE_CENTRES;

    // Every vertex skinned as the drawing skins it.
    auto skin = [&](const Model *mesh, int v, double *out) {
        const float *rest = mesh->positions + 3 * (mesh->vertex_count + v);
        out[0] = out[1] = out[2] = 0.0;
        for (int k = 0; k < 4; k++) {
            float w = mesh->weights[4 * v + k];
            int b = mesh->bone_indices[4 * v + k];
            if (w == 0.0f || b < 0 || b >= RIDER_BONE_COUNT)
                continue;
            const float *r = bones.rotation[b], *c = centres + 3 * b;
            float d[3] = {rest[0] - c[0], rest[1] - c[1], rest[2] - c[2]};
            for (int i = 0; i < 3; i++)
                out[i] += w * (r[i] * d[0] + r[3 + i] * d[1] + r[6 + i] * d[2] + bones.position[b][i]);
        }
    };
    // The glove: the vertices within 0.35 ft of the forearm's far end in
    // the rest pose (a forearm's length out along x); the boot's sole: the
    // lowest of those within 0.7 ft of the shin's far end (a shin's length
    // down). Their middle once skinned is the hand or the foot.
    struct End {
        const char *name;
        int bone;
        float offset[3];
        dBodyID body;
        int figure_point;
        int sole;
    };
    const float forearm = figure[FIGURE_FOREARM_LENGTH], shin = figure[FIGURE_SHIN_LENGTH];
    const End ends[] = {
        {"left hand", BONE_LEFT_FOREARM, {-forearm, 0, 0}, bike->fork_upper_body, FIGURE_LEFT_HAND, 0},
        {"right hand", BONE_RIGHT_FOREARM, {forearm, 0, 0}, bike->fork_upper_body, FIGURE_RIGHT_HAND, 0},
        {"left foot", BONE_LEFT_SHIN, {0, -shin, 0}, bike->frame_body, FIGURE_LEFT_FOOT, 1},
        {"right foot", BONE_RIGHT_SHIN, {0, -shin, 0}, bike->frame_body, FIGURE_RIGHT_FOOT, 1}};
    for (const End &end : ends) {
        const float *c = centres + 3 * end.bone;
        float tip[3] = {c[0] + end.offset[0], c[1] + end.offset[1], c[2] + end.offset[2]};
        double sum[3] = {0, 0, 0};
        int count = 0;
        float reach = end.sole ? 0.7f : 0.35f, lowest = 1e9f;
        auto near_tip = [&](const float *rest) {
            return std::hypot(rest[0] - tip[0], rest[1] - tip[1], rest[2] - tip[2]) <= reach;
        };
        for (const Model *mesh = body; mesh; mesh = mesh->next)
            for (int v = 0; v < mesh->vertex_count; v++) {
                const float *rest = mesh->positions + 3 * (mesh->vertex_count + v);
                if (near_tip(rest))
                    lowest = std::fmin(lowest, rest[1]);
            }
        for (const Model *mesh = body; mesh; mesh = mesh->next)
            for (int v = 0; v < mesh->vertex_count; v++) {
                const float *rest = mesh->positions + 3 * (mesh->vertex_count + v);
                if (!near_tip(rest) || (end.sole && rest[1] > lowest + 0.02f))
                    continue;
                double posed[3];
                skin(mesh, v, posed);
                for (int i = 0; i < 3; i++)
                    sum[i] += posed[i];
                count++;
            }
        ASSERT_GT(count, 3) << end.name << ": no mesh at the limb's end";
        double target[3];
        world_point(end.body, figure + end.figure_point, target);
        double miss = std::hypot(sum[0] / count - target[0], sum[1] / count - target[1], sum[2] / count - target[2]);
        EXPECT_LT(miss, 0.15) << end.name;
    }
    free_model(body);
}

// The first-person body leaves the head out: nothing of it within half a
// foot of the head point, where the eye is.
TEST(FirstPersonRider, HasNothingNearTheEye)
{
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/data");
    Model *body = parse_model("@rider_body_fp.jm");
    ASSERT_NE(body, nullptr);
    const float *head = bike_models[0].rider_figure + FIGURE_HEAD;
    int vertices = 0;
    for (const Model *level = body; level; level = level->lower)
        for (const Model *mesh = level; mesh; mesh = mesh->next)
            for (int v = 0; v < mesh->vertex_count; v++) {
                const float *rest = mesh->positions + 3 * (mesh->vertex_count + v);
                EXPECT_GT(std::hypot(rest[0] - head[0], rest[1] - head[1], rest[2] - head[2]), 0.5f);
                vertices++;
            }
    EXPECT_GT(vertices, 100);
    free_model(body);
}
