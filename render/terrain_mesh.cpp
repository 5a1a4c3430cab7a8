// The terrain mesh: the node bitmap rebuilt every frame from the camera,
// and the fans that draw the nodes back to front with their composited
// ground textures. A node's edge midpoint is emitted only next to a node
// drawn at its depth or finer, so coarse and fine fans meet without cracks.
#include "render/terrain_mesh.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "platform/log.h"
#include "render/gl_extensions.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "track/terrain.h"

TerrainFanSink terrain_fan_sink;
void *terrain_fan_sink_context;

// The eight fan directions (dx, dz), corners at the odd ones.
static const int fan_directions[8][2] = {{0, -1}, {-1, -1}, {-1, 0}, {-1, 1},
                                         {0, 1},  {1, 1},   {1, 0},  {1, -1}};

// Children nearest to farthest for each camera quadrant, and the fan start
// of the quadrant.
static const int child_order[4][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {2, 0, 3, 1}, {3, 2, 1, 0}};
static const int quadrant_start[4] = {0, 6, 2, 4};
static const int partial_start[16] = {0, 2, 0, 2, 0, 4, 0, 4, 6, 0, 0, 2, 6, 6, 0, 0};
static const int partial_count[16] = {0, 7, 0, 5, 0, 5, 0, 3, 7, 0, 5, 3, 5, 3, 3, 0};

// The fans handed to the driver: each fan's vertices (position and texture
// coordinate) once, and its triangles as indices. Fans drawn with the same
// textures gather here and go to the driver in one draw when the textures
// change, the arrays fill or the terrain ends (each fan triangle keeps its
// corners and their order, so the picture is the same as one draw a fan).
enum { FAN_BATCH_FANS = 256, FAN_BATCH_VERTICES = 10 * FAN_BATCH_FANS, FAN_BATCH_INDICES = 3 * 8 * FAN_BATCH_FANS };
static float fan_array[FAN_BATCH_VERTICES][5];
static unsigned char fan_colours[FAN_BATCH_VERTICES][4];
static GLuint fan_indices[FAN_BATCH_INDICES];
static int fan_batch_vertices, fan_batch_indices;

// Per draw: the last bound colour texture and level.
static int bound_texture;
static int bound_level;

int terrain_node_index(int depth, int a, int b)
{
    return (int)(((1LL << (2 * depth)) - 1) / 3) + a + (b << depth);
}

static int node_bit(const Terrain *terrain, int depth, int a, int b)
{
    return terrain_bit(terrain->lod_node_bits, terrain_node_index(depth, a, b));
}

int terrain_camera_cell(const Terrain *terrain, float coordinate)
{
    double limit = 4.0 * (double)terrain->side;
    double cell = floor((double)coordinate / (double)terrain->cell);
    cell = fmax(cell, -limit);   // a NaN gives the low end
    cell = fmin(cell, limit);
    return (int)cell;
}

void set_terrain_camera(Terrain *terrain, const float *eye, const float *direction)
{
    memcpy(terrain->camera_eye, eye, sizeof terrain->camera_eye);
    memcpy(terrain->camera_direction, direction, sizeof terrain->camera_direction);
}

