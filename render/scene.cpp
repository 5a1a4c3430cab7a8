// The 3-D scene for one camera: projection, sky box, lighting and fog,
// then the terrain, the bikes, the track objects, the ghost riders, the
// text markers and the lens flares, each pass a stage of the main loop's
// stage timer that gives back the GL state it changed.
#include "render/scene.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/graphics_settings.h"
#include "app/race_screens.h"
#include "app/shell.h"
#include "app/stage_timers.h"
#include "bike/bike_getters.h"
#include "core/message.h"
#include "net/client.h"
#include "platform/time.h"
#include "race/gates.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/animated_texture.h"
#include "render/bike_draw.h"
#include "render/camera.h"
#include "render/gl_extensions.h"
#include "render/ground_textures.h"
#include "render/model_draw.h"
#include "render/overlay.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "render/terrain_mesh.h"
#include "render/text_marker.h"
#include "render/track_objects.h"
#include "script/track_script.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"

float view_half_width = 1.0f;
float view_half_height = 0.75f;
float bike_alpha = 1.0f;
void set_projection(float width, float height, float field_of_view)
{
    // A field of view or size that cannot make a frustum is held to one that can.
    if (!std::isfinite(field_of_view))
        field_of_view = (float)fov_slider.value;
    field_of_view = field_of_view < 1.0f ? 1.0f : field_of_view > 179.0f ? 179.0f : field_of_view;
    width = width >= 1.0f ? (width < 65536.0f ? width : 65536.0f) : 1.0f;
    height = height >= 1.0f ? (height < 65536.0f ? height : 65536.0f) : 1.0f;
    double half = field_of_view * M_PI / 360.0;
    double tx, ty;
    if (width / height > 4.0f / 3.0f) {
        ty = 0.75 * tan(half);
        tx = (double)width / height * ty;
    } else {
        tx = tan(half);
        ty = tx * height / width;
    }
    double near_plane = track_lighting.near_plane, far_plane = track_lighting.far_plane;
    if (!(near_plane > 0.0) || !std::isfinite(near_plane))
        near_plane = 0.25;
    if (!(far_plane > near_plane * 1.0009765625) || !std::isfinite(far_plane))
        far_plane = near_plane * 1.0009765625 + 1.0 / 1024.0;
    view_half_width = (float)tx;
    view_half_height = (float)ty;
    if (!gl_ready())
        return;
    glViewport(0, 0, (GLsizei)width, (GLsizei)height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-tx * near_plane, tx * near_plane, -ty * near_plane, ty * near_plane, near_plane, far_plane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

static int lowest_local_slot(void)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        if (bike_slots[slot] && rider_kind[slot] == RIDER_LOCAL)
            return slot;
    return -1;
}

static int frame_position(const BikeState *bike, double *out)
{
    dBodyID body = get_bike_body(bike);
    if (!body)
        return 0;
    const dReal *p = dBodyGetPosition(body);
    for (int i = 0; i < 3; i++)
        out[i] = p[i];
    return 1;
}

void compute_rider_fades(int viewed_slot, float *fades, int *draw_modes)
{
    int reference = lowest_local_slot();
    double reference_position[3];
    int have_reference = reference >= 0 && frame_position(bike_slots[reference], reference_position);
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        fades[slot] = 1.0f;
        draw_modes[slot] = slot == viewed_slot ? (hide_rider_list.selected == 1 ? BIKE_DRAW_VIEWED_HIDDEN : BIKE_DRAW_VIEWED)
                                               : BIKE_DRAW_OTHER;
        BikeState *bike = bike_slots[slot];
        if (!bike)
            continue;
        double position[3];
        if (have_reference && net_socket == -1 && rider_kind[slot] == RIDER_REMOTE) {
            float r = (float)ghost_fade_slider.value;
            if (!(r > 0.0f))
                continue;   // no fade distance: drawn whole
            if (!frame_position(bike, position))
                continue;
            double d2 = 0.0;
            for (int i = 0; i < 3; i++)
                d2 += (position[i] - reference_position[i]) * (position[i] - reference_position[i]);
            double fade = (sqrt(d2) - r / 2.0) / (r - r / 2.0);
            fades[slot] = fade > 0.0 ? (fade < 1.0 ? (float)fade : 1.0f) : 0.0f;   // a NaN gives 0
        } else if (is_rider_hidden(slot)) {
            fades[slot] = 0.0f;
        }
    }
}

