// The program's start-up and shutdown, each in its fixed order. SIGTERM
// and SIGINT are held from the first line on; one taken during start-up, or
// a close of the window, ends the start-up after the current step and goes
// to the shutdown.
#include "app/game_main.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/capture.h"
#include "app/command_line.h"
#include "app/default_data.h"
#include "app/graphics_settings.h"
#include "app/loading.h"
#include "app/main_loop.h"
#include "app/menu.h"
#include "app/option_screen_items.h"
#include "app/player_controls.h"
#include "app/race_overlay.h"
#include "app/race_screens.h"
#include "app/series_files.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stock_shapes.h"
#include "app/termination.h"
#include "app/video_modes.h"
#include "bike/bike_create.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "bike/world_contacts.h"
#include "core/alloc.h"
#include "core/file.h"
#include "core/game_file.h"
#include "core/message.h"
#include "core/socket.h"
#include "net/client.h"
#include "platform/audio.h"
#include "platform/display.h"
#include "platform/key_names.h"
#include "platform/log.h"
#include "platform/message_box.h"
#include "platform/time.h"
#include "platform/window.h"
#include "race/demo.h"
#include "race/lap_pool.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/racing_lines.h"
#include "race/results.h"
#include "race/series.h"
#include "render/engine_sound.h"
#include "render/sound_table.h"
#include "render/track_objects.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/ground_compositor.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/script_sound.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "script/track_script.h"
#include "track/lighting.h"
#include "track/track.h"

enum { LOG_PATH_LENGTH = 1024 };

static CommandLineOptions launch_options;

static int shut_down_from_closing_audio;

// The environment variables that name a start-up step: at its end the game
// sends itself SIGTERM; just after its check the system is asked to queue a
// close of the window or a quit, which the next step's pumps meet (tests of
// the ordered end).
static const char SIGNAL_AT_STEP_VARIABLE[] = "RUTLINE_SIGNAL_AT_STEP";
static const char CLOSE_AT_STEP_VARIABLE[] = "RUTLINE_CLOSE_AT_STEP";
static const char QUIT_AT_STEP_VARIABLE[] = "RUTLINE_QUIT_AT_STEP";

static int is_hook_step(const char *variable, const char *name)
{
    const char *hook = getenv(variable);
    return hook && !strcmp(hook, name);
}

// After each start-up step from the settings on: a termination signal or a
// close of the window ends the start-up here (1).
static int start_up_step_ends(const char *name)
{
    if (is_hook_step(SIGNAL_AT_STEP_VARIABLE, name))
        kill(getpid(), SIGTERM);
    if (game_window)
        drain_window_events();
    if (should_exit()) {
        log_printf("Start-up ended after %s\n", name);
        return 1;
    }
    if (is_hook_step(CLOSE_AT_STEP_VARIABLE, name) && !post_window_close(game_window, 0))
        log_printf("No close queued after %s\n", name);
    if (is_hook_step(QUIT_AT_STEP_VARIABLE, name) && !post_window_close(game_window, 1))
        log_printf("No quit queued after %s\n", name);
    return 0;
}

// "VOKE_LOGFILE=" and the home folder's "lastlog.txt", each part appended
// while the text stays within 1023 characters.
static void name_the_log(const char *home)
{
    char path[LOG_PATH_LENGTH] = "";
    const char *parts[] = {home, "lastlog.txt"};
    for (const char *part : parts)
        if (strlen(path) + strlen(part) < sizeof path)
            strcat(path, part);
    log_printf("VOKE_LOGFILE=%s", path);
}

// What the start-up made before the catalogue was found empty.
static void release_before_tracks(void)
{
    free_graphics_lists();
    free_track_catalogue();
    free_file_index();
    free_video_mode_list();
    close_gl_window(game_window);
    game_window = nullptr;
    log_printf(nullptr);
}

// Waits until the window can be drawn into: 1, or 0 when the program is to end.
static int wait_for_window(void)
{
    for (;;) {
        if (should_exit()) {
            log_printf("Start-up ended waiting for the window\n");
            return 0;
        }
        if (begin_frame(game_window))
            return 1;
        drain_window_events();
        sleep_for(0, 62500);
    }
}

static void set_up_renderer(void)
{
    load_gl_extensions();
    log_printf("GL_VENDOR: %s\n", gl_info.vendor);
    log_printf("GL_RENDERER: %s\n", gl_info.renderer);
    log_printf("GL_VERSION: %s\n", gl_info.version);
    log_printf("GL_EXTENSIONS: %s\n", gl_info.extensions);
    int shaders = use_shader_list.selected == 1 && shader_capability;
    if (shaders)
        shaders = build_shader_programs();
    shader_programs_available = shaders;
    ground_shaders_setting = shaders && render_texture_list.selected >= 3;

    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (render_fugly)
        glShadeModel(GL_FLAT);
}

