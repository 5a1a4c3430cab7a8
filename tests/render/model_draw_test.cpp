// Drawing models on llvmpipe: a skinned strip against the same strip moved
// by the test and drawn rigid, with and without shaders; partial weights;
// the glowing mesh's light state; shininess limits; level-of-detail choice.
#include "render/model_draw.h"

#include "gl_fixture.h"
#include "render/camera.h"
#include "render/image.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "track/lighting.h"

#include <cmath>

namespace {

// A strip 3 ft long and 1 ft high: columns at x = 0, 1.5 and 3. Bone 0
// holds the left column, bone 1 the right, the middle is shared.
const char *STRIP = "JM2\n2 strip\n"
                    "8 1 1 1 1 6 4\n"
                    "0 0 0 0 0 1 0 0  1 0\n"
                    "0 1 0 0 0 1 0 1  1 0\n"
                    "1.5 0 0 0 0 1 0.5 0  0.5 0.5\n"
                    "1.5 1 0 0 0 1 0.5 1  0.5 0.5\n"
                    "3 0 0 0 0 1 1 0  0 1\n"
                    "3 1 0 0 0 1 1 1  0 1\n"
                    "0 2 3 0 3 1 2 4 5 2 5 3\n";

struct Pose {
    float centres[6];
    float translations[6];
    float rotations[18];   // column order
};

// Bone 0 still; bone 1 turned about z through its centre (1.5, 0) by the
// angle and moved.
Pose turned(float angle, float dx, float dy)
{
    float c = std::cos(angle), s = std::sin(angle);
    Pose p = {{0, 0, 0, 1.5f, 0, 0}, {0, 0, 0, 1.5f + dx, dy, 0},
              {1, 0, 0, 0, 1, 0, 0, 0, 1, c, s, 0, -s, c, 0, 0, 0, 1}};
    return p;
}

// The test's own skinning of one rest point.
void skin_point(const Model *m, const Pose &pose, int v, float out[3])
{
    const float *p = m->positions + 3 * m->vertex_count + 3 * v;
    out[0] = out[1] = out[2] = 0;
    for (int k = 0; k < 4; k++) {
        float w = m->weights[4 * v + k];
        int b = m->bone_indices[4 * v + k];
        if (w <= 0)
            continue;
        const float *r = pose.rotations + 9 * b;
        float d[3] = {p[0] - pose.centres[3 * b], p[1] - pose.centres[3 * b + 1], p[2] - pose.centres[3 * b + 2]};
        for (int i = 0; i < 3; i++)
            out[i] += w * (d[0] * r[i] + d[1] * r[3 + i] + d[2] * r[6 + i] + pose.translations[3 * b + i]);
    }
}

struct ModelDrawing : GlTest {
    int white = 0;
    void SetUp() override
    {
        window_size = 96;
        GlTest::SetUp();
        const std::vector<uint8_t> pixels = flat_pixels(4, 4, 4, {255, 255, 255, 255});
        std::vector<uint8_t> chain(mip_chain_bytes(4, 4, 4));
        memcpy(chain.data(), pixels.data(), pixels.size());
        build_rgba_mipmaps(chain.data(), 4, 4);
        white = make_texture(chain.data(), 4, 4, 4);
        glFogf(GL_FOG_DENSITY, 0.0f);
        const float one[4] = {1, 1, 1, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, one);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, one);
        glDisable(GL_CULL_FACE);
    }
    void TearDown() override
    {
        delete_texture(white);
        delete_shader_programs();
        shader_programs_available = 0;
        GlTest::TearDown();
    }
    // The strip drawn 20 pixels a foot from (20, 20).
    void place()
    {
        ortho();
        glTranslatef(20, 20, 0);
        glScalef(20, 20, 20);
    }
    void begin_drawing(bool shaders)
    {
        clear();
        place();
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, (GLuint)white);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glColor4f(1, 1, 1, 1);
        glDisable(GL_LIGHTING);
        if (shaders)
            bind_shader_slot(SHADER_LIT);
    }
    // Lit pixels of the frame as a mask.
    std::vector<bool> mask()
    {
        std::vector<uint8_t> pixels = read_back(0, 0, window_size, window_size);
        std::vector<bool> lit((size_t)window_size * window_size);
        for (size_t i = 0; i < lit.size(); i++)
            lit[i] = pixels[4 * i] > 100;
        bind_shader_slot(0);
        return lit;
    }
    static int differences(const std::vector<bool> &a, const std::vector<bool> &b)
    {
        int n = 0;
        for (size_t i = 0; i < a.size(); i++)
            n += a[i] != b[i];
        return n;
    }
    static int count(const std::vector<bool> &a)
    {
        int n = 0;
        for (bool b : a)
            n += b;
        return n;
    }
};

