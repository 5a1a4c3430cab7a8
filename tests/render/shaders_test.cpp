// Extensions and the GLSL programs on llvmpipe: the whole-word extension
// search, all seven programs built, slot binding and change counts, the
// uniforms, and the fallbacks when the driver lacks an extension.
#include "render/shaders.h"

#include "gl_fixture.h"
#include "render/render_settings.h"
#include "render/texture.h"

TEST(GlExtensions, WholeWordsOnly)
{
    struct Case {
        const char *list;
        int found;
    } cases[] = {
        {"GL_ARB_multitexture", 1},
        {"GL_ARB_multitexture GL_EXT_other", 1},
        {"GL_EXT_other GL_ARB_multitexture", 1},
        {"GL_EXT_a GL_ARB_multitexture GL_EXT_b", 1},
        {"GL_ARB_multitextureX", 0},
        {"GL_ARB_multitexture_more GL_EXT_other", 0},
        {"XGL_ARB_multitexture", 0},
        {"GL_ARB_multitexture_more GL_ARB_multitexture", 1},   // a later whole word counts
        {"", 0},
        {nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.list ? c.list : "null");
        EXPECT_EQ(gl_extension_in_list(c.list, "GL_ARB_multitexture"), c.found);
    }
}

struct Programs : GlTest {
    void SetUp() override
    {
        GlTest::SetUp();
        shader_change_count = 0;
    }
    void TearDown() override
    {
        delete_shader_programs();
        shader_programs_available = 0;
        GlTest::TearDown();
    }
};

TEST_F(Programs, LlvmpipeOffersEverything)
{
    EXPECT_GE(gl_info.major, 2);
    EXPECT_TRUE(gl_info.has_multitexture);
    EXPECT_TRUE(gl_info.has_vertex_shader);
    EXPECT_TRUE(gl_info.has_fragment_shader);
    EXPECT_TRUE(gl_info.has_framebuffer_object);
    EXPECT_GE(gl_info.texture_unit_count, 4);
    EXPECT_GT(gl_info.max_texture_size, 0);
    EXPECT_TRUE(shader_capability);
    EXPECT_TRUE(framebuffer_extension);
    EXPECT_NE(gl_entry.glActiveTextureARB, nullptr);
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 1);
    int framebuffer = generate_framebuffer();
    EXPECT_NE(framebuffer, 0);
    delete_framebuffer(framebuffer);
}

TEST_F(Programs, AllSevenBuildAndBindSamplers)
{
    ASSERT_EQ(build_shader_programs(), 1);
    EXPECT_EQ(get_shader_program(0), 0u);
    EXPECT_EQ(get_shader_program(8), 0u);
    for (int slot = 1; slot < SHADER_SLOT_COUNT; slot++) {
        SCOPED_TRACE(shader_slot_name(slot));
        GLhandleARB program = get_shader_program(slot);
        ASSERT_NE(program, 0u);
        GLint linked = 0;
        gl_entry.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
        EXPECT_EQ(linked, 1);
        EXPECT_EQ(strncmp(shader_vertex_source(slot), "#define MAX_BONE 32\n", 20), 0);
    }
    struct Sampler {
        int slot;
        const char *name;
        int unit;
    } samplers[] = {{3, "nmap", 1}, {4, "nmap", 1}, {5, "nmap", 1}, {5, "smap", 2}, {7, "nmap", 1},
                    {7, "smap", 2}, {6, "base", 1}, {1, "tex", 0}, {7, "tex", 0}};
    for (const Sampler &s : samplers) {
        GLint location = gl_entry.glGetUniformLocationARB(get_shader_program(s.slot), s.name);
        ASSERT_NE(location, -1) << s.slot << " " << s.name;
        GLint unit = -1;
        gl_entry.glGetUniformivARB(get_shader_program(s.slot), location, &unit);
        EXPECT_EQ(unit, s.unit) << s.slot << " " << s.name;
    }
    EXPECT_EQ(current_shader_slot, 0);
}

TEST_F(Programs, SlotChangesAreCountedOnce)
{
    ASSERT_EQ(build_shader_programs(), 1);
    shader_change_count = 0;
    bind_shader_slot(3);
    bind_shader_slot(3);
    EXPECT_EQ(shader_change_count, 1);
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ((GLhandleARB)program, get_shader_program(3));
    bind_shader_slot(8);
    bind_shader_slot(100);
    EXPECT_EQ(current_shader_slot, 3);
    EXPECT_EQ(shader_change_count, 1);
    bind_shader_slot(0);
    EXPECT_EQ(shader_change_count, 2);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);

    // The environment matrix visits 2 and 4 and comes back to 0.
    shader_change_count = 0;
    const float m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    set_env_matrix(m);
    EXPECT_EQ(shader_change_count, 3);
    EXPECT_EQ(current_shader_slot, 0);
    for (int slot : {2, 4}) {
        GLint location = gl_entry.glGetUniformLocationARB(get_shader_program(slot), "envmat");
        ASSERT_NE(location, -1);
        float columns[9];
        gl_entry.glGetUniformfvARB(get_shader_program(slot), location, columns);
        // Given by rows, stored by columns: element (row 0, column 1) is 2.
        EXPECT_EQ(columns[3], 2.0f);
        EXPECT_EQ(columns[1], 4.0f);
        EXPECT_EQ(columns[8], 9.0f);
    }
}

