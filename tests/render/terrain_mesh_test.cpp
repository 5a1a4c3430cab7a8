// The terrain mesh without GL: the node bitmap for a table of cameras, the
// fans it draws caught by a sink, and the surface they make: the triangles
// tile the field once, no vertex sits inside another triangle's edge, every
// sample lies near the surface for its distance from the camera, and the
// bitmap passes the crack check.
#include "render/terrain_mesh.h"

#include "render/render_settings.h"
#include "track/terrain.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

namespace {

// A rough field: long swells, short ripples and a ridge.
float rough(int column, int row)
{
    return 12.0f * sinf(column * 0.05f) * cosf(row * 0.043f) + 1.5f * sinf(column * 0.61f + row * 0.37f) +
           (abs(column - row) < 6 ? 4.0f : 0.0f);
}

struct MeshTerrain : MemoryTerrain {
    std::vector<float> errors, errors_next;
    std::vector<uint32_t> node_bits;
    MeshTerrain(int exponent, float tolerance)
        : MemoryTerrain(exponent, 2.0f, rough)
    {
        int nodes = terrain_lod_node_count(exponent);
        errors.assign(nodes, 0.0f);
        errors_next.assign(nodes, 0.0f);
        node_bits.assign((size_t)nodes / 32 + 2, 0);
        terrain.lod_error = errors.data();
        terrain.lod_error_next = errors_next.data();
        terrain.lod_node_bits = node_bits.data();
        terrain.lod_tolerance = tolerance;
        run_lod_error_pass(&terrain, INT_MAX);
    }
};

struct Fan {
    std::vector<TerrainFanVertex> vertices;
    int level;
};

void collect(void *context, const TerrainFanVertex *vertices, int count, int level, int)
{
    ((std::vector<Fan> *)context)->push_back({std::vector<TerrainFanVertex>(vertices, vertices + count), level});
}

std::vector<Fan> draw_fans(Terrain *terrain, const float *eye, const float *direction)
{
    std::vector<Fan> fans;
    set_terrain_camera(terrain, eye, direction);
    terrain_fan_sink = collect;
    terrain_fan_sink_context = &fans;
    draw_terrain(terrain);
    terrain_fan_sink = nullptr;
    return fans;
}

struct Triangle {
    const TerrainFanVertex *v[3];
};

std::vector<Triangle> triangles_of(const std::vector<Fan> &fans)
{
    std::vector<Triangle> out;
    for (const Fan &fan : fans)
        for (size_t i = 1; i + 1 < fan.vertices.size(); i++)
            out.push_back({{&fan.vertices[0], &fan.vertices[i], &fan.vertices[i + 1]}});
    return out;
}

// Twice the signed area of (a, b, p) in sample units.
double edge_side(const TerrainFanVertex *a, const TerrainFanVertex *b, double x, double z)
{
    return (double)(b->column - a->column) * (z - a->row) - (double)(b->row - a->row) * (x - a->column);
}

// Barycentric weights of a point in a triangle; false when it lies outside.
bool weights(const Triangle &t, double x, double z, double *w)
{
    double area = edge_side(t.v[0], t.v[1], t.v[2]->column, t.v[2]->row);
    if (area == 0.0)
        return false;
    w[0] = edge_side(t.v[1], t.v[2], x, z) / area;
    w[1] = edge_side(t.v[2], t.v[0], x, z) / area;
    w[2] = edge_side(t.v[0], t.v[1], x, z) / area;
    return w[0] >= -1e-9 && w[1] >= -1e-9 && w[2] >= -1e-9;
}

struct CameraCase {
    const char *name;
    int exponent;
    float eye[3];
};

}  // namespace

