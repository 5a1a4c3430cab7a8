// Ground texture compositing: the schedule that keeps the base blocks and
// the camera windows current within a fixed budget each frame, the dirty
// marking, and the GPU layers of render modes 2 (drawn in the back buffer
// and copied) and 3 (drawn into the texture through a framebuffer object).
#include "render/ground_textures.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/message.h"
#include "platform/log.h"
#include "render/decal_grid.h"
#include "render/gl_extensions.h"
#include "render/ground_compositor.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "render/terrain_mesh.h"
#include "track/decals.h"
#include "track/terrain.h"

int ground_renderer_workaround = -1;
void (*ground_composite_observer)(int level, int row, int column);

enum { LAYER_COLOUR, LAYER_NORMAL, LAYER_SPECULAR };

static int clamp_int(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

// ---- dirty marking ---------------------------------------------------------

void mark_ground_blocks_dirty(Terrain *terrain, int x0, int z0, int x1, int z1)
{
    if (terrain->block_stamps) {
        int blocks = terrain_block_count(terrain);
        int bx0 = clamp_int(x0 >> 7, 0, blocks - 1), bx1 = clamp_int(x1 >> 7, 0, blocks - 1);
        int bz0 = clamp_int(z0 >> 7, 0, blocks - 1), bz1 = clamp_int(z1 >> 7, 0, blocks - 1);
        for (int bz = bz0; bz <= bz1; bz++)
            for (int bx = bx0; bx <= bx1; bx++) {
                int *state = &terrain->block_stamps[bz * blocks + bx];
                if (*state == 0)
                    *state = terrain->current_stamp;
            }
    }
    for (int level = ground_first_level(); level < TERRAIN_LOD_LEVELS; level++) {
        int start_x = ground_window_start(terrain, level, terrain->lod_centre_x);
        int start_z = ground_window_start(terrain, level, terrain->lod_centre_z);
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++) {
            long long r0 = (long long)(start_z + r) << (level + 1), r1 = (long long)(start_z + r + 1) << (level + 1);
            if (r0 > z1 || r1 < z0)
                continue;
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++) {
                long long c0 = (long long)(start_x + c) << (level + 1);
                long long c1 = (long long)(start_x + c + 1) << (level + 1);
                if (c0 > x1 || c1 < x0)
                    continue;
                int *age = &terrain->level_stamps[level][r][c];
                if (*age == 0)
                    *age = terrain->current_stamp;
            }
        }
    }
}

// A world coordinate in cells, held near the grid before conversion.
static int world_to_cell(const Terrain *terrain, double world)
{
    double limit = 4.0 * terrain->side;
    double cell = floor(world / terrain->cell);
    if (!(cell > -limit))
        return (int)-limit;
    return cell > limit ? (int)limit : (int)cell;
}

void mark_decal_blocks_dirty(Terrain *terrain, int decal)
{
    if (decal < 0 || decal >= terrain->decals.count || !(terrain->cell > 0.0f))
        return;
    const Decal *d = (const Decal *)terrain->decals.data + decal;
    float hx, hz;
    decal_half_extents(d, &hx, &hz);
    mark_ground_blocks_dirty(terrain, world_to_cell(terrain, (double)d->x - hx), world_to_cell(terrain, (double)d->z - hz),
                             world_to_cell(terrain, (double)d->x + hx), world_to_cell(terrain, (double)d->z + hz));
}

// ---- the camera windows ----------------------------------------------------

void move_ground_windows(Terrain *terrain, int camera_x, int camera_z)
{
    int had_window = terrain->lod_centre_x > -999999;
    int layers = terrain->normal_mapping ? 3 : 1;
    for (int level = TERRAIN_LOD_LEVELS - 1; level >= 0; level--) {
        int old_x = had_window ? ground_window_start(terrain, level, terrain->lod_centre_x) : -1000000;
        int old_z = had_window ? ground_window_start(terrain, level, terrain->lod_centre_z) : -1000000;
        int dx = ground_window_start(terrain, level, camera_x) - old_x;
        int dz = ground_window_start(terrain, level, camera_z) - old_z;
        if (dx == 0 && dz == 0)
            continue;
        for (int layer = 0; layer < layers; layer++) {
            int (*ids)[TERRAIN_LEVEL_WINDOW] = terrain->level_textures[layer][level];
            int old[TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW];
            memcpy(old, ids, sizeof old);
            for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
                for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++)
                    ids[r][c] = old[(r + dz) & 3][(c + dx) & 3];
        }
        int valid[TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW], age[TERRAIN_LEVEL_WINDOW][TERRAIN_LEVEL_WINDOW];
        memcpy(valid, terrain->level_valid[level], sizeof valid);
        memcpy(age, terrain->level_stamps[level], sizeof age);
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++) {
                int keep = r + dz >= 0 && r + dz < 4 && c + dx >= 0 && c + dx < 4;
                terrain->level_valid[level][r][c] = keep ? valid[r + dz][c + dx] : 0;
                terrain->level_stamps[level][r][c] = keep ? age[r + dz][c + dx] : 0;
            }
    }
    terrain->lod_centre_x = camera_x;
    terrain->lod_centre_z = camera_z;
}

