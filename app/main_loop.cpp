// The main loop's pass: the draw, flip and sound stages, pacing, the tics
// with their events and stages, warp racing, erosion and the update stage.
#include "app/main_loop.h"

#include <cmath>
#include <cstring>

#include "app/bike_setup.h"
#include "app/bindings.h"
#include "app/camera_steering.h"
#include "app/capture.h"
#include "app/graphics_settings.h"
#include "app/hud.h"
#include "app/loading.h"
#include "app/menu.h"
#include "net/client.h"
#include "app/player_controls.h"
#include "app/race_overlay.h"
#include "app/race_screens.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/stage_timers.h"
#include "app/termination.h"
#include "app/track_settings.h"
#include "bike/bike_getters.h"
#include "bike/bike_pose.h"
#include "bike/crash.h"
#include "bike/physics_world.h"
#include "core/message.h"
#include "editor/editor.h"
#include "net/client.h"
#include "platform/audio.h"
#include "platform/event_ring.h"
#include "platform/window.h"
#include "race/demo.h"
#include "race/gates.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "render/camera.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"
#include "render/scene.h"
#include "render/sound_mix.h"
#include "track/erosion.h"
#include "track/lighting.h"
#include "track/terrain.h"

MainLoop main_loop;
volatile sig_atomic_t termination_requested;

static const float PI = 3.14159265358979323846f;
static const double MESSAGE_FADE_SECONDS = 5.0;
static const int KEY_TAB_CODE = 9;
static const int FIRST_CAMERA_CODE = 12, LAST_CAMERA_CODE = 21;
// Lifts of 0.25 ft at most while settling a bike on edited ground (1000 ft).
static const int EDITOR_SETTLE_STEPS = 4000;

// Utility bindings, in their table's order.
enum {
    UTILITY_SCREENSHOT,
    UTILITY_CHAT,
    UTILITY_PREVIOUS_BIKE,
    UTILITY_NEXT_BIKE,
    UTILITY_SKIP,
    UTILITY_REWIND,
    UTILITY_STEP,
    UTILITY_PAUSE,
};

int should_exit(void)
{
    take_termination_signals();
    if (termination_requested)
        exit_requested = 1;
    return exit_requested != 0;
}

static int offline(void)
{
    return net_socket == -1;
}

static int own_rider_view(const MainLoop *loop)
{
    if (spy_mode && loop->view == VIEW_CAMERA)
        return 0;
    return followed_slot >= 0 && followed_slot < BIKE_SLOT_COUNT && rider_kind[followed_slot] == RIDER_LOCAL;
}

int settle_view(int view, int track_loaded, int own_view, int viewed_bike)
{
    if (track_loaded && view == VIEW_TITLE)
        view = VIEW_RIDER;
    if (own_view && view != VIEW_EDITOR && view != VIEW_RIDER && view != VIEW_CHASE)
        view = VIEW_RIDER;
    if (!viewed_bike)
        view = VIEW_CAMERA;
    if (!track_loaded)
        view = VIEW_TITLE;
    return view;
}

int next_view(int view, int editor)
{
    switch (view) {
    case VIEW_RIDER:
        return editor ? VIEW_EDITOR : VIEW_CHASE;
    case VIEW_CHASE:
        return VIEW_CAMERA;
    case VIEW_CAMERA:
        return VIEW_RIDER;
    default:
        return view;
    }
}

int step_viewed_slot(int viewed, int direction)
{
    int count = running_order_count;
    if (count <= 0)
        return viewed;
    if (count > BIKE_SLOT_COUNT)
        count = BIKE_SLOT_COUNT;
    int place = -1;
    for (int i = 0; i < count; i++)
        if (running_order[i].slot == viewed)
            place = i;
    int next = place + direction;
    next = next < 0 ? 0 : next > count - 1 ? count - 1 : next;
    return running_order[next].slot;
}

void chase_eye(const float *aim, const float *direction, float distance, float height, float *eye)
{
    for (int i = 0; i < 3; i++)
        eye[i] = aim[i] + direction[i] * distance;
    float ground = terrain_mean_height(current_terrain, eye[0], eye[2], 10.0f) + 5.0f;
    eye[1] = fmaxf(aim[1] + height, current_terrain ? ground : -INFINITY);
}