const float ORIGIN[3] = {0, 0, 0};
const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

} // namespace

TEST_F(ModelDrawing, SkinnedStripMatchesTheStripMovedByHand)
{
    for (bool shaders : {false, true}) {
        SCOPED_TRACE(shaders ? "shaders" : "fixed pipeline");
        if (shaders) {
            ASSERT_EQ(build_shader_programs(), 1);
            shader_programs_available = 1;
        }
        write_file(test_data_dir() + "strip.jm", STRIP);
        Model *strip = parse_model("@strip.jm");
        ASSERT_NE(strip, nullptr);
        EXPECT_EQ(strip->display_list != 0, shaders);

        begin_drawing(shaders);
        const Pose rest = turned(0, 0, 0);
        draw_model(strip, ORIGIN, ORIGIN, IDENTITY, rest.centres, rest.translations, rest.rotations, 2);
        std::vector<bool> at_rest = mask();

        for (const Pose &pose : {turned(0.9f, 0, 0.5f), turned(-0.6f, 0.25f, -0.2f)}) {
            begin_drawing(shaders);
            draw_model(strip, ORIGIN, ORIGIN, IDENTITY, pose.centres, pose.translations, pose.rotations, 2);
            std::vector<bool> skinned = mask();

            begin_drawing(shaders);
            if (shaders)
                shader_set_bones(0, nullptr, nullptr, nullptr);
            glBegin(GL_TRIANGLES);
            for (int i = 0; i < strip->triangle_count * 3; i++) {
                float p[3];
                skin_point(strip, pose, strip->triangles[i], p);
                glNormal3f(0, 0, 1);
                glTexCoord2f(0.5f, 0.5f);
                glVertex3fv(p);
            }
            glEnd();
            std::vector<bool> rigid = mask();

            EXPECT_GT(count(rigid), 600);
            EXPECT_LE(differences(skinned, rigid), 12);
            EXPECT_GT(differences(skinned, at_rest), 100);   // it did move
        }
        free_model(strip);
    }
}

TEST_F(ModelDrawing, AMismatchedPoseLeavesTheStripAsItWas)
{
    write_file(test_data_dir() + "strip.jm", STRIP);
    Model *strip = parse_model("@strip.jm");
    ASSERT_NE(strip, nullptr);
    const Pose pose = turned(0.9f, 0, 0.5f);
    begin_drawing(false);
    draw_model(strip, ORIGIN, ORIGIN, IDENTITY, pose.centres, pose.translations, pose.rotations, 2);
    std::vector<float> posed(strip->positions, strip->positions + 3 * strip->vertex_count);
    EXPECT_NE(posed[12], 3.0f);
    // Three bones for a mesh of two: the previous pose stays.
    const Pose other = turned(-0.5f, 1, 1);
    float three_centres[9] = {}, three_translations[9] = {}, three_rotations[27] = {};
    memcpy(three_centres, other.centres, sizeof other.centres);
    memcpy(three_translations, other.translations, sizeof other.translations);
    memcpy(three_rotations, other.rotations, sizeof other.rotations);
    draw_model(strip, ORIGIN, ORIGIN, IDENTITY, three_centres, three_translations, three_rotations, 3);
    EXPECT_EQ(std::vector<float>(strip->positions, strip->positions + 3 * strip->vertex_count), posed);
    free_model(strip);

    // With shaders the program gets no bones rather than stale ones.
    ASSERT_EQ(build_shader_programs(), 1);
    shader_programs_available = 1;
    strip = parse_model("@strip.jm");
    begin_drawing(true);
    draw_model(strip, ORIGIN, ORIGIN, IDENTITY, pose.centres, pose.translations, pose.rotations, 2);
    GLhandleARB lit = get_shader_program(SHADER_LIT);
    GLint location = gl_entry.glGetUniformLocationARB(lit, "nbones");
    GLint n = -1;
    gl_entry.glGetUniformivARB(lit, location, &n);
    EXPECT_EQ(n, 2);
    draw_model(strip, ORIGIN, ORIGIN, IDENTITY, three_centres, three_translations, three_rotations, 3);
    gl_entry.glGetUniformivARB(lit, location, &n);
    EXPECT_EQ(n, 0);
    bind_shader_slot(0);
    free_model(strip);
}

