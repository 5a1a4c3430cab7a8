// Loading ahead: textures and models decoded and parsed on the work pool
// come out of load_texture and load_model as a plain load gives them, with
// their messages printed once, on the GL thread, when they are taken; and
// a race on the generated default track loads the same riders and draws
// the same frame with it as without it.
#include "render/load_ahead.h"

#include "app/default_data.h"
#include "bike/bike_create.h"
#include "bike/bike_state.h"
#include "bike/physics_world.h"
#include "datagen/gamedata_fixture.h"
#include "gl_fixture.h"
#include "platform/work_pool.h"
#include "race/headless_race.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "render/camera_views.h"
#include "render/font.h"
#include "render/image.h"
#include "render/model.h"
#include "render/overlay.h"
#include "render/texture.h"
#include "track/objects.h"
#include "track/track.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

// Every array and figure of a model and its levels, and which meshes have
// a display list.
std::string describe_model(const Model *model)
{
    std::ostringstream out;
    for (const Model *level = model; level; level = level->lower) {
        out << "level " << level->lod_distance << ":";
        for (const Model *mesh = level; mesh; mesh = mesh->next) {
            int v = mesh->vertex_count, poses = mesh->bone_count > 0 ? 2 : 1;
            out << " [" << mesh->name << " " << v << " " << mesh->triangle_count << " " << mesh->bone_count
                << " " << mesh->material << " " << mesh->colour[3] << " " << mesh->density_s << " "
                << mesh->density_t << " list " << (mesh->display_list != 0) << " env " << mesh->environment;
            std::string bytes;
            auto add = [&](const void *data, size_t size) {
                if (data)
                    bytes.append((const char *)data, size);
            };
            add(mesh->positions, sizeof(float) * 3 * v * poses);
            add(mesh->normals, sizeof(float) * 3 * v * poses);
            add(mesh->tangents, sizeof(float) * 3 * v * poses);
            add(mesh->coordinates, sizeof(float) * 2 * v);
            add(mesh->weights, sizeof(float) * 4 * v);
            add(mesh->bone_indices, sizeof(int) * 4 * v);
            add(mesh->triangles, sizeof(int) * 3 * mesh->triangle_count);
            out << " hash " << std::hash<std::string>()(bytes) << "]";
        }
        out << "\n";
    }
    return out.str();
}

// A texture's size, its top level's texels and its info text.
std::string describe_texture(int texture)
{
    if (!texture)
        return "none";
    int width = 0, height = 0;
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::string texels((size_t)width * height * 4, '\0');
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const char *name = get_texture_name(texture), *info = get_texture_info(texture);
    std::ostringstream out;
    out << (name ? name : "?") << " " << width << "x" << height << " hash " << std::hash<std::string>()(texels)
        << " info " << (info ? info : "");
    return out.str();
}

void clear_messages()
{
    memset(&message_log, 0, sizeof message_log);
}

// A skinned model whose vertices have five bone weights and one of whose
// triangles repeats a corner, a lower level of it, and two pictures, one
// with custom levels of a height they do not fit.
void write_fixture_files()
{
    std::string text = "JM2\n5 s\n8 1 1 1 1 3 2\n";
    for (const char *corner : {"0 0 0", "1 0 0", "0 1 0"})
        text += std::string(corner) + " 0 0 1 0 0  0.1 0.4 0.2 0.2 0.3\n";
    text += "0 1 2  0 0 1\n";
    write_file(test_data_dir() + "m.jm", text);
    write_file(test_data_dir() + "m_lod5.jm", triangle_model_text());
    std::vector<uint8_t> odd = pattern_pixels(64, 95, 3, 1);
    write_file(test_data_dir() + "odd.png", png_bytes(64, 95, 3, odd));
    write_file(test_data_dir() + "odd.png.info", "[mip_custom]");
    write_file(test_data_dir() + "plain.png", png_bytes(32, 32, 4, pattern_pixels(32, 32, 4, 2)));
    write_file(test_data_dir() + "unused.png", png_bytes(16, 16, 3, pattern_pixels(16, 16, 3, 3)));
}

struct Loaded {
    std::string messages, odd, plain, model;
};