TEST_F(Programs, BoneUniforms)
{
    ASSERT_EQ(build_shader_programs(), 1);
    float centres[3 * 33], translations[3 * 33], rotations[9 * 33];
    for (int i = 0; i < 3 * 33; i++)
        centres[i] = translations[i] = (float)i;
    for (int i = 0; i < 9 * 33; i++)
        rotations[i] = (float)(i % 9);
    GLhandleARB lit = get_shader_program(1);
    GLint nbones = gl_entry.glGetUniformLocationARB(lit, "nbones");
    ASSERT_NE(nbones, -1);
    auto read_nbones = [&] {
        GLint n = -1;
        gl_entry.glGetUniformivARB(lit, nbones, &n);
        return n;
    };
    // Slot 0 current: nothing is set.
    shader_set_bones(2, centres, translations, rotations);
    EXPECT_EQ(read_nbones(), 0);
    bind_shader_slot(1);
    shader_set_bones(2, centres, translations, rotations);
    EXPECT_EQ(read_nbones(), 2);
    GLint bone_t = gl_entry.glGetUniformLocationARB(lit, "bone_t[1]");
    ASSERT_NE(bone_t, -1);
    float t[3];
    gl_entry.glGetUniformfvARB(lit, bone_t, t);
    EXPECT_EQ(t[0], 3.0f);
    EXPECT_EQ(t[2], 5.0f);
    // More than the arrays hold, or a negative count: refused, nothing changes.
    shader_set_bones(33, centres, translations, rotations);
    EXPECT_EQ(read_nbones(), 2);
    shader_set_bones(-1, centres, translations, rotations);
    EXPECT_EQ(read_nbones(), 2);
    shader_set_bones(32, centres, translations, rotations);
    EXPECT_EQ(read_nbones(), 32);
    shader_set_bones(0, nullptr, nullptr, nullptr);
    EXPECT_EQ(read_nbones(), 0);
    bind_shader_slot(0);
}

TEST_F(Programs, FallbacksWhenTheDriverLacksAnExtension)
{
    GlInfo real = gl_info;
    struct Case {
        const char *what;
        void (*strip)(GlInfo *);
        int shaders_build, capability, framebuffer;
    } cases[] = {
        {"no multitexture", [](GlInfo *g) { g->has_multitexture = 0; g->texture_unit_count = 1; }, 1, 0, 1},
        {"three texture units", [](GlInfo *g) { g->texture_unit_count = 3; }, 1, 0, 1},
        {"no fragment shader", [](GlInfo *g) { g->has_fragment_shader = 0; }, 0, 0, 1},
        {"no vertex shader", [](GlInfo *g) { g->has_vertex_shader = 0; }, 0, 0, 1},
        {"no framebuffer object", [](GlInfo *g) { g->has_framebuffer_object = 0; }, 1, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        gl_info = real;
        c.strip(&gl_info);
        apply_gl_capabilities();
        EXPECT_EQ(shader_capability, c.capability);
        EXPECT_EQ(framebuffer_extension, c.framebuffer);
        int framebuffer = generate_framebuffer();
        EXPECT_EQ(framebuffer != 0, c.framebuffer == 1);
        delete_framebuffer(framebuffer);
        EXPECT_EQ(build_shader_programs(), c.shaders_build);
        // Without programs only the fixed pipeline can be bound.
        shader_change_count = 0;
        bind_shader_slot(1);
        EXPECT_EQ(current_shader_slot, c.shaders_build ? 1 : 0);
        bind_shader_slot(0);
        const float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        set_env_matrix(m);
        EXPECT_EQ(current_shader_slot, 0);
        delete_shader_programs();
    }
    gl_info = real;
    apply_gl_capabilities();
}

TEST_F(Programs, AFailedBuildReleasesEverySlot)
{
    ASSERT_EQ(build_shader_programs(), 1);
    ShaderSlotRecord &slot = shader_slots[1];
    slot.program = slot.vertex_shader = slot.fragment_shader = 0;
    EXPECT_EQ(shader_build_program(&slot.program, &slot.vertex_shader, &slot.fragment_shader,
                                   "void main() { gl_Position = ftransform(); }", "this is not GLSL", "broken"),
              0);
    for (int i = 0; i < SHADER_SLOT_COUNT; i++)
        EXPECT_EQ(get_shader_program(i), 0u) << i;
    EXPECT_EQ(current_shader_slot, 0);
}