static int clamp_int(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

int ground_window_start(const Terrain *terrain, int level, int cell)
{
    int shift = terrain->grid_exponent - level;
    int last = shift >= 0 ? (1 << shift) - TERRAIN_LEVEL_WINDOW : 0;
    int start = ((cell - (1 << level)) >> (level + 1)) - 1;
    return clamp_int(start, 0, last > 0 ? last : 0);
}

// The forced patches: every node of depths 0..N-6 and the first of N-5.
static int forced_node_bits(int exponent)
{
    if (exponent >= 5)
        return (int)(((1LL << (2 * (exponent - 5))) - 1) / 3) + 1;
    return exponent >= 2 ? 1 : 0;
}

// The 4 x 4 nodes of each depth nearest the camera, widened against the
// finer depth's window so that every finer window keeps a coarse margin.
static void set_camera_windows(Terrain *terrain)
{
    int n = terrain->grid_exponent;
    int cx = terrain->camera_cell_x, cz = terrain->camera_cell_z;
    int finer[4] = {0, 0, 0, 0};   // start x, end x, start z, end z
    int have_finer = 0;
    for (int depth = n; depth >= 1; depth--) {
        int shift = n - depth;
        int count = 1 << depth;
        int last = count - 4 > 0 ? count - 4 : 0;
        int t = clamp_int(((cx - (1 << shift)) >> (shift + 1)) - 1, 0, last);
        int v = clamp_int(((cz - (1 << shift)) >> (shift + 1)) - 1, 0, last);
        int x0 = t, x1 = t + 4, z0 = v, z1 = v + 4;
        if (have_finer) {
            if (finer[1] == 2 * (t + 4))
                x1 = t + 5;
            if (finer[0] == 2 * t)
                x0 = t - 1;
            if (finer[3] == 2 * (v + 4))
                z1 = v + 5;
            if (finer[2] == 2 * v)
                z0 = v - 1;
        }
        x0 = x0 < 0 ? 0 : x0;
        z0 = z0 < 0 ? 0 : z0;
        x1 = x1 > count ? count : x1;
        z1 = z1 > count ? count : z1;
        for (int b = z0; b < z1; b++)
            for (int a = x0; a < x1; a++)
                terrain_set_bit(terrain->lod_node_bits, terrain_node_index(depth, a, b));
        finer[0] = t;
        finer[1] = t + 4;
        finer[2] = v;
        finer[3] = v + 4;
        have_finer = 1;
    }
}

static void refine_terrain_nodes(Terrain *terrain, int depth, int a, int b)
{
    int n = terrain->grid_exponent;
    int index = terrain_node_index(depth, a, b);
    float value = terrain->lod_error ? terrain->lod_error[index] : 0.0f;
    float h = (float)(1 << (n - depth)) * terrain->cell;
    float dx = terrain->camera_eye[0] - (float)(2 * a + 1) * h;
    float dz = terrain->camera_eye[2] - (float)(2 * b + 1) * h;
    if (!(value > dx * dx + dz * dz))
        return;
    terrain_set_bit(terrain->lod_node_bits, index);
    if (depth == n)
        return;
    for (int child = 0; child < 4; child++)
        refine_terrain_nodes(terrain, depth + 1, 2 * a + (child & 1), 2 * b + (child >> 1));
}

void build_terrain_node_bitmap(Terrain *terrain)
{
    int n = terrain->grid_exponent;
    terrain->camera_cell_x = terrain_camera_cell(terrain, terrain->camera_eye[0]);
    terrain->camera_cell_z = terrain_camera_cell(terrain, terrain->camera_eye[2]);
    terrain->ground_vertex_count = 0;
    int nodes = terrain_lod_node_count(n);
    memset(terrain->lod_node_bits, 0, ((size_t)nodes + 31) / 32 * sizeof(uint32_t));
    int forced = forced_node_bits(n);
    for (int i = 0; i < forced; i++)
        terrain_set_bit(terrain->lod_node_bits, i);
    set_camera_windows(terrain);
    refine_terrain_nodes(terrain, 0, 0, 0);
}

int choose_ground_texture_level(const Terrain *terrain, int depth, int a, int b)
{
    int n = terrain->grid_exponent;
    int level = n - depth > ground_detail_limit ? n - depth : ground_detail_limit;
    if (level < 0)
        level = 0;
    int ox = a << (n - depth), oz = b << (n - depth);
    for (; level < TERRAIN_LOD_LEVELS; level++) {
        int u = ground_window_start(terrain, level, terrain->camera_cell_x);
        int w = ground_window_start(terrain, level, terrain->camera_cell_z);
        int c = (ox >> level) - u, r = (oz >> level) - w;
        if (c >= 0 && c < TERRAIN_LEVEL_WINDOW && r >= 0 && r < TERRAIN_LEVEL_WINDOW &&
            terrain->level_valid[level][r][c])
            return level;
    }
    return TERRAIN_LOD_LEVELS;
}

int ground_texture_for_node(const Terrain *terrain, int depth, int a, int b, int level, int layer)
{
    int n = terrain->grid_exponent;
    int ox = a << (n - depth), oz = b << (n - depth);
    if (level < TERRAIN_LOD_LEVELS) {
        int u = ground_window_start(terrain, level, terrain->camera_cell_x);
        int w = ground_window_start(terrain, level, terrain->camera_cell_z);
        int c = ((ox >> level) - u) & 3, r = ((oz >> level) - w) & 3;
        return terrain->level_textures[layer][level][r][c];
    }
    if (!terrain->block_textures[layer])
        return 0;
    int blocks = terrain_block_count(terrain);
    int bx = clamp_int(ox >> 6, 0, blocks - 1), bz = clamp_int(oz >> 6, 0, blocks - 1);
    return terrain->block_textures[layer][bz * blocks + bx];
}

static void draw_fan_batch(void)
{
    if (fan_batch_indices > 0)
        glDrawElements(GL_TRIANGLES, fan_batch_indices, GL_UNSIGNED_INT, fan_indices);
    fan_batch_vertices = fan_batch_indices = 0;
}

static void bind_terrain_textures(Terrain *terrain, int depth, int a, int b, int level)
{
    int colour = ground_texture_for_node(terrain, depth, a, b, level, 0);
    if (colour == bound_texture && level == bound_level)
        return;
    bound_texture = colour;
    bound_level = level;
    if (terrain_fan_sink)
        return;
    draw_fan_batch();
    glBindTexture(GL_TEXTURE_2D, (GLuint)colour);
    texture_change_count++;
    if (terrain->normal_mapping && gl_entry.glActiveTextureARB) {
        gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, (GLuint)ground_texture_for_node(terrain, depth, a, b, level, 1));
        gl_entry.glActiveTextureARB(GL_TEXTURE2_ARB);
        glBindTexture(GL_TEXTURE_2D, (GLuint)ground_texture_for_node(terrain, depth, a, b, level, 2));
        gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
    }
}