TEST(TerrainMesh, SurfaceTilesTheFieldWithoutCracksAndFollowsTheHeights)
{
    const float tolerance = 0.05f;
    const CameraCase cases[] = {
        {"on the track", 7, {250.0f, 20.0f, 300.0f}},
        {"at a border", 7, {0.0f, 10.0f, 130.0f}},
        {"at a corner", 7, {512.0f, 5.0f, 512.0f}},
        {"far outside", 7, {-5000.0f, 50.0f, 9000.0f}},
        {"a small field", 4, {20.0f, 5.0f, 40.0f}},
        {"not a number", 7, {NAN, 0.0f, NAN}},
    };
    const float no_direction[3] = {0.0f, 0.0f, 0.0f};
    for (const CameraCase &c : cases) {
        SCOPED_TRACE(c.name);
        MeshTerrain m(c.exponent, tolerance);
        Terrain *t = &m.terrain;
        std::vector<Fan> fans = draw_fans(t, c.eye, no_direction);
        ASSERT_FALSE(fans.empty());
        EXPECT_EQ(terrain_check_cracks(t), 0);
        std::vector<Triangle> triangles = triangles_of(fans);
        int side = t->side, cells = side - 1;

        // Vertices are samples at their own heights; the counter counts the perimeter.
        std::vector<char> vertex((size_t)side * side, 0);
        int perimeter = 0;
        for (const Fan &fan : fans) {
            perimeter += (int)fan.vertices.size() - 1;
            for (const TerrainFanVertex &v : fan.vertices) {
                ASSERT_EQ(v.position[1], m.at(v.column, v.row));
                ASSERT_EQ(v.position[0], v.column * t->cell);
                vertex[(size_t)v.row * side + v.column] = 1;
            }
        }
        EXPECT_EQ(t->ground_vertex_count, perimeter);

        // Each cell is covered exactly once (a point of it that no edge can hold).
        std::vector<int> cover((size_t)cells * cells, 0);
        double area = 0.0;
        for (const Triangle &tri : triangles) {
            area += fabs(edge_side(tri.v[0], tri.v[1], tri.v[2]->column, tri.v[2]->row)) / 2.0;
            int c0 = std::min({tri.v[0]->column, tri.v[1]->column, tri.v[2]->column});
            int c1 = std::max({tri.v[0]->column, tri.v[1]->column, tri.v[2]->column});
            int r0 = std::min({tri.v[0]->row, tri.v[1]->row, tri.v[2]->row});
            int r1 = std::max({tri.v[0]->row, tri.v[1]->row, tri.v[2]->row});
            for (int r = r0; r < r1; r++)
                for (int cc = c0; cc < c1; cc++) {
                    double w[3];
                    if (weights(tri, cc + 0.3, r + 0.6, w))
                        cover[(size_t)r * cells + cc]++;
                }
        }
        EXPECT_DOUBLE_EQ(area, (double)cells * cells);
        int wrong = 0;
        for (int n : cover)
            wrong += n != 1;
        EXPECT_EQ(wrong, 0);

        // No vertex lies strictly inside an edge (a T-junction would crack).
        int junctions = 0;
        for (const Triangle &tri : triangles)
            for (int e = 0; e < 3; e++) {
                const TerrainFanVertex *a = tri.v[e], *b = tri.v[(e + 1) % 3];
                int dx = (b->column > a->column) - (b->column < a->column);
                int dz = (b->row > a->row) - (b->row < a->row);
                int steps = std::max(abs(b->column - a->column), abs(b->row - a->row));
                ASSERT_TRUE(abs(b->column - a->column) == 0 || abs(b->row - a->row) == 0 ||
                            abs(b->column - a->column) == abs(b->row - a->row));
                for (int k = 1; k < steps; k++)
                    junctions += vertex[(size_t)(a->row + k * dz) * side + a->column + k * dx];
            }
        EXPECT_EQ(junctions, 0);

        // Every sample lies within 2 x tolerance x its horizontal distance
        // from the camera of the surface drawn over it.
        double worst = 0.0;
        for (const Triangle &tri : triangles) {
            int c0 = std::min({tri.v[0]->column, tri.v[1]->column, tri.v[2]->column});
            int c1 = std::max({tri.v[0]->column, tri.v[1]->column, tri.v[2]->column});
            int r0 = std::min({tri.v[0]->row, tri.v[1]->row, tri.v[2]->row});
            int r1 = std::max({tri.v[0]->row, tri.v[1]->row, tri.v[2]->row});
            for (int r = r0; r <= r1; r++)
                for (int cc = c0; cc <= c1; cc++) {
                    double w[3];
                    if (!weights(tri, cc, r, w))
                        continue;
                    double surface = w[0] * tri.v[0]->position[1] + w[1] * tri.v[1]->position[1] +
                                     w[2] * tri.v[2]->position[1];
                    double dx = cc * t->cell - c.eye[0], dz = r * t->cell - c.eye[2];
                    double distance = std::isfinite(dx + dz) ? sqrt(dx * dx + dz * dz) : 1e30;
                    double ratio = fabs(m.at(cc, r) - surface) / (tolerance * distance + 1e-6);
                    worst = std::max(worst, ratio);
                }
        }
        EXPECT_LE(worst, 2.0);
    }
}

