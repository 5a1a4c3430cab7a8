// Riding: the race tic with 1 and 40 bikes ridden over a hilly track with
// roost and ruts, as a multiple of real time (128 tics per second) and
// against the time spent inside the world step.
#include "bike/bike_create.h"
#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "core/random.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/erosion.h"
#include "track/track.h"

#include "bench_folder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <string>
#include <sys/stat.h>

namespace {

std::string bench_dir;




float hill_height(int column, int row)
{
    float x = column * 2.0f, z = row * 2.0f;
    return 4.0f + 2.5f * sinf(x * 0.045f) * cosf(z * 0.038f) + 1.2f * sinf((x + z) * 0.11f);
}

void write_game_data()
{
    std::string data = bench_dir + "/data/";
    write_bench_file(data + "generic_frame.shp", "3\n" + shape_sphere(0, 0.5f, -0.8f, 0.5f) +
                                               shape_sphere(0, 0.4f, 0.8f, 0.5f) +
                                               shape_sphere(0, -0.3f, -0.2f, 0.55f));
    write_bench_file(data + "generic_fork_upper.shp",
               "2\n" + shape_sphere(-0.9f, 0.7f, 0.44f, 0.2f) + shape_sphere(0.9f, 0.7f, 0.44f, 0.2f));
    write_bench_file(data + "generic_fork_lower.shp", "1\n" + shape_sphere(0, 0, 0, 0.25f));
    write_bench_file(data + "generic_swingarm.shp", "1\n" + shape_sphere(0, 0, -0.5f, 0.25f));
    write_bench_file(data + "generic_rider.shp",
               "2\n" + shape_sphere(0, 0.2f, -0.1f, 0.7f) + shape_sphere(0, 1.45f, -0.62f, 0.45f));
    for (const char *name : {"front_wheel.shp", "rear_wheel.shp"}) {
        std::string text = "8\n";
        for (int i = 0; i < 8; i++)
            text += shape_sphere(0, 0.8f * cosf(i * 0.785398f), 0.8f * sinf(i * 0.785398f), 0.333f);
        write_bench_file(data + name, text);
    }

    std::string dir = data + "tracks/hills/";
    const int side = 257;
    char header[128];
    snprintf(header, sizeof header, "7 2.0 0.0 8.0\n:");
    std::string bytes = header;
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            int v = (int)lroundf(hill_height(column, row) / 8.0f * 65535.0f);
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    write_bench_file(dir + "terrain.hf", bytes);
    std::string shading = "P6\n257 257\n255\n" + std::string((size_t)side * side * 3, (char)64);
    write_bench_file(dir + "shadingx2.ppm", shading);
    write_bench_file(dir + "tileinfo",
               "name dirt\nfriction 1.0 1\nslip_function 1\nroll_resist 1 2 1\n"
               "roost count=2 slip_threshold=2 slow_angle=0.4 fast_angle=1.2 slow_speed=20 "
               "fast_speed=120 size=0.3 grow=0.5 drag=1 vscale=0.6 randomize=3\naddtile\n");
    write_bench_file(dir + "tilemap", std::string(128 * 128, '\0'));
}

bool load_hills()
{
    static bool loaded;
    if (loaded)
        return true;
    set_track_folder("tracks/hills");
    if (!load_track() || !create_physics_world())
        return false;
    loaded = true;
    return true;
}

// Bikes on a grid 40 ft apart, moving off in first gear.
void place_bikes(int count)
{
    clear_bike_states();
    current_tic = 0;
    race_settings = RaceSettings{};
    reset_erosion_queue();
    mt_seed(5489u);
    for (int i = 0; i < count; i++) {
        BikeState *bike = create_bike("yz250f(2017)", i, 1, "1", nullptr, nullptr, nullptr, nullptr);
        float x = 60.0f + 40.0f * (float)(i % 10), z = 420.0f - 40.0f * (float)(i / 10);
        float ground = hill_height((int)(x / 2), (int)(z / 2));
        move_bike_bodies(bike, x, ground + 0.5f, z);
        set_auto_shift(bike, 1);
        set_gear(bike, 0);
    }
}

void ride(int count, int tic)
{
    for (int i = 0; i < count; i++) {
        BikeState *bike = bike_slots[i];
        float t = (float)tic * TIC_LENGTH + (float)i;
        set_throttle(bike, 0.7f);
        set_clutch(bike, 1.0f);
        set_steer(bike, 0.35f * sinf(t * 0.7f));
    }
}

void race_tic_riding(benchmark::State &state)
{
    int count = (int)state.range(0);
    set_race_tic_shortcuts((int)state.range(1));
    const int tics = 1280;   // 10 s of riding per run
    if (!load_hills()) {
        state.SkipWithError("track did not load");
        return;
    }
    erosion_amount = 512;
    double ridden = 0, stepping = 0, total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        place_bikes(count);
        physics_step_timing = 1;
        physics_step_seconds = 0;
        state.ResumeTiming();
        timespec t0, t1;
        clock_gettime(CLOCK_MONOTONIC, &t0);
        for (int tic = 0; tic < tics; tic++) {
            ride(count, tic);
            race_tic();
        }
        clock_gettime(CLOCK_MONOTONIC, &t1);
        total += (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) * 1e-9;
        stepping += physics_step_seconds;
        ridden += tics * (double)TIC_LENGTH;
        physics_step_timing = 0;
    }
    state.counters["real_time_multiple"] = total > 0 ? ridden / total : 0;
    state.counters["ratio_to_step"] = stepping > 0 ? total / stepping : 0;
    // The multiple the world step alone would allow.
    state.counters["step_only_multiple"] = stepping > 0 ? ridden / stepping : 0;
    clear_bike_states();
    set_race_tic_shortcuts(1);
}

}  // namespace

// Bikes, then the tic's shortcuts off (the plain path) or on.
BENCHMARK(race_tic_riding)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({40, 0})
    ->Args({40, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

int main(int argc, char **argv)
{
    bench_dir = make_bench_folder();
    if (bench_dir.empty())
        return 1;
    write_game_data();
    write_bench_bike_meshes(bench_dir);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    free_track();
    destroy_physics_world();
    remove_bench_folder(bench_dir);
    return 0;
}
