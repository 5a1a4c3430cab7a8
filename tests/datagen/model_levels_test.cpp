// Levels of detail of the generated models: the segment rule keeps every
// outline within a pixel at a level's distance with no more segments than
// that needs; each coarser level stays where the full model is; and the
// files load through the game's reader as one chain of levels at 16, 32,
// 64 and 128 ft, each with fewer triangles than the one before, the
// rider's skinned meshes keeping all nine bones; the track's stakes and
// tape thin out with distance and vanish where they are thinner than half
// a pixel.
#include "gamedata_fixture.h"

#include "bike/bike_models.h"
#include "render/model.h"
#include "support/render_fixtures.h"
#include "tools/datagen/gen_bikes.h"
#include "tools/datagen/gen_levels.h"
#include "tools/datagen/gen_props.h"
#include "tools/datagen/gen_rider.h"

#include <cmath>
#include <set>

namespace {

double chord_gap(float radius, int segments)
{
    return radius * (1.0 - std::cos(3.14159265358979323846 / segments));
}

}  // namespace

TEST(LevelSegments, KeepTheOutlineWithinAPixelWithTheFewestSegments)
{
    struct Case {
        int full;
        float radius;
        int least;
    };
    const Case cases[] = {
        {36, 1.16f, 6},    // a tyre
        {16, 0.58f, 3},    // the torso
        {10, 0.07f, 3},    // a frame tube
        {24, 0.45f, 3},    // a brake disc
        {10, 0.012f, 3},   // thinner than a pixel everywhere
        {8, 40.0f, 3},     // so wide that the full count is never enough
        {4, 0.5f, 6},      // least above full: full wins
    };
    for (const Case &c : cases) {
        int previous = c.full;
        EXPECT_EQ(level_segments(0, c.full, c.radius, c.least), c.full);
        for (int level = 1; level < MODEL_LEVELS; level++) {
            SCOPED_TRACE(testing::Message() << "radius " << c.radius << " level " << level);
            int n = level_segments(level, c.full, c.radius, c.least);
            int least = c.least < c.full ? c.least : c.full;
            EXPECT_GE(n, least);
            EXPECT_LE(n, c.full);
            EXPECT_LE(n, previous) << "a farther level has no more segments";
            double pixel = level_pixel(level);
            if (n < c.full) {
                EXPECT_LE(chord_gap(c.radius, n), pixel + 1e-6);
            }
            if (n > least) {
                EXPECT_GT(chord_gap(c.radius, n - 1), pixel) << "one segment fewer would still do";
            }
            previous = n;
        }
    }
    // A pixel at each level: twice as far, twice as wide.
    EXPECT_EQ(level_pixel(0), 0.0);
    for (int level = 2; level < MODEL_LEVELS; level++)
        EXPECT_NEAR(level_pixel(level), 2.0 * level_pixel(level - 1), 1e-9);
    EXPECT_NEAR(level_pixel(1) * 720.0 / 16.0, 2.0 * 0.75 * std::tan(40.0 * 3.14159265358979323846 / 180.0), 1e-9);
}

