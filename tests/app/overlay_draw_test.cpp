// Drawing steps in a window with the generated game data: the HUD read back
// over the title view as over a fresh frame, and every step (views,
// overlays, HUD, menus, loading screens) and every pass of the race scene
// (on the default track, with the fixed pipeline and with shaders) leaving
// the GL state, matrices, client arrays, shader and framebuffer as it
// found them.
#include "app/graphics_settings.h"
#include "app/hud.h"
#include "app/loading.h"
#include "app/menu.h"
#include "app/race_overlay.h"
#include "app/default_data.h"
#include "app/shell.h"
#include "bike/bike_create.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "core/message.h"
#include "datagen/gamedata_fixture.h"
#include "race/headless_race.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/animated_texture.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/scene.h"
#include "render/shaders.h"
#include "render/text_marker.h"
#include "render/texture.h"
#include "support/render_fixtures.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const int WIDTH = 640, HEIGHT = 480;

struct OverlayWindow : testing::Test {
    void SetUp() override
    {
        if (gamedata_dir().empty())
            GTEST_SKIP() << "no generated data";
        use_game_data(gamedata_dir() + "/data");
        game_window = open_test_gl_window(WIDTH, HEIGHT);
        if (!game_window)
            GTEST_SKIP() << "no display";
        load_fonts();
        title_texture = load_texture("!@title.png");
        ASSERT_NE(title_texture, 0);
    }
    void TearDown() override
    {
        menu_state = MENU_NONE;
        free_fonts();
        close_test_gl_window(game_window);
        game_window = nullptr;
        title_texture = 0;
    }
};

std::vector<unsigned char> read_back(int x, int y, int width, int height)
{
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

// Pixels of the window's top-left quarter that the HUD changed, drawn after
// the step given (or on a fresh frame).
int hud_pixels_after(const std::function<void()> &before)
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    set_projection((float)WIDTH, (float)HEIGHT, (float)fov_slider.value);
    if (before)
        before();
    std::vector<unsigned char> without = read_back(0, HEIGHT / 2, WIDTH / 2, HEIGHT / 2);
    draw_hud(-1);
    std::vector<unsigned char> with = read_back(0, HEIGHT / 2, WIDTH / 2, HEIGHT / 2);
    int changed = 0;
    for (size_t i = 0; i < with.size(); i += 3)
        changed += memcmp(&with[i], &without[i], 3) != 0;
    return changed;
}

}  // namespace

TEST_F(OverlayWindow, TheHudShowsOverTheTitleViewAsOverAFreshFrame)
{
    print_message("Connecting to 127.0.0.1");
    int fresh = hud_pixels_after(nullptr);
    int over_title = hud_pixels_after([] { draw_splash_screen(""); });
    int over_loading = hud_pixels_after([] { draw_splash_screen("Loading track"); });
    EXPECT_GT(fresh, 200);
    // The title picture beneath changes the shadows' blend, not the text.
    EXPECT_GT(over_title, fresh / 2);
    EXPECT_GT(over_loading, fresh / 2);
}

namespace {

// The GL state a drawing step may touch and must give back.
enum { UNITS = 3, CLIENT_UNITS = 4, MATRIX_UNITS = 2, CAPABILITY_COUNT = 13, CLIENT_ARRAY_COUNT = 3 };

struct GlState {
    GLint matrix_mode, modelview_depth, projection_depth, attrib_depth, client_attrib_depth;
    GLfloat modelview[16], projection[16], colour[4];
    GLboolean enabled[CAPABILITY_COUNT];
    GLint blend_source, blend_destination, depth_function, alpha_function, shade_model, cull_face,
        front_face, active_texture;
    GLboolean depth_mask, colour_mask[4];
    GLint viewport[4];
    float half_width, half_height;
    // Per texture unit: texturing, the bound texture, the texture matrices.
    GLboolean texture_2d[UNITS];
    GLint bound_texture[UNITS], texture_depth[MATRIX_UNITS], texture_environment;
    GLfloat texture_matrix[MATRIX_UNITS][16];
    // The client arrays: vertex, normal and colour, and texture coordinates
    // per unit.
    GLint client_active_texture;
    GLboolean client_array[CLIENT_ARRAY_COUNT], texture_coordinate_array[CLIENT_UNITS];
    GLint program, framebuffer, shader_slot;
    GLfloat light_model_ambient[4], front_diffuse[4];