Loaded load_fixtures()
{
    Loaded loaded;
    loaded.odd = describe_texture(load_texture("@odd.png"));
    loaded.plain = describe_texture(load_texture("@plain.png"));
    loaded.model = describe_model(load_model("@m.jm"));
    loaded.messages = message_lines_text();
    return loaded;
}

}  // namespace

using LoadAhead = GlTest;

TEST_F(LoadAhead, FilesLoadedAheadGiveWhatAPlainLoadGivesWithTheirMessagesOnceWhenTaken)
{
    write_fixture_files();
    set_work_pool_threads(WORK_POOL_THREAD_LIMIT);
    Loaded plain = load_fixtures();
    // The fixtures warn: five weights, a dropped triangle, the custom levels.
    EXPECT_NE(plain.messages.find("more than 4 bone influences"), std::string::npos) << plain.messages;
    EXPECT_NE(plain.messages.find("1 degenerate triangles deleted in @m.jm"), std::string::npos);
    EXPECT_NE(plain.messages.find("Invalid height for custom MIP map"), std::string::npos);
    EXPECT_NE(plain.model.find("level 32:"), std::string::npos) << plain.model;   // "_lod5"
    EXPECT_NE(plain.model.find("list 1"), std::string::npos) << plain.model;
    free_textures(1);
    free_models(1);
    clear_messages();

    int taken = load_ahead_taken;
    ask_texture_ahead("@odd.png");
    ask_texture_ahead("!@plain.png");   // cached without its '!'
    ask_model_ahead("@m.jm");
    ask_texture_ahead("@unused.png");
    ask_texture_ahead("@odd.png");      // asked once
    ask_texture_ahead(nullptr);
    ask_model_ahead(nullptr);
    run_load_ahead();
    EXPECT_EQ(count_loaded_ahead(), 4);
    // Nothing printed off the GL thread: the messages wait for the take.
    EXPECT_EQ(message_log.next_line, 0) << message_lines_text();
    Loaded ahead = load_fixtures();
    EXPECT_EQ(load_ahead_taken - taken, 3);
    EXPECT_EQ(ahead.messages, plain.messages);
    EXPECT_EQ(ahead.odd, plain.odd);
    EXPECT_EQ(ahead.plain, plain.plain);
    EXPECT_EQ(ahead.model, plain.model);
    EXPECT_EQ(count_loaded_ahead(), 1);   // the picture nobody asked for
    drop_loaded_ahead();
    EXPECT_EQ(count_loaded_ahead(), 0);

    // What the caches hold, in any case, is not loaded again, and asking
    // warns of nothing (the load itself reports a case mismatch).
    clear_messages();
    ask_texture_ahead("@odd.png");
    ask_texture_ahead("@ODD.png");
    ask_model_ahead("@M.JM");
    run_load_ahead();
    EXPECT_EQ(count_loaded_ahead(), 0);
    EXPECT_EQ(message_log.next_line, 0) << message_lines_text();
    drop_loaded_ahead();

    // A file that is missing or no picture fails as a plain load fails.
    write_file(test_data_dir() + "text.png", "not a picture");
    ask_texture_ahead("@text.png");
    ask_texture_ahead("@missing.png");
    ask_model_ahead("@missing.jm");
    run_load_ahead();
    EXPECT_EQ(count_loaded_ahead(), 3);
    EXPECT_EQ(load_texture("@text.png"), 0);
    EXPECT_EQ(load_texture("@missing.png"), 0);
    EXPECT_EQ(load_model("@missing.jm"), nullptr);
    drop_loaded_ahead();

    // Turned off, asking loads nothing.
    load_ahead_enabled = 0;
    free_textures(1);
    ask_texture_ahead("@plain.png");
    run_load_ahead();
    EXPECT_EQ(count_loaded_ahead(), 0);
    drop_loaded_ahead();
    load_ahead_enabled = 1;
    free_textures(1);
    free_models(1);
    set_work_pool_threads(default_work_pool_threads());
}