// Built through the generator's own code: every coarser level lies where
// the full model does, its bounds within a few pixels of the full ones
// (chords cut corners, thin pieces go), so no part moves or goes missing.
TEST(ModelLevels, CoarserLevelsKeepTheFullModelsBounds)
{
    struct Builder {
        const char *name;
        int kind;   // 0 rider mesh, 1 bike part, 2 wheel
        int which;
        const char *class_name;
    };
    const Builder builders[] = {
        {"rider body", 0, RIDER_MESH_BODY, nullptr},
        {"first-person body", 0, RIDER_MESH_FIRST_PERSON, nullptr},
        {"helmet", 0, RIDER_MESH_HELMET, nullptr},
        {"front wheel", 2, 0, nullptr},
        {"rear wheel", 2, 1, nullptr},
        {"frame 125", 1, MESH_FRAME, "125"},
        {"frame 450f", 1, MESH_FRAME, "450f"},
        {"upper fork", 1, MESH_FORK_UPPER, "250f"},
        {"lower fork", 1, MESH_FORK_LOWER, "250f"},
        {"swingarm", 1, MESH_SWINGARM, "250f"},
    };
    for (const Builder &b : builders) {
        float full_low[3] = {}, full_high[3] = {};
        for (int level = 0; level < MODEL_LEVELS; level++) {
            SCOPED_TRACE(testing::Message() << b.name << " level " << level);
            GenModel model;
            int ok = b.kind == 0   ? build_rider_mesh(&model, b.which, level)
                     : b.kind == 1 ? build_bike_part(&model, b.which, b.class_name, level)
                                   : build_wheel(&model, b.which, level);
            ASSERT_TRUE(ok);
            float low[3], high[3];
            model_bounds(&model, low, high);
            free_model_data(&model);
            if (level == 0) {
                for (int k = 0; k < 3; k++) {
                    full_low[k] = low[k];
                    full_high[k] = high[k];
                }
                continue;
            }
            double slack = 3.0 * level_pixel(level);
            for (int k = 0; k < 3; k++) {
                EXPECT_NEAR(low[k], full_low[k], slack) << "axis " << k;
                EXPECT_NEAR(high[k], full_high[k], slack) << "axis " << k;
            }
        }
    }
}

namespace {

struct LevelChain {
    std::string stem;
    int levels;     // files of the stem: the full one and the coarser ones
    bool skinned;
};

int triangles_of(const Model *level)
{
    int n = 0;
    for (const Model *mesh = level; mesh; mesh = mesh->next)
        n += mesh->triangle_count;
    return n;
}

// The bones a level's vertices lean on.
std::set<int> bones_used(const Model *level)
{
    std::set<int> bones;
    for (const Model *mesh = level; mesh; mesh = mesh->next)
        for (int v = 0; v < 4 * mesh->vertex_count; v++)
            if (mesh->weights[v] > 0.0f)
                bones.insert(mesh->bone_indices[v]);
    return bones;
}

}  // namespace

TEST(ModelLevels, LoadAsOneChainOfFewerTrianglesAndKeepTheirBones)
{
    std::string log = capture_log();
    ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
    use_game_data(gamedata_dir() + "/data");
    GameWindow *window = open_test_gl_window(64, 64);
    ASSERT_NE(window, nullptr);

    std::vector<LevelChain> chains = {
        {"rider_body", MODEL_LEVELS, true},   {"rider_body_fp", MODEL_LEVELS, true},
        {"rider_head", MODEL_LEVELS, false},  {"rider_plate", 1, true},
        {"front_wheel", MODEL_LEVELS, false}, {"rear_wheel", MODEL_LEVELS, false},
    };
    // One row of every engine class, each of its six parts.
    std::set<std::string> classes;
    for (int row = 0; row < BIKE_MODEL_COUNT; row++) {
        if (!classes.insert(bike_models[row].class_name).second)
            continue;
        for (int part = 0; part < BIKE_MESH_PARTS; part++) {
            bool plate = part == MESH_SIDE_PLATES || part == MESH_FRONT_PLATE;
            chains.push_back({std::string(bike_models[row].name) + BIKE_MESH_SUFFIXES[part], plate ? 1 : MODEL_LEVELS,
                              false});
        }
    }
    EXPECT_EQ(classes.size(), 5u);

    for (const LevelChain &chain : chains) {
        SCOPED_TRACE(chain.stem);
        std::string name = "@" + chain.stem + ".jm";
        const Model *model = load_model(name.c_str());
        ASSERT_NE(model, nullptr);
        std::set<int> full_bones = chain.skinned ? bones_used(model) : std::set<int>();
        if (chain.skinned && chain.levels > 1) {
            EXPECT_EQ(full_bones.size(), (size_t)RIDER_BONE_COUNT);
        }
        int count = 0, previous = 0;
        for (const Model *level = model; level; level = level->lower, count++) {
            SCOPED_TRACE(testing::Message() << "level " << count);
            int triangles = triangles_of(level);
            EXPECT_GT(triangles, 0);
            if (count > 0) {
                ASSERT_LT(count, MODEL_LEVELS);
                EXPECT_EQ(level->lod_distance, MODEL_LEVEL_TABLE[count].distance);
                EXPECT_LT(triangles, previous) << "no fewer triangles than the level before";
            }
            for (const Model *mesh = level; mesh; mesh = mesh->next)
                EXPECT_EQ(mesh->bone_count, chain.skinned ? RIDER_BONE_COUNT : 0);
            if (chain.skinned) {
                EXPECT_EQ(bones_used(level), full_bones) << "every bone keeps vertices";
            }
            previous = triangles;
        }
        EXPECT_EQ(count, chain.levels);
    }
    close_test_gl_window(window);
    expect_no_problem_lines(log);
}