// ---- GPU layers ------------------------------------------------------------

static void draw_target_quad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1)
{
    glTexCoord2f(s0, t0);
    glVertex3f(x0, y0, -1.0f);
    glTexCoord2f(s1, t0);
    glVertex3f(x1, y0, -1.0f);
    glTexCoord2f(s1, t1);
    glVertex3f(x1, y1, -1.0f);
    glTexCoord2f(s0, t1);
    glVertex3f(x0, y1, -1.0f);
}

void bind_shading_texture(Terrain *terrain, int x, int z, int size)
{
    int count = terrain_low_detail_count(terrain);
    if (!terrain->low_detail_textures || count < 1)
        return;
    int i = clamp_int(x / TERRAIN_LOW_DETAIL_SPAN, 0, count - 1);
    int j = clamp_int(z / TERRAIN_LOW_DETAIL_SPAN, 0, count - 1);
    glBindTexture(GL_TEXTURE_2D, (GLuint)terrain->low_detail_textures[j * count + i]);
    double kx = i == count - 1 ? terrain->low_detail_scale : 1.0 / 512.0;
    double kz = j == count - 1 ? terrain->low_detail_scale : 1.0 / 512.0;
    double mx = x - (double)TERRAIN_LOW_DETAIL_SPAN * i, mz = z - (double)TERRAIN_LOW_DETAIL_SPAN * j;
    double u0 = (mx + 64 + 0.5) * kx, u1 = (mx + size + 64 + 0.5) * kx;
    double v0 = (mz + 64 + 0.5) * kz, v1 = (mz + size + 64 + 0.5) * kz;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslated((u0 + u1) / 2, (v0 + v1) / 2, 0.0);
    glScaled((u1 - u0) / 2, (v1 - v0) / 2, 1.0);
    glMatrixMode(GL_MODELVIEW);
}