TEST_F(ModelDrawing, WeightsSummingToAHalfLandHalfway)
{
    ASSERT_EQ(build_shader_programs(), 1);
    shader_programs_available = 1;
    // A square about (2, 2) ft held by bone 0 with a half weight.
    write_file(test_data_dir() + "square.jm", "JM2\n1 s\n8 1 1 1 1 4 2\n"
                                              "1.5 1.5 0 0 0 1 0 0 1\n2.5 1.5 0 0 0 1 1 0 1\n"
                                              "2.5 2.5 0 0 0 1 1 1 1\n1.5 2.5 0 0 0 1 0 1 1\n"
                                              "0 1 2 0 2 3\n");
    Model *square = parse_model("@square.jm");
    ASSERT_NE(square, nullptr);
    for (int v = 0; v < 4; v++)
        square->weights[4 * v] = 0.5f;
    glDeleteLists(square->display_list, 1);
    square->display_list = 0;   // drawn from the arrays that hold the new weights
    const float centre[3] = {0, 0, 0}, move[3] = {0, 0, 0}, turn[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    begin_drawing(true);
    draw_model(square, ORIGIN, ORIGIN, IDENTITY, centre, move, turn, 1);
    std::vector<uint8_t> frame = read_back(0, 0, window_size, window_size);
    bind_shader_slot(0);
    auto lit = [&](float x, float y) {   // feet from the placement
        int px = (int)(20 + 20 * x), py = (int)(20 + 20 * y);
        return frame[4 * ((size_t)py * window_size + px)] > 100;
    };
    EXPECT_TRUE(lit(1.0f, 1.0f));    // halfway to (2, 2)
    EXPECT_FALSE(lit(2.0f, 2.0f));   // not where the full weight would put it
    free_model(square);
}

TEST_F(ModelDrawing, MaterialsAndTheGlowingMeshLightState)
{
    const float global[3] = {0.1f, 0.2f, 0.3f}, ambient[3] = {0.4f, 0.5f, 0.6f};
    memcpy(track_lighting.global_ambient, global, sizeof global);
    memcpy(track_lighting.ambient, ambient, sizeof ambient);
    write_file(test_data_dir() + "lamp.jm", std::string("JM1\n") +
                                                "-2 1 1 0.5 0 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n"
                                                "0 1 0.3 0.3 0.3 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n"
                                                "500 1 0.3 0.3 0.3 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n");
    Model *lamp = parse_model("@lamp.jm");
    ASSERT_NE(lamp, nullptr);
    model_polygon_count = 0;
    draw_part_model(lamp, ORIGIN, ORIGIN, IDENTITY);
    EXPECT_EQ(model_polygon_count, 3);
    float v[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, v);
    EXPECT_FLOAT_EQ(v[0], 0.1f);
    EXPECT_FLOAT_EQ(v[2], 0.3f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
    EXPECT_FLOAT_EQ(v[1], 0.5f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, v);
    EXPECT_FLOAT_EQ(v[0], 1.0f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    // The last mesh asked for 500: GL takes at most 128.
    glGetMaterialfv(GL_FRONT, GL_SHININESS, v);
    EXPECT_FLOAT_EQ(v[0], 128.0f);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);

    // Shininess 0 is sent as 0.125; a reflective first mesh ends the lit pass.
    free_model(lamp);
    write_file(test_data_dir() + "dull.jm", "JM1\n0 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n");
    Model *dull = parse_model("@dull.jm");
    draw_part_model(dull, ORIGIN, ORIGIN, IDENTITY);
    glGetMaterialfv(GL_BACK, GL_SHININESS, v);
    EXPECT_FLOAT_EQ(v[0], 0.125f);
    free_model(dull);
    write_file(test_data_dir() + "mirror.jm", "JM1\n-1 1 1 1 1 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n");
    Model *mirror = parse_model("@mirror.jm");
    model_polygon_count = 0;
    draw_part_model(mirror, ORIGIN, ORIGIN, IDENTITY);
    EXPECT_EQ(model_polygon_count, 0);
    EXPECT_EQ(model_needs_env_pass(mirror), 1);
    reflections_enabled = 0;
    EXPECT_EQ(model_needs_env_pass(mirror), 0);
    reflections_enabled = 1;
    draw_part_model_env(mirror, ORIGIN, ORIGIN, IDENTITY);
    EXPECT_EQ(model_polygon_count, 1);
    free_model(mirror);
}

TEST(ModelLevels, ChosenByDistanceScaleAndBias)
{
    Model model = {}, level32 = {}, level64 = {};
    model.lower = &level32;
    level32.lod_distance = 32;
    level32.lower = &level64;
    level64.lod_distance = 64;
    struct Case {
        float distance, scale, bias;
        const Model *expected;
    } cases[] = {
        {10, 1, 0, &model},       {31.9f, 1, 0, &model},     {32, 1, 0, &level32},
        {63, 1, 0, &level32},     {64, 1, 0, &level64},      {16, 2, 0, &level32},
        {15.9f, 2, 0, &model},    {0, 1, 40, &level32},      {24, 1, 40, &level64},
        {23, 1, 40, &level32},    {0, 1, 64, &level64},      {1000, 0, 0, &model},
    };
    const float position[3] = {0, 0, 0};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.distance << " " << c.scale << " " << c.bias);
        camera_position[0] = 0;
        camera_position[1] = 0;
        camera_position[2] = c.distance;
        lod_scale = c.scale;
        lod_bias = c.bias;
        EXPECT_EQ(choose_model_level(&model, position), c.expected);
    }
    lod_scale = 1;
    lod_bias = 0;
    camera_position[2] = 0;
}