// The fan's vertices: the centre, then the perimeter from the start
// direction; edge midpoints only beside a neighbour drawn at this depth or
// finer, or at the border.
static int collect_fan(Terrain *terrain, int depth, int a, int b, int start, int count, int level,
                       TerrainFanVertex *out)
{
    int n = terrain->grid_exponent;
    int h = 1 << (n - depth);
    int centre_column = (2 * a + 1) * h, centre_row = (2 * b + 1) * h;
    int span = 2 << level;
    int origin_column = centre_column & ~(span - 1), origin_row = centre_row & ~(span - 1);
    float scale = 1.0f / (float)span;
    int nodes = 1 << depth;
    int emitted = 0;
    for (int i = -1; i < count; i++) {
        int column = centre_column, row = centre_row;
        if (i >= 0) {
            int k = (start + i) & 7;
            int dx = fan_directions[k][0], dz = fan_directions[k][1];
            if (!dx || !dz) {
                int na = a + dx, nb = b + dz;
                if (na >= 0 && nb >= 0 && na < nodes && nb < nodes && !node_bit(terrain, depth, na, nb))
                    continue;
            }
            column += dx * h;
            row += dz * h;
        }
        TerrainFanVertex *v = &out[emitted++];
        v->column = column;
        v->row = row;
        v->position[0] = (float)column * terrain->cell;
        v->position[1] = terrain->heights[(size_t)row * terrain->side + column];
        v->position[2] = (float)row * terrain->cell;
        v->coordinate[0] = (float)(column - origin_column) * scale;
        v->coordinate[1] = (float)(row - origin_row) * scale;
    }
    return emitted;
}

static void draw_terrain_fan_immediate(const TerrainFanVertex *vertices, int count)
{
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLE_FAN);
    for (int i = 0; i < count; i++) {
        glTexCoord2fv(vertices[i].coordinate);
        glVertex3fv(vertices[i].position);
    }
    glEnd();
}