static void reset_texture_matrix(void)
{
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

// The decals on an area as quads in its -1..1 square, one layer's textures.
static void draw_decal_layer(Terrain *terrain, int x0, int z0, int size, int layer)
{
    if (!terrain->decals.data || terrain->decals.count == 0 || terrain->decals_hidden)
        return;
    double spacing = terrain->cell;
    double area_x = 2.0 * x0 * spacing, area_z = 2.0 * z0 * spacing, width = 2.0 * size * spacing;
    GrowableArray *list = find_decals_in_rect(terrain, (float)area_x, (float)area_z, (float)(area_x + width),
                                              (float)(area_z + width));
    if (!list || list->count == 0)
        return;
    terrain->composite_count += list->count;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    double a = 2.0 / width;
    int bound = -1, open = 0;
    const int *indices = (const int *)list->data;
    for (int n = 0; n < list->count; n++) {
        if (indices[n] < 0 || indices[n] >= terrain->decals.count)
            continue;
        const Decal *d = (const Decal *)terrain->decals.data + indices[n];
        int texture = layer == LAYER_COLOUR ? d->texture : layer == LAYER_NORMAL ? d->normal_texture : d->specular_texture;
        double s = d->width, r = d->aspect;
        if (!texture || !(s != 0.0) || !(r != 0.0))
            continue;
        double cx = (d->x - area_x) * a - 1.0, cz = (d->z - area_z) * a - 1.0;
        double ax = r * s * d->cosine * a / 2, az = -r * s * d->sine * a / 2;
        double bx = s * d->sine * a / 2, bz = s * d->cosine * a / 2;
        if (!std::isfinite(cx + cz + ax + az + bx + bz))
            continue;
        if (texture != bound) {
            if (open)
                glEnd();
            glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
            texture_change_count++;
            bound = texture;
            glBegin(GL_QUADS);
            open = 1;
        }
        if (layer == LAYER_COLOUR)
            terrain->decal_draw_count++;
        int pieces = 1;
        if (ground_renderer_workaround == 1 && s > 256.0) {
            pieces = 2;
            while (s / pieces > 256.0 && pieces < 65536)
                pieces *= 2;
        }
        for (int i = 0; i < pieces; i++)
            for (int j = 0; j < pieces; j++) {
                // Piece (i along A, j along B): corners at fractions of the axes.
                double f0 = 2.0 * i / pieces - 1.0, f1 = 2.0 * (i + 1) / pieces - 1.0;
                double g0 = 2.0 * j / pieces - 1.0, g1 = 2.0 * (j + 1) / pieces - 1.0;
                double s0 = (double)i / pieces, s1 = (double)(i + 1) / pieces;
                double t0 = (double)j / pieces, t1 = (double)(j + 1) / pieces;
                double corner[4][4] = {{f0, g0, s0, t0}, {f1, g0, s1, t0}, {f1, g1, s1, t1}, {f0, g1, s0, t1}};
                for (auto &k : corner) {
                    glTexCoord2d(k[2], k[3]);
                    glVertex3d(cx + k[0] * ax + k[1] * bx, cz + k[0] * az + k[1] * bz, -1.0);
                }
            }
    }
    if (open)
        glEnd();
    glDisable(GL_BLEND);
}

static void draw_ground_colour_layer(Terrain *terrain, int x0, int z0, int size)
{
    int tiles = terrain_tile_side(terrain);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    int bound_kind = -1;
    for (int i = 0; i < size; i++) {
        float y0 = 2.0f * i / size - 1.0f, y1 = 2.0f * (i + 1) / size - 1.0f;
        for (int j = 0; j < size; j++) {
            int tx = clamp_int(x0 + j, 0, tiles - 1), tz = clamp_int(z0 + i, 0, tiles - 1);
            int kind = terrain->tile_map ? terrain->tile_map[(size_t)tz * tiles + tx] : 0;
            if (kind != bound_kind) {
                glBindTexture(GL_TEXTURE_2D, (GLuint)terrain->tiles[kind].texture);
                texture_change_count++;
                bound_kind = kind;
            }
            float x_0 = 2.0f * j / size - 1.0f, x_1 = 2.0f * (j + 1) / size - 1.0f;
            glBegin(GL_QUADS);
            draw_target_quad(x_0, y0, x_1, y1, 0.0625f, 0.0625f, 0.9375f, 0.9375f);
            glEnd();
        }
    }
    terrain->composite_count += size * size;
    draw_decal_layer(terrain, x0, z0, size, LAYER_COLOUR);
    if (!terrain->normal_mapping) {
        // 2 source destination: a shade of 128 leaves the colour as it is.
        glEnable(GL_BLEND);
        glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
        bind_shading_texture(terrain, 2 * x0, 2 * z0, 2 * size);
        glBegin(GL_QUADS);
        draw_target_quad(-1, -1, 1, 1, -1, -1, 1, 1);
        glEnd();
        reset_texture_matrix();
        glDisable(GL_BLEND);
    }
}

static void draw_ground_normal_layer(Terrain *terrain, int x0, int z0, int size)
{
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    bind_shading_texture(terrain, 2 * x0, 2 * z0, 2 * size);
    glBegin(GL_QUADS);
    draw_target_quad(-1, -1, 1, 1, -1, -1, 1, 1);
    glEnd();
    reset_texture_matrix();
    if (!gl_entry.glActiveTextureARB)
        return;
    bind_shader_slot(SHADER_TERRAIN_NORMALS);
    gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    bind_shading_texture(terrain, 2 * x0, 2 * z0, 2 * size);
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
    draw_decal_layer(terrain, x0, z0, size, LAYER_NORMAL);
    gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    reset_texture_matrix();
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
    bind_shader_slot(SHADER_FIXED);
}

static void draw_ground_spec_layer(Terrain *terrain, int x0, int z0, int size)
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor4f(0.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    draw_target_quad(-1, -1, 1, 1, 0, 0, 1, 1);
    glEnd();
    draw_decal_layer(terrain, x0, z0, size, LAYER_SPECULAR);
}

// Directs drawing at a V x V target; 0 when the framebuffer is incomplete
// (the layer then goes to the back buffer as things stand).
static int terrain_render_to_texture_begin(Terrain *terrain, int texture)
{
    int side = terrain->texture_size;
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glViewport(0, 0, side, side);
    if (terrain->texture_mode == 3) {
        gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, (GLuint)terrain->framebuffer);
        gl_entry.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                          (GLuint)texture, 0);
        GLenum status = gl_entry.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
        if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
            char message[64];
            snprintf(message, sizeof message, "Framebuffer error %x", (unsigned)status);
            print_message(message);
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
            return 0;
        }
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return 1;
}

