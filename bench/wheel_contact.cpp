// Wheel searches against the terrain: the deepest contact (physics) and the
// first touching triangle from the centre out (read-outs), per wheel, on a
// hilly grid with wheels leaning and heading every way.
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "bike/wheel_contact.h"
#include "track/terrain.h"

#include "bench_folder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

const int WHEELS = 256;
const float RIM = 0.833333f, TYRE = 0.333333f;

// 257 x 257 samples, 2 ft cells, rolling hills with ruts on them.
struct HillyTerrain {
    Terrain terrain;
    std::vector<float> heights;
    HillyTerrain()
    {
        heights.resize(257 * 257);
        for (int row = 0; row < 257; row++)
            for (int column = 0; column < 257; column++) {
                float x = column * 2.0f, z = row * 2.0f;
                heights[row * 257 + column] = 6.0f * sinf(x * 0.05f) * cosf(z * 0.04f) +
                                              0.4f * sinf(x * 0.9f + z * 0.3f);
            }
        set_bench_terrain(&terrain, heights.data());
    }
};

struct Field {
    HillyTerrain ground;
    std::vector<WheelContact> wheels;
    Field()
    {
        create_physics_world();
        unsigned seed = 2024;
        auto next = [&seed]() {
            seed = seed * 1664525u + 1013904223u;
            return (float)(seed >> 8) / (float)(1 << 24);
        };
        for (int i = 0; i < WHEELS; i++) {
            WheelContact wheel;
            memset(&wheel, 0, sizeof wheel);
            wheel.body = create_counted_body();
            wheel.axle[0] = 1.0f;
            wheel.rim_radius = RIM;
            wheel.tyre_radius = TYRE;
            float x = 20 + next() * 470, z = 20 + next() * 470;
            // Most wheels press into the ground; some are in the air.
            float y = sample_ground_height(&ground.terrain, x, z) + RIM + TYRE - next() * 0.5f + 0.1f;
            dBodySetPosition(wheel.body, x, y, z);
            dMatrix3 heading, lean, both;
            dRFromAxisAndAngle(heading, 0, 1, 0, next() * 6.283f);
            dRFromAxisAndAngle(lean, 0, 0, 1, (next() - 0.5f) * 1.0f);
            dMultiply0(both, heading, lean, 3, 3, 3);
            dBodySetRotation(wheel.body, both);
            wheels.push_back(wheel);
        }
    }
};

Field &field(void)
{
    static Field f;
    return f;
}

}  // namespace

static void search_wheels(benchmark::State &state,
                          int (*search)(const Terrain *, const WheelContact *, float *, float *,
                                        float *))
{
    Field &f = field();
    int touching = 0;
    for (auto _ : state) {
        touching = 0;
        for (const WheelContact &wheel : f.wheels) {
            float point[3], normal[3], depth;
            touching += search(&f.ground.terrain, &wheel, point, normal, &depth);
            benchmark::DoNotOptimize(depth);
        }
    }
    state.counters["touching"] = touching;
    state.counters["per_wheel"] = benchmark::Counter(
        WHEELS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

static void terrain_collide_wheel_hills(benchmark::State &state)
{
    search_wheels(state, terrain_collide_wheel);
}
BENCHMARK(terrain_collide_wheel_hills)->Unit(benchmark::kMicrosecond);

static void terrain_touch_wheel_hills(benchmark::State &state)
{
    search_wheels(state, terrain_touch_wheel);
}
BENCHMARK(terrain_touch_wheel_hills)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