void look_at_rotation(const float *eye, const float *point, float *rotation)
{
    float back[3] = {eye[0] - point[0], eye[1] - point[1], eye[2] - point[2]};
    float length = sqrtf(back[0] * back[0] + back[1] * back[1] + back[2] * back[2]);
    if (!(length > 0.0f)) {
        back[0] = 0, back[1] = 0, back[2] = 1, length = 1;
    }
    for (float &v : back)
        v /= length;
    // right = up x back with up (0, 1, 0); straight down or up, any right will do.
    float right[3] = {back[2], 0, -back[0]};
    float r = sqrtf(right[0] * right[0] + right[2] * right[2]);
    if (!(r > 1e-6f)) {
        right[0] = 1, right[2] = 0, r = 1;
    }
    right[0] /= r, right[2] /= r;
    float up[3] = {back[1] * right[2] - back[2] * right[1], back[2] * right[0] - back[0] * right[2],
                   back[0] * right[1] - back[1] * right[0]};
    for (int row = 0; row < 3; row++) {
        rotation[row * 3 + 0] = right[row];
        rotation[row * 3 + 1] = up[row];
        rotation[row * 3 + 2] = back[row];
    }
}

void init_main_loop(MainLoop *loop, const CommandLineOptions *options)
{
    memset(loop, 0, sizeof *loop);
    loop->options = options;
    loop->view = VIEW_RIDER;
    memcpy(loop->chase_center, options->chase_center, sizeof loop->chase_center);
    loop->chase_height = 5.0f;
    loop->chase_distance = 10.0f;
    loop->clock.last_frame_time = wall_clock_seconds();
    loop->clock.now = loop->clock.last_frame_time;
    loop->next_setup_notice = current_time + SETUP_NOTICE_PERIOD;
}

// ---- drawing --------------------------------------------------------------------------

static void draw_chase_view(MainLoop *loop, BikeState *bike, int own_view)
{
    dBodyID body = bike ? get_bike_body(bike) : nullptr;
    if (!body)
        return;
    dVector3 point;
    dBodyGetRelPointPos(body, loop->chase_center[0], loop->chase_center[1], loop->chase_center[2], point);
    float aim[3] = {(float)point[0], (float)point[1], (float)point[2]};
    const dReal *velocity = dBodyGetLinearVel(body);
    float direction[3];
    float distance, height;
    if (own_view) {
        const dReal *r = dBodyGetRotation(body);
        direction[0] = (float)r[2], direction[1] = 0, direction[2] = (float)r[10];
        float vx = (float)velocity[0], vz = (float)velocity[2];
        float speed = sqrtf(vx * vx + vz * vz);
        if (rigid_camera_list.selected != 1 && speed > 0.0f && std::isfinite(speed)) {
            float behind[3] = {-vx / speed, 0, -vz / speed};
            float t = speed >= 30.0f ? 1.0f : fminf(fmaxf((speed - 10.0f) * 0.05f, 0.0f), 1.0f);
            for (int i = 0; i < 3; i += 2)
                direction[i] += (behind[i] - direction[i]) * t;
        }
        distance = (float)third_person_distance_slider.value;
        height = (float)third_person_height_slider.value;
    } else {
        direction[0] = sinf(loop->chase_yaw), direction[1] = 0, direction[2] = cosf(loop->chase_yaw);
        distance = loop->chase_distance;
        height = loop->chase_height;
    }
    float length = sqrtf(direction[0] * direction[0] + direction[2] * direction[2]);
    if (!(length > 1e-6f)) {
        direction[0] = 0, direction[2] = 1, length = 1;
    }
    direction[0] /= length, direction[2] /= length;
    float eye[3], rotation[9];
    chase_eye(aim, direction, distance, height, eye);
    look_at_rotation(eye, aim, rotation);
    memset(camera_velocity, 0, sizeof camera_velocity);
    render_scene(eye, rotation, (float)fov_slider.value, followed_slot);
    for (int i = 0; i < 3; i++)
        camera_velocity[i] = (float)velocity[i];
}

static void draw_centred_banner(const char *text, float down)
{
    begin_text_overlay(30);
    glTranslatef(0, -down, 0);
    draw_text_centered_shadowed(1, 1, 1, 1, 0, 30 * view_half_width / view_half_height, text);
    end_overlay();
}