static void terrain_render_to_texture_finish(Terrain *terrain, int texture)
{
    int side = terrain->texture_size;
    if (terrain->texture_mode == 3) {
        gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
        if (ground_mipmaps && gl_entry.glGenerateMipmapEXT)
            gl_entry.glGenerateMipmapEXT(GL_TEXTURE_2D);
    } else {
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, side, side);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDepthMask(GL_TRUE);
}

static int gpu_compositing(const Terrain *terrain)
{
    if (!gl_ready())
        return 0;
    if (terrain->texture_mode == 2)
        return 1;
    return terrain->texture_mode == 3 && terrain->framebuffer && gl_entry.glBindFramebufferEXT &&
           gl_entry.glFramebufferTexture2DEXT && gl_entry.glCheckFramebufferStatusEXT;
}

// Composites one ground texture of an area: its colour texture and, with
// normal-mapped ground, its normal and specular textures.
static void composite_ground_texture(Terrain *terrain, const int *textures, int x0, int z0, int size)
{
    if (!gpu_compositing(terrain)) {
        terrain_block_texture_cpu(terrain, textures[LAYER_COLOUR], x0, z0, size);
        return;
    }
    int layers = terrain->normal_mapping ? 3 : 1;
    for (int layer = 0; layer < layers; layer++) {
        int began = terrain_render_to_texture_begin(terrain, textures[layer]);
        if (layer == LAYER_COLOUR)
            draw_ground_colour_layer(terrain, x0, z0, size);
        else if (layer == LAYER_NORMAL)
            draw_ground_normal_layer(terrain, x0, z0, size);
        else
            draw_ground_spec_layer(terrain, x0, z0, size);
        if (began || terrain->texture_mode == 3)
            terrain_render_to_texture_finish(terrain, textures[layer]);
    }
}

static void composite_window_tile(Terrain *terrain, int level, int row, int column)
{
    int start_x = ground_window_start(terrain, level, terrain->lod_centre_x);
    int start_z = ground_window_start(terrain, level, terrain->lod_centre_z);
    int textures[3];
    for (int layer = 0; layer < 3; layer++)
        textures[layer] = terrain->level_textures[layer][level][row][column];
    if (ground_composite_observer)
        ground_composite_observer(level, row, column);
    composite_ground_texture(terrain, textures, (start_x + column) << level, (start_z + row) << level, 1 << level);
}

static void composite_block(Terrain *terrain, int row, int column)
{
    int blocks = terrain_block_count(terrain);
    int textures[3];
    for (int layer = 0; layer < 3; layer++)
        textures[layer] = terrain->block_textures[layer] ? terrain->block_textures[layer][row * blocks + column] : 0;
    if (ground_composite_observer)
        ground_composite_observer(TERRAIN_LOD_LEVELS, row, column);
    composite_ground_texture(terrain, textures, column * 64, row * 64, 64);
}

// Minification of the ground textures by mode: mip levels uploaded (mode
// 1), generated (mode 3) or made by the driver on copy (mode 2); else none.
static void set_ground_texture_filters(Terrain *terrain)
{
    terrain->ground_filters_set = 1;
    if (!gl_ready())
        return;
    int mipmapped = ground_mipmaps && (terrain->texture_mode != 2 || auto_mipmap_extension);
    int layers = terrain->normal_mapping ? 3 : 1;
    int blocks = terrain_block_count(terrain);
    auto set = [&](int texture) {
        if (texture <= 0)
            return;
        glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST);
        if (terrain->texture_mode == 2 && mipmapped)
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
    };
    for (int layer = 0; layer < layers; layer++) {
        for (int level = 0; level < TERRAIN_LOD_LEVELS; level++)
            for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
                for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++)
                    set(terrain->level_textures[layer][level][r][c]);
        if (terrain->block_textures[layer])
            for (int i = 0; i < blocks * blocks; i++)
                set(terrain->block_textures[layer][i]);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

