// The program as a whole: start-up to the main menu's first frame (a child
// process of this program), reset_race onto the default track when it is
// not loaded, and main-loop passes over a race of robots with each stage's
// share of the frame.
#include "app/default_data.h"
#include "app/game_main.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "app/race_screens.h"
#include "app/stage_timers.h"
#include "bench_folder.h"
#include "bike/bike_state.h"
#include "net/client.h"
#include "race/race_control.h"
#include "track/terrain.h"
#include "track/track.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char CHILD_FLAG[] = "--start-child";
const int ROBOTS = 20;

std::string packed_data;   // the generated ".saf" folder, empty when there is none
std::string self_path;

std::string find_packed_data()
{
    std::string root = generated_data_root();
    struct stat info;
    if (root.empty() || stat((root + "/packed/rutline.saf").c_str(), &info) != 0)
        return std::string();
    return root + "/packed";
}

// A fresh home holding settings for a 640 x 480 window; the data folder is
// the packed game data.
std::string make_home()
{
    std::string dir = make_bench_folder();
    if (dir.empty())
        return dir;
    write_bench_file(dir + "/xdg/Rutline/config", "video_mode=Windowed\nxres=640\nyres=480\n");
    setenv("KZ_HOME", packed_data.c_str(), 1);
    return dir;
}

// The child: start-up and the first pass of the loop (the main menu drawn
// and swapped), then one byte on the pipe, then shutdown.
int run_start_child(int fd, int with_track)
{
    char program[] = "rutline", nosound[] = "--nosound", track_flag[] = "--track";
    std::string track = DEFAULT_TRACK_FOLDER;
    char *argv[] = {program, nosound, track_flag, track.data(), nullptr};
    int argc = with_track ? 4 : 2;
    int exit_code;
    if (!start_game(argc, argv, &exit_code))
        return 2;
    if (!run_main_loop_pass(&main_loop))
        return 3;
    char done = 1;
    if (write(fd, &done, 1) != 1)
        return 4;
    shut_down_game();
    return 0;
}

// Fork to the first frame: the time from the fork to the child's byte.
void start_to_menu(benchmark::State &state)
{
    if (packed_data.empty()) {
        state.SkipWithError("no generated game data: build the gamedata target or set RUTLINE_GAMEDATA");
        return;
    }
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        std::string home = make_home();
        auto start = std::chrono::steady_clock::now();
        pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            std::string track = std::to_string(state.range(0));
            execl(self_path.c_str(), self_path.c_str(), CHILD_FLAG, fd.c_str(), track.c_str(), (char *)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char done = 0;
        ssize_t got = read(fds[0], &done, 1);
        auto end = std::chrono::steady_clock::now();
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        remove_bench_folder(home);
        if (got != 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child did not reach the main menu");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}
BENCHMARK(start_to_menu)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The game started once in this process, main menu up, no race.
std::string game_home;
int game_started;

bool start_game_once(benchmark::State &state)
{
    if (packed_data.empty()) {
        state.SkipWithError("no generated game data: build the gamedata target or set RUTLINE_GAMEDATA");
        return false;
    }
    if (!game_started) {
        game_home = make_home();
        char program[] = "rutline", nosound[] = "--nosound";
        char *argv[] = {program, nosound, nullptr};
        int exit_code;
        game_started = start_game(2, argv, &exit_code) ? 1 : -1;
    }
    if (game_started < 0) {
        state.SkipWithError("the game did not start");
        return false;
    }
    return true;
}

void set_robot_slots(int robots)
{
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
        slot_kinds[slot] = slot < robots ? SLOT_ROBOT : SLOT_DEMO_OR_EMPTY;
}

// The race freed down to no track, as leaving a race for another track does.
void leave_race()
{
    end_race();
    free_track();
}

void reset_race_onto_track(benchmark::State &state)
{
    if (!start_game_once(state))
        return;
    if (!select_track_folder(DEFAULT_TRACK_FOLDER)) {
        state.SkipWithError("the default track is not in the catalogue");
        return;
    }
    set_robot_slots(ROBOTS);
    for (auto _ : state) {
        state.PauseTiming();
        leave_race();
        state.ResumeTiming();
        if (!reset_race(slot_kinds, 0, 0, 0, 3, 0) || !current_terrain) {
            state.SkipWithError("reset_race failed");
            return;
        }
    }
    state.counters["grid_exponent"] = current_terrain ? current_terrain->grid_exponent : 0;
}
BENCHMARK(reset_race_onto_track)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Passes of the main loop over a race of robots, the menu closed: the
// frame time and each stage's share of it.
void race_loop_pass(benchmark::State &state)
{
    if (!start_game_once(state))
        return;
    if (!current_terrain) {
        select_track_folder(DEFAULT_TRACK_FOLDER);
        set_robot_slots(ROBOTS);
        if (!reset_race(slot_kinds, 0, 0, 0, 3, 0)) {
            state.SkipWithError("reset_race failed");
            return;
        }
    }
    menu_state = MENU_NONE;
    // Settle the view and the first textures before timing.
    for (int i = 0; i < 30; i++)
        run_main_loop_pass(&main_loop);
    set_stage_timers(1);
    for (auto _ : state) {
        if (!run_main_loop_pass(&main_loop)) {
            state.SkipWithError("the loop ended");
            break;
        }
    }
    double total = 0;
    for (int s = 0; s < STAGE_COUNT; s++)
        total += stage_timers.seconds[s];
    for (int s = 0; s < STAGE_COUNT; s++)
        if (total > 0)
            state.counters[std::string("share_") + MAIN_LOOP_STAGE_NAMES[s]] = stage_timers.seconds[s] / total;
    state.counters["fps"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    set_stage_timers(0);
}
BENCHMARK(race_loop_pass)->Unit(benchmark::kMillisecond)->MinTime(5.0)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    packed_data = find_packed_data();
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self_path = n > 0 ? std::string(self, (size_t)n) : std::string(argv[0]);
    if (argc == 4 && !strcmp(argv[1], CHILD_FLAG)) {
        setenv("KZ_HOME", packed_data.c_str(), 1);
        return run_start_child(atoi(argv[2]), atoi(argv[3]));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (game_started > 0)
        shut_down_game();
    remove_bench_folder(game_home);
    return 0;
}