static void load_start_up_textures(void)
{
    load_fonts();
    tach_texture = load_texture("!@tach.png");
    shifter_texture = load_texture("!@shifter.png");
    pitboard_texture = load_texture("!@pitboard.png");
    title_texture = load_texture("!@title.png");
}

static GameWindow *open_game_window(const CommandLineOptions *options)
{
    int choice = video_mode_list.selected;
    current_video_mode = choice;
    int width, height, flags = options->colour_bits & 0xff;
    if (choice == VIDEO_MODE_WINDOWED) {
        width = configured_width;
        height = configured_height;
    } else {
        video_mode_size(choice, &width, &height);
        flags |= WINDOW_FULL_SCREEN;
    }
    GameWindow *window = open_gl_window("Rutline", width, height, flags, 0, options->depth_bits, 0, 0);
    if (window) {
        int capture = options->lock_fps > 0 || options->warp || options->record_video;
        set_swap_interval(!capture);
    }
    return window;
}

// The starting track: the "--track" name, else the configured one (a name
// not in the catalogue keeps the configured track), else on a first start
// the game data's own.
static void choose_starting_track(const CommandLineOptions *options, int had_config)
{
    if (options->track_folder && select_track_folder(options->track_folder))
        return;
    if (options->track_folder)
        log_printf("Track %s not found\n", options->track_folder);
    if (wanted_track && select_track_folder(wanted_track))
        return;
    if (!had_config)
        select_track_folder(DEFAULT_TRACK_FOLDER);
}

static int has_config_file(void)
{
    GameFile *file = file_open("@config", "rb");
    if (!file)
        return 0;
    file_close(file);
    return 1;
}

int start_game(int argc, char **argv, int *exit_code)
{
    *exit_code = 0;
    shut_down_from_closing_audio = 0;
    if (argc == 2 && !strcmp(argv[1], "--open-home")) {
        open_home_folder();
        return START_ENDED;
    }
    for (int i = 0; i < MESSAGE_LINES; i++)
        message_log.lines[i][0] = 0;

    const char *home = get_search_folder(0);
    if (!home) {
        show_message_box("Problem starting Rutline", "Can't find game data\n");
        return START_ENDED;
    }
    create_parent_folders(home);
    name_the_log(home);
    log_printf("Rutline version %s\n", BUILD_STAMP);

    memset(recent_servers, 0, sizeof recent_servers);
    build_video_mode_list();
    detect_mmx();
    if (!has_mmx)
        log_printf("This CPU does not have MMX!\n");
    select_option_by_name(&bike_setup.bike, "yz250f(2017)");
    default_bike_setup((int)bike_setup.stability.value);
    write_graphics_defaults();
    int had_config = has_config_file();
    read_config();
    reset_bike_setup_changes();
    // From here a shutdown writes back settings that were read.
    if (start_up_step_ends("config"))
        return START_SHUT_DOWN;

    apply_graphics_settings();
    default_command_line_options(&launch_options);
    int parsed = parse_command_line(argc, argv, &launch_options);
    if (parsed != COMMAND_LINE_OK) {
        free_video_mode_list();
        log_printf(nullptr);
        if (parsed == COMMAND_LINE_OPEN_HOME)
            open_home_folder();
        *exit_code = parsed == COMMAND_LINE_FAILED ? 1 : 0;
        return START_ENDED;
    }
    const CommandLineOptions *options = &launch_options;
    if (options->record_video)
        video_capture.out = stdout;
    if (start_up_step_ends("command line"))
        return START_SHUT_DOWN;

    game_window = open_game_window(options);
    if (!game_window) {
        free_video_mode_list();
        log_printf(nullptr);
        *exit_code = 1;
        return START_ENDED;
    }
    if (start_up_step_ends("window"))
        return START_SHUT_DOWN;
    tick_busy_indicator();
    build_file_index();
    if (start_up_step_ends("file index"))
        return START_SHUT_DOWN;
    check_stock_models();
    if (start_up_step_ends("stock models"))
        return START_SHUT_DOWN;
    build_graphics_lists();
    if (start_up_step_ends("graphics lists"))
        return START_SHUT_DOWN;
    if (!scan_track_catalogue()) {
        fputs("No tracks found\n", stderr);
        release_before_tracks();
        *exit_code = 1;
        return START_ENDED;
    }
    build_track_list();
    if (start_up_step_ends("tracks"))
        return START_SHUT_DOWN;
    build_demo_list();
    if (start_up_step_ends("demos"))
        return START_SHUT_DOWN;
    read_series_files();
    if (start_up_step_ends("series"))
        return START_SHUT_DOWN;
    choose_starting_track(options, had_config);
    if (start_up_step_ends("starting track"))
        return START_SHUT_DOWN;

    if (options->record_audio_path)
        audio_handle = open_audio_capture(&audio_capture, options->record_audio_path);
    else if (!options->no_sound)
        audio_handle = open_audio(game_window);
    if (start_up_step_ends("audio"))
        return START_SHUT_DOWN;

    if (!wait_for_window())
        return START_SHUT_DOWN;
    set_up_renderer();
    load_start_up_textures();
    if (!end_frame(game_window)) {
        shut_down_from_closing_audio = 1;
        return START_SHUT_DOWN;
    }
    if (start_up_step_ends("first frame"))
        return START_SHUT_DOWN;

    bind_binding_inputs(game_window);
    bind_menu_keys(game_window);
    clear_control_values();
    if (start_up_step_ends("input"))
        return START_SHUT_DOWN;
    create_physics_world();
    if (start_up_step_ends("physics"))
        return START_SHUT_DOWN;

    int with_demo = 0;
    const char *track = options->track_folder;
    if (options->start_file) {
        with_demo = 1;
        demo_to_play = intern_string(options->start_file);
        if (open_demo_playback(demo_to_play)) {
            track = demo_track;
            close_demo_playback();
        }
    }
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        bike_slots[slot] = nullptr;
        rider_kind[slot] = RIDER_REMOTE;
        slot_kinds[slot] = 0;
    }
    running_order_count = 0;
    if (!options->start_file)
        slot_kinds[0] = SLOT_ROBOT;
    if (track && track[0])
        reset_race(slot_kinds, with_demo, 0, 0, 1000, robot_skill_list.selected);
    demo_to_play = nullptr;
    if (start_up_step_ends("race"))
        return START_SHUT_DOWN;

    menu_state = options->connect_target && options->connect_target[0] ? MENU_NONE : MENU_MAIN;
    menu_selection = 0;
    init_main_loop(&main_loop, options);
    return START_RUN_LOOP;
}

