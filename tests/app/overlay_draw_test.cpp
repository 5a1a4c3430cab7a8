// Drawing steps in a window with the generated game data: the HUD read back
// over the title view as over a fresh frame, and every step (views,
// overlays, HUD, menus, loading screens) leaving the GL state and matrices
// as it found them.
#include "app/graphics_settings.h"
#include "app/hud.h"
#include "app/loading.h"
#include "app/menu.h"
#include "app/race_overlay.h"
#include "app/shell.h"
#include "core/message.h"
#include "datagen/gamedata_fixture.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "render/texture.h"
#include "support/render_fixtures.h"

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
struct GlState {
    GLint matrix_mode, modelview_depth, projection_depth, attrib_depth;
    GLfloat modelview[16], projection[16], colour[4];
    GLboolean enabled[13];
    GLint blend_source, blend_destination, depth_function, alpha_function, shade_model, cull_face,
        front_face, active_texture;
    GLboolean depth_mask, colour_mask[4];
    GLint viewport[4];
    float half_width, half_height;

    bool operator==(const GlState &other) const { return memcmp(this, &other, sizeof *this) == 0; }
};

const GLenum CAPABILITIES[13] = {GL_BLEND,      GL_DEPTH_TEST, GL_ALPHA_TEST,   GL_LIGHTING,      GL_FOG,
                                 GL_CULL_FACE,  GL_TEXTURE_2D, GL_COLOR_MATERIAL, GL_NORMALIZE,
                                 GL_SCISSOR_TEST, GL_LIGHT0,   GL_POLYGON_OFFSET_FILL, GL_STENCIL_TEST};
const char *const CAPABILITY_NAMES[13] = {"blend",   "depth test", "alpha test", "lighting", "fog",
                                          "cull face", "texture 2d", "colour material", "normalize",
                                          "scissor", "light 0", "polygon offset", "stencil"};

GlState read_gl_state()
{
    GlState s;
    memset(&s, 0, sizeof s);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrix_mode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelview_depth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projection_depth);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attrib_depth);
    glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
    glGetFloatv(GL_CURRENT_COLOR, s.colour);
    for (int i = 0; i < 13; i++)
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
    return s;
}

std::string describe_difference(const GlState &a, const GlState &b)
{
    std::string text;
    for (int i = 0; i < 13; i++)
        if (a.enabled[i] != b.enabled[i])
            text += std::string(" ") + CAPABILITY_NAMES[i];
    if (memcmp(a.modelview, b.modelview, sizeof a.modelview))
        text += " modelview";
    if (memcmp(a.projection, b.projection, sizeof a.projection))
        text += " projection";
    if (a.matrix_mode != b.matrix_mode || a.modelview_depth != b.modelview_depth ||
        a.projection_depth != b.projection_depth || a.attrib_depth != b.attrib_depth)
        text += " mode-or-stacks";
    if (a.blend_source != b.blend_source || a.blend_destination != b.blend_destination)
        text += " blend-function";
    if (a.depth_function != b.depth_function || a.depth_mask != b.depth_mask)
        text += " depth";
    if (memcmp(a.colour, b.colour, sizeof a.colour))
        text += " colour";
    if (a.half_width != b.half_width || a.half_height != b.half_height)
        text += " extents";
    return text.empty() ? " other" : text;
}

// A state unlike what any step sets up for itself: a moved and scaled
// model-view matrix, blending of ones, depth test and culling on.
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
    glEnable(GL_CULL_FACE);
    glColor4f(0.3f, 0.4f, 0.5f, 0.6f);
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