static void draw_sky(void)
{
    static const float faces[5][4][3] = {
        {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}},
        {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}},
        {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}},
        {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},
        {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}},
    };
    static const float coordinates[4][2] = {
        {1 / 128.0f, 1 / 128.0f}, {1 / 128.0f, 127 / 128.0f}, {127 / 128.0f, 127 / 128.0f}, {127 / 128.0f, 1 / 128.0f}};
    glDepthMask(GL_FALSE);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (int face = 0; face < 5; face++) {
        glBindTexture(GL_TEXTURE_2D, (GLuint)sky_textures[SKY_N + face]);
        texture_change_count++;
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; k++) {
            glTexCoord2fv(coordinates[k]);
            glVertex3fv(faces[face][k]);
        }
        glEnd();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDepthMask(GL_TRUE);
}

static void set_scene_lighting(void)
{
    const TrackLighting *light = &track_lighting;
    float global_ambient[4] = {light->global_ambient[0], light->global_ambient[1], light->global_ambient[2], 1.0f};
    float position[4] = {light->sun_direction[0], light->sun_direction[1], light->sun_direction[2], 0.0f};
    float ambient[4] = {light->ambient[0], light->ambient[1], light->ambient[2], 1.0f};
    float sun[4] = {light->sun_colour[0], light->sun_colour[1], light->sun_colour[2], 1.0f};
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global_ambient);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun);
}

// The auto pilot's lap pool as white lines fading with distance.
static void draw_lap_pool_lines(const float *eye)
{
    if (!lap_pool || lap_pool_rows <= 0)
        return;
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    for (int row = 0; row < lap_pool_rows; row++)
        for (int k = 0; k < LAP_POOL_CANDIDATES; k++) {
            const LapCandidate *candidate = &lap_pool[row * LAP_POOL_CANDIDATES + k];
            if (!candidate->samples || candidate->count <= 0)
                continue;
            glBegin(GL_LINE_STRIP);
            for (int i = 0; i < candidate->count; i++) {
                const LineSample *p = &candidate->samples[i];
                float dx = p->x - eye[0], dy = p->y - eye[1], dz = p->z - eye[2];
                float alpha = 1.0f - 0.001f * (dx * dx + dy * dy + dz * dz);
                alpha = alpha > 0.0625f ? (alpha < 1.0f ? alpha : 1.0f) : 0.0625f;
                glColor4f(1.0f, 1.0f, 1.0f, alpha);
                glVertex3f(p->x, p->y, p->z);
            }
            glEnd();
        }
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

// The riders drawn whole, or the ghosts faded by distance.
static void draw_riders(const float *eye, int viewed_slot, int ghosts)
{
    static float fades[BIKE_SLOT_COUNT];
    static int draw_modes[BIKE_SLOT_COUNT];
    compute_rider_fades(viewed_slot, fades, draw_modes);
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        if (!bike_slots[slot])
            continue;
        if (!ghosts && fades[slot] >= 1.0f) {
            draw_bike(bike_slots[slot], draw_modes[slot], eye);
        } else if (ghosts && fades[slot] < 1.0f) {
            bike_alpha = fades[slot];
            glEnable(GL_LIGHTING);
            draw_bike(bike_slots[slot], draw_modes[slot], eye);
            bike_alpha = 1.0f;
        }
    }
}

static void draw_text_markers(const float *eye, const float *rotation)
{
    sort_text_markers(eye, rotation);
    const int *order = (const int *)text_marker_order.data;
    for (int i = 0; order && order[i] != -1; i++) {
        const TextMarker *marker = (const TextMarker *)text_markers.data + order[i];
        draw_text_marker(marker, rotation, marker->text);
    }
}

void draw_scene_pass(int pass, const float *eye, const float *rotation, int viewed_slot)
{
    Terrain *terrain = current_terrain;
    // A pass with nothing to draw leaves GL alone.
    if (pass < 0 || pass >= SCENE_PASS_COUNT ||
        ((pass == SCENE_PASS_GROUND_TEXTURES || pass == SCENE_PASS_TERRAIN) && !terrain) ||
        (pass == SCENE_PASS_BILLBOARDS && billboard_table.count <= 0) ||
        (pass == SCENE_PASS_LAP_POOL_LINES && debug_level != 2) ||
        (pass == SCENE_PASS_TEXT_MARKERS && text_markers.count <= 0))
        return;
    int shader_slot = current_shader_slot;
    begin_draw_step();
    bind_shader_slot(SHADER_FIXED);
    switch (pass) {
    case SCENE_PASS_ANIMATED_TEXTURES:
        animate_textures(current_tic);
        break;
    case SCENE_PASS_GROUND_TEXTURES:
        update_ground_textures(terrain);
        break;
    case SCENE_PASS_SKY:
        draw_sky();
        break;
    case SCENE_PASS_TERRAIN:
        draw_terrain(terrain);
        break;
    case SCENE_PASS_BIKES:
        draw_riders(eye, viewed_slot, 0);
        break;
    case SCENE_PASS_STATUES:
        draw_statues(eye);
        break;
    case SCENE_PASS_BILLBOARDS:
        draw_billboard_pass(eye, rotation);
        break;
    case SCENE_PASS_GHOSTS:
        draw_riders(eye, viewed_slot, 1);
        break;
    case SCENE_PASS_LAP_POOL_LINES:
        draw_lap_pool_lines(eye);
        break;
    case SCENE_PASS_TEXT_MARKERS:
        draw_text_markers(eye, rotation);
        break;
    case SCENE_PASS_LENS_FLARES:
        draw_lens_flares(eye, rotation);
        break;
    }
    bind_shader_slot((unsigned)shader_slot);
    end_draw_step();
}