static void draw_view(MainLoop *loop, BikeState *bike, int own_view)
{
    int hud = loop->options->show_hud;
    switch (loop->view) {
    case VIEW_RIDER:
        if (bike)
            draw_rider_camera_view(get_rider_body(bike), followed_slot);
        if (hud) {
            draw_race_overlay(followed_slot);
            draw_hud(followed_slot);
        }
        break;
    case VIEW_CHASE:
        draw_chase_view(loop, bike, own_view);
        if (hud) {
            draw_race_overlay(followed_slot);
            draw_hud(followed_slot);
        }
        break;
    case VIEW_CAMERA:
        draw_keycam_view();
        if (hud) {
            int slot = followed_slot;
            if (camera_follow && slot >= 0 && slot < BIKE_SLOT_COUNT && rider_kind[slot] == RIDER_REMOTE &&
                rider_names[slot][0])
                draw_centred_banner(rider_names[slot], 28);
            draw_hud(slot);
        }
        break;
    case VIEW_EDITOR:
        draw_editor_view();
        if (hud)
            draw_hud(followed_slot);
        break;
    default:
        draw_splash_screen("");
        if (hud)
            draw_hud(followed_slot);
        break;
    }
}

// Steps 3 to 9 of a pass: 0 when the frame could not be ended.
static int draw_frame(MainLoop *loop, int own_view)
{
    FrameSize *frame = begin_frame(game_window);
    if (!frame)
        return 1;
    window_width = frame->width;
    window_height = frame->height;
    if (video_mode_list.selected == VIDEO_MODE_WINDOWED) {
        configured_width = window_width;
        configured_height = window_height;
    }
    set_projection((float)window_width, (float)window_height, (float)fov_slider.value);
    BikeState *bike = get_slot_bike(followed_slot);
    draw_view(loop, bike, own_view);

    if (loop->options->record_video && !loop->paused && loop->view != VIEW_TITLE)
        write_video_frame(&video_capture, window_width, window_height);
    if (loop->paused && loop->options->show_pause_banner)
        draw_centred_banner("Paused", 1);
    if (own_view && !offline() && local_gate_position == NO_SLOT)
        draw_centred_banner("Warmup mode - collisions disabled", 28);
    draw_menu();
    if (loop->screenshot_wanted) {
        take_screenshot(window_width, window_height);
        loop->screenshot_wanted = 0;
    }
    main_loop_stage(STAGE_DRAW);
    if (loop->options->gl_finish)
        glFinish();
    if (!end_frame(game_window))
        return 0;
    main_loop_stage(STAGE_FLIP);
    return 1;
}

static void mix_frame_sound(const MainLoop *loop, int own_view)
{
    if (!audio_handle)
        return;
    float level;
    if (loop->paused || loop->view == VIEW_EDITOR)
        level = 0.0f;
    else if (menu_state < 0)
        level = 1.0f;
    else
        level = own_view ? 0.0f : 0.25f;
    mix_sounds(level);
    update_audio(audio_handle);
    main_loop_stage(STAGE_SOUND);
}

// ---- events ---------------------------------------------------------------------------

static int is_binding_press(int index, int code, int pressed)
{
    int key = utility_bindings[index].key_code;
    return pressed && key >= 0 && code == key;
}

void leave_editor_view(MainLoop *loop)
{
    if (current_terrain)
        rebuild_terrain_textures(current_terrain);
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        move_bike_bodies(bike, 0.0f, 0.125f, 0.0f);
        for (int lift = 0; lift < EDITOR_SETTLE_STEPS && collide_bike_with_terrain(bike); lift++) {
            empty_contact_group();
            move_bike_bodies(bike, 0.0f, 0.25f, 0.0f);
        }
        empty_contact_group();
        move_bike_bodies(bike, 0.0f, -0.125f, 0.0f);
    }
    empty_contact_group();
    loop->view = VIEW_CHASE;
}