TEST(ModelEnvironment, DegenerateReflectionsStayFinite)
{
    write_file(test_data_dir() + "flat.jm", "JM1\n-1 1 1 1 1 3 1\n"
                                            "0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n0 0 1 0 1 0 0 1\n0 2 1\n");
    Model *flat = parse_model("@flat.jm");
    ASSERT_NE(flat, nullptr);
    struct Case {
        float eye[3];
        const char *what;
    } cases[] = {
        {{0, 10, 0}, "looking straight down: the reflection points straight up"},
        {{0, 0, 0}, "the eye on a vertex"},
        {{5, -3, 2}, "from below"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        compute_env_coordinates(flat, c.eye, ORIGIN, IDENTITY);
        for (int i = 0; i < 2 * flat->vertex_count; i++) {
            EXPECT_TRUE(std::isfinite(flat->coordinates[i])) << i;
            EXPECT_GE(flat->coordinates[i], 0.0f);
            EXPECT_LE(flat->coordinates[i], 1.0f);
        }
    }
    // Straight up is the middle of the angular map.
    compute_env_coordinates(flat, cases[0].eye, ORIGIN, IDENTITY);
    EXPECT_FLOAT_EQ(flat->coordinates[0], 0.5f);
    EXPECT_FLOAT_EQ(flat->coordinates[1], 0.5f);
    free_model(flat);
}

TEST(ModelSkinning, ZeroNormalsAreNotNormalised)
{
    write_file(test_data_dir() + "s.jm", "JM2\n1 s\n8 1 1 1 1 3 1\n"
                                         "0 0 0 0 0 1 0 0 1\n1 0 0 0 0 1 1 0 1\n0 1 0 0 0 1 0 1 1\n0 1 2\n");
    Model *m = parse_model("@s.jm");
    ASSERT_NE(m, nullptr);
    const float centre[3] = {0, 0, 0}, move[3] = {1, 2, 3}, collapse[9] = {};
    skin_mesh(m, centre, move, collapse, 1);
    for (int i = 0; i < 3 * m->vertex_count; i++) {
        EXPECT_TRUE(std::isfinite(m->normals[i]));
        EXPECT_TRUE(std::isfinite(m->tangents[i]));
    }
    EXPECT_EQ(m->positions[0], 1.0f);
    EXPECT_EQ(m->positions[4], 2.0f);
    EXPECT_EQ(m->normals[2], 0.0f);
    free_model(m);
}

TEST_F(ModelDrawing, ImmediateModeDrawsWhatTheArraysDraw)
{
    write_file(test_data_dir() + "strip.jm", STRIP);
    Model *strip = parse_model("@strip.jm");
    ASSERT_NE(strip, nullptr);
    const Pose pose = turned(0.7f, 0.1f, 0.3f);
    std::vector<bool> masks[2];
    for (int immediate : {0, 1}) {
        no_vertex_arrays = immediate;
        begin_drawing(false);
        draw_model(strip, ORIGIN, ORIGIN, IDENTITY, pose.centres, pose.translations, pose.rotations, 2);
        masks[immediate] = mask();
    }
    no_vertex_arrays = 0;
    EXPECT_GT(count(masks[0]), 600);
    EXPECT_EQ(differences(masks[0], masks[1]), 0);
    // The wireframe touches the strip's outline only.
    begin_drawing(false);
    draw_mesh_wireframe(strip);
    std::vector<bool> lines = mask();
    EXPECT_GT(count(lines), 50);
    EXPECT_LT(count(lines), count(masks[0]));
    free_model(strip);
}