// The fan goes into the batch: its vertices, and its triangles (the centre
// and each pair of perimeter neighbours) as indices; the colour array stays
// off and the colour white from the start of the terrain.
static void draw_terrain_fan_arrays(const TerrainFanVertex *vertices, int count)
{
    if (count < 3 || count > 10)
        return;
    if (fan_batch_vertices + count > FAN_BATCH_VERTICES || fan_batch_indices + 3 * (count - 2) > FAN_BATCH_INDICES)
        draw_fan_batch();
    GLuint first = (GLuint)fan_batch_vertices;
    for (int i = 0; i < count; i++) {
        float *out = fan_array[fan_batch_vertices++];
        memcpy(out, vertices[i].position, 3 * sizeof(float));
        memcpy(out + 3, vertices[i].coordinate, 2 * sizeof(float));
    }
    for (int i = 1; i + 1 < count; i++) {
        fan_indices[fan_batch_indices++] = first;
        fan_indices[fan_batch_indices++] = first + (GLuint)i;
        fan_indices[fan_batch_indices++] = first + (GLuint)i + 1;
    }
}

static void draw_fan(Terrain *terrain, int depth, int a, int b, int start, int count, int level)
{
    bind_terrain_textures(terrain, depth, a, b, level);
    TerrainFanVertex vertices[10];
    int emitted = collect_fan(terrain, depth, a, b, start, count, level, vertices);
    terrain->ground_vertex_count += emitted - 1;
    if (terrain_fan_sink)
        terrain_fan_sink(terrain_fan_sink_context, vertices, emitted, level, bound_texture);
    else if (no_vertex_arrays)
        draw_terrain_fan_immediate(vertices, emitted);
    else
        draw_terrain_fan_arrays(vertices, emitted);
}

// 1 when the node's box lies wholly behind the camera plane.
static int node_behind_camera(const Terrain *terrain, int depth, int a, int b)
{
    const float *d = terrain->camera_direction, *eye = terrain->camera_eye;
    float size = (float)(1 << (terrain->grid_exponent - depth)) * terrain->cell;
    float x = (float)(d[0] >= 0.0f ? 2 * a + 2 : 2 * a) * size;
    float y = d[1] >= 0.0f ? terrain->max_height : terrain->min_height;
    float z = (float)(d[2] >= 0.0f ? 2 * b + 2 : 2 * b) * size;
    return (x - eye[0]) * d[0] + (y - eye[1]) * d[1] + (z - eye[2]) * d[2] < 0.0f;
}

static void draw_terrain_node(Terrain *terrain, int depth, int a, int b)
{
    if (node_behind_camera(terrain, depth, a, b))
        return;
    int n = terrain->grid_exponent;
    int level = choose_ground_texture_level(terrain, depth, a, b);
    int children[4], mask = 0;
    if (depth < n)
        for (int i = 0; i < 4; i++) {
            children[i] = i;
            if (node_bit(terrain, depth + 1, 2 * a + (i & 1), 2 * b + (i >> 1)))
                mask |= 1 << i;
        }
    if (mask == 0) {
        draw_fan(terrain, depth, a, b, 1, 9, level);
        return;
    }
    int h = 1 << (n - depth);
    int centre_column = (2 * a + 1) * h, centre_row = (2 * b + 1) * h;
    int q = (terrain->camera_cell_x >= centre_column ? 1 : 0) | (terrain->camera_cell_z >= centre_row ? 2 : 0);
    const int *order = child_order[q];
    int s = quadrant_start[q];
    int w = 0;
    for (int i = 0; i < 4; i++)
        if (mask & (1 << order[i]))
            w |= 1 << i;
    auto recurse = [&](int which) {
        int child = children[order[which]];
        draw_terrain_node(terrain, depth + 1, 2 * a + (child & 1), 2 * b + (child >> 1));
    };
    auto fan = [&](int start, int count) { draw_fan(terrain, depth, a, b, start & 7, count, level); };
    enum { A, B, C, D };
    switch (w) {
    case 15:
        recurse(D);
        recurse(C);
        recurse(B);
        recurse(A);
        break;
    case 2:
        fan(s + 3, 4);
        recurse(B);
        fan(s, 4);
        break;
    case 4:
        fan(s + 4, 4);
        recurse(C);
        fan(s - 1, 4);
        break;
    case 6:
        fan(s + 4, 3);
        recurse(B);
        recurse(C);
        fan(s, 3);
        break;
    case 9:
        recurse(D);
        fan(s - 2, 3);
        fan(s + 2, 3);
        recurse(A);
        break;
    default:
        if (w & 8) {
            recurse(D);
            if (w & 4)
                recurse(C);
            if (w & 2)
                recurse(B);
            fan(partial_start[w] + s, partial_count[w]);
        } else {
            fan(partial_start[w] + s, partial_count[w]);
            if (w & 4)
                recurse(C);
            if (w & 2)
                recurse(B);
        }
        if (w & 1)
            recurse(A);
        break;
    }
}