    bool operator==(const GlState &other) const { return memcmp(this, &other, sizeof *this) == 0; }
};

const GLenum CAPABILITIES[CAPABILITY_COUNT] = {
    GL_BLEND,       GL_DEPTH_TEST, GL_ALPHA_TEST, GL_LIGHTING,  GL_FOG,
    GL_CULL_FACE,   GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_NORMALIZE,
    GL_SCISSOR_TEST, GL_LIGHT0,    GL_POLYGON_OFFSET_FILL, GL_STENCIL_TEST};
const char *const CAPABILITY_NAMES[CAPABILITY_COUNT] = {
    "blend",   "depth test", "alpha test", "lighting", "fog",    "cull face", "texture 2d",
    "colour material", "normalize", "scissor", "light 0", "polygon offset", "stencil"};
const GLenum CLIENT_ARRAYS[CLIENT_ARRAY_COUNT] = {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY};
const char *const CLIENT_ARRAY_NAMES[CLIENT_ARRAY_COUNT] = {"vertex array", "normal array", "colour array"};

bool multitexture()
{
    return gl_entry.glActiveTextureARB && gl_entry.glClientActiveTextureARB;
}

GlState read_gl_state()
{
    GlState s;
    memset(&s, 0, sizeof s);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrix_mode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelview_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projection_depth);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attrib_depth);
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &s.client_attrib_depth);
    glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
    glGetFloatv(GL_CURRENT_COLOR, s.colour);
    for (int i = 0; i < CAPABILITY_COUNT; i++)
        s.enabled[i] = glIsEnabled(CAPABILITIES[i]);
    glGetIntegerv(GL_BLEND_SRC, &s.blend_source);
    glGetIntegerv(GL_BLEND_DST, &s.blend_destination);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depth_function);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &s.alpha_function);
    glGetIntegerv(GL_SHADE_MODEL, &s.shade_model);
    glGetIntegerv(GL_CULL_FACE_MODE, &s.cull_face);
    glGetIntegerv(GL_FRONT_FACE, &s.front_face);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.active_texture);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depth_mask);
    glGetBooleanv(GL_COLOR_WRITEMASK, s.colour_mask);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    s.half_width = view_half_width;
    s.half_height = view_half_height;

    GLint matrix_mode = s.matrix_mode;
    glMatrixMode(GL_TEXTURE);
    for (int unit = 0; unit < (multitexture() ? UNITS : 1); unit++) {
        if (multitexture())
            gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        s.texture_2d[unit] = glIsEnabled(GL_TEXTURE_2D);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.bound_texture[unit]);
        if (unit < MATRIX_UNITS) {
            glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &s.texture_depth[unit]);
            glGetFloatv(GL_TEXTURE_MATRIX, s.texture_matrix[unit]);
        }
        if (unit == 0)
            glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &s.texture_environment);
    }
    if (multitexture())
        gl_entry.glActiveTextureARB((GLenum)s.active_texture);
    glMatrixMode((GLenum)matrix_mode);

    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &s.client_active_texture);
    for (int i = 0; i < CLIENT_ARRAY_COUNT; i++)
        s.client_array[i] = glIsEnabled(CLIENT_ARRAYS[i]);
    for (int unit = 0; unit < (multitexture() ? CLIENT_UNITS : 1); unit++) {
        if (multitexture())
            gl_entry.glClientActiveTextureARB(GL_TEXTURE0_ARB + unit);
        s.texture_coordinate_array[unit] = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
    }
    if (multitexture())
        gl_entry.glClientActiveTextureARB((GLenum)s.client_active_texture);

    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    if (gl_entry.glBindFramebufferEXT)
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &s.framebuffer);
    s.shader_slot = current_shader_slot;
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, s.light_model_ambient);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, s.front_diffuse);
    return s;
}

