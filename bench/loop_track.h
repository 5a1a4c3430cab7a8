// The benchmarks' race track "tracks/race": a gentle hill field, a loop
// of six checkpoints of radius 180 ft about (256, 256) and a start gate of
// ten pieces across it.
#pragma once

#include "bench_folder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <string>

#include "bike/physics_world.h"
#include "race/race_control.h"
#include "track/track.h"

// Writes the track and the generic shapes under the folder's data.
inline void write_loop_track(const std::string &bench_dir)
{
    std::string data = bench_dir + "/data/";
    write_bench_file(data + "generic_frame.shp", "2\n" + shape_sphere(0, 0.5f, -0.8f, 0.5f) +
                                               shape_sphere(0, 0.4f, 0.8f, 0.5f));
    write_bench_file(data + "generic_rider.shp", "1\n" + shape_sphere(0, 0.2f, -0.1f, 0.7f));
    std::string dir = data + "tracks/race/";
    const int side = 257;
    std::string bytes = "7 2.0 0.0 8.0\n:";
    for (int row = 0; row < side; row++)
        for (int column = 0; column < side; column++) {
            float h = 2.0f + 1.5f * sinf(column * 0.09f) * cosf(row * 0.076f);
            int v = (int)lroundf(h / 8.0f * 65535.0f);
            bytes += (char)(v & 0xff);
            bytes += (char)(v >> 8);
        }
    write_bench_file(dir + "terrain.hf", bytes);
    write_bench_file(dir + "shadingx2.ppm", "P6\n257 257\n255\n" + std::string(257 * 257 * 3, (char)64));
    write_bench_file(dir + "tileinfo", "name dirt\nfriction 1.0 1\nslip_function 1\nroll_resist 1 2 1\n"
                                 "roost count=2 slip_threshold=2 slow_angle=0.4 fast_angle=1.2 "
                                 "slow_speed=20 fast_speed=120 size=0.3 grow=0.5 drag=1 "
                                 "vscale=0.6 randomize=3\naddtile\n");
    write_bench_file(dir + "tilemap", std::string(128 * 128, '\0'));
    std::string gates = "startinggate:\n";
    float a0 = -0.6f, cx = 256, cz = 256, r = 180;
    float sx = cx + r * cosf(a0), sz = cz + r * sinf(a0);
    float fx = -sinf(a0), fz = cosf(a0);
    float angle = atan2f(-fx, -fz);
    for (int i = 0; i < 10; i++) {
        char line[128];
        snprintf(line, sizeof line, "[ %f 0 %f ] %f\n", sx + fz * (i * 5.0f), sz - fx * (i * 5.0f),
                 angle);
        gates += line;
    }
    gates += "checkpoints:\n";
    for (int k = 0; k < 6; k++) {
        float a = k * 1.0471976f;
        char line[160];
        snprintf(line, sizeof line, "30 [ %f 0 %f ] [ %f 0 %f ]\n", cx + r * cosf(a),
                 cz + r * sinf(a), -sinf(a), cosf(a));
        gates += line;
    }
    gates += "firstlap:\n0 1 2 3 4 5\nnormallap:\n0 1 2 3 4 5\n";
    write_bench_file(dir + "timing_gates", gates);
}

// A benchmark program's main: the loop track and bike meshes in a fresh
// bench folder (in *folder while the benchmarks run), then the race world
// and the folder taken down.
inline int run_loop_track_benchmarks(int argc, char **argv, std::string *folder)
{
    *folder = make_bench_folder();
    if (folder->empty())
        return 1;
    write_loop_track(*folder);
    write_bench_bike_meshes(*folder);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    end_race();
    free_track();
    free_track_catalogue();
    destroy_physics_world();
    remove_bench_folder(*folder);
    return 0;
}