// The scene's own state between the passes: the camera, depth, fog and
// lighting as each pass expects them.
static void draw_scene_passes(const float *eye, const float *rotation, float field_of_view, int viewed_slot)
{
    model_polygon_count = 0;
    model_vertex_count = 0;
    billboard_count = 0;
    texture_change_count = 0;
    shader_change_count = 0;

    update_flaggers();
    draw_scene_pass(SCENE_PASS_ANIMATED_TEXTURES, eye, rotation, viewed_slot);

    memcpy(camera_position, eye, sizeof camera_position);
    memcpy(camera_matrix, rotation, sizeof camera_matrix);
    Terrain *terrain = current_terrain;
    if (terrain) {
        const float direction[3] = {-rotation[2], -rotation[5], -rotation[8]};
        set_terrain_camera(terrain, eye, direction);
    }

    call_frame_handler();
    main_loop_stage(STAGE_JS);
    draw_scene_pass(SCENE_PASS_GROUND_TEXTURES, eye, rotation, viewed_slot);
    main_loop_stage(STAGE_RENDERTEX);

    set_projection((float)window_width, (float)window_height, field_of_view);
    // The inverse camera rotation: the rows of the rotation as GL's columns.
    const float view[16] = {rotation[0], rotation[1], rotation[2], 0, rotation[3], rotation[4], rotation[5], 0,
                            rotation[6], rotation[7], rotation[8], 0, 0, 0, 0, 1};
    glLoadMatrixf(view);
    if (shader_programs_available)
        set_env_matrix(rotation);

    glDepthMask(GL_TRUE);   // the clear and the terrain write depth
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    if (render_fugly) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        glClear(GL_DEPTH_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        draw_scene_pass(SCENE_PASS_SKY, eye, rotation, viewed_slot);
    }

    int fog = fog_settings.density > 0.0f;
    if (fog)
        glEnable(GL_FOG);
    else
        glDisable(GL_FOG);

    glTranslatef(-eye[0], -eye[1], -eye[2]);
    glEnable(GL_LIGHTING);
    set_scene_lighting();

    // The big passes are handed to the driver as each ends, so that a
    // driver that draws on other threads works on them while the next pass
    // is sent; the picture is the same.
    draw_scene_pass(SCENE_PASS_TERRAIN, eye, rotation, viewed_slot);
    glFlush();
    main_loop_stage(STAGE_DRAWTERRAIN);

    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GEQUAL, 0.75f);
    draw_scene_pass(SCENE_PASS_BIKES, eye, rotation, viewed_slot);
    glFlush();
    main_loop_stage(STAGE_DRAWBIKES);

    glEnable(GL_LIGHTING);
    draw_scene_pass(SCENE_PASS_STATUES, eye, rotation, viewed_slot);
    glFlush();
    main_loop_stage(STAGE_DRAWSTATUES);

    glDisable(GL_ALPHA_TEST);
    draw_scene_pass(SCENE_PASS_BILLBOARDS, eye, rotation, viewed_slot);
    main_loop_stage(STAGE_DRAWBILLBOARDS);

    draw_scene_pass(SCENE_PASS_GHOSTS, eye, rotation, viewed_slot);
    main_loop_stage(STAGE_DRAWGHOSTS);

    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    draw_scene_pass(SCENE_PASS_LAP_POOL_LINES, eye, rotation, viewed_slot);
    if (fog)
        glDisable(GL_FOG);

    draw_scene_pass(SCENE_PASS_TEXT_MARKERS, eye, rotation, viewed_slot);

    glLoadIdentity();
    glDepthFunc(GL_ALWAYS);
    draw_scene_pass(SCENE_PASS_LENS_FLARES, eye, rotation, viewed_slot);
}

void render_scene(const float *eye, const float *rotation, float field_of_view, int viewed_slot)
{
    int shader_slot = current_shader_slot;
    begin_draw_step();
    draw_scene_passes(eye, rotation, field_of_view, viewed_slot);
    bind_shader_slot((unsigned)shader_slot);
    end_draw_step();
}