namespace {

const int WIDTH = 320, HEIGHT = 240, RIDERS = 20;

struct RaceLoad {
    std::string riders, messages;
    std::vector<uint8_t> frame;
    int taken;
};

// A race of the player and 19 robots (three of them asked for by class or
// number) on the default track from empty caches: every rider's number, skins and meshes, the messages of the
// reset, and the first track camera's frame of the riders at the gate.
RaceLoad load_race(int ahead)
{
    RaceLoad load;
    load_ahead_enabled = ahead;
    clear_messages();
    current_tic = 0;
    int taken = load_ahead_taken;
    HeadlessRace race{};
    race.track = DEFAULT_TRACK_FOLDER;
    race.slot_codes[0] = SLOT_PLAYER;
    for (int slot = 1; slot < RIDERS; slot++)
        race.slot_codes[slot] = SLOT_ROBOT;
    // Robots asked for by class and by number move rows in the robot order.
    race.slot_codes[5] = SLOT_ROBOT_125;
    race.slot_codes[9] = SLOT_ROBOT_250;
    race.slot_codes[13] = SLOT_ROBOT_NUMBER + 57;
    race.laps = 3;
    EXPECT_EQ(start_headless_race(&race), 1);
    load.taken = load_ahead_taken - taken;
    load.messages = message_lines_text();
    std::ostringstream out;
    double gate[3] = {0, 0, 0};
    int bikes = 0;
    for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
        BikeState *bike = get_slot_bike(slot);
        if (!bike)
            continue;
        out << "slot " << slot << " " << bike->rider_number << " model " << bike->model_index << "\n";
        for (int texture : {bike->bike_texture, bike->wheel_texture, bike->rider_texture, bike->helmet_texture})
            out << "  " << describe_texture(texture) << "\n";
        for (const Model *model : {bike->frame_model, bike->side_plates_model, bike->fork_upper_model,
                                   bike->front_plate_model, bike->fork_lower_model, bike->swingarm_model,
                                   bike->front_wheel_model, bike->rear_wheel_model, bike->rider_plate_model,
                                   bike->rider_body_model, bike->rider_body_fp_model, bike->helmet_model})
            out << describe_model(model);
        const dReal *p = dBodyGetPosition(bike->frame_body);
        for (int i = 0; i < 3; i++)
            gate[i] += p[i];
        bikes++;
    }
    load.riders = out.str();
    EXPECT_EQ(bikes, RIDERS);
    if (bikes == 0 || track_cameras.count == 0)
        return load;

    TrackCamera *camera = (TrackCamera *)track_cameras.data;
    double dx = gate[0] / bikes - camera->x, dy = gate[1] / bikes - camera->y, dz = gate[2] / bikes - camera->z;
    camera->yaw = (float)atan2(dx, dz);
    camera->pitch = (float)atan2(dy, sqrt(dx * dx + dz * dz));
    camera_index = 0;
    for (int i = 0; i < 24; i++)
        draw_keycam_view();
    load.frame.resize((size_t)WIDTH * HEIGHT * 4);
    glFinish();
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, load.frame.data());
    camera_index = -1;
    free_race_world();
    free_textures(1);
    free_models(1);
    return load;
}

}  // namespace

TEST(LoadAheadRace, TheDefaultTrackRaceLoadsTheSameRidersAndDrawsTheSameFrameWithAndWithoutIt)
{
    std::string data = gamedata_dir();
    struct stat info;
    if (data.empty() || stat((data + "/manifest.txt").c_str(), &info) != 0)
        GTEST_SKIP() << "No generated game data (RUTLINE_GAMEDATA): build the gamedata target first";
    use_game_data(data + "/data");
    GameWindow *window = open_test_gl_window(WIDTH, HEIGHT);
    ASSERT_NE(window, nullptr);
    window_width = WIDTH;
    window_height = HEIGHT;
    load_fonts();
    set_work_pool_threads(WORK_POOL_THREAD_LIMIT);

    RaceLoad plain = load_race(0);
    RaceLoad ahead = load_race(1);
    RaceLoad plain_again = load_race(0);
    load_ahead_enabled = 1;

    EXPECT_EQ(plain.taken, 0);
    // Each skin and mesh of the riders once: the load ahead was used.
    EXPECT_GT(ahead.taken, 20);
    EXPECT_EQ(ahead.riders, plain.riders);
    EXPECT_EQ(ahead.messages, plain.messages);
    // Two plain races draw the same frame, so the frames can be compared.
    ASSERT_EQ(plain_again.frame, plain.frame);
    EXPECT_EQ(ahead.frame, plain.frame);
    EXPECT_EQ(count_loaded_ahead(), 0);   // nothing left after the reset

    set_work_pool_threads(default_work_pool_threads());
    free_fonts();
    close_test_gl_window(window);
}