void draw_terrain(Terrain *terrain)
{
    if (!terrain || !terrain->heights || !terrain->lod_node_bits || terrain->grid_exponent < 1)
        return;
    int gl = terrain_fan_sink == nullptr;
    bound_texture = -1;
    bound_level = -1;
    if (gl && !no_vertex_arrays) {
        glVertexPointer(3, GL_FLOAT, 5 * sizeof(float), fan_array[0]);
        glTexCoordPointer(2, GL_FLOAT, 5 * sizeof(float), fan_array[0] + 3);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, fan_colours);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        fan_batch_vertices = fan_batch_indices = 0;
    }
    build_terrain_node_bitmap(terrain);
    int normal_mapped = gl && terrain->normal_mapping && gl_entry.glActiveTextureARB;
    if (gl) {
        glDisable(GL_BLEND);
        if (normal_mapped) {
            bind_shader_slot(SHADER_TERRAIN);
            gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
            glEnable(GL_TEXTURE_2D);
            gl_entry.glActiveTextureARB(GL_TEXTURE2_ARB);
            glEnable(GL_TEXTURE_2D);
            gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
        }
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    }
    draw_terrain_node(terrain, 0, 0, 0);
    if (gl) {
        if (!no_vertex_arrays)
            draw_fan_batch();
        if (normal_mapped) {
            bind_shader_slot(SHADER_FIXED);
            gl_entry.glActiveTextureARB(GL_TEXTURE2_ARB);
            glBindTexture(GL_TEXTURE_2D, 0);
            glDisable(GL_TEXTURE_2D);
            gl_entry.glActiveTextureARB(GL_TEXTURE1_ARB);
            glBindTexture(GL_TEXTURE_2D, 0);
            glDisable(GL_TEXTURE_2D);
            gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        if (!no_vertex_arrays) {
            glDisableClientState(GL_VERTEX_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_COLOR_ARRAY);
        }
    }
    terrain->current_stamp = terrain->current_stamp == INT_MAX ? 1 : terrain->current_stamp + 1;
}

// Walks the drawn nodes; a node drawn inside its parent's fan must not
// border a set node of the next depth.
static int check_node(const Terrain *terrain, int depth, int a, int b)
{
    int n = terrain->grid_exponent;
    if (!node_bit(terrain, depth, a, b)) {
        if (depth >= n)
            return 0;
        static const int around[8][2] = {{-1, 0}, {-1, 1}, {2, 0}, {2, 1}, {0, -1}, {1, -1}, {0, 2}, {1, 2}};
        int count = 2 << depth;
        for (int i = 0; i < 8; i++) {
            int fa = 2 * a + around[i][0], fb = 2 * b + around[i][1];
            if (fa >= 0 && fb >= 0 && fa < count && fb < count && node_bit(terrain, depth + 1, fa, fb))
                return 1;
        }
        return 0;
    }
    if (depth == n)
        return 0;
    int found = 0;
    for (int child = 0; child < 4; child++)
        found |= check_node(terrain, depth + 1, 2 * a + (child & 1), 2 * b + (child >> 1));
    return found;
}

int terrain_check_cracks(const Terrain *terrain)
{
    static int reported;
    if (!terrain || !terrain->lod_node_bits)
        return 0;
    int found = check_node(terrain, 0, 0, 0);
    if (found && !reported) {
        reported = 1;
        log_printf("Found a crack!\n");
    }
    return found;
}