static void free_riders_and_world(void)
{
    log_printf("Deallocating bikes\n");
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        free_engine_sound(&engine_sounds[slot]);
        free_bike(&bike_states[slot]);
        bike_slots[slot] = nullptr;
    }
    running_order_count = 0;
    free_world_contact_lists();
    log_printf("Finished deallocating bikes\n");
    unload_track_script();
    free_script_sounds();
    close_demo_playback();
    stop_demo_recording();
    free_track();
    set_track_folder(nullptr);
    checked_free(current_track.long_name);
    current_track.long_name = nullptr;
    free_growable_array(&track_cameras);
    destroy_physics_world();
}

int shut_down_game(void)
{
    disconnect_at_shutdown();
    finish_series_event();
    remember_racing_lines();
    free_lap_pool();
    free_riders_and_world();

    // A first frame that could not end goes straight to "Closing audio":
    // what the steps before it would free is freed without their names.
    int shown = !shut_down_from_closing_audio;
    if (shown)
        show_loading_message("Freeing memory (1)");
    free_demo_list();
    if (shown)
        show_loading_message("Closing input devices");
    unbind_menu_keys();
    unbind_binding_inputs();
    show_loading_message("Closing audio");
    close_audio(audio_handle);
    audio_handle = 0;
    close_audio_capture(&audio_capture);
    show_loading_message("Writing config files");
    write_config();
    shutdown_network();
    show_loading_message("Freeing memory (2)");
    free_series_list();
    show_loading_message("Freeing memory (3)");
    free_graphics_lists();
    free_track_catalogue();
    free_video_mode_list();
    show_loading_message("Freeing file list");
    free_file_index();
    show_loading_message("Freeing memory (4)");
    free_shape_cache();
    show_loading_message("Deleting textures");
    free_textures(1);
    show_loading_message("Deleting models");
    free_models(1);
    free_fonts();
    free_sound_tables();
    free_draw_sort_lists();
    close_gl_window(game_window);
    game_window = nullptr;
    // The caches kept for the whole run go last, after the window's names.
    free_key_names();
    free_display_mode_list();
    free_interned_strings();
    free_kept_large_blocks();
    log_printf(nullptr);
    dump_live_allocations();
    return 0;
}

int game_main(int argc, char **argv)
{
    hold_termination_signals();
    int exit_code;
    int started = start_game(argc, argv, &exit_code);
    if (started == START_ENDED)
        return exit_code;
    if (started == START_RUN_LOOP)
        run_main_loop(&main_loop);
    exit_code = shut_down_game();
    sleep_for(1, 0);
    return exit_code;
}