TEST(TerrainMesh, FinerNearTheCameraAndCulledBehindIt)
{
    MeshTerrain m(7, 0.01f);
    Terrain *t = &m.terrain;
    const float eye[3] = {100.0f, 30.0f, 100.0f};
    const float none[3] = {0.0f, 0.0f, 0.0f};
    std::vector<Fan> fans = draw_fans(t, eye, none);
    // The fans under the camera are of the finest nodes (2 cells across).
    int near_span = 0, far_span = 0;
    for (const Fan &fan : fans) {
        int span = 2 * abs(fan.vertices[1].column - fan.vertices[0].column);
        double dx = fan.vertices[0].position[0] - eye[0], dz = fan.vertices[0].position[2] - eye[2];
        if (dx * dx + dz * dz < 10.0 * 10.0)
            near_span = std::max(near_span, span);
        if (dx * dx + dz * dz > 300.0 * 300.0)
            far_span = std::max(far_span, span);
    }
    EXPECT_EQ(near_span, 2);
    EXPECT_GT(far_span, 8);

    // Looking along +x: nodes wholly at smaller x are not drawn, the rest is.
    const float along_x[3] = {1.0f, 0.0f, 0.0f};
    std::vector<Fan> ahead = draw_fans(t, eye, along_x);
    ASSERT_FALSE(ahead.empty());
    bool behind = false, beyond = false;
    for (const Fan &fan : ahead) {
        float reach = 0.0f;
        for (const TerrainFanVertex &v : fan.vertices)
            reach = std::max(reach, v.position[0]);
        behind |= reach < eye[0];
        beyond |= fan.vertices[0].position[0] > 400.0f;
    }
    EXPECT_FALSE(behind);
    EXPECT_TRUE(beyond);
    EXPECT_LT(ahead.size(), fans.size());
}

TEST(TerrainMesh, GroundTextureLevelOfEachNode)
{
    MeshTerrain m(7, 0.05f);
    Terrain *t = &m.terrain;
    t->block_textures[0] = nullptr;
    const float eye[3] = {20.0f, 10.0f, 20.0f}, none[3] = {0, 0, 0};
    int saved = ground_detail_limit;

    // No window tile valid: everything on the base blocks.
    ground_detail_limit = 0;
    for (const Fan &fan : draw_fans(t, eye, none))
        ASSERT_EQ(fan.level, 6);

    // Every window tile valid: the finest level that holds each node; at the
    // camera the node's own size level (depth N: level 0).
    for (auto &level : t->level_valid)
        for (auto &row : level)
            for (int &valid : row)
                valid = 1;
    std::vector<Fan> fans = draw_fans(t, eye, none);
    int finest = 6;
    for (const Fan &fan : fans) {
        int span = 2 * abs(fan.vertices[1].column - fan.vertices[0].column);   // samples across the node
        int size_level = 0;
        while ((2 << size_level) < span)
            size_level++;
        ASSERT_GE(fan.level, size_level);
        finest = std::min(finest, fan.level);
        // Texture coordinates stay within the tile.
        for (const TerrainFanVertex &v : fan.vertices) {
            ASSERT_GE(v.coordinate[0], 0.0f);
            ASSERT_LE(v.coordinate[0], 1.0f);
            ASSERT_GE(v.coordinate[1], 0.0f);
            ASSERT_LE(v.coordinate[1], 1.0f);
        }
    }
    EXPECT_EQ(finest, 0);

    // The detail limit holds nodes to its level; at 6 only the base blocks.
    ground_detail_limit = 3;
    for (const Fan &fan : draw_fans(t, eye, none))
        ASSERT_GE(fan.level, 3);
    ground_detail_limit = 6;
    for (const Fan &fan : draw_fans(t, eye, none))
        ASSERT_EQ(fan.level, 6);
    ground_detail_limit = saved;
}

TEST(TerrainMesh, CameraCellsAndWindowStartsClamp)
{
    MeshTerrain m(7, 0.05f);
    Terrain *t = &m.terrain;
    struct Case {
        float coordinate;
        int cell;
    } cells[] = {{3.9f, 1}, {-0.5f, -1}, {1e30f, 4 * t->side}, {-INFINITY, -4 * t->side}, {NAN, -4 * t->side}};
    for (const Case &c : cells)
        EXPECT_EQ(terrain_camera_cell(t, c.coordinate), c.cell) << c.coordinate;
    struct Start {
        int level, cell, start;
    } starts[] = {
        {0, 100, 48},    // ((100 - 1) >> 1) - 1
        {0, -100000, 0}, // clamped below
        {0, 100000, 124},// 2^7 - 4
        {5, 200, 0},     // level 5: 4 tiles, the whole field
        {3, 100, 4},     // ((100 - 8) >> 4) - 1
    };
    for (const Start &s : starts)
        EXPECT_EQ(ground_window_start(t, s.level, s.cell), s.start) << s.level << " " << s.cell;
}

TEST(TerrainMesh, FrameStampAdvancesAndWrapsToOne)
{
    MeshTerrain m(7, 0.05f);
    Terrain *t = &m.terrain;
    const float eye[3] = {10, 10, 10}, none[3] = {0, 0, 0};
    t->current_stamp = 7;
    draw_fans(t, eye, none);
    EXPECT_EQ(t->current_stamp, 8);
    t->current_stamp = INT_MAX;
    draw_fans(t, eye, none);
    EXPECT_EQ(t->current_stamp, 1);
}