std::string describe_difference(const GlState &a, const GlState &b)
{
    std::string text;
    for (int i = 0; i < CAPABILITY_COUNT; i++)
        if (a.enabled[i] != b.enabled[i])
            text += std::string(" ") + CAPABILITY_NAMES[i];
    if (memcmp(a.modelview, b.modelview, sizeof a.modelview))
        text += " modelview";
    if (memcmp(a.projection, b.projection, sizeof a.projection))
        text += " projection";
    if (a.matrix_mode != b.matrix_mode || a.modelview_depth != b.modelview_depth ||
        a.projection_depth != b.projection_depth || a.attrib_depth != b.attrib_depth ||
        a.client_attrib_depth != b.client_attrib_depth)
        text += " mode-or-stacks";
    if (a.blend_source != b.blend_source || a.blend_destination != b.blend_destination)
        text += " blend-function";
    if (a.depth_function != b.depth_function || a.depth_mask != b.depth_mask)
        text += " depth";
    if (memcmp(a.colour, b.colour, sizeof a.colour))
        text += " colour";
    if (a.half_width != b.half_width || a.half_height != b.half_height)
        text += " extents";
    if (a.active_texture != b.active_texture || a.client_active_texture != b.client_active_texture)
        text += " active-unit";
    for (int unit = 0; unit < UNITS; unit++) {
        std::string n = std::to_string(unit);
        if (a.texture_2d[unit] != b.texture_2d[unit])
            text += " texture-2d-unit-" + n;
        if (a.bound_texture[unit] != b.bound_texture[unit])
            text += " bound-texture-unit-" + n + "(" + std::to_string(a.bound_texture[unit]) + "->" + std::to_string(b.bound_texture[unit]) + ")";
        if (unit < MATRIX_UNITS && (a.texture_depth[unit] != b.texture_depth[unit] ||
                                    memcmp(a.texture_matrix[unit], b.texture_matrix[unit], sizeof a.texture_matrix[unit])))
            text += " texture-matrix-unit-" + n;
    }
    if (a.texture_environment != b.texture_environment)
        text += " texture-environment";
    for (int i = 0; i < CLIENT_ARRAY_COUNT; i++)
        if (a.client_array[i] != b.client_array[i])
            text += std::string(" ") + CLIENT_ARRAY_NAMES[i];
    for (int unit = 0; unit < CLIENT_UNITS; unit++)
        if (a.texture_coordinate_array[unit] != b.texture_coordinate_array[unit])
            text += " texture-coordinate-array-unit-" + std::to_string(unit);
    if (a.program != b.program || a.shader_slot != b.shader_slot)
        text += " shader";
    if (a.framebuffer != b.framebuffer)
        text += " framebuffer";
    if (a.viewport[0] != b.viewport[0] || a.viewport[1] != b.viewport[1] || a.viewport[2] != b.viewport[2] ||
        a.viewport[3] != b.viewport[3])
        text += " viewport";
    if (memcmp(a.light_model_ambient, b.light_model_ambient, sizeof a.light_model_ambient) ||
        memcmp(a.front_diffuse, b.front_diffuse, sizeof a.front_diffuse))
        text += " lighting-values";
    return text.empty() ? " other" : text;
}

// Storage behind the client arrays the unusual state switches on: a pass
// that draws from arrays it did not point itself reads zeros here.
enum { SPARE_VERTICES = 1 << 18 };
float spare_array[SPARE_VERTICES * 4];