static void handle_event(MainLoop *loop, int code, int pressed, int own_view)
{
    main_loop_stage(STAGE_GETMESSAGE);
    control_key_event(code, pressed);
    if (menu_event(code, pressed))
        return;
    if (loop->view != VIEW_EDITOR && is_binding_press(UTILITY_CHAT, code, pressed)) {
        menu_state = MENU_CONSOLE;
        menu_selection = 0;
    }
    if (loop->view == VIEW_TITLE)
        return;
    // In the editor view the keys the editor does not use go on to the
    // game's own, all but Screenshot.
    int editor_view = loop->view == VIEW_EDITOR;
    if (editor_view && editor_key(code, pressed))
        return;
    if (is_binding_press(UTILITY_PAUSE, code, pressed) && !connect_target)
        loop->paused = !loop->paused;
    if (is_binding_press(UTILITY_STEP, code, pressed) && loop->paused)
        race_tic();
    if (pressed && code == KEY_TAB_CODE) {
        if (editor_view)
            leave_editor_view(loop);
        else
            loop->view = next_view(loop->view, editor_on);
    }
    if (is_binding_press(UTILITY_REWIND, code, pressed))
        seek_replay(-1.0f);
    if (is_binding_press(UTILITY_SKIP, code, pressed))
        seek_replay(1.0f);
    for (int direction : {-1, 1}) {
        int index = direction < 0 ? UTILITY_PREVIOUS_BIKE : UTILITY_NEXT_BIKE;
        if (!is_binding_press(index, code, pressed))
            continue;
        if (!own_view || (!offline() && local_gate_position == NO_SLOT) || spy_mode)
            followed_slot = step_viewed_slot(followed_slot, direction);
    }
    if (!editor_view && is_binding_press(UTILITY_SCREENSHOT, code, pressed))
        loop->screenshot_wanted = 1;
    if (pressed && code >= FIRST_CAMERA_CODE && code <= LAST_CAMERA_CODE) {
        int cameras = track_cameras.count;
        int index = code - FIRST_CAMERA_CODE;
        camera_index = (index < cameras ? index : cameras) - 1;
    }
}

// The tic's wall time as the event ring stamps events.
static void run_tic_events(MainLoop *loop, double tic_time, int own_view)
{
    int code, pressed;
    while (game_window && next_tic_event(game_window, &loop->clock, tic_time, &code, &pressed))
        handle_event(loop, code, pressed, own_view);
}

static void act_on_controls(MainLoop *loop, BikeState *bike, int own_view)
{
    const RiderControls *c = &loop->controls;
    if (menu_state >= 0 || loop->view == VIEW_TITLE)
        return;
    if (own_view) {
        if (time_trial_mode && c->back_up > 0.5f && time_trial_abort_list.selected == 1)
            end_race();
        if (bike && rider_kind[followed_slot] == RIDER_LOCAL)
            apply_player_controls(bike, c);
    } else if (loop->view == VIEW_CHASE) {
        loop->chase_yaw = wrap_angle(loop->chase_yaw + c->steer * 2 * PI / 1024);
        if (c->throttle > 0.5f)
            loop->chase_distance = fmaxf(loop->chase_distance - 1.0f / 64, 0.25f);
        if (c->front_brake > 0.5f)
            loop->chase_distance += 1.0f / 64;
        loop->chase_height += TIC_LENGTH * c->shift;
        if (!std::isfinite(loop->chase_height))
            loop->chase_height = 5.0f;
    }
    if (loop->view == VIEW_CAMERA)
        steer_camera(c, bike, loop->paused);
}

static void run_tic(MainLoop *loop, double tic_time)
{
    int own_view = own_rider_view(loop);
    memset(&loop->controls, 0, sizeof loop->controls);
    run_tic_events(loop, tic_time, own_view);

    main_loop_stage(STAGE_PROCESSMESSAGE);
    if (watched_binding)
        finish_watching_pots();
    read_control_axes();
    sum_controls(&loop->controls);

    BikeState *bike = get_slot_bike(followed_slot);
    if (menu_state >= 0 && own_view && offline())
        return;
    if (loop->view == VIEW_EDITOR)
        apply_editor_tool();
    if (loop->view == VIEW_EDITOR && offline())
        return;
    act_on_controls(loop, bike, own_view);
    main_loop_stage(STAGE_ACTION);
    if (connect_target)
        loop->paused = 0;

    run_net_client();
    if (!current_terrain)
        loop->view = VIEW_TITLE;
    main_loop_stage(STAGE_NET);

    if (!loop->paused && loop->view != VIEW_TITLE && (offline() || server_tic_estimate > 0)) {
        race_tic();
        main_loop_stage(STAGE_TIC);
        write_audio_tic(&audio_capture);
    }
}