namespace {

int generated_triangles(const GenModel *model)
{
    int n = 0;
    for (int m = 0; m < model->mesh_count; m++)
        n += model->meshes[m].triangles.count;
    return n;
}

}  // namespace

// Built through the generator: a coarser level of a stake or a tape
// segment has no more triangles than the one before and lies where the
// full one does; at 128 ft (a pixel 0.22 ft wide) both are thinner than
// half a pixel and draw nothing. Loaded, they make one chain of levels.
TEST(ModelLevels, TrackPropsThinOutAndVanishWithDistance)
{
    struct Prop {
        const char *name;
        int (*build)(GenModel *, int);
        int full_triangles;
    } props[] = {{"stake", build_stake, 12}, {"tape", build_tape, 16}};
    for (const Prop &prop : props) {
        float full_low[3] = {}, full_high[3] = {};
        int previous = 0;
        for (int level = 0; level < MODEL_LEVELS; level++) {
            SCOPED_TRACE(testing::Message() << prop.name << " level " << level);
            GenModel model;
            ASSERT_TRUE(prop.build(&model, level));
            int triangles = generated_triangles(&model);
            float low[3], high[3];
            if (triangles > 0)
                model_bounds(&model, low, high);
            free_model_data(&model);
            if (level == 0) {
                EXPECT_EQ(triangles, prop.full_triangles);
                for (int k = 0; k < 3; k++) {
                    full_low[k] = low[k];
                    full_high[k] = high[k];
                }
            } else {
                EXPECT_LE(triangles, previous);
                EXPECT_LT(triangles, prop.full_triangles);
                for (int k = 0; k < 3 && triangles > 0; k++) {
                    EXPECT_NEAR(low[k], full_low[k], 3.0 * level_pixel(level)) << "axis " << k;
                    EXPECT_NEAR(high[k], full_high[k], 3.0 * level_pixel(level)) << "axis " << k;
                }
            }
            EXPECT_EQ(triangles == 0, level == MODEL_LEVELS - 1);
            previous = triangles;
        }
    }

    std::string log = capture_log();
    ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
    use_game_data(gamedata_dir() + "/data");
    GameWindow *window = open_test_gl_window(64, 64);
    ASSERT_NE(window, nullptr);
    for (const char *name : {STAKE_MODEL, TAPE_MODEL}) {
        SCOPED_TRACE(name);
        const Model *model = load_model(name);
        ASSERT_NE(model, nullptr);
        int count = 0;
        for (const Model *level = model; level; level = level->lower, count++)
            if (count > 0) {
                EXPECT_EQ(level->lod_distance, MODEL_LEVEL_TABLE[count].distance);
            }
        EXPECT_EQ(count, MODEL_LEVELS);
        const Model *farthest = model;
        while (farthest->lower)
            farthest = farthest->lower;
        EXPECT_EQ(triangles_of(farthest), 0);
        EXPECT_GT(triangles_of(model), 0);
    }
    close_test_gl_window(window);
    expect_no_problem_lines(log);
}