static void detect_renderer_workaround(void)
{
    if (ground_renderer_workaround != -1 || !gl_ready())
        return;
    const char *renderer = (const char *)glGetString(GL_RENDERER);
    ground_renderer_workaround = renderer && strstr(renderer, "ATI Radeon X1270") ? 1 : 0;
    if (ground_renderer_workaround)
        log_printf("Working around ATI Radeon X1270 bug\n");
}

void update_ground_textures(Terrain *terrain)
{
    if (!terrain || !terrain->heights || !terrain->block_stamps)
        return;
    terrain->decal_draw_count = 0;
    detect_renderer_workaround();
    int gpu = gpu_compositing(terrain);
    // Compositing on the card gives back what it changes: the state, the
    // matrices (the texture matrices of units 0 and 1 with them) and the
    // framebuffer, bound again before the draw buffer is restored for it.
    GLint framebuffer = 0;
    int matrix_units = gl_entry.glActiveTextureARB ? 2 : 1;
    if (gpu) {
        if (gl_entry.glBindFramebufferEXT)
            glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
        glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT |
                     GL_TEXTURE_BIT | GL_CURRENT_BIT);
        glMatrixMode(GL_TEXTURE);
        for (int unit = matrix_units - 1; unit >= 0; unit--) {
            if (gl_entry.glActiveTextureARB)
                gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
            glPushMatrix();
        }
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
        glDisable(GL_CULL_FACE);
        glDisable(GL_ALPHA_TEST);
    }
    if (!terrain->ground_filters_set)
        set_ground_texture_filters(terrain);

    int blocks = terrain_block_count(terrain);
    for (int row = 0; row < blocks; row++)
        for (int column = 0; column < blocks; column++)
            if (terrain->block_stamps[row * blocks + column] == -1) {
                composite_block(terrain, row, column);
                terrain->block_stamps[row * blocks + column] = 0;
            }

    terrain->composite_count = 0;
    move_ground_windows(terrain, terrain_camera_cell(terrain, terrain->camera_eye[0]),
                        terrain_camera_cell(terrain, terrain->camera_eye[2]));

    int first = ground_first_level();
    for (int level = TERRAIN_LOD_LEVELS - 1; level >= first; level--) {
        int done = 0;
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW && !done; r++)
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW && !done; c++)
                if (!terrain->level_valid[level][r][c]) {
                    terrain->level_stamps[level][r][c] = 0;
                    terrain->level_valid[level][r][c] = 1;
                    composite_window_tile(terrain, level, r, c);
                    done = 1;
                }
    }

    // The oldest stale item; on a tie the first found (tiles before blocks).
    int best = 0, best_level = -1, best_row = 0, best_column = 0;
    for (int level = first; level < TERRAIN_LOD_LEVELS; level++)
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++) {
                int age = terrain->level_stamps[level][r][c];
                if (age > 0 && (best == 0 || age < best)) {
                    best = age;
                    best_level = level;
                    best_row = r;
                    best_column = c;
                }
            }
    for (int row = 0; row < blocks; row++)
        for (int column = 0; column < blocks; column++) {
            int state = terrain->block_stamps[row * blocks + column];
            if (state > 0 && (best == 0 || state < best)) {
                best = state;
                best_level = TERRAIN_LOD_LEVELS;
                best_row = row;
                best_column = column;
            }
        }
    if (best_level == TERRAIN_LOD_LEVELS) {
        terrain->block_stamps[best_row * blocks + best_column] = 0;
        composite_block(terrain, best_row, best_column);
    } else if (best_level >= 0) {
        terrain->level_stamps[best_level][best_row][best_column] = 0;
        terrain->level_valid[best_level][best_row][best_column] = 1;
        composite_window_tile(terrain, best_level, best_row, best_column);
    }

    if (gpu) {
        glMatrixMode(GL_TEXTURE);
        for (int unit = matrix_units - 1; unit >= 0; unit--) {
            if (gl_entry.glActiveTextureARB)
                gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
            glPopMatrix();
        }
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        if (gl_entry.glBindFramebufferEXT)
            gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, (GLuint)framebuffer);
        glPopAttrib();
    }
}
