// Model files: the three layouts, triangle cleaning and tangents, bone
// weights, the cache with its levels of detail and partial free, the
// POV-Ray text, and hostile files refused cleanly.
#include "render/model.h"

#include "core/file.h"
#include "gl_fixture.h"
#include "render/render_settings.h"
#include "tests/core/file_fixtures.h"

#include <cmath>

namespace {

Model *parse_text(const std::string &text, const char *name = "@m.jm")
{
    write_file(test_data_dir() + (name + 1), text);
    return parse_model(name);
}

// A unit square in the x-y plane as two triangles, texture u along x.
const char *SQUARE_VERTICES = "0 0 0 0 0 1 0 0\n"
                              "1 0 0 0 0 1 1 0\n"
                              "1 1 0 0 0 1 1 1\n"
                              "0 1 0 0 0 1 0 1\n";

} // namespace

TEST(Models, OldLayout)
{
    Model *m = parse_text(std::string("4 2\n") + SQUARE_VERTICES + "0 1 2 0 2 3\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertex_count, 4);
    EXPECT_EQ(m->triangle_count, 2);
    EXPECT_EQ(m->bone_count, 0);
    EXPECT_EQ(m->material, 32.0f);
    for (float c : m->colour)
        EXPECT_EQ(c, 1.0f);
    EXPECT_EQ(m->coordinates[1], 1.0f);   // v turned into 1 - v
    EXPECT_EQ(m->coordinates[5], 0.0f);
    EXPECT_EQ(m->next, nullptr);
    EXPECT_EQ(m->weights, nullptr);
    // u grows along x, and with v turned the frame is mirrored: the
    // tangent turns to -x.
    for (int v = 0; v < 4; v++) {
        EXPECT_FLOAT_EQ(m->tangents[3 * v], -1.0f) << v;
        EXPECT_FLOAT_EQ(m->tangents[3 * v + 1], 0.0f) << v;
    }
    EXPECT_FLOAT_EQ(m->density_s, 1.0f);
    EXPECT_EQ(m->display_list, 0u);   // no context here
    free_model(m);
}

TEST(Models, Jm1MeshesAndTheirMaterials)
{
    std::string text = "JM1\n"
                       "16 0.5 0.2 0.3 0.4 4 2\n" + std::string(SQUARE_VERTICES) + "0 1 2 0 2 3\n"
                       "-1 0.25 1 1 1 4 1\n" + SQUARE_VERTICES + "0 1 2\n"
                       "-2 0.75 1 0.5 0 4 1\n" + SQUARE_VERTICES + "0 2 3\n";
    Model *m = parse_text(text);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->material, 16.0f);
    EXPECT_EQ(m->colour[3], 1.0f);   // a specular mesh is opaque
    EXPECT_FLOAT_EQ(m->colour[0], 0.2f);
    EXPECT_EQ(m->environment, 1);    // any mesh reflective
    ASSERT_NE(m->next, nullptr);
    EXPECT_EQ(m->next->material, -1.0f);
    EXPECT_EQ(m->next->colour[3], 0.25f);   // the reflectivity is kept
    ASSERT_NE(m->next->next, nullptr);
    EXPECT_EQ(m->next->next->colour[3], 0.75f);
    EXPECT_EQ(m->next->next->next, nullptr);
    free_model(m);
}

TEST(Models, Jm2BoneWeights)
{
    std::string text = "JM2\n3 skeleton\n"
                       "8 1 1 1 1 3 1\n"
                       "0 0 0 0 0 1 0 0  0.5 0.5 0\n"
                       "1 0 0 0 0 1 1 0  0 0 0\n"        // no weight: a quarter each
                       "0 1 0 0 0 1 0 1  0 -2 3\n"       // a negative weight is ignored
                       "0 1 2\n";
    Model *m = parse_text(text);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->bone_count, 3);
    ASSERT_NE(m->weights, nullptr);
    EXPECT_FLOAT_EQ(m->weights[0], 0.5f);
    EXPECT_FLOAT_EQ(m->weights[1], 0.5f);
    EXPECT_EQ(m->bone_indices[0], 0);
    EXPECT_EQ(m->bone_indices[1], 1);
    for (int k = 0; k < 4; k++)
        EXPECT_FLOAT_EQ(m->weights[4 + k], 0.25f);
    EXPECT_FLOAT_EQ(m->weights[8], 1.0f);
    EXPECT_EQ(m->bone_indices[8], 2);
    // The rest pose follows the drawn one.
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(m->positions[9 + i], m->positions[i]);
        EXPECT_EQ(m->tangents[9 + i], m->tangents[i]);
    }
    free_model(m);
}

