// Bikes: creating and freeing a full field of 160, and packing, unpacking
// and applying packed rider states.
#include "bike/bike_create.h"
#include "bike/bike_pose.h"
#include "bike/packed_state.h"
#include "bike/physics_world.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include "bench_folder.h"

#include <cstring>
#include <vector>

namespace {


// A flat 512 ft terrain in memory.
struct BenchTerrain {
    Terrain terrain;
    std::vector<float> heights;
    BenchTerrain()
    {
        heights.assign(257 * 257, 0.0f);
        set_bench_terrain(&terrain, heights.data());
        current_terrain = &terrain;
    }
};

void set_up(void)
{
    static bool done;
    static BenchTerrain terrain;
    if (done)
        return;
    done = true;
    create_physics_world();
}

}  // namespace

static void create_free_160_bikes(benchmark::State &state)
{
    set_up();
    for (auto _ : state) {
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            benchmark::DoNotOptimize(create_bike(bike_models[slot % BIKE_MODEL_COUNT].name, slot, 1,
                                                 "123", nullptr, nullptr, nullptr, nullptr));
        for (BikeState &bike : bike_states)
            free_bike(&bike);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * BIKE_SLOT_COUNT);
}
BENCHMARK(create_free_160_bikes)->Unit(benchmark::kMillisecond);

// Two bikes in motion: a pose with every joint moved, packed from one.
static BikeState *posed_bike(uint8_t *state_bytes)
{
    set_up();
    BikeState *a = create_bike("yz250f(2017)", 0, 1, "1", nullptr, nullptr, nullptr, nullptr);
    rotate_bike_bodies(a, 0.2f, 1.0f, 0.1f, 0.8f);
    move_bike_bodies(a, 200, 30, 300);
    for (int tic = 0; tic < 10; tic++) {
        dBodyAddRelTorque(a->front_wheel_body, -40, 0, 0);
        dBodyAddTorque(a->fork_upper_body, 0, 15, 0);
        dBodyAddRelForce(a->swingarm_body, 0, 60, 0);
        dWorldStep(physics_world, 1.0 / 128);
    }
    a->gear = 2;
    a->throttle = 0.5f;
    a->engine_speed = 900;
    pack_rider_state(a, state_bytes);
    return a;
}

static void pack_states(benchmark::State &state)
{
    uint8_t bytes[PACKED_STATE_SIZE];
    BikeState *bike = posed_bike(bytes);
    for (auto _ : state) {
        pack_rider_state(bike, bytes);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
    free_bike(bike);
}
BENCHMARK(pack_states);

static void unpack_states(benchmark::State &state)
{
    uint8_t bytes[PACKED_STATE_SIZE];
    free_bike(posed_bike(bytes));
    BikeState *bike = create_bike("yz250f(2017)", 1, 0, "2", nullptr, nullptr, nullptr, nullptr);
    for (auto _ : state)
        unpack_rider_state(bike, bytes, 0);
    state.SetItemsProcessed(state.iterations());
    free_bike(bike);
}
BENCHMARK(unpack_states);

// The race tic's placement of a remote bike: three records a tic.
static void apply_states(benchmark::State &state)
{
    uint8_t current[PACKED_STATE_SIZE], earlier[PACKED_STATE_SIZE], later[PACKED_STATE_SIZE];
    BikeState *a = posed_bike(earlier);
    move_bike_bodies(a, 0.5f, 0, 0.25f);
    pack_rider_state(a, current);
    move_bike_bodies(a, 0.5f, 0, 0.25f);
    pack_rider_state(a, later);
    free_bike(a);
    BikeState *bike = create_bike("yz250f(2017)", 1, 0, "2", nullptr, nullptr, nullptr, nullptr);
    disable_bike_physics(bike);
    for (auto _ : state)
        apply_rider_state(bike, current, earlier, later, 8, 0);
    state.SetItemsProcessed(state.iterations());
    free_bike(bike);
}
BENCHMARK(apply_states);

int main(int argc, char **argv)
{
    std::string dir = make_bench_folder();
    if (dir.empty())
        return 1;
    write_bench_bike_meshes(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    remove_bench_folder(dir);
    return 0;
}
