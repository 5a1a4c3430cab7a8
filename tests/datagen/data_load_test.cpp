// The generated data read by the game's own readers: every image, model,
// shape, font, bike with its skins, engine sound and the default track load
// without a warning or an error line; the catalogue lists the track from
// the loose files and from the archive alone.
#include "gamedata_fixture.h"

#include "app/default_data.h"
#include "app/track_settings.h"
#include "bike/bike_create.h"
#include "bike/bike_models.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "platform/window.h"
#include "race/race_control.h"
#include "race/robot_table.h"
#include "render/engine_sound.h"
#include "render/font.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/shaders.h"
#include "render/sound_table.h"
#include "render/texture.h"
#include "support/render_fixtures.h"
#include "tools/datagen/gen_manifest.h"
#include "tools/datagen/gen_track.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/timing.h"
#include "track/track.h"

#include <cstring>

namespace {

bool ends_with(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The manifest's digest of a track.
std::string manifest_track_digest(const std::string &folder)
{
    std::string text;
    read_file(gamedata_dir() + "/manifest.txt", &text);
    std::string key = "track " + folder + " ";
    size_t at = text.find(key);
    return at == std::string::npos ? std::string() : text.substr(at + key.size(), 40);
}

std::string hex(const uint8_t *bytes, int n)
{
    std::string out;
    char two[3];
    for (int i = 0; i < n; i++) {
        snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

struct LoadedData : testing::Test {
    std::string log;
    GameWindow *window = nullptr;
    void SetUp() override
    {
        log = capture_log();
        ASSERT_FALSE(gamedata_dir().empty()) << "RUTLINE_GAMEDATA is not set";
        use_game_data(gamedata_dir() + "/data");
        window = open_test_gl_window(64, 64);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        free_track();
        free_track_catalogue();
        set_track_folder(nullptr);
        free_shape_cache();
        free_fonts();
        close_test_gl_window(window);
    }
};

}  // namespace

TEST_F(LoadedData, EveryPictureModelShapeAndFontLoadsWithoutAWarning)
{
    const char *const *names = build_file_index();
    ASSERT_NE(names, nullptr);
    int textures = 0, models = 0, shapes = 0;
    for (const char *const *entry = names; *entry; entry++) {
        std::string name = *entry;
        if (ends_with(name, ".gz"))
            name.resize(name.size() - 3);
        std::string path = "@" + name;
        bool terrain_image = name.find("tracks/") == 0 && !ends_with(name, "/map.png");
        // The digit atlases are read as pixels only, never made textures.
        bool digit_atlas = name == "numbers.png" || name == "numbers-condensed.png";
        if ((ends_with(name, ".png") || ends_with(name, ".ppm")) && !terrain_image && !digit_atlas) {
            EXPECT_NE(load_texture(path.c_str()), 0) << path;
            textures++;
        } else if (ends_with(name, ".jm")) {
            const Model *model = load_model(path.c_str());
            EXPECT_NE(model, nullptr) << path;
            // The rider's skinned meshes keep their nine bones at every level.
            bool skinned = name.find("rider_body") == 0 || name.find("rider_plate") == 0;
            for (const Model *level = model; skinned && level; level = level->lower)
                for (const Model *mesh = level; mesh; mesh = mesh->next)
                    EXPECT_EQ(mesh->bone_count, RIDER_BONE_COUNT) << path;
            models++;
        } else if (ends_with(name, ".shp")) {
            EXPECT_NE(load_shape(path.c_str()), nullptr) << path;
            shapes++;
        }
    }
    EXPECT_GT(textures, 100);
    EXPECT_GT(models, 80 * 6);
    EXPECT_EQ(shapes, 8);
    load_fonts();
    EXPECT_NE(text_font.texture, 0);
    EXPECT_NE(number_font.pixels, nullptr);
    EXPECT_NE(condensed_number_font.pixels, nullptr);
    expect_no_problem_lines(log);
}

TEST_F(LoadedData, EveryBikeRowAndRobotRowIsBuiltWithItsOwnMeshesSkinsAndSound)
{
    ASSERT_TRUE(create_physics_world());
    load_fonts();
    // Every bike with its own skins; then every robot's skins on its bike.
    for (int row = 0; row < (int)BIKE_MODEL_COUNT + (int)ROBOT_TABLE_ROWS; row++) {
        const RobotRow *robot = row >= BIKE_MODEL_COUNT ? &robot_table[row - BIKE_MODEL_COUNT] : nullptr;
        const char *model = robot ? robot->model : bike_models[row].name;
        BikeState *bike = robot ? create_bike(model_alias(model), 0, 1, robot->number, robot->rider_texture,
                                              robot->helmet_texture, robot->bike_texture, robot->wheel_texture)
                                : create_bike(model, 0, 1, "123", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr) << model;
        EXPECT_NE(bike->frame_model, nullptr) << model;
        EXPECT_NE(bike->rider_body_model, nullptr) << model;
        EXPECT_NE(bike->side_plates_model, nullptr) << model;
        EXPECT_NE(bike->front_plate_model, nullptr) << model;
        EXPECT_NE(bike->rider_plate_model, nullptr) << model;
        EXPECT_NE(bike->helmet_model, nullptr) << model;
        EXPECT_NE(bike->bike_texture, 0) << model;
        EXPECT_NE(bike->wheel_texture, 0) << model;
        EXPECT_NE(bike->rider_texture, 0) << model;
        EXPECT_NE(bike->helmet_texture, 0) << model;
        EXPECT_NE(bike->rider_shape, nullptr) << model;
        if (row < BIKE_MODEL_COUNT && row % 7 == 0) {
            load_engine_sound(&engine_sounds[0], bike, nullptr);
            const SoundTable *table = engine_sounds[0].definition.table;
            ASSERT_NE(table, nullptr);
            EXPECT_EQ(std::string(table->name), std::string("@sounds/engine") + bike_models[row].class_name + ".table");
            EXPECT_EQ(engine_sounds[0].definition.taps[0].gain != 0.0f, true) << "the pipe line was read";
            free_engine_sound(&engine_sounds[0]);
        }
        free_bike(bike);
    }
    destroy_physics_world();
    expect_no_problem_lines(log);
}

TEST_F(LoadedData, TheDefaultTrackLoadsWholeWithTheManifestsDigest)
{
    ASSERT_TRUE(scan_track_catalogue());
    set_track_folder(DEFAULT_TRACK_FOLDER);
    ASSERT_EQ(load_track(), 1);
    EXPECT_STREQ(current_track.long_name, DEFAULT_TRACK.long_name);
    EXPECT_EQ(hex(current_track.digest, 20), manifest_track_digest(DEFAULT_TRACK_FOLDER));
    EXPECT_EQ(current_terrain->grid_exponent, 10);
    EXPECT_GE(timing_gate_count, 10);
    EXPECT_GE(start_gate_count, 16);
    EXPECT_LE(start_gate_count, 20);
    EXPECT_GT(statue_table.count - statue_file_start, 100);
    EXPECT_GT(billboard_table.count - billboard_file_start, 100);
    EXPECT_GE(flagger_list.count, 3);
    EXPECT_GE(track_cameras.count, 4);
    EXPECT_GT(flare_list.count, 0);
    EXPECT_NE(current_track.map_texture, 0);
    for (int face = 0; face < SKY_TEXTURES; face++)
        EXPECT_NE(sky_textures[face], 0) << "sky texture " << face;
    // Every statue has its model and texture, and none collides.
    for (int i = statue_file_start; i < statue_table.count; i++) {
        const Statue *statue = get_statue(i);
        EXPECT_NE(statue->model, nullptr);
        EXPECT_NE(statue->texture, 0);
        EXPECT_EQ(statue->shape, nullptr);
    }
    expect_no_problem_lines(log);
}

// The default track's lighting asks for no dynamic lighting: with ground
// shaders chosen and built it keeps its baked shading.
TEST_F(LoadedData, TheDefaultTrackKeepsItsBakedShadingUnderGroundShaders)
{
    ASSERT_EQ(build_shader_programs(), 1);
    shader_programs_available = 1;
    ground_shaders_setting = 1;
    terrain_texture_mode_setting = 3;
    ASSERT_TRUE(scan_track_catalogue());
    set_track_folder(DEFAULT_TRACK_FOLDER);
    ASSERT_EQ(load_track(), 1);
    EXPECT_EQ(track_lighting.dynamic_lighting, 0);
    EXPECT_EQ(current_terrain->texture_mode, 3);
    EXPECT_EQ(current_terrain->normal_mapping, 0);
    EXPECT_EQ(current_terrain->normal_texels, nullptr);
    free_track();
    ground_shaders_setting = 0;
    shader_programs_available = 0;
    delete_shader_programs();
}

TEST(ArchiveData, TheCatalogueListsTheTrackFromTheArchiveAloneAndItLoads)
{
    std::string log = capture_log();
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/packed");
    ASSERT_TRUE(scan_track_catalogue());
    ASSERT_EQ(track_catalogue.count, 1);
    EXPECT_STREQ(track_catalogue.folders[0], DEFAULT_TRACK_FOLDER);
    EXPECT_STREQ(track_catalogue.long_names[0], DEFAULT_TRACK.long_name);
    set_track_folder(DEFAULT_TRACK_FOLDER);
    ASSERT_EQ(load_track(), 1);
    EXPECT_EQ(hex(current_track.digest, 20), manifest_track_digest(DEFAULT_TRACK_FOLDER));
    EXPECT_GE(start_gate_count, 16);
    free_track();
    free_track_catalogue();
    set_track_folder(nullptr);
    free_shape_cache();
    expect_no_problem_lines(log);
}

TEST(LooseData, TheCatalogueListsEveryShippedTrack)
{
    ASSERT_FALSE(gamedata_dir().empty());
    use_game_data(gamedata_dir() + "/data");
    ASSERT_TRUE(scan_track_catalogue());
    ASSERT_EQ(track_catalogue.count, 1);
    EXPECT_STREQ(track_catalogue.folders[0], DEFAULT_TRACK_FOLDER);
    EXPECT_STREQ(track_catalogue.long_names[0], DEFAULT_TRACK.long_name);
    free_track_catalogue();
}