TEST(Models, FiveInfluencesKeepTheStrongestFourAndWarnOnce)
{
    std::string text = "JM2\n5 s\n8 1 1 1 1 3 1\n";
    for (int v = 0; v < 3; v++)
        text += "0 0 " + std::to_string(v) + " 0 0 1 0 0  0.1 0.4 0.2 0.2 0.3\n";
    text += "0 1 2\n";
    Model *m = parse_text(text);
    ASSERT_NE(m, nullptr);
    // Slots fill with bones 0..3; bone 4 (0.3) replaces the smallest, bone 0.
    EXPECT_EQ(m->bone_indices[0], 4);
    EXPECT_EQ(m->bone_indices[1], 1);
    EXPECT_FLOAT_EQ(m->weights[0], 0.3f / 1.1f);
    EXPECT_FLOAT_EQ(m->weights[1], 0.4f / 1.1f);
    EXPECT_EQ(count_message("Warning: vertex with more than 4 bone influences in '@m.jm'"), 1);
    free_model(m);
}

TEST(Models, CleaningDropsDegenerateAndOutOfRangeTriangles)
{
    // Triangle 1 repeats a corner, 2 points past the vertices, 3 is negative.
    Model *m = parse_text(std::string("4 5\n") + SQUARE_VERTICES + "0 1 2  0 0 2  0 1 4  -1 1 2  0 2 3\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->triangle_count, 2);
    EXPECT_EQ(m->triangles[3], 0);
    EXPECT_EQ(m->triangles[4], 2);
    EXPECT_EQ(m->triangles[5], 3);
    EXPECT_EQ(count_message("3 degenerate triangles deleted in @m.jm"), 1);
    free_model(m);
}

TEST(Models, HostileFilesAreRefusedCleanly)
{
    struct Case {
        const char *what;
        std::string text;
        bool loads;
    } cases[] = {
        {"negative vertex count", "-4 1\n0 1 2\n", false},
        {"negative triangle count", std::string("4 -1\n") + SQUARE_VERTICES, false},
        {"absurd vertex count", "2000000000 1\n", false},
        {"absurd triangle count", "JM1\n1 1 1 1 1 3 2000000000\n", false},
        {"33 bones", "JM2\n33 s\n1 1 1 1 1 0 0\n", false},
        {"negative bones", "JM2\n-1 s\n1 1 1 1 1 0 0\n", false},
        {"JM3", "JM3\n1 1 1 1 1 0 0\n", false},
        {"JM2 without its name", "JM2\n3\n", false},
        {"infinite position", std::string("4 1\n") + "1e999 0 0 0 0 1 0 0\n" + (SQUARE_VERTICES + 16) + "0 1 2\n", false},
        {"infinite colour", "JM1\n1 1 -1e999 1 1 0 0\n", false},
        {"NaN material", "JM1\nnan 1 1 1 1 0 0\n", false},
        {"short vertex data", "4 1\n0 0 0 0 0 1\n", false},
        {"short triangles", std::string("4 2\n") + SQUARE_VERTICES + "0 1 2 0\n", false},
        {"indices far out of range", std::string("4 2\n") + SQUARE_VERTICES + "0 1 2000000000 -2000000000 1 2\n", true},
        {"skinned mesh without vertices", "JM2\n2 s\n16 1 1 1 1 0 1\n0 1 2\n", true},
        {"infinite weight counts nothing", "JM2\n2 s\n1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0 1e999 1\n1 0 0 0 0 1 1 0 1 0\n0 1 0 0 0 1 0 1 0 1\n0 1 2\n", true},
        {"empty file", "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Model *m = parse_text(c.text);
        EXPECT_EQ(m != nullptr, c.loads);
        if (m != nullptr) {
            for (int i = 0; i < m->triangle_count * 3; i++) {
                EXPECT_GE(m->triangles[i], 0);
                EXPECT_LT(m->triangles[i], m->vertex_count);
            }
            for (int i = 0; m->weights && i < 4 * m->vertex_count; i++) {
                EXPECT_TRUE(std::isfinite(m->weights[i]));
            }
        }
        free_model(m);
    }
}

// Counts are held against what the rest of the file can hold (a number
// and a blank each) before anything is allocated: the largest counts in a
// file of 50 bytes (136 MB of skinned mesh) are refused with a log line; a
// file that holds its numbers to the last byte loads.
TEST(Models, CountsTheFileCannotHoldAreRefusedBeforeAllocating)
{
    std::string log = start_log_capture();
    struct Case {
        const char *what;
        std::string text;
        bool loads;
        const char *logged;
    } cases[] = {
        {"skinned mesh of the largest counts", "JM2\n32 s\n1 1 1 1 1 1048576 2097152\n0 0 0 0 0 1 0 0",
         false, "1048576 vertices and 2097152 triangles need 96468991 bytes, the file holds at most 16"},
        {"old layout of the largest counts", "1048576 2097152\n0 0 0 0 0 1 0 0 0 0 0 0 0 1 1 0", false,
         "1048576 vertices and 2097152 triangles need 29360127 bytes, the file holds at most 32"},
        {"one vertex too many", "JM1\n1 1 1 1 1 2 0\n0 0 0 0 0 1 0 0", false,
         "2 vertices and 0 triangles need 31 bytes, the file holds at most 16"},
        {"held to the last byte", "1 0\n0 0 0 0 0 1 0 0", true, nullptr},
        {"a triangle held to the last byte", std::string("4 1\n") + SQUARE_VERTICES + "0 1 2", true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Model *m = parse_text(c.text);
        EXPECT_EQ(m != nullptr, c.loads);
        free_model(m);
        if (c.logged) {
            std::string text = captured_log(log);
            EXPECT_NE(text.find(std::string("Model '@m.jm' refused: ") + c.logged), std::string::npos) << text;
        }
    }
}

TEST(Models, TheCacheAndItsPartialFree)
{
    write_file(test_data_dir() + "rock.jm", triangle_model_text());
    write_file(test_data_dir() + "tree.jm", triangle_model_text());
    write_file(test_data_dir() + "bush.jm", triangle_model_text());
    model_generation = 0;
    Model *rock = load_model("@rock.jm");   // start-up: generation 0
    ASSERT_NE(rock, nullptr);
    EXPECT_EQ(load_model("@rock.jm"), rock);
    EXPECT_EQ(message_log.next_line, 0);
    EXPECT_EQ(load_model("@ROCK.jm"), rock);
    EXPECT_EQ(count_message("Warning: case mismatch on '@ROCK.jm'"), 1);
    EXPECT_EQ(load_model("@missing.jm"), nullptr);
    EXPECT_EQ(load_model("@JM3.jm"), nullptr);

    model_generation = 1;
    Model *tree = load_model("@tree.jm");
    Model *bush = load_model("@bush.jm");
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(bush, nullptr);
    // The next race uses the bush only: the tree behind it stays.
    model_generation = 2;
    EXPECT_EQ(load_model("@bush.jm"), bush);
    debug_level = 1;
    free_models(0);
    EXPECT_EQ(count_message("deleting model @tree.jm"), 0);
    // A race that uses nothing frees back to the generation-0 rock.
    model_generation = 3;
    free_models(0);
    debug_level = 0;
    EXPECT_EQ(count_message("deleting model @bush.jm"), 1);
    EXPECT_EQ(count_message("deleting model @tree.jm"), 1);
    EXPECT_EQ(count_message("deleting model @rock.jm"), 0);
    EXPECT_EQ(load_model("@rock.jm"), rock);
    free_models(1);
}

TEST(Models, LevelsOfDetailFromTheFileIndex)
{
    write_file(test_data_dir() + "car.jm", triangle_model_text());
    write_file(test_data_dir() + "car_lod4.jm", triangle_model_text());
    write_file(test_data_dir() + "car_lod2.jm.gz", gzip_bytes(triangle_model_text()));
    write_file(test_data_dir() + "car_lod4b.jm", triangle_model_text());   // "4b": 4 as well
    write_file(test_data_dir() + "car_lodx.jm", triangle_model_text());    // no number
    write_file(test_data_dir() + "car_lod5000.jm", triangle_model_text()); // 2^5000 is not finite
    write_file(test_data_dir() + "car_lodnan.jm", triangle_model_text());
    write_file(test_data_dir() + "car_lod3.jm", "broken");                 // skipped
    write_file(test_data_dir() + "carb_lod1.jm", triangle_model_text());   // another stem
    Model *car = load_model("@car.jm");
    ASSERT_NE(car, nullptr);
    std::vector<float> distances;
    std::vector<std::string> names;
    for (const Model *level = car->lower; level; level = level->lower) {
        distances.push_back(level->lod_distance);
        names.push_back(level->name);
    }
    EXPECT_EQ(distances, (std::vector<float>{4, 16, 16}));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "@car_lod2.jm");
    // A level of equal distance goes before the ones already there; the
    // index is sorted, so "car_lod4b" is inserted after "car_lod4".
    EXPECT_EQ(names[1], "@car_lod4b.jm");
    EXPECT_EQ(names[2], "@car_lod4.jm");
    // Loaded by name (not through "@"): no levels.
    Model *plain = load_model((test_data_dir() + "car.jm").c_str());
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->lower, nullptr);
    free_models(1);
}

TEST(Models, PovRayText)
{
    Model *m = parse_text("JM1\n8 1 1 1 1 3 1\n"
                          "0 0 0 0 0 1 0 0\n"
                          "1 0 0 0 0 1 1 0\n"
                          "0 1 0 0 0 1 0 1\n"
                          "0 1 2\n"
                          "8 1 1 1 1 3 1\n"
                          "0 0 1 1 0 0 0.5 0.25\n"
                          "0 1 1 1 0 0 1 1\n"
                          "0 0 2 1 0 0 0 0\n"
                          "0 2 1\n");
    ASSERT_NE(m, nullptr);
    GameFile *file = file_open("@scene.pov", "wb");
    ASSERT_NE(file, nullptr);
    write_model_pov(m, file);
    write_model_pov_union(m, file);
    file_close(file);
    std::string text;
    ASSERT_TRUE(read_file(test_home_dir() + "scene.pov", &text));
    const std::string first = "mesh2 {\n"
                              "\tvertex_vectors {\n\t\t3\n"
                              "\t\t<0.000000,0.000000,0.000000>,\n"
                              "\t\t<1.000000,0.000000,0.000000>,\n"
                              "\t\t<0.000000,1.000000,0.000000>\n\t}\n"
                              "\tnormal_vectors {\n\t\t3\n"
                              "\t\t<0.000000,0.000000,1.000000>,\n"
                              "\t\t<0.000000,0.000000,1.000000>,\n"
                              "\t\t<0.000000,0.000000,1.000000>\n\t}\n"
                              "\tuv_vectors {\n\t\t3\n"
                              "\t\t<0.000000,1.000000>,\n"
                              "\t\t<1.000000,1.000000>,\n"
                              "\t\t<0.000000,0.000000>\n\t}\n"
                              "\tface_indices {\n\t\t1\n"
                              "\t\t<0,1,2>\n\t}\n"
                              "}\n";
    const std::string second = "mesh2 {\n"
                               "\tvertex_vectors {\n\t\t3\n"
                               "\t\t<0.000000,0.000000,1.000000>,\n"
                               "\t\t<0.000000,1.000000,1.000000>,\n"
                               "\t\t<0.000000,0.000000,2.000000>\n\t}\n"
                               "\tnormal_vectors {\n\t\t3\n"
                               "\t\t<1.000000,0.000000,0.000000>,\n"
                               "\t\t<1.000000,0.000000,0.000000>,\n"
                               "\t\t<1.000000,0.000000,0.000000>\n\t}\n"
                               "\tuv_vectors {\n\t\t3\n"
                               "\t\t<0.500000,0.750000>,\n"
                               "\t\t<1.000000,0.000000>,\n"
                               "\t\t<0.000000,1.000000>\n\t}\n"
                               "\tface_indices {\n\t\t1\n"
                               "\t\t<0,2,1>\n\t}\n"
                               "}\n";
    EXPECT_EQ(text, first + "union {\n" + first + second + "}\n");
    free_model(m);
}

TEST(Models, TextureSizesFromDensities)
{
    Model m = {};
    struct Case {
        float density;
        int size, expected;
    } cases[] = {{0.5f, 256, 512}, {2.0f, 256, 128}, {0.0f, 256, 8192}, {0.01f, 256, 8192}, {1.0f, 0, 0}};
    for (const Case &c : cases) {
        m.density_s = m.density_t = c.density;
        int s = -1, t = -1;
        model_texture_sizes(&m, c.size, &s, &t);
        EXPECT_EQ(s, c.expected) << c.density;
        EXPECT_EQ(t, c.expected) << c.density;
    }
}

struct ModelLists : GlTest {};

TEST_F(ModelLists, DisplayListsFollowTheMaterialAndShaders)
{
    write_file(test_data_dir() + "lists.jm", "JM1\n"
                                             "8 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n"
                                             "-1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n");
    Model *m = parse_model("@lists.jm");
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m->display_list, 0u);
    EXPECT_EQ(m->next->display_list, 0u);   // reflective: drawn from its arrays
    EXPECT_TRUE(glIsList(m->display_list));
    free_model(m);
    shader_programs_available = 1;
    m = parse_model("@lists.jm");
    shader_programs_available = 0;
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m->next->display_list, 0u);   // with shaders every mesh has one
    free_model(m);
}