// ---- after the tics -------------------------------------------------------------------

int restart_warped_race(const MainLoop *loop)
{
    if (!loop->options->warp || loop->view == VIEW_TITLE || race_settings.laps <= 0)
        return 0;
    if (leader_laps_done() < race_settings.laps)
        return 0;
    int last = slot_kinds[BIKE_SLOT_COUNT - 1];
    memmove(slot_kinds + 1, slot_kinds, (BIKE_SLOT_COUNT - 1) * sizeof slot_kinds[0]);
    slot_kinds[0] = last;
    double length = minutes_slider.value * 60.0 / TIC_LENGTH;
    return reset_race(slot_kinds, 0, record_demo_list.selected == 1, (int)fmin(fmax(length, 0.0), 1e9),
                      (int)laps_slider.value, robot_skill_list.selected);
}

static void drain_erosion(const MainLoop *loop)
{
    if (loop->view == VIEW_TITLE || erosion_amount <= 0 || !current_terrain)
        return;
    float position[3];
    const float *viewer = nullptr;
    for (int slot = 0; slot < BIKE_SLOT_COUNT && !viewer; slot++) {
        BikeState *bike = get_slot_bike(slot);
        dBodyID body = bike && rider_kind[slot] == RIDER_LOCAL ? get_bike_body(bike) : nullptr;
        if (!body)
            continue;
        const dReal *p = dBodyGetPosition(body);
        for (int i = 0; i < 3; i++)
            position[i] = (float)p[i];
        viewer = position;
    }
    int lock = current_terrain->edit_lock;
    current_terrain->edit_lock = 0;
    drain_erosion_queue(viewer, (float)erosion_amount / 1024.0f);
    current_terrain->edit_lock = lock;
    main_loop_stage(STAGE_ERODE);
}

static void update_stage(const MainLoop *loop)
{
    if (loop->view == VIEW_TITLE)
        return;
    double delay = reshade_delay_slider.value;
    delay = delay < 0 ? 0 : delay > 20 ? 20 : delay;
    low_detail_upload_interval = loop->view == VIEW_EDITOR ? 0 : (int)pow(2.0, delay) - 1;
    if (current_terrain)
        refresh_terrain_textures(current_terrain);
    if (message_log.display_until < current_time && message_log.visible_lines > 0) {
        message_log.visible_lines--;
        message_log.display_until = current_time + MESSAGE_FADE_SECONDS;
    }
    main_loop_stage(STAGE_UPDATE);
}

int run_main_loop_pass(MainLoop *loop)
{
    if (should_exit())
        return 0;
    int own_view = own_rider_view(loop);
    loop->view = settle_view(loop->view, current_terrain != nullptr, own_view,
                             get_slot_bike(followed_slot) != nullptr);
    own_view = own_rider_view(loop);

    if (!draw_frame(loop, own_view))
        return 0;
    mix_frame_sound(loop, own_view);

    PacingMode mode = {loop->options->lock_fps, loop->options->warp, !offline()};
    double step = pace_frame(&loop->clock, &mode);
    if (!offline()) {
        double behind = TIC_LENGTH * ((double)server_tic_estimate - current_tic - 1);
        step *= catch_up_factor(behind, current_tic < race_settings.start_tic);
    }
    advance_loop_time(&loop->clock, step);
    restart_stage_timer(loop->clock.now);

    menu_cursor_step();
    begin_menu_tics();
    double tic_time;
    while (next_due_tic(&loop->clock, &tic_time))
        run_tic(loop, tic_time);

    restart_warped_race(loop);
    drain_erosion(loop);
    update_stage(loop);
    if (current_time >= loop->next_setup_notice) {
        post_setup_change_notice();
        loop->next_setup_notice = current_time + SETUP_NOTICE_PERIOD;
    }
    return 1;
}

void run_main_loop(MainLoop *loop)
{
    while (run_main_loop_pass(loop)) {
    }
}