// A state unlike what any step sets up for itself: a moved and scaled
// model-view matrix, blending of ones, depth test with no depth writes and
// culling on, fog, texturing on unit 1 but not on unit 0, texture matrices
// that are not the identity, unit 1 active, the vertex, normal, colour and
// texture coordinate arrays on, odd lighting values.
void set_unusual_state()
{
    set_projection((float)WIDTH, (float)HEIGHT, (float)fov_slider.value);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.3f, -0.2f, -1.5f);
    glScalef(0.05f, 0.05f, 0.05f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    glEnable(GL_CULL_FACE);
    glEnable(GL_FOG);
    glColor4f(0.3f, 0.4f, 0.5f, 0.6f);
    const float ambient[4] = {0.1f, 0.2f, 0.3f, 1.0f}, diffuse[4] = {0.4f, 0.5f, 0.6f, 0.7f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(2.0f, 3.0f, 1.0f);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, spare_array);
    glNormalPointer(GL_FLOAT, 0, spare_array);
    glColorPointer(4, GL_FLOAT, 0, spare_array);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(4, GL_FLOAT, 0, spare_array);
    if (multitexture()) {
        gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
        glEnable(GL_TEXTURE_2D);
        glLoadIdentity();
        glTranslatef(0.25f, 0.5f, 0.0f);
        gl_entry.glClientActiveTextureARB(GL_TEXTURE1_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(4, GL_FLOAT, 0, spare_array);
    }
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

TEST_F(OverlayWindow, EveryDrawingStepGivesBackTheStateItFound)
{
    print_message("A message line");
    struct Step {
        const char *name;
        bool view;   // a view sets the frame's projection
        std::function<void()> draw;
    } steps[] = {
        {"title view", false, [] { draw_splash_screen(""); }},
        {"loading screen", false, [] { draw_splash_screen("Loading track"); }},
        {"busy counter", false, [] { draw_busy_counter(5); }},
        {"hud", false, [] { draw_hud(-1); }},
        {"race overlay", false, [] { draw_race_overlay(-1); }},
        {"free camera view", true, [] { draw_keycam_view(); }},
        {"main menu", false, [] { menu_state = MENU_MAIN; draw_menu(); }},
        {"new race screen", false, [] { menu_state = MENU_NEW_RACE; draw_menu(); }},
        {"bike setup screen", false, [] { menu_state = MENU_BIKE_SETUP; draw_menu(); }},
        {"graphics screen", false, [] { menu_state = MENU_GRAPHICS_SOUND; draw_menu(); }},
        {"console", false, [] { menu_state = MENU_CONSOLE; draw_menu(); }},
        {"exit screen", false, [] { menu_state = MENU_EXIT; draw_menu(); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        set_unusual_state();
        GlState before = read_gl_state();
        step.draw();
        GlState after = read_gl_state();
        if (step.view) {
            memcpy(after.projection, before.projection, sizeof after.projection);
            after.half_width = before.half_width;
            after.half_height = before.half_height;
        }
        EXPECT_TRUE(before == after) << "changed:" << describe_difference(before, after);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        menu_state = MENU_NONE;
    }
}

namespace {

const int SCENE_RIDERS = 3, GHOST_SLOT = 2;

const char *const SCENE_PASS_NAMES[] = {"animated textures", "ground textures", "sky", "terrain",
                                        "bikes", "statues", "billboards", "ghosts",
                                        "lap pool lines", "text markers", "lens flares"};
static_assert(sizeof SCENE_PASS_NAMES / sizeof *SCENE_PASS_NAMES == SCENE_PASS_COUNT,
              "a name (and something to draw) for every pass");

// The default track's race at the gate seen from its first track camera,
// with something for every pass to draw: a rider drawn whole and a ghost,
// a text marker at the gate, lens flares, the lap pool's lines; and a
// framebuffer of the test's own to start the passes in.
struct RaceScene : OverlayWindow {
    float eye[3] = {0, 0, 0}, rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    GLuint framebuffer = 0, renderbuffers[2] = {0, 0};
    int shaders = 0;

    void SetUp() override
    {
        OverlayWindow::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        HeadlessRace race{};
        race.track = DEFAULT_TRACK_FOLDER;
        race.slot_codes[0] = SLOT_PLAYER;
        for (int slot = 1; slot < SCENE_RIDERS; slot++)
            race.slot_codes[slot] = SLOT_ROBOT;
        race.laps = 1;
        ASSERT_EQ(start_headless_race(&race), 1);
        ASSERT_NE(current_terrain, nullptr);
        ASSERT_GT(track_cameras.count, 0);
        double gate[3] = {0, 0, 0};
        int bikes = 0;
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            if (BikeState *bike = get_slot_bike(slot)) {
                const dReal *p = dBodyGetPosition(bike->frame_body);
                for (int i = 0; i < 3; i++)
                    gate[i] += p[i] / SCENE_RIDERS;
                bikes++;
            }
        ASSERT_EQ(bikes, SCENE_RIDERS);
        // A rider of another machine with no states yet: a ghost.
        rider_kind[GHOST_SLOT] = RIDER_REMOTE;
        add_text_marker((float)gate[0], (float)gate[1] + 2.0f, (float)gate[2], "Gate\nmarker");
        // A running animation of two frames of 4 tics, a frame on from the
        // picture it holds.
        write_file(test_home_dir() + "scene_wave.seq",
                   "ANIM1 2 2 4 1\n0 1\n" + raw_image_bytes("J7", 4, 4, 4, pattern_pixels(4, 4, 4, 1)) +
                       raw_image_bytes("J7", 4, 4, 4, pattern_pixels(4, 4, 4, 2)));
        int wave = load_texture("@scene_wave.seq");
        ASSERT_NE(wave, 0);
        ASSERT_EQ(animated_texture_table.count, 1);
        const AnimatedTexture *animation = *(AnimatedTexture **)animated_texture_table.data;
        start_texture_animation(wave, (int)current_tic - animation->frame_time);
        lens_flare_list.selected = 1;
        debug_level = 2;

        TrackCamera *camera = (TrackCamera *)track_cameras.data;
        double dx = gate[0] - camera->x, dy = gate[1] - camera->y, dz = gate[2] - camera->z;
        camera_matrix_from_angles(rotation, (float)atan2(dy, sqrt(dx * dx + dz * dz)), (float)atan2(dx, dz));
        eye[0] = camera->x;
        eye[1] = camera->y;
        eye[2] = camera->z;

        if (gl_entry.glGenFramebuffersEXT && gl_entry.glGenRenderbuffersEXT) {
            gl_entry.glGenRenderbuffersEXT(2, renderbuffers);
            const GLenum formats[2] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
            for (int i = 0; i < 2; i++) {
                gl_entry.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, renderbuffers[i]);
                gl_entry.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, formats[i], WIDTH, HEIGHT);
            }
            gl_entry.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
            gl_entry.glGenFramebuffersEXT(1, &framebuffer);
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
            gl_entry.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                                  renderbuffers[0]);
            gl_entry.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                                  renderbuffers[1]);
            ASSERT_EQ(gl_entry.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), (GLenum)GL_FRAMEBUFFER_COMPLETE_EXT);
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        }
    }

    void TearDown() override
    {
        if (framebuffer) {
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
            gl_entry.glDeleteFramebuffersEXT(1, &framebuffer);
            gl_entry.glDeleteRenderbuffersEXT(2, renderbuffers);
        }
        rider_kind[GHOST_SLOT] = RIDER_ROBOT;
        clear_text_markers();
        debug_level = 0;
        bind_shader_slot(SHADER_FIXED);
        shader_programs_available = 0;
        ground_shaders_setting = 0;
        track_lighting.dynamic_lighting = 0;
        delete_shader_programs();
        end_race();
        free_track();
        free_track_catalogue();
        for (BikeState &bike : bike_states)
            free_bike(&bike);
        destroy_physics_world();
        OverlayWindow::TearDown();
    }

    // Shaders on and the ground normal-mapped: the terrain again with the
    // track's lighting asking for it.
    void use_shaders()
    {
        ASSERT_EQ(build_shader_programs(), 1);
        shader_programs_available = 1;
        ground_shaders_setting = 1;
        track_lighting.dynamic_lighting = 1;
        char *folder = track_file_path("");
        ASSERT_EQ(load_terrain(&track_terrain, folder, 3), 1);
        checked_free(folder);
        current_terrain = &track_terrain;
        ASSERT_EQ(current_terrain->normal_mapping, 1);
        shaders = 1;
    }

    // The unusual state with the scene's camera in place of the moved
    // matrix, the test's framebuffer bound and, with shaders, a shader.
    void set_unusual_scene_state()
    {
        set_unusual_state();
        const float *r = rotation;
        const float view[16] = {r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, 0, 0, 0, 1};
        glLoadMatrixf(view);
        glTranslatef(-eye[0], -eye[1], -eye[2]);
        if (framebuffer)
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
        if (shaders)
            bind_shader_slot(SHADER_ENV);
    }

    // Every pass has something to draw, so that none passes by drawing
    // nothing.
    void expect_something_for_every_pass()
    {
        float fades[BIKE_SLOT_COUNT];
        int modes[BIKE_SLOT_COUNT], whole = 0, ghosts = 0;
        compute_rider_fades(0, fades, modes);
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            if (bike_slots[slot]) {
                whole += fades[slot] >= 1.0f;
                ghosts += fades[slot] < 1.0f;
            }
        int lines = 0;
        for (int i = 0; lap_pool && i < lap_pool_rows * LAP_POOL_CANDIDATES; i++)
            lines += lap_pool[i].samples && lap_pool[i].count > 0;
        sort_text_markers(eye, rotation);
        EXPECT_NE(sky_textures[SKY_N], 0);
        EXPECT_GT(whole, 0);
        EXPECT_GT(ghosts, 0);
        EXPECT_GT(statue_table.count, 0);
        EXPECT_GT(billboard_table.count, 0);
        EXPECT_GT(lines, 0);
        EXPECT_GT(text_marker_order.count, 0);
        EXPECT_GT(flare_list.count, 0);
    }

    void expect_every_pass_gives_back_the_state()
    {
        expect_something_for_every_pass();
        long uploads = animation_frame_uploads;
        while (glGetError() != GL_NO_ERROR) {
        }
        for (int pass = 0; pass < SCENE_PASS_COUNT; pass++) {
            SCOPED_TRACE(SCENE_PASS_NAMES[pass]);
            set_unusual_scene_state();
            GlState before = read_gl_state();
            draw_scene_pass(pass, eye, rotation, 0);
            GlState after = read_gl_state();
            EXPECT_TRUE(before == after) << "changed:" << describe_difference(before, after);
            EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        }
        EXPECT_EQ(animation_frame_uploads, uploads + 1);
    }
};

}  // namespace

TEST_F(RaceScene, EveryPassGivesBackTheStateItFound)
{
    expect_every_pass_gives_back_the_state();
}

TEST_F(RaceScene, EveryPassWithShadersGivesBackTheStateItFound)
{
    use_shaders();
    expect_every_pass_gives_back_the_state();
}
