// The file layer: gzip reading through the game-file stream against zlib's
// own gzread, file_scanf over a large object file, and building the file
// index over many loose files and a large archive.
#include "core/file.h"

#include "bench_folder.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

enum {
    GZIP_PLAIN_SIZE = 2 << 20,   // bytes of the gzip file once inflated
    READ_BLOCK = 65536,
    OBJECT_LINES = 100000,
    INDEX_TOP_FOLDERS = 10,
    INDEX_SUB_FOLDERS = 10,
    INDEX_FILES_PER_FOLDER = 100,
    ARCHIVE_MEMBERS = 2000,
};

static std::string bench_dir;

static std::string data_path(const std::string &name)
{
    return bench_dir + "/data/" + name;
}

static void write_bytes(const std::string &path, const std::string &bytes)
{
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    FILE *f = fopen(path.c_str(), "wb");
    bool written = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!(f && fclose(f) == 0 && written)) {
        perror(path.c_str());
        exit(1);
    }
}

// Text like the game's data files: numbers, brackets and names.
static std::string sample_text(size_t length)
{
    std::string text;
    unsigned state = 2024;
    char line[128];
    while (text.size() < length) {
        state = state * 1103515245u + 12345u;
        snprintf(line, sizeof line, "obj%u [%.3f %.3f %.3f] %u\n", state >> 24, (state >> 8 & 0xffff) / 64.0,
                 (state & 0xff) / 16.0, -(double)(state >> 12 & 0xfff), state >> 28);
        text += line;
    }
    text.resize(length);
    return text;
}

static void make_fixtures(void)
{
    std::string text = sample_text(GZIP_PLAIN_SIZE);
    mkdir((bench_dir + "/data").c_str(), 0755);
    gzFile gz = gzopen(data_path("bench.txt.gz").c_str(), "wb");
    if (!gz || gzwrite(gz, text.data(), (unsigned)text.size()) != (int)text.size() || gzclose(gz) != Z_OK) {
        fprintf(stderr, "cannot write the gzip fixture\n");
        exit(1);
    }

    std::string objects = std::to_string(OBJECT_LINES) + "\n";
    char line[160];
    for (int i = 0; i < OBJECT_LINES; i++) {
        snprintf(line, sizeof line, "statues/rock%05d.jm [%.4f %.4f %.4f] [0 %.5f 0] %d\n", i, i * 0.25,
                 (i % 97) * 1.5, -i * 0.125, (i % 628) / 100.0, i % 3);
        objects += line;
    }
    write_bytes(data_path("tracks/bench/statues"), objects);
}

static void make_index_fixtures(void)
{
    for (int top = 0; top < INDEX_TOP_FOLDERS; top++)
        for (int sub = 0; sub < INDEX_SUB_FOLDERS; sub++)
            for (int file = 0; file < INDEX_FILES_PER_FOLDER; file++)
                write_bytes(data_path("tree" + std::to_string(top) + "/Sub" + std::to_string(sub) + "/file" +
                                      std::to_string(file) + ".txt"),
                            "x");
    std::string header, data;
    for (int i = 0; i < ARCHIVE_MEMBERS; i++) {
        std::string member = "packed/m" + std::to_string(i * 7919 % ARCHIVE_MEMBERS) + ".bin";
        std::string bytes(1 + i % 13, 'm');
        header += std::to_string(bytes.size()) + " " + member + "\n";
        data += bytes;
    }
    write_bytes(data_path("big.saf"), header + "-\n" + data);
}

static void gzip_read_game_file(benchmark::State &state)
{
    std::vector<char> block(READ_BLOCK);
    for (auto _ : state) {
        GameFile *file = file_open("@bench.txt", "rb");
        if (!file) {
            state.SkipWithError("cannot open the fixture");
            break;
        }
        long total = 0;
        for (int n; (n = file_read(file, block.data(), READ_BLOCK)) > 0;)
            total += n;
        file_close(file);
        if (total != GZIP_PLAIN_SIZE)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * GZIP_PLAIN_SIZE);
}
BENCHMARK(gzip_read_game_file)->Unit(benchmark::kMillisecond);

static void gzip_read_zlib_gzread(benchmark::State &state)
{
    std::vector<char> block(READ_BLOCK);
    std::string path = data_path("bench.txt.gz");
    for (auto _ : state) {
        gzFile gz = gzopen(path.c_str(), "rb");
        if (!gz) {
            state.SkipWithError("cannot open the fixture");
            break;
        }
        long total = 0;
        for (int n; (n = gzread(gz, block.data(), READ_BLOCK)) > 0;)
            total += n;
        gzclose(gz);
        if (total != GZIP_PLAIN_SIZE)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * GZIP_PLAIN_SIZE);
}
BENCHMARK(gzip_read_zlib_gzread)->Unit(benchmark::kMillisecond);

static void scanf_object_file(benchmark::State &state)
{
    static char name[1024];
    int64_t lines = 0;
    for (auto _ : state) {
        GameFile *file = file_open("@tracks/bench/statues", "rb");
        if (!file) {
            state.SkipWithError("cannot open the fixture");
            break;
        }
        int count = 0, kind = 0;
        float position[3], rotation[3];
        file_scanf(file, " %d", &count);
        int read = 0;
        while (file_scanf(file, " %1023s [ %f %f %f ] [ %f %f %f ] %d", name, &position[0], &position[1],
                          &position[2], &rotation[0], &rotation[1], &rotation[2], &kind) == 8)
            read++;
        file_close(file);
        if (read != OBJECT_LINES)
            state.SkipWithError("short read");
        lines += read;
    }
    state.SetItemsProcessed(lines);
}
BENCHMARK(scanf_object_file)->Unit(benchmark::kMillisecond);

// The index is built once per process, so each build runs in a child that
// reports its own time.
static void build_index_in_child(benchmark::State &state)
{
    for (auto _ : state) {
        int link[2];
        if (pipe(link) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        pid_t child = fork();
        if (child == 0) {
            auto start = std::chrono::steady_clock::now();
            const char *const *list = build_file_index();
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            int names = 0;
            while (list[names])
                names++;
            double report[2] = {seconds, (double)names};
            ssize_t written = write(link[1], report, sizeof report);
            _exit(written == sizeof report ? 0 : 1);
        }
        close(link[1]);
        double report[2] = {0, 0};
        ssize_t got = read(link[0], report, sizeof report);
        close(link[0]);
        waitpid(child, nullptr, 0);
        if (got != sizeof report) {
            state.SkipWithError("child failed");
            break;
        }
        state.SetIterationTime(report[0]);
        state.counters["names"] = report[1];
    }
}
BENCHMARK(build_index_in_child)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    bench_dir = make_bench_folder();
    if (bench_dir.empty())
        return 1;
    make_fixtures();
    make_index_fixtures();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    remove_bench_folder(bench_dir);
    return 0;
}
